#pragma once

// Key codes as the classic toolkit numbers them (virtual-key codes) and the modifier keys held.

#include <cstdint>

namespace tk {

struct ShiftState {
    bool shift = false;
    bool alt = false;
    bool ctrl = false;
    bool operator==(const ShiftState&) const = default;
};

namespace keys {
inline constexpr std::uint16_t Back = 8;
inline constexpr std::uint16_t Tab = 9;
inline constexpr std::uint16_t Return = 13;
inline constexpr std::uint16_t Escape = 27;
inline constexpr std::uint16_t Space = 32;
inline constexpr std::uint16_t PageUp = 33;
inline constexpr std::uint16_t PageDown = 34;
inline constexpr std::uint16_t End = 35;
inline constexpr std::uint16_t Home = 36;
inline constexpr std::uint16_t Left = 37;
inline constexpr std::uint16_t Up = 38;
inline constexpr std::uint16_t Right = 39;
inline constexpr std::uint16_t Down = 40;
inline constexpr std::uint16_t Delete = 46;
// Letters and digits use their upper-case ASCII code ('S' = 83, 'N' = 78, '0' = 48).
inline constexpr std::uint16_t F1 = 112;
} // namespace keys

} // namespace tk
