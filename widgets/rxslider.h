// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "platform/sysmetrics.h"

#include <QCursor>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <optional>
#include <stdexcept>

class QPainter;

// The error of a slider setting that is refused with a message, such as an increment outside
// the range.
class SliderError : public std::runtime_error {
public:
    explicit SliderError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// A self-drawn slider: a ruler composed from a small picture, a thumb picture with one or two
// states, points beside the ruler, keyboard and mouse operation and two change signals.
//
// OnChange() follows every change of the value, whatever its source; OnChanged() ends each user
// action (a handled key, a released ruler press, a finished drag). OnDrawPoints(), when
// connected, draws the points instead of the built-in drawing, for example by calling
// DrawTickMarks() with numbers of its own.
//
// Between beginLoading() and endLoading() settings are stored as a form stores them: the range
// and increment checks are skipped and a size change does not lay the control out again.
// endLoading() brings the control up to date.
class TRxCustomSlider : public QWidget {
    Q_OBJECT

public:
    enum TSliderOrientation { soHorizontal, soVertical };
    Q_ENUM(TSliderOrientation)
    enum TSliderOption {
        soShowFocus = 0x01,
        soShowPoints = 0x02,
        soSmooth = 0x04,
        soRulerOpaque = 0x08,
        soThumbOpaque = 0x10,
    };
    Q_DECLARE_FLAGS(TSliderOptions, TSliderOption)
    Q_FLAG(TSliderOptions)
    enum TPanelBevel { bvNone, bvLowered, bvRaised };
    Q_ENUM(TPanelBevel)
    enum StepKind { None, ToMinimum, ToMaximum, Forward, Backward };
    Q_ENUM(StepKind)
    // The four picture slots.
    enum ImageIndex { ImageHThumb = 0, ImageHRuler = 1, ImageVThumb = 2, ImageVRuler = 3 };

    explicit TRxCustomSlider(QWidget* parent = nullptr);
    ~TRxCustomSlider() override;

    void beginLoading();
    void endLoading();
    bool isLoading() const { return m_loading; }

    int value() const { return m_value; }
    // Limits the value to the range (the minimum wins over an inverted range) and places the
    // thumb, also for an unchanged value; never rounds to the increment.
    void setValue(int value);
    int minValue() const { return m_minValue; }
    void setMinValue(int value);
    int maxValue() const { return m_maxValue; }
    void setMaxValue(int value);
    int increment() const { return m_increment; }
    // Throws SliderError for a step outside 1 .. maxValue - minValue (except while loading).
    void setIncrement(int value);
    int edgeSize() const { return m_edgeSize; }
    void setEdgeSize(int value);
    TSliderOrientation orientation() const { return m_orientation; }
    // Swaps the control's width and height, except while loading.
    void setOrientation(TSliderOrientation orientation);
    TPanelBevel bevelStyle() const { return m_bevelStyle; }
    void setBevelStyle(TPanelBevel style);
    int bevelThickness() const { return m_bevelThickness; }
    TSliderOptions options() const { return m_options; }
    void setOptions(TSliderOptions options);
    int numThumbStates() const { return m_numThumbStates; }
    // 1 or 2; other numbers are ignored.
    void setNumThumbStates(int states);

    // A picture slot. Assigning a null image restores the built-in picture and, except while
    // loading, switches the matching opaque option off.
    QImage image(ImageIndex index) const { return m_images[index]; }
    void setImage(ImageIndex index, const QImage& picture);
    // Bit i is set while slot i holds a picture of the user's.
    quint8 userImages() const { return m_userImages; }
    static QImage builtInImage(ImageIndex index);

    // Layout, as the last Relayout() left it.
    const QImage& rulerImage() const { return m_rulerImage; }
    QPoint rulerOrigin() const { return m_rulerOrigin; }
    QRect thumbBox() const { return m_thumbBox; }
    QRect pointsArea() const { return m_pointsArea; }
    // Ruler length minus thumb length along the slider; may be 0 or negative on tiny controls.
    int travelLength() const;
    bool isThumbPressed() const { return m_thumbPressed; }
    bool isThumbDragging() const { return m_thumbDragging; }
    bool isRulerHeld() const { return m_rulerHeld; }
    bool isRepeatTimerOn() const { return m_repeatTimerOn; }
    // The pause between two steps while the ruler is held down, 400 ms unless set.
    std::chrono::milliseconds repeatInterval() const { return m_repeatTimer->intervalAsDuration(); }
    void setRepeatInterval(std::chrono::milliseconds interval)
    {
        m_repeatTimer->setInterval(interval);
    }

    void ComposeRuler(const QRect& content);
    // The thumb's leading edge for a value (left edge, or top edge when vertical).
    int PositionOfValue(int value) const;
    int ValueAtPosition(int position) const;
    int SnapThumbPosition(int position) const;
    void PlaceThumb(int position);
    void StepValue(StepKind kind);
    StepKind StepKindAt(const QPoint& point) const;
    // Draws the points on the canvas being painted; does nothing outside painting.
    void DrawTickMarks(int step, int tickLength, int endTickLength);
    // The control as a copy for elsewhere: the thumb at DisplayedValue(), drawn pressed only
    // when the control is disabled.
    QImage PaintCopy();

