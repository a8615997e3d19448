// Small JSON texts for the journal's event details: a string quoted and
// escaped, and a list of whole numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pondus::journal {

std::string jsonQuoted(std::string_view text);
std::string jsonNumbers(const std::vector<int32_t> &numbers);

} // namespace pondus::journal
