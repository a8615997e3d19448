// The colour of each balance's line, as 0xRRGGBB: in the window's chart and
// in the chart of a workbook, whichever program wrote it.
#pragma once

#include <array>
#include <cstdint>

// Balance j at [j - 1]: red, green, yellow, blue, orange, grey, fuchsia,
// teal, navy, maroon. Every one shows on the chart's white plot: balance 5
// is dark orange, not white.
inline constexpr std::array<uint32_t, 10> balanceColours = {0xFF0000, 0x008000, 0xFFFF00, 0x0000FF, 0xFF8C00,
                                                            0x808080, 0xFF00FF, 0x008080, 0x000080, 0x800000};
