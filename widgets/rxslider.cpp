// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/rxslider.h"

#include "widgets/keyedbitmap.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The built-in pictures, row by row from the top: '.' magenta (the key colour), 'W' white,
// 'L' light grey, 'D' dark grey, 'K' black.
const char* const HorizontalThumb[] = {
    "WWWWWWWWKWWWWWWWWK", "WLLLLLLDKWLLLLLLDK", "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK",
    "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK", "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK",
    "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK", "WLLLLLLDKWLWLWLWDK", "WLLLLLLDKWLLWLWLDK",
    "WLLLLLLDKWLWLWLWDK", ".WLLLLDK..WLWLWDK.", "..WLLDK....WLWDK..", "...WDK......WDK...",
    "....K........K....",
};
const char* const HorizontalRuler[] = {
    "..........", "..........", "DDDDDDDDDW", "DKKKKKKKLW",
    "DLLLLLLLLW", "WWWWWWWWWW", "..........", "..........",
};
const char* const VerticalThumb[] = {
    ".KKKKKKKKKKKKK......KKKKKKKKKKKKK.....", ".WDDDDDDDDDDDDK.....WDDDDDDDDDDDDK....",
    ".WLLLLLLLLLLLLDK....WLWLWLWLWLWLWDK...", ".WLLLLLLLLLLLLLDK...WLLWLWLWLWLWLWDK..",
    ".WLLLLLLLLLLLLLLDK..WLWLWLWLWLWLWLWDK.", ".WLLLLLLLLLLLLLLW...WLLWLWLWLWLWLWLW..",
    ".WLLLLLLLLLLLLLW....WLWLWLWLWLWLWLW...", ".WLLLLLLLLLLLLW.....WLLLLLLLLLLLLW....",
    ".WWWWWWWWWWWWW......WWWWWWWWWWWWW.....",
};
const char* const VerticalRuler[] = {
    "..DDDW..", "..DKLW..", "..DKLW..", "..DKLW..", "..DKLW..",
    "..DKLW..", "..DKLW..", "..DKLW..", "..DLLW..", "..WWWW..",
};

template <std::size_t Rows> QImage pictureFromGrid(const char* const (&grid)[Rows])
{
    const int width = int(qstrlen(grid[0]));
    QImage picture(width, int(Rows), QImage::Format_RGB32);
    for (int y = 0; y < int(Rows); ++y) {
        for (int x = 0; x < width; ++x) {
            QRgb colour = qRgb(0xFF, 0x00, 0xFF);
            switch (grid[y][x]) {
            case 'W':
                colour = qRgb(0xFF, 0xFF, 0xFF);
                break;
            case 'L':
                colour = qRgb(0xC0, 0xC0, 0xC0);
                break;
            case 'D':
                colour = qRgb(0x80, 0x80, 0x80);
                break;
            case 'K':
                colour = qRgb(0x00, 0x00, 0x00);
                break;
            default:
                break;
            }
            picture.setPixel(x, y, colour);
        }
    }
    return picture;
}

// Rounds to the nearest integer, ties to even, kept within the range of int.
int roundToInt(double value)
{
    const double rounded = std::nearbyint(value);
    constexpr double low = std::numeric_limits<int>::min();
    constexpr double high = std::numeric_limits<int>::max();
    if (!(rounded >= low))
        return std::numeric_limits<int>::min();
    if (rounded > high)
        return std::numeric_limits<int>::max();
    return int(rounded);
}

int rightOf(const QRect& rect)
{
    return rect.x() + rect.width();
}

int bottomOf(const QRect& rect)
{
    return rect.y() + rect.height();
}

// Copies [sourceStart, sourceStart + length) of the picture along the axis to targetStart of
// the ruler, across its whole cross size, clipped to both images.
void copyAlong(QImage& ruler, const QImage& picture, bool horizontal, int targetStart,
               int sourceStart, int length)
{
    const int targetLength = horizontal ? ruler.width() : ruler.height();
    const int pictureLength = horizontal ? picture.width() : picture.height();
    const int across = horizontal ? std::min(ruler.height(), picture.height())
                                  : std::min(ruler.width(), picture.width());
    for (int i = 0; i < length; ++i) {
        const int t = targetStart + i;
        const int s = sourceStart + i;
        if (t < 0 || t >= targetLength || s < 0 || s >= pictureLength)
            continue;
        for (int c = 0; c < across; ++c) {
            if (horizontal)
                ruler.setPixel(t, c, picture.pixel(s, c));
            else
                ruler.setPixel(c, t, picture.pixel(c, s));
        }
    }
}

} // namespace

