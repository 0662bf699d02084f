// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "widgets/rxgradientcaption.h"

#include "platform/exceptiondisplay.h"
#include "widgets/rxwindowhook.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <utility>

namespace {

const QString Ellipsis = QStringLiteral("...");

constexpr TColor GradientActiveCaption = 0x80000000 | COLOR_GRADIENTACTIVECAPTION;
constexpr TColor GradientInactiveCaption = 0x80000000 | COLOR_GRADIENTINACTIVECAPTION;

} // namespace

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long product = static_cast<long long>(a) * b;
    long long quotient = product / c;
    const long long remainder = product % c;
    if (2 * std::llabs(remainder) >= std::llabs(static_cast<long long>(c)))
        quotient += ((product < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int>(quotient);
}

// --- TFont ---

void TFont::setFont(const QFont& value)
{
    font = value;
    Changed();
}

void TFont::setColor(TColor value)
{
    Color = value;
    Changed();
}

void TFont::Assign(const TFont& other)
{
    font = other.font;
    Color = other.Color;
    Changed();
}

void TFont::Changed()
{
    if (OnChange)
        OnChange();
}

// --- TRxCaption ---

TRxCaption::TRxCaption(TRxCaptionList* list) : m_list(list)
{
    if (list && list->GradientCaption) {
        m_font.font = list->GradientCaption->Font().font;
        m_font.Color = list->GradientCaption->Font().Color;
    } else {
        m_font.Color = clCaptionText;
    }
    m_font.OnChange = [this] { PieceFontChanged(); };
}

TRxGradientCaption* TRxCaption::ParentCaption() const
{
    return m_list ? m_list->GradientCaption : nullptr;
}

void TRxCaption::Changed()
{
    if (m_list)
        m_list->Changed();
}

void TRxCaption::PieceFontChanged()
{
    m_parentFont = false;
    Changed();
}

void TRxCaption::setCaption(const QString& value)
{
    m_caption = value;
    Changed();
}

void TRxCaption::setFont(const TFont& value)
{
    m_font.Assign(value);
}

void TRxCaption::setParentFont(bool value)
{
    if (value && ParentCaption()) {
        auto notify = std::exchange(m_font.OnChange, nullptr);
        m_font.Assign(ParentCaption()->Font());
        m_font.OnChange = std::move(notify);
    }
    m_parentFont = value;
    Changed();
}

void TRxCaption::setVisible(bool value)
{
    if (value == m_visible)
        return;
    m_visible = value;
    Changed();
}

void TRxCaption::setGlueNext(bool value)
{
    if (value == m_glueNext)
        return;
    m_glueNext = value;
    Changed();
}

void TRxCaption::setInactiveColor(TColor value)
{
    if (value == m_inactiveColor)
        return;
    m_inactiveColor = value;
    // Only the inactive look shows this colour.
    if (!ParentCaption() || !ParentCaption()->WindowActive())
        Changed();
}

void TRxCaption::RestoreDefaults()
{
    m_inactiveColor = clInactiveCaptionText;
    m_visible = true;
    setParentFont(true);
}

void TRxCaption::Assign(const TRxCaption& source)
{
    if (m_list)
        m_list->BeginUpdate();
    RestoreDefaults();
    setCaption(source.Caption());
    setParentFont(source.ParentFont());
    if (!m_parentFont)
        setFont(source.Font());
    m_inactiveColor = source.InactiveColor();
    setGlueNext(source.GlueNext());
    setVisible(source.Visible());
    Changed();
    if (m_list)
        m_list->EndUpdate();
}

// --- TRxCaptionList ---

TRxCaption* TRxCaptionList::Add()
{
    m_items.push_back(std::make_unique<TRxCaption>(this));
    Changed();
    return m_items.back().get();
}

void TRxCaptionList::Delete(int index)
{
    m_items.erase(m_items.begin() + index);
    Changed();
}

void TRxCaptionList::Clear()
{
    BeginUpdate();
    m_items.clear();
    Changed();
    EndUpdate();
}

void TRxCaptionList::Assign(const TRxCaptionList& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    m_items.clear();
    for (int i = 0; i < source.Count(); ++i)
        Add()->Assign(*source.Item(i));
    Changed();
    EndUpdate();
}

void TRxCaptionList::EndUpdate()
{
    if (m_updateCount > 0 && --m_updateCount == 0)
        Changed();
}

void TRxCaptionList::Changed()
{
    if (m_updateCount > 0)
        return;
    if (GradientCaption)
        GradientCaption->CaptionsChanged();
}

// --- TRxGradientCaption ---

TRxGradientCaption::TRxGradientCaption(QObject* owner)
    : QObject(owner), m_captions(std::make_unique<TRxCaptionList>(this))
{
    m_captionHook = new TRxWindowHook(this);
    m_captionHook->BeforeMessage = [this](TRxWindowHook*, TMessage& msg, bool& handled) {
        HookBeforeMessage(msg, handled);
    };
    m_captionHook->AfterMessage = [this](TRxWindowHook*, TMessage& msg, bool& handled) {
        HookAfterMessage(msg, handled);
    };
    LoadDefaultFont();
}

TRxGradientCaption::~TRxGradientCaption()
{
    m_destroying = true;
    OnActivate = nullptr;
    OnDeactivate = nullptr;
    m_captionHook->setWinControl(nullptr);
    m_font.OnChange = nullptr;
    m_captions.reset();
}

Form* TRxGradientCaption::OwnerForm() const
{
    return qobject_cast<Form*>(parent());
}

bool TRxGradientCaption::Active() const
{
    return m_active && OwnerForm();
}

void TRxGradientCaption::Loaded()
{
    const bool wasLoading = std::exchange(m_loading, false);
    if (wasLoading && OwnerForm())
        UpdateCaption();
}

void TRxGradientCaption::LoadDefaultFont()
{
    m_font.OnChange = nullptr;
    const Form* form = OwnerForm();
    m_font.font = captionFont(form ? form->BorderStyle() : TFormBorderStyle::bsSingle);
    m_font.Color = clCaptionText;
    m_font.OnChange = [this] { FontChanged(); };
    m_defaultFont = true;
}

void TRxGradientCaption::FontChanged()
{
    m_defaultFont = false;
    if (!m_captions) {
        if (Active())
            UpdateCaption();
        return;
    }
    m_captions->BeginUpdate();
    for (int i = 0; i < m_captions->Count(); ++i) {
        if (m_captions->Item(i)->ParentFont())
            m_captions->Item(i)->setParentFont(true);
    }
    m_captions->Changed();
    m_captions->EndUpdate();
}

void TRxGradientCaption::CaptionsChanged()
{
    if (!m_loading && Active())
        UpdateCaption();
}

void TRxGradientCaption::setActive(bool value)
{
    if (value == m_active)
        return;
    m_active = value;
    m_menuPending = false;
    UpdateCaption();
    if (!m_loading && !m_destroying) {
        if (value && OnActivate)
            OnActivate(this);
        else if (!value && OnDeactivate)
            OnDeactivate(this);
    }
}

void TRxGradientCaption::setDefaultFont(bool value)
{
    if (value == m_defaultFont)
        return;
    if (value)
        LoadDefaultFont();
    m_defaultFont = value;
    if (Active())
        UpdateCaption();
}

void TRxGradientCaption::setFormCaption(const QString& value)
{
    if (value == m_formCaption)
        return;
    m_formCaption = value;
    if (Active())
        UpdateCaption();
}

void TRxGradientCaption::setFontInactiveColor(TColor value)
{
    if (value == m_fontInactiveColor)
        return;
    m_fontInactiveColor = value;
    if (Active() && !m_windowActive)
        UpdateCaption();
}

void TRxGradientCaption::setGradientActive(bool value)
{
    if (value == m_gradientActive)
        return;
    m_gradientActive = value;
    if (Active() && m_windowActive)
        UpdateCaption();
}

void TRxGradientCaption::setGradientInactive(bool value)
{
    if (value == m_gradientInactive)
        return;
    m_gradientInactive = value;
    if (Active() && !m_windowActive)
        UpdateCaption();
}

void TRxGradientCaption::setGradientSteps(int value)
{
    if (value == m_gradientSteps)
        return;
    m_gradientSteps = value;
    if (Active() &&
        ((m_windowActive && m_gradientActive) || (!m_windowActive && m_gradientInactive)))
        UpdateCaption();
}

void TRxGradientCaption::setHideDirection(THideDirection value)
{
    if (value == m_hideDirection)
        return;
    m_hideDirection = value;
    if (Active())
        UpdateCaption();
}

void TRxGradientCaption::setPopupMenu(TPopupMenu* value)
{
    m_popupMenu = value;
}

void TRxGradientCaption::setStartColor(TColor value)
{
    if (value == m_startColor)
        return;
    m_startColor = value;
    if (Active())
        UpdateCaption();
}

void TRxGradientCaption::UpdateCaption()
{
    Form* form = OwnerForm();
    if (m_loading || !form)
        return;
    m_captionHook->setWinControl(Active() ? form : nullptr);
    m_windowActive = false;
    if (form->HandleAllocated() && form->isVisible()) {
        if (Active())
            m_windowActive = form->isActiveWindow();
        const QRegion region(form->windowRect());
        form->SendMessage(WM_NCPAINT, RegionParam(region), 0);
    }
}

TRxGradientCaption::BarRect
TRxGradientCaption::CaptionBarRect(const TRect& window, TFormBorderStyle style, TBorderIcons icons)
{
    switch (style) {
    case TFormBorderStyle::bsDialog:
        icons &= biSystemMenu | biHelp;
        break;
    case TFormBorderStyle::bsToolWindow:
    case TFormBorderStyle::bsSizeToolWin:
        icons &= biSystemMenu;
        break;
    default:
        if (!(icons & biSystemMenu))
            icons &= ~(biMinimize | biMaximize);
        if (icons & (biMinimize | biMaximize))
            icons &= ~biHelp;
        break;
    }
    int buttons = std::popcount(static_cast<unsigned>(icons & 0xF));
    if (bool(icons & biMinimize) != bool(icons & biMaximize))
        ++buttons;
    if (style == TFormBorderStyle::bsNone)
        return {TRect{window.Left, window.Top, window.Left, window.Top}, icons};
    const QSize size(window.Right - window.Left, window.Bottom - window.Top);
    QRect bar = captionGeometry(size, style, icons).bar.translated(window.Left, window.Top);
    bar.setRight(bar.right() -
                 buttons * GetSystemMetrics(isToolWindow(style) ? SM_CXSMSIZE : SM_CXSIZE));
    return {TRect::fromQRect(bar), icons};
}

TRxGradientCaption::BarRect TRxGradientCaption::CaptionBarRect() const
{
    const Form* form = OwnerForm();
    return CaptionBarRect(TRect::fromQRect(form->windowRect()), form->BorderStyle(),
                          form->BorderIcons());
}

void TRxGradientCaption::HookBeforeMessage(TMessage& Msg, bool& Handled)
{
    if (!Active())
        return;
    switch (Msg.Msg) {
    case WM_NCPAINT: {
        m_regionSwap.reset();
        const QRect bar = CaptionBarRect().rect.toQRect();
        const QRegion asked = RegionOfParam(Msg.WParam, OwnerForm()->windowRect());
        if (asked.intersects(bar)) {
            // The window paints its frame everywhere but under the bar, which is painted after.
            m_regionSwap = RegionSwap{Msg.WParam, asked.subtracted(QRegion(bar))};
            Msg.WParam = RegionParam(m_regionSwap->aroundBar);
        }
        break;
    }
    case WM_NCACTIVATE:
        m_windowActive = Msg.WParam != 0;
        // The frame is repainted around the bar afterwards, not whole and then painted over.
        Msg.LParam = -1;
        break;
    case WM_NCRBUTTONDOWN:
        if (m_popupMenu && m_popupMenu->AutoPopup) {
            m_menuPending = true;
            Msg.Result = 0;
            Handled = true;
        }
        break;
    case WM_NCRBUTTONUP:
        if (m_menuPending) {
            m_menuPending = false;
            if (ShowCaptionMenu(PointParamX(Msg.LParam), PointParamY(Msg.LParam))) {
                Msg.Result = 0;
                Handled = true;
            }
        }
        break;
    default:
        break;
    }
}

void TRxGradientCaption::HookAfterMessage(TMessage& Msg, bool&)
{
    // The exchanged region goes back also when the caption was switched off meanwhile.
    const bool barAsked = Msg.Msg == WM_NCPAINT && m_regionSwap;
    if (barAsked) {
        Msg.WParam = m_regionSwap->asked;
        m_regionSwap.reset();
    }
    if (!Active())
        return;
    // The bar is painted once for each paint that reaches it.
    if (barAsked) {
        paintOnForm();
    } else if (Msg.Msg == WM_NCACTIVATE) {
        if (Form* form = OwnerForm())
            form->SendMessage(WM_NCPAINT, WholeWindowRegion, 0);
    }
}

void TRxGradientCaption::paintOnForm()
{
    if (Form* form = OwnerForm()) {
        PaintCaptionBar(form->windowSurface());
        form->surfaceChanged();
    }
}

bool TRxGradientCaption::ShowCaptionMenu(int x, int y)
{
    if (!m_popupMenu || !m_popupMenu->AutoPopup)
        return false;
    m_popupMenu->PopupComponent = this;
    if (!OwnerForm())
        return false;
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    m_popupMenu->popup(QPoint(x, y));
    return true;
}

void TRxGradientCaption::FillGradient(QPainter& canvas, const TRect& A, TColor S, TColor E,
                                      int direction, int n)
{
    if (A.Right <= A.Left || A.Bottom <= A.Top)
        return;
    if (n < 2) {
        canvas.fillRect(A.toQRect(), ColorToRGB(S));
        return;
    }
    const QColor start = ColorToRGB(S);
    const QColor end = ColorToRGB(E);
    const bool forward = direction == 0 || direction == 2;
    const QColor base = forward ? start : end;
    const QColor other = forward ? end : start;
    const int dr = other.red() - base.red();
    const int dg = other.green() - base.green();
    const int db = other.blue() - base.blue();
    const bool horizontal = direction == 2 || direction == 3;
    const int size = horizontal ? A.Right - A.Left : A.Bottom - A.Top;
    const int bands = std::max(2, std::min(n, size));
    const int band = size / bands;
    if (band > 0) {
        for (int i = 0; i < bands; ++i) {
            TRect r = A;
            if (horizontal) {
                r.Left = A.Left + i * band;
                r.Right = r.Left + band;
            } else {
                r.Top = A.Top + i * band;
                r.Bottom = r.Top + band;
            }
            canvas.fillRect(r.toQRect(), QColor(base.red() + MulDiv(i, dr, bands - 1),
                                                base.green() + MulDiv(i, dg, bands - 1),
                                                base.blue() + MulDiv(i, db, bands - 1)));
        }
    }
    const int rest = size % bands;
    if (rest > 0) {
        TRect r = A;
        if (horizontal)
            r.Left = A.Right - rest;
        else
            r.Top = A.Bottom - rest;
        canvas.fillRect(r.toQRect(), forward ? end : start);
    }
}

QString TRxGradientCaption::ShortenText(const QString& text, const QFontMetrics& metrics,
                                        int maxWidth)
{
    if (metrics.horizontalAdvance(text) <= maxWidth)
        return text;
    const qsizetype length = text.size();
    for (qsizetype k = 2; k <= length + 1; ++k) {
        const QString candidate = text.left(std::max<qsizetype>(0, length - k)) + Ellipsis;
        if (metrics.horizontalAdvance(candidate) <= maxWidth)
            return candidate;
    }
    return Ellipsis;
}

struct TRxGradientCaption::Layout {
    QPainter* canvas;
    TRect T;
};

void TRxGradientCaption::SelectPieceFont(Layout& layout, const TRxCaption* piece) const
{
    const TFont& font = (!piece || piece->ParentFont()) ? m_font : piece->Font();
    TColor color = font.Color;
    if (!m_windowActive)
        color = piece ? piece->InactiveColor() : m_fontInactiveColor;
    layout.canvas->setFont(font.font);
    layout.canvas->setPen(ColorToRGB(color));
}

int TRxGradientCaption::PieceWidth(const TRxCaption* piece) const
{
    if (!piece->Visible())
        return 0;
    const QFont& font = piece->ParentFont() ? m_font.font : piece->Font().font;
    return QFontMetrics(font).horizontalAdvance(piece->Caption());
}

bool TRxGradientCaption::DrawPiece(Layout& layout, const QString& text, bool bareEllipsis,
                                   bool glued, const TRxCaption* previous) const
{
    if (text.isEmpty())
        return true;
    TRect& T = layout.T;
    const QFontMetrics metrics = layout.canvas->fontMetrics();
    QString shown = ShortenText(text, metrics, T.Right - T.Left);
    if (glued && shown == text &&
        metrics.horizontalAdvance(shown + QLatin1Char('.')) >= T.Right - T.Left)
        shown = bareEllipsis ? Ellipsis : shown + Ellipsis;
    if (shown != Ellipsis || bareEllipsis) {
        if (shown == Ellipsis && bareEllipsis) {
            SelectPieceFont(layout, nullptr);
            if (previous)
                layout.canvas->setPen(ColorToRGB(m_windowActive ? previous->Font().Color
                                                                : previous->InactiveColor()));
        }
        m_drawnTexts.push_back({shown, T.Left, layout.canvas->pen().color()});
        layout.canvas->save();
        layout.canvas->setClipRect(T.toQRect());
        layout.canvas->drawText(T.toQRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                                shown);
        layout.canvas->restore();
        T.Left += layout.canvas->fontMetrics().horizontalAdvance(shown);
    }
    return shown == text;
}

void TRxGradientCaption::DrawTexts(Layout& layout) const
{
    if (m_hideDirection == hdLeftToRight)
        DrawTextsHidingFromLeft(layout);
    else
        DrawTextsHidingFromRight(layout);
}

// The pieces that do not fit go first from the left, a piece together with those glued to it;
// the form caption at the end is shortened last.
void TRxGradientCaption::DrawTextsHidingFromLeft(Layout& layout) const
{
    const TRect& T = layout.T;
    const int count = m_captions->Count();
    const auto piece = [this](int i) { return m_captions->Item(i); };
    int need = 2 + QFontMetrics(m_font.font).horizontalAdvance(m_formCaption);
    for (int i = 0; i < count; ++i)
        need += PieceWidth(piece(i));
    int i = 0;
    while (need > T.Right - T.Left && i < count) {
        need -= PieceWidth(piece(i));
        while (i < count - 1 && piece(i)->GlueNext()) {
            ++i;
            need -= PieceWidth(piece(i));
        }
        ++i;
    }
    for (int j = i; j <= count; ++j) {
        QString text;
        if (j < count) {
            if (piece(j)->Visible()) {
                SelectPieceFont(layout, piece(j));
                text = piece(j)->Caption();
            }
        } else {
            SelectPieceFont(layout, nullptr);
            text = m_formCaption;
        }
        DrawPiece(layout, text, j == count, false, nullptr);
    }
}

// The pieces are drawn from the left while they fit; the first that does not is shortened, and
// nothing after it is drawn.
void TRxGradientCaption::DrawTextsHidingFromRight(Layout& layout) const
{
    const TRect& T = layout.T;
    const int count = m_captions->Count();
    const auto piece = [this](int i) { return m_captions->Item(i); };
    bool go = true;
    int need = 2;
    int i = 0;
    while (need < T.Right - T.Left && i < count) {
        if (piece(i)->Visible()) {
            need += PieceWidth(piece(i));
            while (piece(i)->GlueNext() && i < count - 1) {
                ++i;
                need += PieceWidth(piece(i));
            }
        }
        ++i;
    }
    const int shownPieces = i;
    for (int j = 0; j < shownPieces; ++j) {
        const TRxCaption* p = piece(j);
        if (p->Visible() && go && !p->Caption().isEmpty()) {
            SelectPieceFont(layout, p);
            const bool ok = DrawPiece(layout, p->Caption(), j == 0 || piece(j - 1)->GlueNext(),
                                      p->GlueNext(), j > 0 ? piece(j - 1) : nullptr);
            go = ok && (p->GlueNext() || T.Right > T.Left);
        }
    }
    if (T.Right > T.Left && go && !m_formCaption.isEmpty()) {
        SelectPieceFont(layout, nullptr);
        DrawPiece(layout, m_formCaption, false, false, nullptr);
    }
}

void TRxGradientCaption::PaintCaptionBar(QImage& windowSurface)
{
    Form* form = OwnerForm();
    if (!form || form->BorderStyle() == TFormBorderStyle::bsNone)
        return;
    const TRect bar = CaptionBarRect().rect;
    const QPoint origin = form->windowRect().topLeft();
    const int W = bar.Right - bar.Left;
    const int H = bar.Bottom - bar.Top;
    if (W <= 0 || H <= 0)
        return;
    m_drawnTexts.clear();
    QImage bitmap(W, H, QImage::Format_RGB32);
    {
        QPainter canvas(&bitmap);
        FillBackground(canvas, W, H);
        // The icon and the texts where the form's own caption has them.
        const CaptionGeometry caption =
            captionGeometry(form->size(), form->BorderStyle(), form->BorderIcons());
        const QPoint barOrigin = caption.bar.topLeft();
        if (const QRect iconRect = caption.icon(); !iconRect.isEmpty()) {
            QIcon icon = form->windowIcon();
            if (icon.isNull())
                icon = QApplication::style()->standardIcon(QStyle::SP_TitleBarMenuButton);
            icon.paint(&canvas, iconRect.translated(-barOrigin));
        }
        if (!m_formCaption.isEmpty() || m_captions->Count() > 0) {
            Layout layout{&canvas, TRect{caption.title().left() - barOrigin.x(), 0, W, H}};
            DrawTexts(layout);
        }
    }
    QPainter window(&windowSurface);
    window.drawImage(bar.Left - origin.x(), bar.Top - origin.y(), bitmap);
}

// The gradient from the start colour to the caption colour, its first quarter left of the bar;
// a plain caption colour where the gradient is off.
void TRxGradientCaption::FillBackground(QPainter& canvas, int W, int H) const
{
    const TRect G{-(W / 4), 0, W, H};
    TColor end;
    if (SystemGradientCaptions())
        end = m_windowActive ? GradientActiveCaption : GradientInactiveCaption;
    else
        end = m_windowActive ? clActiveCaption : clInactiveCaption;
    if ((m_windowActive && m_gradientActive) || (!m_windowActive && m_gradientInactive))
        FillGradient(canvas, G, m_startColor, end, 2, m_gradientSteps & 0xFF);
    else
        canvas.fillRect(G.toQRect(), ColorToRGB(end));
}
