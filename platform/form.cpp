// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/form.h"

#include "platform/exceptiondisplay.h"
#include "platform/sysmetrics.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <utility>

namespace {

int nextHandle = 0;

// The smallest outer size a sizeable form may be dragged to.
constexpr QSize MinimumTrackSize(112, 27);
// How far a corner zone of a sizeable border reaches along the edges.
constexpr int CornerReach = 16;

bool isSizeable(TFormBorderStyle style)
{
    return style == TFormBorderStyle::bsSizeable || style == TFormBorderStyle::bsSizeToolWin;
}

int captionHeight(TFormBorderStyle style)
{
    if (style == TFormBorderStyle::bsNone)
        return 0;
    return GetSystemMetrics(isToolWindow(style) ? SM_CYSMCAPTION : SM_CYCAPTION);
}

} // namespace

bool isToolWindow(TFormBorderStyle style)
{
    return style == TFormBorderStyle::bsToolWindow || style == TFormBorderStyle::bsSizeToolWin;
}

QFont captionFont(TFormBorderStyle style)
{
    QFont font = classicFont(QStringLiteral("Microsoft Sans Serif"));
    font.setPixelSize(11);
    font.setBold(!isToolWindow(style));
    return font;
}

QRect CaptionGeometry::icon() const
{
    if (iconCell.isEmpty())
        return {};
    const QSize size(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    return QRect(iconCell.left() + 1 + (iconCell.width() - size.width()) / 2,
                 iconCell.top() + (iconCell.height() - size.height()) / 2, size.width(),
                 size.height());
}

QRect CaptionGeometry::title() const
{
    const int left = (iconCell.isEmpty() ? bar.left() : iconCell.right() + 1) + 2;
    int right = bar.right() - 2;
    for (const QRect& button : {minimise, maximise, close}) {
        if (!button.isEmpty())
            right = std::min(right, button.left() - 2);
    }
    return QRect(left, bar.top(), std::max(0, right - left), bar.height());
}

QRect CaptionGeometry::button(std::intptr_t hit) const
{
    switch (hit) {
    case HTCLOSE:
        return close;
    case HTMAXBUTTON:
        return maximise;
    case HTMINBUTTON:
        return minimise;
    default:
        return {};
    }
}

CaptionGeometry captionGeometry(QSize window, TFormBorderStyle style, TBorderIcons icons)
{
    CaptionGeometry caption;
    if (style == TFormBorderStyle::bsNone)
        return caption;
    const int border = Form::frameMargins(style).left();
    caption.bar = QRect(border, border, window.width() - 2 * border, captionHeight(style) - 1);
    if (!(icons & biSystemMenu))
        return caption;
    if (style == TFormBorderStyle::bsSingle || style == TFormBorderStyle::bsSizeable)
        caption.iconCell =
            QRect(caption.bar.topLeft(), QSize(caption.bar.height(), caption.bar.height()));
    const bool tool = isToolWindow(style);
    const int buttonWidth = GetSystemMetrics(tool ? SM_CXSMSIZE : SM_CXSIZE) - 2;
    const int buttonHeight = GetSystemMetrics(tool ? SM_CYSMSIZE : SM_CYSIZE) - 4;
    caption.close =
        QRect(window.width() - border - 2 - buttonWidth, border + 2, buttonWidth, buttonHeight);
    if (!tool && style != TFormBorderStyle::bsDialog && (icons & (biMinimize | biMaximize))) {
        caption.maximise = caption.close.translated(-buttonWidth - 2, 0);
        caption.minimise = caption.close.translated(-2 * buttonWidth - 2, 0);
    }
    return caption;
}

std::intptr_t RegionParam(const QRegion& region)
{
    return reinterpret_cast<std::intptr_t>(&region);
}

QRegion RegionOfParam(std::intptr_t wParam, const QRect& windowRect)
{
    if (wParam == WholeWindowRegion || wParam == 0)
        return QRegion(windowRect);
    return *reinterpret_cast<const QRegion*>(wParam);
}

WNDPROC MakeWindowProc(decltype(WindowProcedure::call) call)
{
    auto proc = std::make_shared<WindowProcedure>();
    proc->call = std::move(call);
    return proc;
}

std::intptr_t CallWindowProc(const WNDPROC& proc, Form* window, std::uint32_t msg,
                             std::intptr_t wParam, std::intptr_t lParam)
{
    if (!proc || !proc->call)
        return 0;
    return proc->call(window, msg, wParam, lParam);
}

QEvent::Type MessageEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void PostMessage(QObject* receiver, std::uint32_t msg, std::intptr_t wParam, std::intptr_t lParam)
{
    QCoreApplication::postEvent(receiver, new MessageEvent(TMessage{msg, wParam, lParam, 0}));
}

Form::Form(QSize clientSize, TFormBorderStyle style, QWidget* parent, Qt::WindowType type)
    : QDialog(parent, type | Qt::FramelessWindowHint), m_client(new QWidget(this)),
      m_clientSize(clientSize), m_borderStyle(style), m_dialogKeys(type == Qt::Dialog)
{
    WindowProc = [this](TMessage& message) { WndProc(message); };
    // The framework's main procedure: a handler's exception is shown, and the loop goes on.
    m_mainProc = MakeWindowProc([](Form* window, std::uint32_t msg, std::intptr_t wParam,
                                   std::intptr_t lParam) -> std::intptr_t {
        TMessage message{msg, wParam, lParam, 0};
        try {
            if (window->WindowProc)
                window->WindowProc(message);
        } catch (...) {
            showCurrentException();
        }
        return message.Result;
    });
    m_defWndProc = MakeWindowProc([](Form* window, std::uint32_t msg, std::intptr_t wParam,
                                     std::intptr_t lParam) -> std::intptr_t {
        TMessage message{msg, wParam, lParam, 0};
        window->DefWindowProc(message);
        return message.Result;
    });
    // The client area fills itself and the frame comes from the surface: nothing is left for
    // a background fill of the whole window.
    m_client->setAutoFillBackground(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    resize(clientSize.grownBy(frameMargins()));
    m_client->setGeometry(rect().marginsRemoved(frameMargins()));
    applySizeConstraints();
    HandleNeeded();
}

Form::~Form()
{
    m_destroying = true;
    DestroyHandle();
    emit destroying();
}

void Form::setBorderIcons(TBorderIcons icons)
{
    if (icons == m_borderIcons)
        return;
    m_borderIcons = icons;
    invalidateFrame();
}

QMargins Form::frameMargins(TFormBorderStyle style)
{
    int border = 0;
    if (style == TFormBorderStyle::bsNone)
        border = 0;
    else if (isSizeable(style))
        border = GetSystemMetrics(SM_CXFRAME);
    else
        border = GetSystemMetrics(SM_CXDLGFRAME);
    return QMargins(border, border + captionHeight(style), border, border);
}

std::intptr_t Form::SendMessage(std::uint32_t msg, std::intptr_t wParam, std::intptr_t lParam)
{
    if (!m_handle)
        return 0;
    // A copy, so that a procedure replaced during its own call stays alive until it returns.
    const WNDPROC procedure = m_slot;
    return CallWindowProc(procedure, this, msg, wParam, lParam);
}

std::intptr_t Form::Perform(std::uint32_t msg, std::intptr_t wParam, std::intptr_t lParam)
{
    TMessage message{msg, wParam, lParam, 0};
    if (WindowProc)
        WindowProc(message);
    return message.Result;
}

WNDPROC Form::SetWindowProc(WNDPROC proc)
{
    if (!m_handle)
        return nullptr;
    return std::exchange(m_slot, std::move(proc));
}

void Form::HandleNeeded()
{
    if (m_handle || m_destroying)
        return;
    m_handle = ++nextHandle;
    m_slot = m_mainProc;
    m_frameDirty = true;
}

void Form::DestroyHandle()
{
    if (!m_handle)
        return;
    SendMessage(WM_DESTROY, 0, 0);
    m_handle = 0;
    m_slot.reset();
}

void Form::RecreateWnd()
{
    DestroyHandle();
    HandleNeeded();
    update();
}

void Form::centreOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
}

void Form::invalidateFrame()
{
    m_frameDirty = true;
    // Only the frame is painted and sent to the display again.
    update(frameRegion());
}

void Form::WndProc(TMessage& message)
{
    Dispatch(message);
}

void Form::Dispatch(TMessage& message)
{
    DefaultHandler(message);
}

void Form::DefaultHandler(TMessage& message)
{
    DefWindowProc(message);
}

void Form::DefWindowProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_NCHITTEST:
        message.Result = hitTest(QPoint(PointParamX(message.LParam), PointParamY(message.LParam)));
        break;
    case WM_NCPAINT:
        paintFrame(QRegion(m_surface.rect()) &
                   RegionOfParam(message.WParam, windowRect()).translated(-windowRect().topLeft()));
        surfaceChanged();
        break;
    case WM_NCACTIVATE:
        m_frameActive = message.WParam != 0;
        // -1 leaves the repainting to the sender: a window that draws its own caption.
        if (message.LParam != -1) {
            paintFrame(QRegion(m_surface.rect()));
            surfaceChanged();
        }
        message.Result = 1;
        break;
    case WM_MOVING:
    case WM_SIZING:
        message.Result = 1;
        break;
    case WM_NCRBUTTONUP:
        if (message.WParam == HTCAPTION || message.WParam == HTSYSMENU)
            showSystemMenu(QPoint(PointParamX(message.LParam), PointParamY(message.LParam)));
        break;
    case WM_SYSCOMMAND:
        // The low four bits of a system command are used by the system itself.
        switch (message.WParam & 0xFFF0) {
        case SC_MINIMIZE:
            showMinimized();
            break;
        case SC_MAXIMIZE:
            // The fixed size must go before the window can take the size of the screen.
            setMinimumSize(0, 0);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
            break;
        case SC_RESTORE:
            if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
                showNormal();
            break;
        case SC_CLOSE:
            close();
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
}

bool Form::event(QEvent* event)
{
    if (event->type() == MessageEvent::eventType()) {
        const TMessage& message = static_cast<MessageEvent*>(event)->message;
        SendMessage(message.Msg, message.WParam, message.LParam);
        return true;
    }
    if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::WindowIconChange)
        invalidateFrame();
    // A modal window over this one has closed. Without a window manager no window would be
    // active now, so this one asks to be.
    if (event->type() == QEvent::WindowUnblocked && isVisible() && !isMinimized() &&
        !QApplication::activeWindow())
        activateWindow();
    return QDialog::event(event);
}

