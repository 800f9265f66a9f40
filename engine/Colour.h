#pragma once

#include <cstdint>

// A colour as the settings file and the profile list store it: 0x00BBGGRR, red in the low byte.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clFuchsia = 0xFF00FF;
