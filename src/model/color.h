#pragma once
// Colours as the game files hold them.

#include <cstdint>

namespace kestrune {

// Colours of the game files: 24 bits, red in the low byte.
using TColor = uint32_t;

constexpr TColor RgbColor(int r, int g, int b)
{
    return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

} // namespace kestrune