SliderError::SliderError(const QString& message) : std::runtime_error(message.toStdString()) {}

TRxCustomSlider::TRxCustomSlider(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    resize(150, 40);
    setFocusPolicy(Qt::StrongFocus);
    m_repeatTimer = new QTimer(this);
    m_repeatTimer->setObjectName(QStringLiteral("repeatTimer"));
    m_repeatTimer->setInterval(400);
    connect(m_repeatTimer, &QTimer::timeout, this, &TRxCustomSlider::repeatStep);
    for (const ImageIndex index : {ImageHThumb, ImageHRuler, ImageVThumb, ImageVRuler})
        setImage(index, QImage());
    m_userImages = 0;
    m_constructing = false;
    Relayout();
}

TRxCustomSlider::~TRxCustomSlider()
{
    disconnect(this, &TRxCustomSlider::OnChange, nullptr, nullptr);
    disconnect(this, &TRxCustomSlider::OnChanged, nullptr, nullptr);
    disconnect(this, &TRxCustomSlider::OnDrawPoints, nullptr, nullptr);
    m_repeatTimer->stop();
}

QImage TRxCustomSlider::builtInImage(ImageIndex index)
{
    switch (index) {
    case ImageHThumb:
        return pictureFromGrid(HorizontalThumb);
    case ImageHRuler:
        return pictureFromGrid(HorizontalRuler);
    case ImageVThumb:
        return pictureFromGrid(VerticalThumb);
    case ImageVRuler:
        return pictureFromGrid(VerticalRuler);
    }
    return {};
}

void TRxCustomSlider::beginLoading()
{
    m_loading = true;
}

void TRxCustomSlider::endLoading()
{
    m_loading = false;
    for (const ImageIndex index : {ImageHThumb, ImageHRuler, ImageVThumb, ImageVRuler}) {
        if (m_userImages & (1u << index))
            setImage(index, QImage(m_images[index]));
    }
    Relayout();
}

const QImage& TRxCustomSlider::thumbPicture() const
{
    return m_images[m_orientation == soHorizontal ? ImageHThumb : ImageVThumb];
}

const QImage& TRxCustomSlider::rulerPicture() const
{
    return m_images[m_orientation == soHorizontal ? ImageHRuler : ImageVRuler];
}

int TRxCustomSlider::travelLength() const
{
    const QImage& thumb = thumbPicture();
    if (m_orientation == soHorizontal)
        return m_rulerImage.width() - thumb.width() / m_numThumbStates;
    return m_rulerImage.height() - thumb.height();
}

QRect TRxCustomSlider::ContentRect() const
{
    QRect content(0, 0, width(), height());
    if (m_bevelStyle != bvNone)
        content.adjust(m_bevelThickness, m_bevelThickness, -m_bevelThickness, -m_bevelThickness);
    return content;
}

// ---- settings

void TRxCustomSlider::setValue(int value)
{
    const int limited = std::max(std::min(value, m_maxValue), m_minValue);
    const int previous = m_value;
    m_value = limited;
    PlaceThumb(PositionOfValue(limited));
    if (limited != previous)
        notifyChange();
}

void TRxCustomSlider::setMinValue(int value)
{
    if (value != m_minValue)
        setRange(value, m_maxValue);
}

void TRxCustomSlider::setMaxValue(int value)
{
    if (value != m_maxValue)
        setRange(m_minValue, value);
}

void TRxCustomSlider::setRange(int minValue, int maxValue)
{
    if (!m_loading && maxValue <= minValue)
        return;
    m_minValue = minValue;
    m_maxValue = maxValue;
    if (!m_loading && qint64(maxValue) < qint64(minValue) + m_increment)
        m_increment = maxValue - minValue;
    if (m_options & soShowPoints)
        update();
    setValue(m_value);
    RangeAdjusted();
}

void TRxCustomSlider::setIncrement(int value)
{
    const qint64 range = qint64(m_maxValue) - m_minValue;
    if (!m_loading && (value > range || value < 1))
        throw SliderError(QStringLiteral("Wert muß zwischen %1 und %2 liegen").arg(1).arg(range));
    if (value > 0 && value != m_increment) {
        m_increment = value;
        setValue(m_value);
        update();
    }
}