void Form::paintEvent(QPaintEvent*)
{
    if (m_frameDirty) {
        m_frameDirty = false;
        m_inPaint = true;
        SendMessage(WM_NCPAINT, WholeWindowRegion, 0);
        m_inPaint = false;
    }
    QPainter painter(this);
    painter.setClipRegion(frameRegion());
    painter.drawImage(0, 0, m_surface);
}

QRegion Form::frameRegion() const
{
    return QRegion(rect()) - QRegion(m_client->geometry());
}

void Form::resizeEvent(QResizeEvent* event)
{
    m_client->setGeometry(rect().marginsRemoved(frameMargins()));
    // Only the frame of the surface is ever painted and shown.
    if (m_surface.size() != size())
        m_surface = QImage(size(), QImage::Format_RGB32);
    m_frameDirty = true;
    rememberNormalPlace();
    QDialog::resizeEvent(event);
}

void Form::moveEvent(QMoveEvent* event)
{
    rememberNormalPlace();
    QDialog::moveEvent(event);
}

void Form::rememberNormalPlace()
{
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) &&
        size() == designedSize())
        m_normalPlace = geometry().topLeft();
}

void Form::showEvent(QShowEvent* event)
{
    // Without a window manager nobody else makes a newly shown window the active one.
    if (!event->spontaneous())
        activateWindow();
    QDialog::showEvent(event);
}

