// Small JSON texts for the journal's event details: a string quoted and
// escaped, a number, and a list of whole numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pondus::journal {

std::string jsonQuoted(std::string_view text);
std::string jsonNumbers(const std::vector<int32_t> &numbers);
// The whole numbers of a list such as "[1,-20,300]".
std::vector<int32_t> jsonNumbersOf(std::string_view list);
// A number as the shortest text that reads back the same; null for none
// or for one that is not finite.
std::string jsonNumber(std::optional<double> number);
// ,"key":"text" to follow other fields of an object; nothing for an empty
// text, so that an event without it reads as before.
std::string jsonTextField(std::string_view key, std::string_view text);

} // namespace pondus::journal
