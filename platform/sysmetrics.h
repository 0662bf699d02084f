// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

#include <cstdint>

// System colours of the Windows 2000 classic scheme ("Windows Standard"), looked up by their
// Win32 index. The program paints with these so that its windows look the same everywhere.
enum SysColor {
    COLOR_ACTIVECAPTION = 2,
    COLOR_INACTIVECAPTION = 3,
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17,
    COLOR_BTNTEXT = 18,
    COLOR_INACTIVECAPTIONTEXT = 19,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
    COLOR_3DLIGHT = 22,
    COLOR_GRADIENTACTIVECAPTION = 27,
    COLOR_GRADIENTINACTIVECAPTION = 28,
};

// The colour of a system colour index; black for an index the table does not know.
QColor GetSysColor(int index);

// A widget palette built from the system colours.
QPalette classicPalette();

// A font of the Windows family (Arial, Microsoft Sans Serif) by the name of the installed family
// that the application substitutes for it: the font lookup then skips its costly search for the
// missing family, which made up a tenth of the start.
QFont classicFont(const QString& family);

// A colour as the components store it: 0x00BBGGRR for an RGB colour, or 0x80000000 plus the
// index of a system colour, looked up each time it is painted.
using TColor = std::uint32_t;

inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor clActiveCaption = 0x80000000 | COLOR_ACTIVECAPTION;
inline constexpr TColor clInactiveCaption = 0x80000000 | COLOR_INACTIVECAPTION;
inline constexpr TColor clWindowText = 0x80000000 | COLOR_WINDOWTEXT;
inline constexpr TColor clCaptionText = 0x80000000 | COLOR_CAPTIONTEXT;
inline constexpr TColor clInactiveCaptionText = 0x80000000 | COLOR_INACTIVECAPTIONTEXT;
inline constexpr TColor clBtnFace = 0x80000000 | COLOR_BTNFACE;

// The colour value of an RGB colour.
inline constexpr TColor RGBColor(int red, int green, int blue)
{
    return static_cast<TColor>(red & 0xFF) | (static_cast<TColor>(green & 0xFF) << 8) |
           (static_cast<TColor>(blue & 0xFF) << 16);
}

// The colour to paint with: system colours are looked up now.
QColor ColorToRGB(TColor color);

// System metrics by their Win32 index.
enum SysMetric {
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SM_CYCAPTION = 4,
    SM_CXDLGFRAME = 7,
    SM_CYDLGFRAME = 8,
    SM_CXSIZE = 30,
    SM_CYSIZE = 31,
    SM_CXFRAME = 32,
    SM_CYFRAME = 33,
    SM_CXSMICON = 49,
    SM_CYSMICON = 50,
    SM_CYSMCAPTION = 51,
    SM_CXSMSIZE = 52,
    SM_CYSMSIZE = 53,
};

// The metric at 96 dpi in the classic scheme; the screen size is the primary screen's. Zero for
// an index the table does not know.
int GetSystemMetrics(int index);

// Whether the system paints caption bars with a gradient (it does).
bool SystemGradientCaptions();
