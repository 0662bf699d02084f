// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "platform/winmsg.h"

#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QImage>
#include <QMargins>
#include <QRegion>

#include <functional>
#include <memory>
#include <optional>

class Form;
class QMenu;

// What the window system calls for each message of a window. Procedures are compared by
// identity, so a subclassing can tell whether the slot still holds its own procedure.
struct WindowProcedure {
    std::function<std::intptr_t(Form* window, std::uint32_t msg, std::intptr_t wParam,
                                std::intptr_t lParam)>
        call;
};
using WNDPROC = std::shared_ptr<WindowProcedure>;

WNDPROC MakeWindowProc(decltype(WindowProcedure::call) call);
// Calls a window procedure that was read from a slot (CallWindowProc); 0 for none.
std::intptr_t CallWindowProc(const WNDPROC& proc, Form* window, std::uint32_t msg,
                             std::intptr_t wParam, std::intptr_t lParam);

// A message queued for a receiver (PostMessage); the event loop hands it over later.
class MessageEvent : public QEvent {
public:
    static QEvent::Type eventType();
    explicit MessageEvent(const TMessage& message) : QEvent(eventType()), message(message) {}
    TMessage message;
};
void PostMessage(QObject* receiver, std::uint32_t msg, std::intptr_t wParam, std::intptr_t lParam);

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

// Tool windows carry the small caption bar.
bool isToolWindow(TFormBorderStyle style);
// The classic scheme's caption font: bold, but not in the small caption bar of tool windows.
QFont captionFont(TFormBorderStyle style);

enum TBorderIcon { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = int;

// The caption bar of a window, in window coordinates: the bar without its bottom line (empty
// without a caption), the square at its left that holds the small icon (empty when the window
// shows none) and the caption buttons (each empty when not shown). The frame and a caption
// drawn over it both lay out the bar from here.
struct CaptionGeometry {
    QRect bar;
    QRect iconCell;
    QRect close;
    QRect maximise;
    QRect minimise;

    // The small icon in its cell.
    QRect icon() const;
    // Where the title goes: after the icon, before the buttons.
    QRect title() const;
    // The button of a hit-test code (HTCLOSE, HTMAXBUTTON, HTMINBUTTON); empty for others.
    QRect button(std::intptr_t hit) const;
};
CaptionGeometry captionGeometry(QSize window, TFormBorderStyle style, TBorderIcons icons);

// The region a WM_NCPAINT names in its WParam, in screen coordinates: the whole window for
// WholeWindowRegion or 0, otherwise the region whose parameter RegionParam made. The region
// must live while the message runs.
std::intptr_t RegionParam(const QRegion& region);
QRegion RegionOfParam(std::intptr_t wParam, const QRect& windowRect);

// A top-level form that draws its own frame in the Windows classic look: border, caption bar
// with the small icon, the title and the caption buttons. The client area is a child widget
// of the designed client size; the outer size adds the frame.
//
// Everything that happens on the frame becomes a message, and every message takes the path
// window-procedure slot -> WindowProc (the form's replaceable handler, WndProc by default) ->
// Dispatch -> DefaultHandler -> DefWindowProc, as on Windows, so that components can subclass
// the window or replace the handler, and a subclass handles a message by overriding Dispatch.
class Form : public QDialog {
    Q_OBJECT

public:
    // A form of type Qt::Dialog keeps a dialog's keys (Escape closes it) and stays in front of
    // its parent; a Qt::Window form is a main window.
    explicit Form(QSize clientSize, TFormBorderStyle style = TFormBorderStyle::bsSingle,
                  QWidget* parent = nullptr, Qt::WindowType type = Qt::Window);
    ~Form() override;

    // The widget that holds the form's controls; its size is the client size.
    QWidget* clientArea() const { return m_client; }

    TFormBorderStyle BorderStyle() const { return m_borderStyle; }
    TBorderIcons BorderIcons() const { return m_borderIcons; }
    void setBorderIcons(TBorderIcons icons);

    // The frame on each side of the client area for a border style.
    static QMargins frameMargins(TFormBorderStyle style);
    QMargins frameMargins() const { return frameMargins(m_borderStyle); }

    // The message handler: replaceable, WndProc by default.
    std::function<void(TMessage&)> WindowProc;

    // Sends a message through the window-procedure slot (SendMessage); 0 without a window.
    std::intptr_t SendMessage(std::uint32_t msg, std::intptr_t wParam, std::intptr_t lParam);
    // Hands a message straight to the message handler, past the slot (Perform).
    std::intptr_t Perform(std::uint32_t msg, std::intptr_t wParam, std::intptr_t lParam);