void TRxCustomSlider::setEdgeSize(int value)
{
    const QImage& ruler = m_images[m_orientation == soHorizontal ? ImageHRuler : ImageVRuler];
    const int length = m_orientation == soHorizontal ? ruler.width() : ruler.height();
    // A negative edge would read beside the picture.
    if (value >= 0 && 2 * qint64(value) < length && value != m_edgeSize) {
        m_edgeSize = value;
        Relayout();
    }
}

void TRxCustomSlider::setOrientation(TSliderOrientation orientation)
{
    if (orientation == m_orientation)
        return;
    m_orientation = orientation;
    Relayout();
    if (!m_loading) {
        resize(height(), width());
        // A hidden control hears of its new size only when shown.
        if (!isVisible())
            Relayout();
    }
}

void TRxCustomSlider::setBevelStyle(TPanelBevel style)
{
    if (style == m_bevelStyle)
        return;
    m_bevelStyle = style;
    Relayout();
    repaint();
}

void TRxCustomSlider::setOptions(TSliderOptions options)
{
    if (options == m_options)
        return;
    m_options = options;
    update();
}

void TRxCustomSlider::setNumThumbStates(int states)
{
    if (states == m_numThumbStates || states < 1 || states > 2)
        return;
    m_numThumbStates = states;
    Relayout();
}

void TRxCustomSlider::setImage(ImageIndex index, const QImage& picture)
{
    const quint8 bit = quint8(1u << index);
    if (!picture.isNull()) {
        m_images[index] = picture;
        m_userImages |= bit;
        imageEdited();
        return;
    }
    m_images[index] = builtInImage(index);
    m_userImages &= quint8(~bit);
    imageEdited();
    if (!m_loading) {
        const bool thumb = index == ImageHThumb || index == ImageVThumb;
        m_options &= ~TSliderOptions(thumb ? soThumbOpaque : soRulerOpaque);
        update();
    }
}

void TRxCustomSlider::imageEdited()
{
    if (!m_constructing)
        Relayout();
}

// ---- layout

void TRxCustomSlider::ComposeRuler(const QRect& content)
{
    const QImage& picture = rulerPicture();
    const bool horizontal = m_orientation == soHorizontal;
    const int length = horizontal ? std::max(content.width() - 12, 0) : content.height() - 12;
    const QSize size =
        horizontal ? QSize(length, picture.height()) : QSize(picture.width(), std::max(length, 0));
    m_rulerImage = QImage(size, QImage::Format_RGB32);
    if (m_rulerImage.isNull())
        return;
    // What no piece covers stays in the key colour and so shows nothing.
    m_rulerImage.fill(pictureKeyColor(picture, clDefault));
    const int pictureLength = horizontal ? picture.width() : picture.height();
    const int edge = m_edgeSize;
    const int inner = length - 2 * edge;
    const int middle = pictureLength - 2 * edge;
    // Without a middle to repeat there is nothing to compose.
    if (length <= 0 || middle <= 0)
        return;
    const int count = inner / middle + 1;
    const int rest = inner % middle;
    for (int i = 0; i < count; ++i) {
        if (i == 0)
            copyAlong(m_rulerImage, picture, horizontal, 0, 0, pictureLength - edge);
        else if (i < count - 1)
            copyAlong(m_rulerImage, picture, horizontal, edge + i * middle, edge, middle);
        else
            copyAlong(m_rulerImage, picture, horizontal, edge + i * middle, edge + middle - rest,
                      edge + rest);
    }
}

