// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/sysmetrics.h"

#include <QGuiApplication>
#include <QScreen>

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, QRgb>, 17> sysColors{{
    {COLOR_ACTIVECAPTION, 0x0A246A},
    {COLOR_INACTIVECAPTION, 0x808080},
    {COLOR_WINDOW, 0xFFFFFF},
    {COLOR_WINDOWTEXT, 0x000000},
    {COLOR_CAPTIONTEXT, 0xFFFFFF},
    {COLOR_HIGHLIGHT, 0x0A246A},
    {COLOR_HIGHLIGHTTEXT, 0xFFFFFF},
    {COLOR_BTNFACE, 0xD4D0C8},
    {COLOR_BTNSHADOW, 0x808080},
    {COLOR_GRAYTEXT, 0x808080},
    {COLOR_BTNTEXT, 0x000000},
    {COLOR_INACTIVECAPTIONTEXT, 0xD4D0C8},
    {COLOR_BTNHIGHLIGHT, 0xFFFFFF},
    {COLOR_3DDKSHADOW, 0x404040},
    {COLOR_3DLIGHT, 0xD4D0C8},
    {COLOR_GRADIENTACTIVECAPTION, 0xA6CAF0},
    {COLOR_GRADIENTINACTIVECAPTION, 0xC0C0C0},
}};

} // namespace

QColor GetSysColor(int index)
{
    for (const auto& [key, rgb] : sysColors) {
        if (key == index)
            return QColor::fromRgb(rgb);
    }
    return Qt::black;
}

QFont classicFont(const QString& family)
{
    return QFont(QFont::substitute(family));
}

QPalette classicPalette()
{
    QPalette palette;
    const auto set = [&palette](QPalette::ColorRole role, int index) {
        palette.setColor(role, GetSysColor(index));
    };
    set(QPalette::Window, COLOR_BTNFACE);
    set(QPalette::WindowText, COLOR_WINDOWTEXT);
    set(QPalette::Base, COLOR_WINDOW);
    set(QPalette::AlternateBase, COLOR_BTNFACE);
    set(QPalette::Text, COLOR_WINDOWTEXT);
    set(QPalette::Button, COLOR_BTNFACE);
    set(QPalette::ButtonText, COLOR_BTNTEXT);
    set(QPalette::Light, COLOR_BTNHIGHLIGHT);
    set(QPalette::Midlight, COLOR_3DLIGHT);
    set(QPalette::Mid, COLOR_BTNSHADOW);
    set(QPalette::Dark, COLOR_BTNSHADOW);
    set(QPalette::Shadow, COLOR_3DDKSHADOW);
    set(QPalette::Highlight, COLOR_HIGHLIGHT);
    set(QPalette::HighlightedText, COLOR_HIGHLIGHTTEXT);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, GetSysColor(COLOR_GRAYTEXT));
    return palette;
}

QColor ColorToRGB(TColor color)
{
    if (color & 0x80000000)
        return GetSysColor(static_cast<int>(color & 0xFF));
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            return 0;
        return index == SM_CXSCREEN ? screen->geometry().width() : screen->geometry().height();
    }
    case SM_CYCAPTION:
        return 19;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
        return 3;
    case SM_CXSIZE:
    case SM_CYSIZE:
        return 18;
    case SM_CXFRAME:
    case SM_CYFRAME:
        return 4;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CYSMCAPTION:
        return 16;
    case SM_CXSMSIZE:
    case SM_CYSMSIZE:
        return 12;
    default:
        return 0;
    }
}

bool SystemGradientCaptions()
{
    return true;
}
