// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "platform/form.h"

#include <QObject>

#include <functional>

// The bands in which a window edge snaps onto the matching screen edge: the edge's distance
// from the screen edge, positive towards the inside, strictly between Min and Max.
struct TMargin {
    bool Enabled = true;
    int LeftMin = -5;
    int LeftMax = 10;
    int RightMin = -5;
    int RightMax = 10;
    int TopMin = -5;
    int TopMax = 10;
    int BottomMin = -5;
    int BottomMax = 10;
};

// The aspect ratio kept while a corner is dragged.
class TRatio {
public:
    bool Enabled = false;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    float AspectRatio() const { return m_aspectRatio; }
    void setWidth(int width);
    void setHeight(int height);
    void setAspectRatio(float ratio);

private:
    int m_width = 0;
    int m_height = 0;
    float m_aspectRatio = 0;
};

// Resize zones inside the client area, and the aspect ratio.
struct TResize {
    bool Enabled = false;
    TRatio Ratio;
    int BorderWidth = 5;
};

using TOnMovingEvent = std::function<void(QObject* Sender, TRect& rect)>;

// Pulls the edges of its form onto the screen edges while the user drags it, and optionally
// keeps it on the screen, moves it by its client area, sizes it by zones inside the client area
// and keeps its aspect ratio. It takes over the form's message handler for WM_MOVING, WM_SIZING
// and WM_NCHITTEST and passes everything else on.
class TMagneticForm : public QObject {
    Q_OBJECT

public:
    explicit TMagneticForm(Form* owner);
    ~TMagneticForm() override;

    TMargin Margin;
    TOnMovingEvent OnMoving;
    bool AlwaysOnScreen = false;
    bool AlwaysMoveable = false;
    TResize Resize;

    Form* HostForm() const { return m_host; }

    void HandleFormMessage(TMessage& message);
    void SnapToEdges(TMessage& message);
    void KeepAspect(TMessage& message);
    void AdjustHitTest(TMessage& message);

private:
    void release();

    Form* m_host;
    std::function<void(TMessage&)> m_savedHandler;
};