void Form::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        applySizeConstraints();
        invalidateFrame();
    } else if (event->type() == QEvent::ActivationChange) {
        SendMessage(WM_NCACTIVATE, isActiveWindow() ? 1 : 0, 0);
    }
    QDialog::changeEvent(event);
}

void Form::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F4 && event->modifiers() == Qt::AltModifier) {
        SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
        return;
    }
    // Return presses the focused push button, as Space does: the forms' buttons are no default
    // buttons, so the button itself leaves Return to its window.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && button->isEnabled()) {
            button->click();
            return;
        }
    }
    // A main window has no dialog keys: Escape does not close it.
    if (m_dialogKeys)
        QDialog::keyPressEvent(event);
    else
        QWidget::keyPressEvent(event);
}

void Form::applySizeConstraints()
{
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else if (windowState() & Qt::WindowMinimized) {
        return;
    } else if (isSizeable(m_borderStyle)) {
        setMinimumSize(MinimumTrackSize);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        // A fixed border: the normal window keeps its designed size. Back from maximised, it
        // also goes back to its former place: the fixed size alone would leave it in the corner
        // where the maximised window stood, before the window system has restored it.
        const QSize designed = designedSize();
        if (size() != designed && m_normalPlace)
            setGeometry(QRect(*m_normalPlace, designed));
        setFixedSize(designed);
    }
}

