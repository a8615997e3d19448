// How many digits after the decimal point a balance's readings have.
#pragma once

#include <cstdint>
#include <optional>

// Digits after the point of readings with this divisor (a power of ten);
// nothing for any other divisor.
constexpr std::optional<int> decimalPlaces(int32_t divisor)
{
    int places = 0;
    for (int64_t power = 1; power <= divisor; power *= 10, ++places) {
        if (power == divisor)
            return places;
    }
    return std::nullopt;
}
