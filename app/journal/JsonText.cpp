// JSON strings and number lists, written by hand because they are all the
// journal composes; SQLite's own JSON functions read them back.
#include "journal/JsonText.h"

#include <cstdio>

namespace pondus::journal {

std::string jsonQuoted(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(c));
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

std::string jsonNumbers(const std::vector<int32_t> &numbers)
{
    std::string text = "[";
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0)
            text += ',';
        text += std::to_string(numbers[i]);
    }
    return text + ']';
}

} // namespace pondus::journal