QRect Form::captionButtonRect(std::intptr_t hit) const
{
    return captionGeometry().button(hit);
}

std::intptr_t Form::hitTest(QPoint global) const
{
    const QPoint p = mapFromGlobal(global);
    if (!rect().contains(p))
        return HTNOWHERE;
    const QMargins frame = frameMargins();
    const QRect client = rect().marginsRemoved(frame);
    if (client.contains(p))
        return HTCLIENT;
    if (m_borderStyle == TFormBorderStyle::bsNone)
        return HTNOWHERE;
    const int border = frame.left();
    const bool maximised = windowState() & Qt::WindowMaximized;
    if (p.x() < border || p.y() < border || p.x() >= width() - border ||
        p.y() >= height() - border) {
        if (!isSizeable(m_borderStyle) || maximised)
            return HTBORDER;
        const bool left = p.x() < CornerReach;
        const bool right = p.x() >= width() - CornerReach;
        const bool top = p.y() < CornerReach;
        const bool bottom = p.y() >= height() - CornerReach;
        if (p.y() < border)
            return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
        if (p.y() >= height() - border)
            return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
        if (p.x() < border)
            return top ? HTTOPLEFT : bottom ? HTBOTTOMLEFT : HTLEFT;
        return top ? HTTOPRIGHT : bottom ? HTBOTTOMRIGHT : HTRIGHT;
    }
    for (const std::intptr_t button : {HTCLOSE, HTMAXBUTTON, HTMINBUTTON}) {
        if (captionButtonRect(button).contains(p))
            return button;
    }
    const QRect iconCell = captionGeometry().iconCell;
    if (!iconCell.isEmpty() && p.x() <= iconCell.right())
        return HTSYSMENU;
    return HTCAPTION;
}

void Form::paintFrame(const QRegion& clip)
{
    if (m_surface.isNull())
        return;
    QPainter painter(&m_surface);
    painter.setClipRegion(clip & frameRegion());
    painter.fillRect(m_surface.rect(), GetSysColor(COLOR_BTNFACE));
    if (m_borderStyle == TFormBorderStyle::bsNone)
        return;
    paintEdges(painter);
    const CaptionGeometry caption = captionGeometry();
    paintCaption(painter, caption, clip);
    for (const std::intptr_t button : {HTMINBUTTON, HTMAXBUTTON, HTCLOSE}) {
        if (!caption.button(button).isEmpty())
            paintCaptionButton(painter, button);
    }
}

namespace {

void drawLine(QPainter& painter, int x1, int y1, int x2, int y2, int color)
{
    painter.setPen(GetSysColor(color));
    painter.drawLine(x1, y1, x2, y2);
}

} // namespace

// The raised outer edge of the classic frame.
void Form::paintEdges(QPainter& painter) const
{
    const int w = width();
    const int h = height();
    drawLine(painter, 0, 0, w - 2, 0, COLOR_3DLIGHT);
    drawLine(painter, 0, 0, 0, h - 2, COLOR_3DLIGHT);
    drawLine(painter, 1, 1, w - 3, 1, COLOR_BTNHIGHLIGHT);
    drawLine(painter, 1, 1, 1, h - 3, COLOR_BTNHIGHLIGHT);
    drawLine(painter, 0, h - 1, w - 1, h - 1, COLOR_3DDKSHADOW);
    drawLine(painter, w - 1, 0, w - 1, h - 1, COLOR_3DDKSHADOW);
    drawLine(painter, 1, h - 2, w - 2, h - 2, COLOR_BTNSHADOW);
    drawLine(painter, w - 2, 1, w - 2, h - 2, COLOR_BTNSHADOW);
}

