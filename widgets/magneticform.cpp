// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/magneticform.h"

#include "platform/sysmetrics.h"

#include <climits>
#include <cmath>

void TRatio::setWidth(int width)
{
    m_width = width;
    m_aspectRatio = m_height != 0 ? static_cast<float>(m_width) / static_cast<float>(m_height) : 0;
}

void TRatio::setHeight(int height)
{
    m_height = height;
    m_aspectRatio = m_height != 0 ? static_cast<float>(m_width) / static_cast<float>(m_height) : 0;
}

void TRatio::setAspectRatio(float ratio)
{
    m_aspectRatio = ratio;
    m_width = 100;
    // A ratio so small (or not a number) that the height would not fit counts as no height.
    const double height = ratio != 0 ? 100.0 / double(ratio) : 0;
    m_height =
        std::isfinite(height) && std::abs(height) < double(INT_MAX) ? static_cast<int>(height) : 0;
}

TMagneticForm::TMagneticForm(Form* owner)
    : QObject(owner), m_host(owner), m_savedHandler(owner->WindowProc)
{
    owner->WindowProc = [this](TMessage& message) { HandleFormMessage(message); };
    Resize.Ratio.setWidth(owner->width());
    Resize.Ratio.setHeight(owner->height());
    if (owner->BorderStyle() == TFormBorderStyle::bsNone)
        AlwaysMoveable = true;
    // The form goes before its children: give its handler back while it still exists.
    connect(owner, &Form::destroying, this, &TMagneticForm::release);
}

TMagneticForm::~TMagneticForm()
{
    release();
}

void TMagneticForm::release()
{
    if (!m_host)
        return;
    m_host->WindowProc = m_savedHandler;
    m_host = nullptr;
}

void TMagneticForm::HandleFormMessage(TMessage& message)
{
    switch (message.Msg) {
    case WM_NCHITTEST:
        AdjustHitTest(message);
        break;
    case WM_SIZING:
        KeepAspect(message);
        break;
    case WM_MOVING:
        SnapToEdges(message);
        break;
    default:
        if (m_savedHandler)
            m_savedHandler(message);
        break;
    }
}

void TMagneticForm::SnapToEdges(TMessage& message)
{
    TRect& r = *RectParam(message.LParam);
    if (OnMoving) {
        OnMoving(this, r);
    } else if (m_host) {
        const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        const int formWidth = m_host->width();
        const int formHeight = m_host->height();
        const auto within = [this](int min, int value, int max) {
            return Margin.Enabled && min < value && value < max;
        };
        if (within(Margin.LeftMin, r.Left, Margin.LeftMax) || (AlwaysOnScreen && r.Left < 0)) {
            r.Left = 0;
            r.Right = formWidth;
        }
        if (within(Margin.TopMin, r.Top, Margin.TopMax) || (AlwaysOnScreen && r.Top < 0)) {
            r.Top = 0;
            r.Bottom = formHeight;
        }
        if (within(Margin.BottomMin, screenHeight - r.Bottom, Margin.BottomMax) ||
            (AlwaysOnScreen && r.Bottom > screenHeight)) {
            r.Bottom = screenHeight;
            r.Top = screenHeight - formHeight;
        }
        if (within(Margin.RightMin, screenWidth - r.Right, Margin.RightMax) ||
            (AlwaysOnScreen && r.Right > screenWidth)) {
            r.Right = screenWidth;
            r.Left = screenWidth - formWidth;
        }
    }
    if (m_savedHandler)
        m_savedHandler(message);
}

void TMagneticForm::KeepAspect(TMessage& message)
{
    const float ratio = Resize.Ratio.AspectRatio();
    if (!Resize.Ratio.Enabled || ratio == 0)
        return;
    TRect& r = *RectParam(message.LParam);
    const int width = static_cast<int>(double(r.Bottom - r.Top) * double(ratio));
    switch (message.WParam) {
    case WMSZ_BOTTOMRIGHT:
    case WMSZ_TOPRIGHT:
        r.Right = r.Left + width;
        break;
    case WMSZ_BOTTOMLEFT:
    case WMSZ_TOPLEFT:
        r.Left = r.Right - width;
        break;
    default:
        break;
    }
}

void TMagneticForm::AdjustHitTest(TMessage& message)
{
    if (m_savedHandler)
        m_savedHandler(message);
    if (Resize.Enabled && m_host) {
        const QPoint p = m_host->clientArea()->mapFromGlobal(
            QPoint(PointParamX(message.LParam), PointParamY(message.LParam)));
        const int bw = Resize.BorderWidth;
        const int cw = m_host->clientArea()->width();
        const int ch = m_host->clientArea()->height();
        const bool left = p.x() < bw;
        const bool right = p.x() >= cw - bw;
        const bool top = p.y() < bw;
        const bool bottom = p.y() > ch - bw;
        if (left)
            message.Result = top ? HTTOPLEFT : bottom ? HTBOTTOMLEFT : HTLEFT;
        else if (right)
            message.Result = top ? HTTOPRIGHT : bottom ? HTBOTTOMRIGHT : HTRIGHT;
        else if (top)
            message.Result = HTTOP;
        else if (bottom)
            message.Result = HTBOTTOM;
    }
    if (message.Result == HTCLIENT && AlwaysMoveable)
        message.Result = HTCAPTION;
}
