// The journal's hash chain in its parts: SHA-256, the canonical text of an
// event that the hash is taken over, and the text a person reads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pondus::journal {

using Digest = std::array<unsigned char, 32>;

// SHA-256 of the previous link's digest followed by the content.
Digest chainDigest(const Digest &previous, std::string_view content);
// SHA-256 of a file's bytes in lower-case hex; empty when it cannot be read.
std::string fileSha256(const std::string &path);
std::string hexOf(const Digest &digest);
std::string hexOf(std::string_view bytes);
// The digest written by hexOf; nothing for any other text.
std::optional<Digest> digestOfHex(std::string_view hex);

// Fields written one after another, each with its length in front, so that
// no two different sequences of fields give the same text.
void appendField(std::string &text, std::string_view field);
inline void appendField(std::string &text, int64_t number) { appendField(text, std::to_string(number)); }
template <typename... Fields>
std::string canonical(const Fields &...fields)
{
    std::string text;
    (appendField(text, fields), ...);
    return text;
}

} // namespace pondus::journal