// The caption bar's gradient, small icon and title, each only where the clip reaches: a caption
// drawn over this one takes its part of the bar out of the clip.
void Form::paintCaption(QPainter& painter, const CaptionGeometry& caption,
                        const QRegion& clip) const
{
    const QRect& bar = caption.bar;
    const bool active = m_frameActive;
    QLinearGradient gradient(bar.left(), 0, bar.right() + 1, 0);
    gradient.setColorAt(0, GetSysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    gradient.setColorAt(
        1, GetSysColor(active ? COLOR_GRADIENTACTIVECAPTION : COLOR_GRADIENTINACTIVECAPTION));
    painter.fillRect(bar, gradient);

    if (const QRect iconRect = caption.icon(); clip.intersects(iconRect)) {
        QIcon icon = windowIcon();
        if (icon.isNull())
            icon = style()->standardIcon(QStyle::SP_TitleBarMenuButton);
        icon.paint(&painter, iconRect);
    }
    // The title is laid out only where it is to be seen.
    const QRect textRect = caption.title();
    if (!clip.intersects(textRect))
        return;
    painter.setFont(captionFont(m_borderStyle));
    painter.setPen(GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    painter.drawText(
        textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        painter.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, textRect.width()));
}

void Form::paintCaptionButton(QPainter& painter, std::intptr_t hit) const
{
    const QRect r = captionButtonRect(hit);
    const bool pushed = m_drag == Drag::Button && m_dragHit == hit && m_buttonDown;
    painter.fillRect(r, GetSysColor(COLOR_BTNFACE));
    paintButtonEdges(painter, r, pushed);
    paintButtonGlyph(painter, r, hit, pushed);
}

void Form::paintButtonEdges(QPainter& painter, const QRect& r, bool pushed) const
{
    const int l = r.left(), t = r.top(), rr = r.right(), b = r.bottom();
    if (pushed) {
        drawLine(painter, l, t, rr, t, COLOR_3DDKSHADOW);
        drawLine(painter, l, t, l, b, COLOR_3DDKSHADOW);
        drawLine(painter, l + 1, t + 1, rr - 1, t + 1, COLOR_BTNSHADOW);
        drawLine(painter, l + 1, t + 1, l + 1, b - 1, COLOR_BTNSHADOW);
        drawLine(painter, l, b, rr, b, COLOR_BTNHIGHLIGHT);
        drawLine(painter, rr, t, rr, b, COLOR_BTNHIGHLIGHT);
    } else {
        drawLine(painter, l, t, rr - 1, t, COLOR_BTNHIGHLIGHT);
        drawLine(painter, l, t, l, b - 1, COLOR_BTNHIGHLIGHT);
        drawLine(painter, l + 1, b - 1, rr - 1, b - 1, COLOR_BTNSHADOW);
        drawLine(painter, rr - 1, t + 1, rr - 1, b - 1, COLOR_BTNSHADOW);
        drawLine(painter, l, b, rr, b, COLOR_3DDKSHADOW);
        drawLine(painter, rr, t, rr, b, COLOR_3DDKSHADOW);
    }
}

// The glyph, centred, one pixel down and right while pushed; grey on a button that is off.
void Form::paintButtonGlyph(QPainter& painter, const QRect& r, std::intptr_t hit, bool pushed) const
{
    const bool enabled = hit == HTCLOSE || (hit == HTMAXBUTTON && (m_borderIcons & biMaximize)) ||
                         (hit == HTMINBUTTON && (m_borderIcons & biMinimize));
    const int shift = pushed ? 1 : 0;
    const int cx = r.left() + r.width() / 2 - 4 + shift;
    const int cy = r.top() + r.height() / 2 - 4 + shift;
    const QColor glyph = GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    painter.setPen(Qt::NoPen);
    const auto box = [&](int x, int y, int bw, int bh) {
        painter.fillRect(x, y, bw, 2, glyph);
        painter.fillRect(x, y + bh - 1, bw, 1, glyph);
        painter.fillRect(x, y, 1, bh, glyph);
        painter.fillRect(x + bw - 1, y, 1, bh, glyph);
    };
    switch (hit) {
    case HTCLOSE:
        for (int i = 0; i < 7; ++i) {
            painter.fillRect(cx + i, cy + i + 1, 2, 1, glyph);
            painter.fillRect(cx + 6 - i, cy + i + 1, 2, 1, glyph);
        }
        break;
    case HTMAXBUTTON:
        if (windowState() & Qt::WindowMaximized) {
            box(cx + 2, cy - 1, 6, 5);
            painter.fillRect(cx - 1, cy + 2, 6, 6, GetSysColor(COLOR_BTNFACE));
            box(cx - 1, cy + 2, 6, 6);
        } else {
            box(cx - 1, cy - 1, 9, 9);
        }
        break;
    case HTMINBUTTON:
        painter.fillRect(cx, cy + 6, 6, 2, glyph);
        break;
    default:
        break;
    }
}

std::intptr_t Form::sendHitTest(QPoint global)
{
    return SendMessage(WM_NCHITTEST, 0, MakePointParam(global.x(), global.y()));
}

void Form::mousePressEvent(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    const std::intptr_t hit = sendHitTest(global);
    if (hit == HTCLIENT || hit == HTNOWHERE) {
        QDialog::mousePressEvent(event);
        return;
    }
    event->accept();
    const std::intptr_t point = MakePointParam(global.x(), global.y());
    if (event->button() == Qt::RightButton) {
        m_rightHit = hit;
        SendMessage(WM_NCRBUTTONDOWN, hit, point);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    SendMessage(WM_NCLBUTTONDOWN, hit, point);
    m_dragHit = hit;
    m_dragStart = global;
    m_dragStartRect = geometry();
    const bool maximised = windowState() & Qt::WindowMaximized;
    if (hit == HTCAPTION && !maximised) {
        m_drag = Drag::Move;
    } else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT && !maximised) {
        m_drag = Drag::Size;
    } else if (hit == HTCLOSE || hit == HTMAXBUTTON || hit == HTMINBUTTON) {
        m_drag = Drag::Button;
        m_buttonDown = true;
        invalidateFrame();
    }
}

void Form::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    switch (m_drag) {
    case Drag::Move:
        dragMove(global);
        return;
    case Drag::Size:
        dragSize(global);
        return;
    case Drag::Button:
        dragButton(global);
        return;
    case Drag::None:
        break;
    }
    if (event->buttons() == Qt::NoButton)
        showHoverCursor(global);
    else
        unsetCursor();
    QDialog::mouseMoveEvent(event);
}

