// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QRect>

#include <cstdint>

// A window message as the forms of this program pass it around: the code, two parameters
// and the result that the handling procedure leaves. Codes keep their Win32 numbers. The
// parameters are as wide as a pointer, as on Win32, because some messages carry one (the
// rectangle of WM_MOVING, the region of WM_NCPAINT).
struct TMessage {
    std::uint32_t Msg = 0;
    std::intptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

// A rectangle as Win32 keeps it: right and bottom lie just outside.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    static TRect fromQRect(const QRect& r)
    {
        return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    }
    QRect toQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }
    bool operator==(const TRect&) const = default;
};

inline constexpr std::uint32_t WM_DESTROY = 0x0002;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_NCHITTEST = 0x0084;
inline constexpr std::uint32_t WM_NCPAINT = 0x0085;
inline constexpr std::uint32_t WM_NCACTIVATE = 0x0086;
inline constexpr std::uint32_t WM_NCLBUTTONDOWN = 0x00A1;
inline constexpr std::uint32_t WM_NCRBUTTONDOWN = 0x00A4;
inline constexpr std::uint32_t WM_NCRBUTTONUP = 0x00A5;
inline constexpr std::uint32_t WM_SYSCOMMAND = 0x0112;
inline constexpr std::uint32_t WM_SIZING = 0x0214;
inline constexpr std::uint32_t WM_MOVING = 0x0216;
inline constexpr std::uint32_t WM_USER = 0x0400;

inline constexpr std::intptr_t SC_MINIMIZE = 0xF020;
inline constexpr std::intptr_t SC_MAXIMIZE = 0xF030;
inline constexpr std::intptr_t SC_CLOSE = 0xF060;
inline constexpr std::intptr_t SC_RESTORE = 0xF120;

// Hit-test codes: the part of a window that a screen point lies on.
inline constexpr std::intptr_t HTNOWHERE = 0;
inline constexpr std::intptr_t HTCLIENT = 1;
inline constexpr std::intptr_t HTCAPTION = 2;
inline constexpr std::intptr_t HTSYSMENU = 3;
inline constexpr std::intptr_t HTMINBUTTON = 8;
inline constexpr std::intptr_t HTMAXBUTTON = 9;
inline constexpr std::intptr_t HTLEFT = 10;
inline constexpr std::intptr_t HTRIGHT = 11;
inline constexpr std::intptr_t HTTOP = 12;
inline constexpr std::intptr_t HTTOPLEFT = 13;
inline constexpr std::intptr_t HTTOPRIGHT = 14;
inline constexpr std::intptr_t HTBOTTOM = 15;
inline constexpr std::intptr_t HTBOTTOMLEFT = 16;
inline constexpr std::intptr_t HTBOTTOMRIGHT = 17;
inline constexpr std::intptr_t HTBORDER = 18;
inline constexpr std::intptr_t HTCLOSE = 20;

// The edge or corner being dragged, in WParam of WM_SIZING.
inline constexpr std::intptr_t WMSZ_LEFT = 1;
inline constexpr std::intptr_t WMSZ_RIGHT = 2;
inline constexpr std::intptr_t WMSZ_TOP = 3;
inline constexpr std::intptr_t WMSZ_TOPLEFT = 4;
inline constexpr std::intptr_t WMSZ_TOPRIGHT = 5;
inline constexpr std::intptr_t WMSZ_BOTTOM = 6;
inline constexpr std::intptr_t WMSZ_BOTTOMLEFT = 7;
inline constexpr std::intptr_t WMSZ_BOTTOMRIGHT = 8;

// A screen point packed into LParam as two signed 16-bit halves, and read back.
inline constexpr std::intptr_t MakePointParam(int x, int y)
{
    return static_cast<std::intptr_t>(
        static_cast<std::uint32_t>(static_cast<std::uint16_t>(x)) |
        (static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16));
}
inline constexpr int PointParamX(std::intptr_t param)
{
    return static_cast<std::int16_t>(static_cast<std::uint32_t>(param) & 0xFFFF);
}
inline constexpr int PointParamY(std::intptr_t param)
{
    return static_cast<std::int16_t>((static_cast<std::uint32_t>(param) >> 16) & 0xFFFF);
}

// The rectangle of WM_MOVING and WM_SIZING, carried in LParam.
inline TRect* RectParam(std::intptr_t param)
{
    return reinterpret_cast<TRect*>(param);
}

// The update region of WM_NCPAINT in screen coordinates, carried in WParam; the value 1 stands
// for the whole window.
inline constexpr std::intptr_t WholeWindowRegion = 1;