void TRxCustomSlider::Relayout()
{
    const int saved = m_value;
    const QRect content = ContentRect();
    ComposeRuler(content);
    const QImage& thumb = thumbPicture();
    const int tw = thumb.width() / m_numThumbStates;
    const int th = thumb.height();
    const int rw = m_rulerImage.width();
    const int rh = m_rulerImage.height();
    const int left = content.x() + 6;
    const int top = content.y() + 6;
    if (m_orientation == soHorizontal) {
        int pointsTop = 0;
        if (th > rh) {
            m_thumbBox = QRect(left, top, tw, th);
            m_rulerOrigin = QPoint(left, top + (th - rh) / 2);
            pointsTop = top + th + 1;
        } else {
            m_rulerOrigin = QPoint(left, top);
            m_thumbBox = QRect(left, top + (rh - th) / 2, tw, th);
            pointsTop = top + rh + 1;
        }
        const int pointsBottom = content.height() - 1;
        m_pointsArea =
            QRect(QPoint(m_rulerOrigin.x(), pointsTop), QSize(rw, pointsBottom - pointsTop));
    } else {
        int pointsLeft = 0;
        if (tw > rw) {
            m_thumbBox = QRect(left, top, tw, th);
            m_rulerOrigin = QPoint(left + (tw - rw) / 2, top);
            pointsLeft = left + tw + 1;
        } else {
            m_rulerOrigin = QPoint(left, top);
            m_thumbBox = QRect(left + (rw - tw) / 2, top, tw, th);
            pointsLeft = left + rw + 1;
        }
        const int pointsRight = content.width() - 1;
        m_pointsArea =
            QRect(QPoint(pointsLeft, m_rulerOrigin.y()), QSize(pointsRight - pointsLeft, rh));
    }
    setValue(saved);
    update();
}

int TRxCustomSlider::PositionOfValue(int value) const
{
    const QRect content = ContentRect();
    const bool horizontal = m_orientation == soHorizontal;
    const int base = (horizontal ? content.x() : content.y()) + 6;
    const qint64 range = qint64(m_maxValue) - m_minValue;
    const int travel = std::max(travelLength(), 0);
    // An empty range (possible only while loading) keeps the thumb at the start.
    int position = base;
    if (range != 0)
        position = base + roundToInt(travel * (double(qint64(value) - m_minValue) / double(range)));
    if (!horizontal)
        position = content.y() + bottomOf(content) - position - thumbPicture().height();
    return std::max(position, base);
}

int TRxCustomSlider::ValueAtPosition(int position) const
{
    if (m_orientation == soVertical)
        position = height() - position - thumbPicture().height();
    const int travel = travelLength();
    // A ruler without travel cannot tell values apart: the value stays.
    if (travel <= 0)
        return m_value;
    const double range = double(qint64(m_maxValue) - m_minValue);
    double offset = std::nearbyint((double(position) - ContentRect().x() - 6) * range / travel);
    if (!(m_options & soSmooth))
        offset = std::nearbyint(offset / m_increment) * m_increment;
    const double result = std::min(std::max(offset, 0.0) + m_minValue, double(m_maxValue));
    return roundToInt(result);
}

int TRxCustomSlider::SnapThumbPosition(int position) const
{
    const QRect content = ContentRect();
    const int base = (m_orientation == soHorizontal ? content.x() : content.y()) + 6;
    const int end = base + std::max(travelLength(), 0);
    position = std::min(std::max(position, base), end);
    position = PositionOfValue(ValueAtPosition(position));
    return std::min(position, end);
}

void TRxCustomSlider::PlaceThumb(int position)
{
    const int previous = m_value;
    const int snapped = SnapThumbPosition(position);
    invalidateThumbBox();
    if (m_orientation == soHorizontal)
        m_thumbBox.moveLeft(snapped);
    else
        m_thumbBox.moveTop(snapped);
    invalidateThumbBox();
    if (m_thumbDragging) {
        m_value = ValueAtPosition(position);
        if (m_value != previous)
            notifyChange();
    }
}

void TRxCustomSlider::invalidateThumbBox()
{
    update(m_thumbBox);
}

void TRxCustomSlider::StepValue(StepKind kind)
{
    const double step = m_increment;
    const double onGrid = step * std::nearbyint(m_value / step);
    double next = 0;
    switch (kind) {
    case ToMinimum:
        next = m_minValue;
        break;
    case ToMaximum:
        next = m_maxValue;
        break;
    case Forward:
        next = onGrid + step;
        break;
    case Backward:
        next = onGrid - step;
        break;
    case None:
        return;
    }
    int value = 0;
    if (next >= m_maxValue)
        value = m_maxValue;
    else if (next <= m_minValue)
        value = m_minValue;
    else
        value = int(next);
    if (value != m_value)
        setValue(value);
}