void Form::dragMove(QPoint global)
{
    TRect proposed = TRect::fromQRect(m_dragStartRect.translated(global - m_dragStart));
    SendMessage(WM_MOVING, 0, reinterpret_cast<std::intptr_t>(&proposed));
    const QRect target = proposed.toQRect();
    if (target.size() == size())
        move(target.topLeft());
    else
        setGeometry(target);
}

void Form::dragSize(QPoint global)
{
    const QPoint delta = global - m_dragStart;
    const QRect start = m_dragStartRect;
    TRect proposed = TRect::fromQRect(start);
    const std::intptr_t edge = m_dragHit - HTLEFT + WMSZ_LEFT;
    const QSize least = minimumSize();
    if (edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT)
        proposed.Left = std::min(start.left() + delta.x(), proposed.Right - least.width());
    if (edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT)
        proposed.Right = std::max(start.right() + 1 + delta.x(), proposed.Left + least.width());
    if (edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT)
        proposed.Top = std::min(start.top() + delta.y(), proposed.Bottom - least.height());
    if (edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT)
        proposed.Bottom = std::max(start.bottom() + 1 + delta.y(), proposed.Top + least.height());
    SendMessage(WM_SIZING, edge, reinterpret_cast<std::intptr_t>(&proposed));
    setGeometry(proposed.toQRect());
}

// A pressed caption button shows pushed while the pointer is on it.
void Form::dragButton(QPoint global)
{
    const bool down = captionButtonRect(m_dragHit).contains(mapFromGlobal(global));
    if (down != m_buttonDown) {
        m_buttonDown = down;
        invalidateFrame();
    }
}

