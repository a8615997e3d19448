// JSON strings and number lists, written by hand because they are all the
// journal composes; SQLite's own JSON functions read them back.
#include "journal/JsonText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

std::string jsonNumber(std::optional<double> number)
{
    if (!number || !std::isfinite(*number))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", *number);
    if (std::strtod(text, nullptr) != *number)
        std::snprintf(text, sizeof text, "%.17g", *number);
    return text;
}

std::vector<int32_t> jsonNumbersOf(std::string_view list)
{
    std::vector<int32_t> numbers;
    const char *at = list.data();
    const char *const end = at + list.size();
    while (at < end) {
        if (*at == '-' || (*at >= '0' && *at <= '9')) {
            int32_t value = 0;
            at = std::from_chars(at, end, value).ptr;
            numbers.push_back(value);
        } else {
            ++at;
        }
    }
    return numbers;
}

std::string jsonTextField(std::string_view key, std::string_view text)
{
    return text.empty() ? std::string() : "," + jsonQuoted(key) + ":" + jsonQuoted(text);
}

} // namespace pondus::journal
