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

} // namespace pondus::journal
