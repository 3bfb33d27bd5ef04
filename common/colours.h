#pragma once
// The system's named colours, as #RRGGBB.
#include <cstdint>

namespace hub {
using Rgb = std::uint32_t;

namespace colour {
constexpr Rgb Black = 0x000000;
constexpr Rgb Maroon = 0x800000;
constexpr Rgb Green = 0x008000;
constexpr Rgb Olive = 0x808000;
constexpr Rgb Navy = 0x000080;
constexpr Rgb Purple = 0x800080;
constexpr Rgb Teal = 0x008080;
constexpr Rgb Gray = 0x808080;
constexpr Rgb Silver = 0xC0C0C0;
constexpr Rgb Red = 0xFF0000;
constexpr Rgb Lime = 0x00FF00;
constexpr Rgb Yellow = 0xFFFF00;
constexpr Rgb Blue = 0x0000FF;
constexpr Rgb Fuchsia = 0xFF00FF;
constexpr Rgb Aqua = 0x00FFFF;
constexpr Rgb White = 0xFFFFFF;
} // namespace colour
} // namespace hub