    virtual bool AcceptsUserInput() const { return true; }
    virtual QRect ContentRect() const;
    virtual int DisplayedValue() const { return m_value; }
    virtual void Relayout();
    virtual void RangeAdjusted() {}

signals:
    void OnChange();
    void OnChanged();
    void OnDrawPoints();

protected:
    virtual void GrabThumb(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    virtual void DragThumb(Qt::KeyboardModifiers modifiers, int x, int y);
    virtual void ReleaseThumb(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x,
                              int y);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    const QImage& thumbPicture() const;
    const QImage& rulerPicture() const;
    void setRange(int minValue, int maxValue);
    void imageEdited();
    void invalidateThumbBox();
    void repeatStep();
    void endRulerPress();
    void notifyChange() { emit OnChange(); }
    void notifyChangeDone() { emit OnChanged(); }
    void updateCursor(const QPoint& point);
    void showCursor();
    void paintControl(QPainter& painter, bool copy);
    // Draws the bevel and returns the area inside it.
    QRect paintBevel(QPainter& painter) const;
    void paintFocusFrame(QPainter& painter) const;
    void paintThumb(QPainter& painter, QPoint point, bool pressed) const;
    void setFocusChanged(bool focused);

    quint8 m_userImages = 0;
    std::array<QImage, 4> m_images;
    int m_edgeSize = 2;
    QImage m_rulerImage;
    bool m_painting = false;
    QPoint m_rulerOrigin;
    QRect m_thumbBox;
    bool m_thumbPressed = false;
    int m_numThumbStates = 2;
    QRect m_pointsArea;
    TSliderOrientation m_orientation = soHorizontal;
    TSliderOptions m_options = TSliderOptions(soShowFocus | soShowPoints | soSmooth);
    TPanelBevel m_bevelStyle = bvNone;
    int m_bevelThickness = 1;
    int m_minValue = 0;
    int m_maxValue = 100;
    int m_increment = 10;
    int m_value = 0;
    int m_grabOffset = 0;
    bool m_hasFocus = false;
    bool m_thumbDragging = false;
    bool m_rulerHeld = false;
    bool m_repeatTimerOn = false;
    QPoint m_lastMousePos;
    StepKind m_pressStepKind = None;

    bool m_constructing = true;
    bool m_loading = false;
    bool m_handCursor = false;
    // The slider's own cursor, which the hand over the thumb stands in for; none when it shows
    // its parent's.
    std::optional<QCursor> m_ownCursor;
    bool m_showingCursor = false;
    QPainter* m_canvas = nullptr;
    QTimer* m_repeatTimer;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TRxCustomSlider::TSliderOptions)

// The slider with its published properties.
class TRxSlider : public TRxCustomSlider {
    Q_OBJECT
    Q_PROPERTY(TPanelBevel BevelStyle READ bevelStyle WRITE setBevelStyle)
    Q_PROPERTY(QImage ImageHThumb READ imageHThumb WRITE setImageHThumb)
    Q_PROPERTY(QImage ImageHRuler READ imageHRuler WRITE setImageHRuler)
    Q_PROPERTY(QImage ImageVThumb READ imageVThumb WRITE setImageVThumb)
    Q_PROPERTY(QImage ImageVRuler READ imageVRuler WRITE setImageVRuler)
    Q_PROPERTY(int Increment READ increment WRITE setIncrement)
    Q_PROPERTY(int MinValue READ minValue WRITE setMinValue)
    Q_PROPERTY(int MaxValue READ maxValue WRITE setMaxValue)
    Q_PROPERTY(int NumThumbStates READ numThumbStates WRITE setNumThumbStates)
    Q_PROPERTY(TSliderOrientation Orientation READ orientation WRITE setOrientation)
    Q_PROPERTY(int EdgeSize READ edgeSize WRITE setEdgeSize)
    Q_PROPERTY(TSliderOptions Options READ options WRITE setOptions)
    Q_PROPERTY(int Value READ value WRITE setValue NOTIFY OnChange)

public:
    using TRxCustomSlider::TRxCustomSlider;

    QImage imageHThumb() const { return image(ImageHThumb); }
    void setImageHThumb(const QImage& picture) { setImage(ImageHThumb, picture); }
    QImage imageHRuler() const { return image(ImageHRuler); }
    void setImageHRuler(const QImage& picture) { setImage(ImageHRuler, picture); }
    QImage imageVThumb() const { return image(ImageVThumb); }
    void setImageVThumb(const QImage& picture) { setImage(ImageVThumb, picture); }
    QImage imageVRuler() const { return image(ImageVRuler); }
    void setImageVRuler(const QImage& picture) { setImage(ImageVRuler, picture); }
};
