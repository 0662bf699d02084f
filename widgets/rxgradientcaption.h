// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "platform/form.h"
#include "platform/sysmetrics.h"

#include <QFont>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TRxWindowHook;
class TRxCaptionList;
class TRxGradientCaption;

// A font with its colour, and a notification when either changes.
class TFont {
public:
    QFont font;
    TColor Color = clWindowText;
    std::function<void()> OnChange;

    void setFont(const QFont& value);
    void setColor(TColor value);
    // Copies the other's face and colour (not its notification) and reports the change.
    void Assign(const TFont& other);
    void Changed();
};

// A popup menu that a component can open on the frame; AutoPopup allows it to open by itself.
class TPopupMenu : public QMenu {
    Q_OBJECT

public:
    using QMenu::QMenu;
    bool AutoPopup = true;
    // The component that opened the menu last.
    QPointer<QObject> PopupComponent;
};

enum THideDirection : std::uint8_t { hdLeftToRight = 0, hdRightToLeft = 1 };

// One text piece of the caption bar, with its own font and colours.
class TRxCaption {
public:
    explicit TRxCaption(TRxCaptionList* list);
    virtual ~TRxCaption() = default;
    TRxCaption(const TRxCaption&) = delete;
    TRxCaption& operator=(const TRxCaption&) = delete;

    const QString& Caption() const { return m_caption; }
    void setCaption(const QString& value);
    const TFont& Font() const { return m_font; }
    void setFont(const TFont& value);
    bool ParentFont() const { return m_parentFont; }
    void setParentFont(bool value);
    bool Visible() const { return m_visible; }
    void setVisible(bool value);
    bool GlueNext() const { return m_glueNext; }
    void setGlueNext(bool value);
    TColor InactiveColor() const { return m_inactiveColor; }
    void setInactiveColor(TColor value);

    TRxGradientCaption* ParentCaption() const;
    void Assign(const TRxCaption& source);
    virtual void RestoreDefaults();

private:
    void Changed();
    void PieceFontChanged();

    TRxCaptionList* m_list;
    QString m_caption;
    TFont m_font;
    bool m_parentFont = true;
    bool m_visible = true;
    bool m_glueNext = false;
    TColor m_inactiveColor = clInactiveCaptionText;
};

// The pieces of a gradient caption, in order.
class TRxCaptionList {
public:
    explicit TRxCaptionList(TRxGradientCaption* owner) : GradientCaption(owner) {}

    TRxGradientCaption* const GradientCaption;

    int Count() const { return static_cast<int>(m_items.size()); }
    TRxCaption* Item(int index) const { return m_items.at(static_cast<std::size_t>(index)).get(); }
    TRxCaption* Add();
    void Delete(int index);
    void Clear();
    void Assign(const TRxCaptionList& source);

    void BeginUpdate() { ++m_updateCount; }
    void EndUpdate();
    // A piece changed, or the list did.
    void Changed();

private:
    std::vector<std::unique_ptr<TRxCaption>> m_items;
    int m_updateCount = 0;
};

// Paints its form's caption bar with a colour gradient, the small icon and a row of text
// pieces, through a window hook on the form.
class TRxGradientCaption : public QObject {
    Q_OBJECT

public:
    explicit TRxGradientCaption(QObject* owner);
    ~TRxGradientCaption() override;

    // Property values set between these two are stored without repainting (as while a form is
    // read from its resource); Loaded brings the caption up to date.
    void BeginLoad() { m_loading = true; }
    void Loaded();
    bool Loading() const { return m_loading; }