TRxCustomSlider::StepKind TRxCustomSlider::StepKindAt(const QPoint& point) const
{
    if (m_orientation == soHorizontal) {
        if (point.x() < m_thumbBox.x())
            return Backward;
        if (point.x() > rightOf(m_thumbBox))
            return Forward;
    } else {
        if (point.y() < m_thumbBox.y())
            return Forward;
        if (point.y() > bottomOf(m_thumbBox))
            return Backward;
    }
    return None;
}

// ---- input

void TRxCustomSlider::keyPressEvent(QKeyEvent* event)
{
    StepKind kind = None;
    if (!(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) {
        const bool horizontal = m_orientation == soHorizontal;
        switch (event->key()) {
        case Qt::Key_Home:
            kind = ToMinimum;
            break;
        case Qt::Key_End:
            kind = ToMaximum;
            break;
        case Qt::Key_Left:
            kind = horizontal ? Backward : None;
            break;
        case Qt::Key_Right:
            kind = horizontal ? Forward : None;
            break;
        case Qt::Key_Up:
            kind = horizontal ? None : Forward;
            break;
        case Qt::Key_Down:
            kind = horizontal ? None : Backward;
            break;
        default:
            break;
        }
    }
    if (kind != None && AcceptsUserInput()) {
        event->accept();
        StepValue(kind);
        notifyChangeDone();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TRxCustomSlider::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    if (focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    const QPoint point = event->position().toPoint();
    const auto inside = [&point](int left, int top, int right, int bottom) {
        return point.x() >= left && point.x() <= right && point.y() >= top && point.y() <= bottom;
    };
    if (inside(m_thumbBox.x(), m_thumbBox.y(), rightOf(m_thumbBox), bottomOf(m_thumbBox))) {
        GrabThumb(event->button(), event->modifiers(), point.x(), point.y());
        return;
    }
    int left = m_rulerOrigin.x();
    int top = m_rulerOrigin.y();
    int right = left + m_rulerImage.width();
    int bottom = top + m_rulerImage.height();
    if (m_orientation == soHorizontal) {
        top -= 3;
        bottom += 3;
    } else {
        left -= 3;
        right += 3;
    }
    if (inside(left, top, right, bottom) && AcceptsUserInput()) {
        m_rulerHeld = true;
        m_lastMousePos = point;
        m_pressStepKind = StepKindAt(point);
        repeatStep();
    }
}

void TRxCustomSlider::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click neither steps nor grabs.
    event->accept();
}

void TRxCustomSlider::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if ((event->buttons() & Qt::LeftButton) && m_thumbDragging)
        DragThumb(event->modifiers(), point.x(), point.y());
    else if (m_rulerHeld)
        m_lastMousePos = point;
    updateCursor(point);
    QWidget::mouseMoveEvent(event);
}

void TRxCustomSlider::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    endRulerPress();
    if (m_thumbDragging)
        ReleaseThumb(event->button(), event->modifiers(), point.x(), point.y());
    QWidget::mouseReleaseEvent(event);
}

void TRxCustomSlider::repeatStep()
{
    const StepKind kind = StepKindAt(m_lastMousePos);
    if (kind != m_pressStepKind)
        return;
    StepValue(kind);
    if (!m_repeatTimerOn) {
        m_repeatTimer->start();
        m_repeatTimerOn = true;
    }
}

void TRxCustomSlider::endRulerPress()
{
    if (!m_rulerHeld)
        return;
    if (m_repeatTimerOn)
        m_repeatTimer->stop();
    m_repeatTimerOn = false;
    m_rulerHeld = false;
    notifyChangeDone();
}

void TRxCustomSlider::GrabThumb(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y)
{
    if (focusPolicy() != Qt::NoFocus)
        setFocus(Qt::MouseFocusReason);
    if (button != Qt::LeftButton || !AcceptsUserInput())
        return;
    m_thumbDragging = true;
    m_thumbPressed = true;
    m_grabOffset = m_orientation == soHorizontal ? x - m_thumbBox.x() : y - m_thumbBox.y();
    invalidateThumbBox();
    repaint(m_thumbBox);
}

void TRxCustomSlider::DragThumb(Qt::KeyboardModifiers, int x, int y)
{
    if (AcceptsUserInput())
        PlaceThumb((m_orientation == soHorizontal ? x : y) - m_grabOffset);
}

