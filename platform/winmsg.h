#pragma once

#include <cstdint>

// A window message as the forms of this program pass it around: the code, two parameters
// and the result that the handling procedure leaves. Codes keep their Win32 numbers.
struct TMessage {
    std::uint32_t Msg = 0;
    std::int32_t WParam = 0;
    std::int32_t LParam = 0;
    std::int32_t Result = 0;
};

inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;

inline constexpr std::int32_t SC_MINIMIZE = 0xF020;
inline constexpr std::int32_t SC_MAXIMIZE = 0xF030;
inline constexpr std::int32_t SC_CLOSE = 0xF060;
inline constexpr std::int32_t SC_RESTORE = 0xF120;