    bool Active() const;
    void setActive(bool value);
    TRxCaptionList& Captions() { return *m_captions; }
    void setCaptions(const TRxCaptionList& value) { m_captions->Assign(value); }
    bool DefaultFont() const { return m_defaultFont; }
    void setDefaultFont(bool value);
    const QString& FormCaption() const { return m_formCaption; }
    void setFormCaption(const QString& value);
    TColor FontInactiveColor() const { return m_fontInactiveColor; }
    void setFontInactiveColor(TColor value);
    const TFont& Font() const { return m_font; }
    void setFont(const TFont& value) { m_font.Assign(value); }
    bool GradientActive() const { return m_gradientActive; }
    void setGradientActive(bool value);
    bool GradientInactive() const { return m_gradientInactive; }
    void setGradientInactive(bool value);
    int GradientSteps() const { return m_gradientSteps; }
    void setGradientSteps(int value);
    THideDirection HideDirection() const { return m_hideDirection; }
    void setHideDirection(THideDirection value);
    TPopupMenu* PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(TPopupMenu* value);
    TColor StartColor() const { return m_startColor; }
    void setStartColor(TColor value);

    std::function<void(QObject*)> OnActivate;
    std::function<void(QObject*)> OnDeactivate;

    bool WindowActive() const { return m_windowActive; }
    TRxWindowHook* CaptionHook() const { return m_captionHook; }
    Form* OwnerForm() const;

    void UpdateCaption();
    // The caption bar without its bottom line and buttons, in screen coordinates, and the
    // caption buttons the border style leaves.
    struct BarRect {
        TRect rect;
        TBorderIcons icons;
    };
    static BarRect CaptionBarRect(const TRect& window, TFormBorderStyle style, TBorderIcons icons);
    BarRect CaptionBarRect() const;
    // Draws the bar into the whole-window surface of the form.
    void PaintCaptionBar(QImage& windowSurface);
    bool ShowCaptionMenu(int x, int y);

    // Fills A with n colours from S to E; direction 0 top-to-bottom, 1 bottom-to-top,
    // 2 left-to-right, 3 right-to-left.
    static void FillGradient(QPainter& canvas, const TRect& A, TColor S, TColor E, int direction,
                             int n);
    // The candidates are the text, then ever shorter heads of it followed by "...".
    static QString ShortenText(const QString& text, const QFontMetrics& metrics, int maxWidth);

    // Used by the pieces.
    void CaptionsChanged();

    // The texts of the last painted bar, left to right, as they were drawn: the text, its left
    // edge in the bar and its colour.
    struct DrawnText {
        QString text;
        int left;
        QColor color;
    };
    const std::vector<DrawnText>& drawnTexts() const { return m_drawnTexts; }

private:
    void HookBeforeMessage(TMessage& Msg, bool& Handled);
    void HookAfterMessage(TMessage& Msg, bool& Handled);
    void LoadDefaultFont();
    void FontChanged();
    void paintOnForm();

    // Text layout state while one bar is painted.
    struct Layout;
    void SelectPieceFont(Layout& layout, const TRxCaption* piece) const;
    bool DrawPiece(Layout& layout, const QString& text, bool bareEllipsis, bool glued,
                   const TRxCaption* previous) const;
    int PieceWidth(const TRxCaption* piece) const;
    void DrawTexts(Layout& layout) const;
    void DrawTextsHidingFromLeft(Layout& layout) const;
    void DrawTextsHidingFromRight(Layout& layout) const;
    void FillBackground(QPainter& canvas, int W, int H) const;

    bool m_active = true;
    bool m_windowActive = false;
    // While the form paints its frame: the region it was asked to paint and the one it paints
    // instead, around the bar.
    struct RegionSwap {
        std::intptr_t asked;
        QRegion aroundBar;
    };
    std::optional<RegionSwap> m_regionSwap;
    TRxWindowHook* m_captionHook;
    TColor m_startColor = clWindowText;
    std::unique_ptr<TRxCaptionList> m_captions;
    TFont m_font;
    bool m_defaultFont = false;
    QPointer<TPopupMenu> m_popupMenu;
    bool m_menuPending = false;
    THideDirection m_hideDirection = hdLeftToRight;
    bool m_gradientInactive = false;
    bool m_gradientActive = true;
    TColor m_fontInactiveColor = clInactiveCaptionText;
    QString m_formCaption;
    int m_gradientSteps = 64;
    bool m_loading = false;
    bool m_destroying = false;
    mutable std::vector<DrawnText> m_drawnTexts;
};

// The Windows rounding of a * b / c: the exact quotient to the nearest integer, halves away
// from zero.
int MulDiv(int a, int b, int c);