void TRxCustomSlider::ReleaseThumb(Qt::MouseButton button, Qt::KeyboardModifiers, int, int)
{
    if (button != Qt::LeftButton)
        return;
    m_thumbDragging = false;
    m_thumbPressed = false;
    invalidateThumbBox();
    repaint(m_thumbBox);
    if (AcceptsUserInput())
        notifyChangeDone();
}

void TRxCustomSlider::updateCursor(const QPoint& point)
{
    // Unlike a press, the cursor leaves the thumb at its right and bottom edges.
    const bool overThumb = m_thumbBox.contains(point);
    if (overThumb == m_handCursor)
        return;
    m_handCursor = overThumb;
    showCursor();
}

void TRxCustomSlider::showCursor()
{
    m_showingCursor = true;
    if (m_handCursor)
        setCursor(Qt::PointingHandCursor);
    else if (m_ownCursor)
        setCursor(*m_ownCursor);
    else
        unsetCursor();
    m_showingCursor = false;
}

bool TRxCustomSlider::event(QEvent* event)
{
    // A cursor set from outside is the slider's own, also while the hand stands in for it.
    if (event->type() == QEvent::CursorChange && !m_showingCursor) {
        m_ownCursor.reset();
        if (testAttribute(Qt::WA_SetCursor))
            m_ownCursor = cursor();
        if (m_handCursor)
            showCursor();
    }
    return QWidget::event(event);
}

void TRxCustomSlider::focusInEvent(QFocusEvent* event)
{
    setFocusChanged(true);
    QWidget::focusInEvent(event);
}

void TRxCustomSlider::focusOutEvent(QFocusEvent* event)
{
    // The slider stays its window's focused control while another window is active or a pop-up
    // menu is open, and keeps its focus rectangle then.
    setFocusChanged(window()->focusWidget() == this);
    QWidget::focusOutEvent(event);
}

void TRxCustomSlider::setFocusChanged(bool focused)
{
    if (focused == m_hasFocus)
        return;
    m_hasFocus = focused;
    if (m_options & soShowFocus)
        update();
}

void TRxCustomSlider::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        invalidateThumbBox();
}

void TRxCustomSlider::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_loading)
        Relayout();
}

// ---- painting

void TRxCustomSlider::paintEvent(QPaintEvent* event)
{
    if (m_painting)
        return;
    // The whole control is composed off screen and reaches the window in one copy.
    QImage buffer(size(), QImage::Format_RGB32);
    if (buffer.isNull())
        return;
    m_painting = true;
    {
        QPainter painter(&buffer);
        paintControl(painter, false);
    }
    m_painting = false;
    QPainter window(this);
    window.setClipRegion(event->region());
    window.drawImage(0, 0, buffer);
}

QImage TRxCustomSlider::PaintCopy()
{
    QImage copy(size(), QImage::Format_RGB32);
    if (copy.isNull())
        return copy;
    QPainter painter(&copy);
    paintControl(painter, true);
    return copy;
}

void TRxCustomSlider::paintControl(QPainter& painter, bool copy)
{
    // A copy shows the thumb where the displayed value puts it.
    QPoint thumbPoint = m_thumbBox.topLeft();
    if (copy) {
        const int position = SnapThumbPosition(PositionOfValue(DisplayedValue()));
        thumbPoint = m_orientation == soHorizontal ? QPoint(position, m_thumbBox.y())
                                                   : QPoint(m_thumbBox.x(), position);
    }
    painter.fillRect(paintBevel(painter), palette().color(backgroundRole()));
    if (m_rulerImage.width() > 0)
        DrawImageKeyed(painter, m_rulerOrigin.x(), m_rulerOrigin.y(), m_rulerImage,
                       (m_options & soRulerOpaque) ? clNone : clDefault);
    if ((m_options & soShowFocus) && m_hasFocus)
        paintFocusFrame(painter);
    if (m_options & soShowPoints) {
        m_canvas = &painter;
        if (isSignalConnected(QMetaMethod::fromSignal(&TRxCustomSlider::OnDrawPoints)))
            emit OnDrawPoints();
        else
            DrawTickMarks(m_increment, 3, 5);
        m_canvas = nullptr;
    }
    paintThumb(painter, thumbPoint, copy ? !isEnabled() : (m_thumbPressed || !isEnabled()));
}