    // The window-procedure slot (GetWindowLong/SetWindowLong with GWL_WNDPROC); none without a
    // window. Setting returns the previous procedure.
    WNDPROC GetWindowProc() const { return m_slot; }
    WNDPROC SetWindowProc(WNDPROC proc);
    // The procedure the framework hands unprocessed messages to: the system's default handling.
    WNDPROC DefWndProc() const { return m_defWndProc; }

    // The native window: made with the form, destroyed with it, and made anew on recreation,
    // which starts again with the framework's own procedure in the slot.
    bool HandleAllocated() const { return m_handle != 0; }
    int Handle() const { return m_handle; }
    void HandleNeeded();
    void RecreateWnd();
    bool isDestroying() const { return m_destroying; }

    // The drawing surface of the whole window (GetWindowDC), in window coordinates. Frame
    // painting goes here at any time; the form shows it at its next paint.
    QImage& windowSurface() { return m_surface; }
    // Shows what was painted into the window surface, at the next paint; nothing while the
    // form paints itself, which shows the surface anyway.
    void surfaceChanged()
    {
        if (!m_inPaint)
            update(frameRegion());
    }

    // Whether the frame is painted active (follows WM_NCACTIVATE).
    bool frameActive() const { return m_frameActive; }

    // The form's outer rectangle in screen coordinates (GetWindowRect).
    QRect windowRect() const { return QRect(mapToGlobal(QPoint(0, 0)), size()); }

    // The rectangle of a caption button in window coordinates (HTCLOSE, HTMAXBUTTON,
    // HTMINBUTTON); empty when the form shows no such button.
    QRect captionButtonRect(std::intptr_t hit) const;

    // Places the form in the middle of the primary screen.
    void centreOnScreen();

    // Repaints the frame at the next paint (WM_NCPAINT for the whole window).
    void invalidateFrame();

signals:
    // The form is being destroyed: components that refer to it drop the reference.
    void destroying();

protected:
    virtual void WndProc(TMessage& message);
    virtual void Dispatch(TMessage& message);
    virtual void DefaultHandler(TMessage& message);
    // The system's default handling: frame painting, hit tests, system commands.
    void DefWindowProc(TMessage& message);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // The window without its client area: what the surface shows.
    QRegion frameRegion() const;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void DestroyHandle();
    void applySizeConstraints();
    QSize designedSize() const { return m_clientSize.grownBy(frameMargins()); }
    void rememberNormalPlace();
    std::intptr_t hitTest(QPoint global) const;
    CaptionGeometry captionGeometry() const
    {
        return ::captionGeometry(size(), m_borderStyle, m_borderIcons);
    }
    void paintFrame(const QRegion& clip);
    void paintEdges(QPainter& painter) const;
    void paintCaption(QPainter& painter, const CaptionGeometry& caption, const QRegion& clip) const;
    void paintCaptionButton(QPainter& painter, std::intptr_t hit) const;
    void paintButtonEdges(QPainter& painter, const QRect& button, bool pushed) const;
    void paintButtonGlyph(QPainter& painter, const QRect& button, std::intptr_t hit,
                          bool pushed) const;
    void dragMove(QPoint global);
    void dragSize(QPoint global);
    void dragButton(QPoint global);
    void showHoverCursor(QPoint global);
    void showSystemMenu(QPoint global);
    std::intptr_t sendHitTest(QPoint global);

    QWidget* m_client;
    QSize m_clientSize;
    TFormBorderStyle m_borderStyle;
    TBorderIcons m_borderIcons = biSystemMenu | biMinimize | biMaximize;
    bool m_dialogKeys;
    WNDPROC m_mainProc;
    WNDPROC m_defWndProc;
    WNDPROC m_slot;
    int m_handle = 0;
    bool m_destroying = false;
    QImage m_surface;
    bool m_frameDirty = true;
    bool m_inPaint = false;
    bool m_frameActive = false;
    // Where the form last stood in its normal state at its designed size.
    std::optional<QPoint> m_normalPlace;

    // A drag on the frame: moving by the caption, sizing by a border, or pressing a button.
    enum class Drag { None, Move, Size, Button };
    Drag m_drag = Drag::None;
    std::intptr_t m_dragHit = HTNOWHERE;
    QPoint m_dragStart;
    QRect m_dragStartRect;
    bool m_buttonDown = false;
    std::intptr_t m_rightHit = HTNOWHERE;
    QMenu* m_systemMenu = nullptr;
};