// Hovering: the pointer shows what a press would do.
void Form::showHoverCursor(QPoint global)
{
    switch (sendHitTest(global)) {
    case HTLEFT:
    case HTRIGHT:
        setCursor(Qt::SizeHorCursor);
        break;
    case HTTOP:
    case HTBOTTOM:
        setCursor(Qt::SizeVerCursor);
        break;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        setCursor(Qt::SizeFDiagCursor);
        break;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        setCursor(Qt::SizeBDiagCursor);
        break;
    default:
        unsetCursor();
        break;
    }
}

void Form::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (event->button() == Qt::RightButton && m_rightHit != HTNOWHERE) {
        const std::intptr_t hit = std::exchange(m_rightHit, HTNOWHERE);
        SendMessage(WM_NCRBUTTONUP, hit, MakePointParam(global.x(), global.y()));
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton || m_drag == Drag::None) {
        QDialog::mouseReleaseEvent(event);
        return;
    }
    const Drag drag = std::exchange(m_drag, Drag::None);
    event->accept();
    if (drag != Drag::Button)
        return;
    const bool clicked = m_buttonDown;
    m_buttonDown = false;
    invalidateFrame();
    if (!clicked)
        return;
    if (m_dragHit == HTCLOSE)
        SendMessage(WM_SYSCOMMAND, SC_CLOSE, MakePointParam(global.x(), global.y()));
    else if (m_dragHit == HTMINBUTTON && (m_borderIcons & biMinimize))
        SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, MakePointParam(global.x(), global.y()));
    else if (m_dragHit == HTMAXBUTTON && (m_borderIcons & biMaximize))
        SendMessage(WM_SYSCOMMAND, (windowState() & Qt::WindowMaximized) ? SC_RESTORE : SC_MAXIMIZE,
                    MakePointParam(global.x(), global.y()));
}

void Form::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    const std::intptr_t hit = event->button() == Qt::LeftButton ? sendHitTest(global) : HTNOWHERE;
    if (hit == HTCAPTION && (m_borderIcons & biMaximize) &&
        m_borderStyle != TFormBorderStyle::bsDialog && !isToolWindow(m_borderStyle)) {
        SendMessage(WM_SYSCOMMAND, (windowState() & Qt::WindowMaximized) ? SC_RESTORE : SC_MAXIMIZE,
                    0);
        event->accept();
    } else if (hit == HTSYSMENU) {
        SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
        event->accept();
    } else {
        // A second press that is no double click on the frame starts as a press does.
        mousePressEvent(event);
    }
}

void Form::showSystemMenu(QPoint global)
{
    if (!m_systemMenu) {
        m_systemMenu = new QMenu(this);
        const auto add = [this](const QString& text, std::intptr_t command) {
            QAction* action = m_systemMenu->addAction(text);
            action->setData(QVariant::fromValue<qlonglong>(command));
            connect(action, &QAction::triggered, this,
                    [this, command] { SendMessage(WM_SYSCOMMAND, command, 0); });
        };
        add(QStringLiteral("&Wiederherstellen"), SC_RESTORE);
        add(QStringLiteral("Mi&nimieren"), SC_MINIMIZE);
        add(QStringLiteral("Ma&ximieren"), SC_MAXIMIZE);
        m_systemMenu->addSeparator();
        add(QStringLiteral("&Schließen\tAlt+F4"), SC_CLOSE);
    }
    const bool maximised = windowState() & Qt::WindowMaximized;
    const bool minMax = m_borderStyle != TFormBorderStyle::bsDialog && !isToolWindow(m_borderStyle);
    for (QAction* action : m_systemMenu->actions()) {
        switch (action->data().toLongLong()) {
        case SC_RESTORE:
            action->setVisible(minMax);
            action->setEnabled(maximised || isMinimized());
            break;
        case SC_MINIMIZE:
            action->setVisible(minMax);
            action->setEnabled(m_borderIcons & biMinimize);
            break;
        case SC_MAXIMIZE:
            action->setVisible(minMax);
            action->setEnabled((m_borderIcons & biMaximize) && !maximised);
            break;
        default:
            break;
        }
    }
    m_systemMenu->popup(global);
}