QRect TRxCustomSlider::paintBevel(QPainter& painter) const
{
    QRect area = rect();
    if (m_bevelStyle == bvNone)
        return area;
    const QColor shadow = GetSysColor(COLOR_BTNSHADOW);
    const QColor highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    const QColor& topLeft = m_bevelStyle == bvLowered ? shadow : highlight;
    const QColor& bottomRight = m_bevelStyle == bvLowered ? highlight : shadow;
    for (int i = 0; i < m_bevelThickness && area.width() > 0 && area.height() > 0; ++i) {
        painter.fillRect(area.x(), area.y(), area.width() - 1, 1, topLeft);
        painter.fillRect(area.x(), area.y(), 1, area.height() - 1, topLeft);
        painter.fillRect(rightOf(area) - 1, area.y(), 1, area.height(), bottomRight);
        painter.fillRect(area.x(), bottomOf(area) - 1, area.width(), 1, bottomRight);
        area.adjust(1, 1, -1, -1);
    }
    return area;
}

// A dotted frame that inverts every other pixel.
void TRxCustomSlider::paintFocusFrame(QPainter& painter) const
{
    const QRect focus = ContentRect().adjusted(2, 2, -2, -2);
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    const auto dot = [&painter](int x, int y) {
        if ((x + y) % 2 == 0)
            painter.fillRect(x, y, 1, 1, Qt::white);
    };
    for (int x = focus.x(); x < rightOf(focus); ++x) {
        dot(x, focus.y());
        if (focus.height() > 1)
            dot(x, bottomOf(focus) - 1);
    }
    for (int y = focus.y() + 1; y < bottomOf(focus) - 1; ++y) {
        dot(focus.x(), y);
        if (focus.width() > 1)
            dot(rightOf(focus) - 1, y);
    }
    painter.restore();
}

void TRxCustomSlider::paintThumb(QPainter& painter, QPoint point, bool pressed) const
{
    const QImage& thumb = thumbPicture();
    QRect source = thumb.rect();
    if (m_numThumbStates == 2) {
        const int half = thumb.width() / 2;
        source = pressed ? QRect(half, 0, thumb.width() - half, thumb.height())
                         : QRect(0, 0, half, thumb.height());
    }
    DrawImageRectKeyed(painter, point.x(), point.y(), source, thumb,
                       (m_options & soThumbOpaque) ? clNone : clDefault);
}

void TRxCustomSlider::DrawTickMarks(int step, int tickLength, int endTickLength)
{
    if (!m_canvas || step < 1)
        return;
    const qint64 range = qint64(m_maxValue) - m_minValue;
    if (range < 0)
        return;
    const int travel = std::max(travelLength(), 0);
    const auto countFor = [range, step](qint64 k) {
        return qint64(std::nearbyint(double(range) / (double(k) * step)));
    };
    const auto spacingFor = [travel](qint64 n) { return n >= 1 ? qint64(travel / n) : travel; };
    const auto wideEnough = [&](qint64 k) {
        const qint64 spacing = spacingFor(countFor(k));
        return spacing >= 4 || spacing >= travel;
    };
    // The smallest k whose points lie at least 4 pixels apart; the spacing grows with k, so
    // a bisection finds it without trying every k of a wide range.
    qint64 low = 1;
    qint64 high = 2 * range / step + 1;
    while (low < high) {
        const qint64 mid = low + (high - low) / 2;
        if (wideEnough(mid))
            high = mid;
        else
            low = mid + 1;
    }
    const qint64 k = low;
    const qint64 count = countFor(k) + 1;
    const QImage& thumb = thumbPicture();
    const int tw = thumb.width() / m_numThumbStates;
    const int th = thumb.height();
    const QColor pen = GetSysColor(COLOR_WINDOWTEXT);
    qint64 value = m_minValue;
    for (qint64 i = 1; i <= count; ++i) {
        if (i == count)
            value = m_maxValue;
        const int length = value == m_maxValue || value == m_minValue ? endTickLength : tickLength;
        const int position =
            PositionOfValue(int(std::clamp<qint64>(value, m_minValue, m_maxValue)));
        if (length > 0) {
            if (m_orientation == soHorizontal)
                m_canvas->fillRect(position + tw / 2, m_pointsArea.y(), 1, length, pen);
            else
                m_canvas->fillRect(m_pointsArea.x(), position + th / 2, length, 1, pen);
        }
        value += k * step;
    }
}
