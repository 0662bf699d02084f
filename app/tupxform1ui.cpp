// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// The controls of the main window: kind, place, caption, font, hint and tab order.

#include "app/tupxform1.h"

#include "app/statusbar.h"
#include "packer/packerbatch.h"
#include "platform/sysmetrics.h"
#include "widgets/linklabel.h"
#include "widgets/opendialog.h"
#include "widgets/radiobutton.h"
#include "widgets/rxslider.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

namespace {

enum FontStyle { Regular = 0, Bold = 1, Italic = 2, Underline = 4 };

const QColor Navy(0x00, 0x00, 0x80);
const QColor Red(0xFF, 0x00, 0x00);
const QColor Blue(0x00, 0x00, 0xFF);
const QColor Black(0x00, 0x00, 0x00);

const QString Arial = QStringLiteral("Arial");
const QString SansSerif = QStringLiteral("Microsoft Sans Serif");

// Gives the widget its own font and text colour; disabled text keeps the system grey.
void setFontOf(QWidget* widget, const QString& family, int pixelSize, int style,
               const QColor& colour)
{
    QFont font = classicFont(family);

    font.setPixelSize(pixelSize);
    font.setBold(style & Bold);
    font.setItalic(style & Italic);
    font.setUnderline(style & Underline);
    widget->setFont(font);
    QPalette palette = widget->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            palette.setColor(group, role, colour);
    }
    widget->setPalette(palette);
}

// Hints are stored on the control and shown only in the status line, never as a tip.
void setHint(QWidget* widget, const QString& hint)
{
    widget->setStatusTip(hint);
    widget->setAccessibleDescription(hint.trimmed());
}

// An auto-sized label at its top-left corner, in the font of its parent. It is never resized: a
// widget that never was is sized to its text when it is first shown, so that a label on a page
// not yet opened does not load its font at start.
QLabel* label(QWidget* parent, int left, int top, const QString& text)
{
    auto* result = new QLabel(text, parent);
    result->setTextFormat(Qt::PlainText);
    result->move(left, top);
    return result;
}

// An auto-sized label in an Arial font of its own, sized when first shown.
QLabel* label(QWidget* parent, int left, int top, const QString& text, int pixelSize, int style,
              const QColor& colour)
{
    auto* result = new QLabel(text, parent);
    result->setTextFormat(Qt::PlainText);
    setFontOf(result, Arial, pixelSize, style, colour);
    result->move(left, top);
    return result;
}

// A label of several lines in a box of fixed size.
QLabel* multiLineLabel(QWidget* parent, const QRect& rect, const QString& text)
{
    auto* result = new QLabel(text, parent);
    result->setTextFormat(Qt::PlainText);
    result->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    result->setGeometry(rect);
    return result;
}

QPushButton* button(QWidget* parent, const QRect& rect, const QString& caption)
{
    auto* result = new QPushButton(caption, parent);
    result->setAutoDefault(false);
    result->setGeometry(rect);
    return result;
}

QCheckBox* checkBox(QWidget* parent, const QRect& rect, const QString& caption)
{
    auto* result = new QCheckBox(caption, parent);
    result->setGeometry(rect);
    setFontOf(result, Arial, 13, Regular, Navy);
    return result;
}

RadioButton* radioButton(QWidget* parent, const QRect& rect, const QString& caption, bool checked)
{
    auto* result = new RadioButton(caption, parent);
    result->setGeometry(rect);
    result->setChecked(checked);
    setFontOf(result, Arial, 13, Regular, Navy);
    return result;
}

QGroupBox* groupBox(QWidget* parent, const QRect& rect, const QString& caption)
{
    auto* result = new QGroupBox(caption, parent);
    result->setGeometry(rect);
    return result;
}

QLineEdit* fileNameEdit(QWidget* parent, const QRect& rect, const QLabel* describedBy)
{
    auto* result = new QLineEdit(parent);
    result->setGeometry(rect);
    setFontOf(result, Arial, 13, Italic, Navy);
    result->setAccessibleName(describedBy->text());
    return result;
}

QPlainTextEdit* memo(QWidget* parent, const QRect& rect, const QString& accessibleName)
{
    auto* result = new QPlainTextEdit(parent);
    result->setGeometry(rect);
    result->setReadOnly(true);
    result->setUndoRedoEnabled(false);
    result->setTabChangesFocus(true);
    result->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    result->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    result->setAccessibleName(accessibleName);
    return result;
}

// The page control places its pages as the classic tab control does: tabs 22 pixels high whose
// selected one overlaps the pane's frame by 2 pixels, and each page inset by 4 pixels in the frame.
class PageControlStyle : public QProxyStyle {
public:
    // Builds on a fresh instance of the application's style, which the proxy then owns.
    PageControlStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_TabBarTab)
            result.setHeight(PaneTop + 2);
        return result;
    }

    QRect subElementRect(SubElement element, const QStyleOption* option,
                         const QWidget* widget) const override
    {
        const QRect all = option->rect;
        switch (element) {
        case SE_TabWidgetTabPane:
            return all.adjusted(0, PaneTop, 0, 0);
        case SE_TabWidgetTabContents:
            return all.adjusted(PageInset, PaneTop + PageInset, -PageInset, -PageInset);
        default:
            return QProxyStyle::subElementRect(element, option, widget);
        }
    }

private:
    static constexpr int PaneTop = 20;
    static constexpr int PageInset = 4;
};

void chainTabOrder(std::initializer_list<QWidget*> widgets)
{
    QWidget* previous = nullptr;
    for (QWidget* widget : widgets) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

} // namespace

void TUPXForm1::buildControls()
{
    setWindowTitle(
        QStringLiteral("Kompaktor    Das Schaltpult für den Packer eXecutapler Dateien"));
    // Task bars and window lists show the application's title, not the long caption.
    setWindowIconText(QStringLiteral("Kompaktor"));
    setFontOf(this, Arial, 13, Regular, Navy);

    PageControl1 = new QTabWidget(clientArea());
    auto* pageControlStyle = new PageControlStyle;
    pageControlStyle->setParent(PageControl1);
    PageControl1->setStyle(pageControlStyle);
    PageControl1->tabBar()->setStyle(pageControlStyle);
    PageControl1->tabBar()->setDrawBase(true);
    PageControl1->setGeometry(0, 0, 761, 492);
    setFontOf(PageControl1, Arial, 13, Italic, Black);

    StatusBar1 = new StatusBar(clientArea());
    StatusBar1->setGeometry(0, 492, 761, 25);
    StatusBar1->setPanelWidth(0, 650);
    StatusBar1->setPanelAlignment(0, Qt::AlignLeft);
    StatusBar1->setPanelWidth(1, 50);
    StatusBar1->setPanelAlignment(1, Qt::AlignHCenter);
    setHint(StatusBar1,
            QStringLiteral(" Bitte beachten: Solange die Uhr noch geht, ist Kompaktor nicht "
                           "abgestürzt."));

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);

    // Linux programs carry no extension: both dialogs list programs and libraries first.
    const OpenDialog::Filter programs{QStringLiteral("Programme und Bibliotheken"),
                                      QStringLiteral("*"), true};
    OpenDialog1 =
        new OpenDialog(QStringLiteral("Datei zur Kompression wählen"),
                       {programs,
                        {QStringLiteral("EXE - Datei (*.exe)"), QStringLiteral("*.exe")},
                        {QStringLiteral("Laufzeitbibliothek (*.dll)"), QStringLiteral("*.dll")},
                        {QStringLiteral("Alle Dateien (*.*)"), QStringLiteral("*.*")}},
                       this);
    // The user's own folder stands in for the root of drive C, where such a search began.
    OpenDialog1->setInitialDir(QDir::homePath());
    OpenDialog2 = new OpenDialog(QStringLiteral("Wähle zugehörige EXE-Datei zum Test"),
                                 {programs,
                                  {QStringLiteral("EXE - Datei (*.EXE)"), QStringLiteral("*.EXE")},
                                  {QStringLiteral("Alle Dateien (*.*)"), QStringLiteral("*.*")}},
                                 this);
    OpenDialog2->setDefaultExt(QStringLiteral("EXE"));

    buildCommandsPage();
    buildOptionsPage();
    buildAboutPage();
    buildBatchPage();
    buildAdvancedPage();
    PageControl1->setCurrentWidget(TS1);

    // The controls carry their names, so that tools and tests can find them.
#define KOMPAKTOR_NAMES(...)                                                                       \
    for (const auto& [object, name] :                                                              \
         std::initializer_list<std::pair<QObject*, const char*>>{__VA_ARGS__})                     \
        object->setObjectName(QLatin1String(name));
#define N(control) {control, #control}
    KOMPAKTOR_NAMES(
        N(PageControl1), N(StatusBar1), N(Timer1), N(OpenDialog1), N(OpenDialog2), N(TS1), N(Memo1),
        N(KompressBtn), N(DekompressBtn), N(InfoBtn), N(TestBtn), N(HilfeBtn), N(VersBtn),
        N(LizensBtn), N(TryBtn), N(Label16), N(Filename1), N(FilenameBtn1), N(Label17),
        N(Filename2), N(FilenameBtn2), N(TS2), N(Label1), N(Label2), N(Label3), N(ComboBox1),
        N(CBforce), N(GroupBox2), N(KmRBtn1), N(KmRBtn2), N(GroupBox3), N(OverlayBtn1),
        N(OverlayBtn2), N(OverlayBtn3), N(GroupBox4), N(Label4), N(CB8086), N(Label5), N(CBnoReloc),
        N(Label19), N(DefaultBtn), N(Label18), N(GroupBox1), N(Label6), N(Trackbar1), N(Label7),
        N(MemLbl), N(Label8), N(SysInfoBtn), N(GroupBox5), N(CBExport), N(CBResource), N(CBStrip),
        N(GroupBox6), N(IkonsRB1), N(IkonsRB2), N(IkonsRB3), N(TS3), N(Label9), N(Label10),
        N(Label11), N(UPXLbl), N(Label12), N(MyUrlLbl), N(Label14), N(HomePageLbl), N(Label13),
        N(Memo2), N(TS4), N(ListView1), N(HinzuBtn), N(EntfernenBtn), N(LeerenBtn),
        N(AlleKompressBtn), N(AlleDekompressBtn), N(AlleTestBtn), N(AbbrechenBtn), N(ProgressBar1),
        N(Label30), N(Memo3), N(OpenDialog3), N(Batch1), N(TS5), N(GroupBox7), N(CBLzma),
        N(GroupBox8), N(BruteRB1), N(BruteRB2), N(BruteRB3), N(Label20), N(GroupBox9), N(CBBackup),
        N(Label21), N(CBNewFile), N(Label22), N(GroupBox10), N(CBTestAfter), N(Label23),
        N(GroupBox11), N(Label24), N(SpinEdit1))
#undef N
#undef KOMPAKTOR_NAMES
    setObjectName(QStringLiteral("UPXForm1"));
}

void TUPXForm1::buildCommandsPage()
{
    TS1 = new QWidget;
    TS1->setAccessibleName(QStringLiteral("Kommandos"));
    PageControl1->addTab(TS1, QStringLiteral("Kommandos"));

    Memo1 = memo(TS1, {192, 0, 562, 325}, QStringLiteral("Meldungen von UPX"));
    setFontOf(Memo1, SansSerif, 13, Regular, Navy);
    setHint(Memo1, QStringLiteral(" Hier werden alle Ergebnis- oder Fehlermeldungen nach der "
                                  "Arbei von UPX angezeigt."));

    const auto commandButton = [this](int top, const QString& caption, const QString& hint) {
        QPushButton* result = button(TS1, {18, top, 151, 25}, caption);
        setFontOf(result, Arial, 13, Regular, Navy);
        setHint(result, hint);
        return result;
    };
    KompressBtn =
        commandButton(24, QStringLiteral("Komprimieren"),
                      QStringLiteral(" Eine ausführbare Datei (EXE, DLL o.ä.) wird komprimiert."));
    DekompressBtn =
        commandButton(60, QStringLiteral("Dekomprimieren"),
                      QStringLiteral(" Eine zuvor mit UPX komprimierte Datei wird dekomprimiert."));
    InfoBtn = commandButton(96, QStringLiteral("Information"),
                            QStringLiteral(" Alle für UPX wichtige Informationen über die "
                                           "ausgewählte Datei werden angezeigt."));
    TestBtn = commandButton(132, QStringLiteral("Teste Integrität"),
                            QStringLiteral(" Die Integrität der der komprimierten Datei wird "
                                           "geprüft. Achtung kein Test auf Viren!"));
    HilfeBtn = commandButton(168, QStringLiteral("UPX - Hilfe"),
                             QStringLiteral(" Die für die Arbeit auf der Kommandozeile wichtigen "
                                            "Informationen werden angezeigt."));
    VersBtn = commandButton(204, QStringLiteral("UPX - Version"),
                            QStringLiteral(" Anzeige der Version von UPX. Zur fehlerfreien "
                                           "Funktion benötigen Sie die Version UPX 1.24 für "
                                           "Windows. "));
    LizensBtn = commandButton(
        240, QStringLiteral("UPX - Lizens"),
        QStringLiteral(" Die für UPX gültigen Lizensinformationen werden Ihnen angezeigt."));
    TryBtn = commandButton(276, QStringLiteral("Datei(en) testen"),
                           QStringLiteral(" Nach Kompression/Dekompression können Sie hier die "
                                          "bearbeitete Datei(kombination) auf Funktion prüfen. "));

    Label16 =
        label(TS1, 18, 354, QStringLiteral("Welche Datei soll komprimiert/dekomprimiert werden:"),
              13, Italic, Navy);
    Filename1 = fileNameEdit(TS1, {18, 372, 697, 24}, Label16);
    setHint(Filename1, QStringLiteral(" Die zu bearbeitende Datei wird angezeigt, bzw. kann hier "
                                      "eingetragen werden. Wildcards sind nicht zulässig."));
    FilenameBtn1 = button(TS1, {714, 372, 24, 24}, QStringLiteral("..."));
    setFontOf(FilenameBtn1, Arial, 16, Bold, Black);
    FilenameBtn1->setAccessibleName(QStringLiteral("Datei zur Kompression wählen"));
    setHint(FilenameBtn1, QStringLiteral(" Die zu bearbeitende Datei kann hier gewählt werden."));

    Label17 = label(TS1, 18, 408,
                    QStringLiteral("Welche Datei soll nach der Kompression/Dekompression zum "
                                   "Test ausgeführt werden:"),
                    13, Italic, Navy);
    Filename2 = fileNameEdit(TS1, {18, 426, 697, 24}, Label17);
    setHint(Filename2, QStringLiteral(" Ist die zu prüfende Datei z.B. eine DLL, so kann hier das "
                                      "aufzurufende Hauptprogramm festgelegt werden."));
    FilenameBtn2 = button(TS1, {714, 426, 24, 24}, QStringLiteral("..."));
    setFontOf(FilenameBtn2, Arial, 16, Bold, Black);
    FilenameBtn2->setAccessibleName(QStringLiteral("Wähle zugehörige EXE-Datei zum Test"));
    setHint(FilenameBtn2, QStringLiteral(" Bei Bearbeitung einer Laufzeitbibliothek (z.B. DLL) "
                                         "o.ä. wählen Sie die Datei, welche die Funktion prüfen "
                                         "kann."));

    chainTabOrder({Memo1, KompressBtn, DekompressBtn, InfoBtn, TestBtn, HilfeBtn, VersBtn,
                   LizensBtn, Filename1, FilenameBtn1, Filename2, FilenameBtn2, TryBtn});
}

void TUPXForm1::buildOptionsPage()
{
    TS2 = new QWidget;
    TS2->setAccessibleName(QStringLiteral("Optionen"));
    PageControl1->addTab(TS2, QStringLiteral("Optionen"));
    setFontOf(TS2, Arial, 13, Bold, Navy);

    Label1 = label(TS2, 240, 6, QStringLiteral("Achtung:"), 21, Underline, Red);
    Label2 = multiLineLabel(
        TS2, {240, 30, 496, 64},
        QStringLiteral("Die hier voreingestellten Werte beziehen sich optimal auf EXE-Dateien "
                       "für Win32/PE,\n"
                       "also für Windows ab Version 95 bis XP. Wer hier Veränderungen vornimt "
                       "muß wissen,\n"
                       "welchen Zweck sie erfüllen sollen. Ein wahlloses Klicken in den Optionen "
                       "führt mit \n"
                       "hoher Warscheinlichkeit zur Schädigung Ihrer Anwendung."));
    setFontOf(Label2, Arial, 13, Regular, Red);

    Label3 = label(TS2, 12, 30, QStringLiteral("Kompressionsstufe:"));
    ComboBox1 = new QComboBox(TS2);
    ComboBox1->setGeometry(150, 24, 61, 24);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                         QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                         QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9"),
                         QStringLiteral("-best")});
    ComboBox1->setMaxVisibleItems(10);
    ComboBox1->setEditText(QStringLiteral("7"));
    ComboBox1->setAccessibleName(Label3->text());
    setHint(ComboBox1, QStringLiteral(" Kompressionslevel von 1 bis -best (maximal). Bei Level "
                                      "-best wird sehr viel Zeit zur Kompression benötigt."));

    CBforce = checkBox(TS2, {24, 60, 193, 17}, QStringLiteral("Erzwinge Kompression !?!?"));
    setHint(CBforce, QStringLiteral(" Komprimiert auch dann, wenn im sich Dateiheader "
                                    "unerwartete Werte befinden."));

    GroupBox2 = groupBox(TS2, {12, 84, 205, 61}, QStringLiteral(" Kompressionsmethode "));
    setHint(GroupBox2, QStringLiteral(" Die in UPX 1.24 verfügbaren Methoden der Kompression."));
    KmRBtn1 = radioButton(GroupBox2, {18, 30, 55, 17}, QStringLiteral("nrv2b"), false);
    KmRBtn2 = radioButton(GroupBox2, {114, 30, 67, 17}, QStringLiteral("nrv2d"), true);

    GroupBox3 = groupBox(TS2, {12, 168, 205, 109}, QStringLiteral(" Behandlung von Overlay "));
    OverlayBtn1 =
        radioButton(GroupBox3, {18, 24, 151, 17}, QStringLiteral("Overlay kopieren"), true);
    setHint(OverlayBtn1, QStringLiteral(" Bei DOS-Dateien werden Overlay's an die ausführbare "
                                        "Datei kopiert (Default)."));
    OverlayBtn2 =
        radioButton(GroupBox3, {18, 48, 145, 17}, QStringLiteral("Overlay entfernen"), false);
    setHint(OverlayBtn2, QStringLiteral(" Bestehende Overlay's werden entfernt. Dies kann die "
                                        "ausführbare Datei unbrauchbar machen."));
    OverlayBtn3 =
        radioButton(GroupBox3, {18, 72, 139, 17}, QStringLiteral("Overlay ablehnen"), false);
    setHint(OverlayBtn3, QStringLiteral(" Ausführbare Dateien mit Overlay's werden von UPX nicht "
                                        "bearbeitet."));

    GroupBox4 = groupBox(TS2, {12, 306, 205, 139}, QStringLiteral(" Speziell für DOS "));
    Label4 = label(GroupBox4, 18, 24, QStringLiteral("für *.EXE; *.COM; *.SYS"), 13, Regular, Navy);
    CB8086 = checkBox(GroupBox4, {18, 42, 169, 17}, QStringLiteral("Für 8086 Prozessoren"));
    setHint(CB8086, QStringLiteral(" Dateien bleiben auch mit einem 8086 Prozessor ausführbar. "
                                   "Sonst nur ab 286 und jünger."));
    Label5 = label(GroupBox4, 18, 72, QStringLiteral("nur für *.EXE"), 13, Regular, Navy);
    CBnoReloc = checkBox(GroupBox4, {18, 90, 163, 17}, QStringLiteral("Header nicht verändern"));
    setHint(CBnoReloc,
            QStringLiteral(" Vermeidet einen veränderten Relokationsrecord im Header der EXE."));

    Label19 = label(TS2, 324, 108, QStringLiteral("Jetzt"), 13, Regular, Navy);
    DefaultBtn = button(TS2, {360, 102, 75, 25}, QStringLiteral("Default"));
    setFontOf(DefaultBtn, Arial, 13, Regular, Navy);
    setHint(DefaultBtn, QStringLiteral(" Schnelle Wiedereinstellung aller Optionen von UPX auf "
                                       "seine Standardwerte."));
    Label18 =
        label(TS2, 438, 108, QStringLiteral("- Optionen wieder herstellen."), 13, Regular, Navy);

    GroupBox1 = groupBox(TS2, {240, 132, 493, 145}, QStringLiteral(" Speicherbenutzung "));
    Label6 = multiLineLabel(
        GroupBox1, {42, 18, 413, 48},
        QStringLiteral("bei der Kompression. Bitte beachtet, daß nicht immer unbegrenzt freier\n"
                       "Speicher zur Verfügung steht. Keinesfalls darf Windows sich selbst auf \n"
                       "die Festplatte auslagern. "));
    setFontOf(Label6, Arial, 13, Regular, Navy);
    // Set up in the order the form stores it; the value is clamped to 10000 before any
    // handler is connected.
    Trackbar1 = new TRxSlider(GroupBox1);
    Trackbar1->beginLoading();
    Trackbar1->setGeometry(18, 66, 463, 43);
    Trackbar1->setIncrement(100000);
    Trackbar1->setMinValue(10000);
    Trackbar1->setMaxValue(999999);
    Trackbar1->setValue(10000);
    Trackbar1->endLoading();
    Trackbar1->setAccessibleName(GroupBox1->title().trimmed());
    setHint(Trackbar1, QStringLiteral(" Anzeige umgerechnet in KByte. Bei Berechnung des "
                                      "Speichers bedenken: UPX benötigt auch noch Speicher."));
    Label7 = label(GroupBox1, 24, 114, QStringLiteral("Eingestellter Wert:"), 13, Regular, Navy);
    MemLbl = new QLabel(GroupBox1);
    MemLbl->setTextFormat(Qt::PlainText);
    setFontOf(MemLbl, Arial, 13, Bold, Red);
    setMemLblCaption(10000);
    Label8 = label(GroupBox1, 162, 114, QStringLiteral("KByte"), 13, Regular, Navy);
    SysInfoBtn = button(GroupBox1, {252, 114, 199, 25}, QStringLiteral("Frage Windows"));
    setFontOf(SysInfoBtn, Arial, 13, Regular, Navy);
    setHint(SysInfoBtn, QStringLiteral(" Der zur Zeit vorhandenen freie Speicher. Bei zu wenig "
                                       "freien Speicher sollten Sie einige Anwendungen "
                                       "schließen."));

    GroupBox5 = groupBox(TS2, {240, 306, 493, 139},
                         QStringLiteral(" Optionen für Win32/pe und Rtm32/pe (EXE, DLL uä.) "));
    CBExport =
        checkBox(GroupBox5, {24, 30, 193, 17}, QStringLiteral("Exportteil nicht komprimieren"));
    setHint(CBExport, QStringLiteral(" Exportsektion nicht komprimieren. Das ist wichtig für "
                                     "Dateien, die unter \"Wine\" in Linux ausgeführt "
                                     "werden."));
    CBResource =
        checkBox(GroupBox5, {24, 66, 193, 17}, QStringLiteral("Resource nicht komprimieren"));
    setHint(CBResource, QStringLiteral(" Vermeidet die Kompression von Resourcen aller Art."));
    CBStrip = checkBox(GroupBox5, {24, 102, 217, 17},
                       QStringLiteral("Relokationsrecord nicht entfernen"));
    setHint(CBStrip, QStringLiteral(" Für Dateien mit Anfangsadresse >= 0x400000. Funktioniert "
                                    "nicht unter Win32s. Wird bei DLL's nicht verwendet."));

    GroupBox6 = groupBox(GroupBox5, {264, 24, 217, 103}, QStringLiteral(" Behandlung der Icone "));
    IkonsRB1 = radioButton(GroupBox6, {18, 24, 187, 17}, QStringLiteral("Keine Icone komprimieren"),
                           false);
    setHint(IkonsRB1, QStringLiteral(" In der Datei vorhandene Ikone werden nicht komprimiert."));
    IkonsRB2 = radioButton(GroupBox6, {18, 48, 193, 17},
                           QStringLiteral("Alle, außer Bild 1 im 1. Icon"), false);
    setHint(IkonsRB2, QStringLiteral(" Alle vorhandenen Icone, außer dem ersten Symbol im ersten "
                                     "Icon werden komprimiert."));
    IkonsRB3 = radioButton(GroupBox6, {18, 72, 175, 17},
                           QStringLiteral("1. Icon nicht komprimieren"), true);
    setHint(IkonsRB3, QStringLiteral(" Das erste Icon (Default-Icon), incl. aller dazu gehörenden "
                                     "Varianten werden nicht komprimiert."));

    chainTabOrder({ComboBox1, Trackbar1, SysInfoBtn, KmRBtn1, KmRBtn2, OverlayBtn1, OverlayBtn2,
                   OverlayBtn3, CB8086, CBnoReloc, CBExport, IkonsRB1, IkonsRB2, IkonsRB3,
                   CBResource, CBStrip, CBforce, DefaultBtn});
}

void TUPXForm1::buildAboutPage()
{
    TS3 = new QWidget;
    TS3->setAccessibleName(QStringLiteral("Über UPX und diese Shell"));
    PageControl1->addTab(TS3, QStringLiteral("Über UPX und diese Shell"));

    const auto textLabel = [this](int left, int top, const QString& text, int pixelSize, int style,
                                  const QColor& colour) {
        return label(TS3, left, top, text, pixelSize, style, colour);
    };
    const auto linkLabel = [this](int left, int top, const QString& text) {
        auto* result = new LinkLabel(text, TS3);
        setFontOf(result, Arial, 16, Italic | Underline, Blue);
        result->move(left, top);
        return result;
    };

    Label9 =
        textLabel(6, 6, QStringLiteral("Kompaktor   Version " KOMPAKTOR_VERSION), 27, Italic, Red);
    Label10 = textLabel(468, 8, QStringLiteral("Das Kompaktor-Team\nAm Packhof 5, 10178 Berlin"),
                        13, Regular, Navy);
    Label11 = textLabel(180, 64, QStringLiteral("UPX 1.24w können Sie kostenlos downloaden bei:"),
                        13, Regular, Navy);
    UPXLbl = linkLabel(478, 60, QStringLiteral("https://upx.github.io"));
    setHint(UPXLbl,
            QStringLiteral(" Auf dieser Page finden Sie UPX124w und alles was dazu gehört."));
    Label12 = textLabel(386, 92, QStringLiteral("eMail - Kontakt:"), 13, Regular, Navy);
    MyUrlLbl = linkLabel(482, 88, QStringLiteral("kompaktor@example.org"));
    setHint(MyUrlLbl, QStringLiteral(" Bugberichte, Beschwerden, Dankschreiben und gut gemeinte "
                                     "Ratschläge werden hier entgegen genommen."));
    Label14 = textLabel(410, 116, QStringLiteral("Homepage:"), 13, Regular, Navy);
    HomePageLbl = textLabel(482, 112, QStringLiteral("https://kompaktor.example.org"), 16,
                            Italic | Underline, Blue);
    setHint(HomePageLbl,
            QStringLiteral(" Die Homepage von Kompaktor mit Neuigkeiten rund um diese Shell."));
    Label13 =
        textLabel(8, 118, QStringLiteral("Statt einer Readme, die doch kein Mensch liest !!!"), 16,
                  Regular, Red);
    setHint(Label13, QStringLiteral(" Oder ist Ihnen noch niemals eine README abhanden gekommen?"));

    Memo2 = memo(TS3, {6, 144, 739, 313}, QStringLiteral("Über UPX und diese Shell"));
    setFontOf(Memo2, Arial, 15, Regular, Navy);
    setHint(Memo2, QStringLiteral(" Was Sie unbedingt über UPX und seine Shell in Erfahrung "
                                  "bringen sollten."));
}

void TUPXForm1::buildAdvancedPage()
{
    TS5 = new QWidget;
    TS5->setAccessibleName(QStringLiteral("Erweitert"));
    PageControl1->addTab(TS5, QStringLiteral("Erweitert"));
    setFontOf(TS5, Arial, 13, Bold, Navy);

    GroupBox7 = groupBox(TS5, {12, 12, 373, 229}, QStringLiteral(" Stärkste Kompression "));
    CBLzma = checkBox(GroupBox7, {18, 30, 349, 17},
                      QStringLiteral("LZMA verwenden (stärker, langsamer beim Entpacken)"));
    setHint(CBLzma, QStringLiteral(" Packt mit LZMA statt NRV: meist deutlich kleiner, dafür "
                                   "entpackt sich das Programm bei jedem Start etwas langsamer."));
    GroupBox8 = groupBox(GroupBox7, {18, 60, 337, 157}, QStringLiteral(" Gründlichkeit "));
    setHint(GroupBox8, QStringLiteral(" Wie viele Methoden und Filter UPX ausprobiert, um die "
                                      "kleinste Datei zu finden."));
    BruteRB1 = radioButton(GroupBox8, {18, 24, 301, 17}, QStringLiteral("Normal"), true);
    setHint(BruteRB1, QStringLiteral(" UPX packt mit der eingestellten Kompressionsstufe."));
    BruteRB2 =
        radioButton(GroupBox8, {18, 48, 301, 17}, QStringLiteral("Gründlich (--brute)"), false);
    setHint(BruteRB2, QStringLiteral(" UPX probiert alle Methoden und Filter aus und behält das "
                                     "kleinste Ergebnis."));
    BruteRB3 = radioButton(GroupBox8, {18, 72, 301, 17},
                           QStringLiteral("Sehr gründlich (--ultra-brute)"), false);
    setHint(BruteRB3, QStringLiteral(" UPX probiert noch mehr Varianten aus als bei \"Gründlich"
                                     "\". Sehr langsam!"));
    Label20 = multiLineLabel(GroupBox8, {18, 102, 307, 45},
                             QStringLiteral("Beide Stufen probieren viele Methoden durch und\n"
                                            "können bei einem großen Programm Minuten\n"
                                            "dauern."));
    setFontOf(Label20, Arial, 13, Regular, Red);

    GroupBox9 = groupBox(TS5, {400, 12, 341, 229}, QStringLiteral(" Originaldatei "));
    CBBackup = checkBox(GroupBox9, {18, 30, 313, 17},
                        QStringLiteral("Sicherungskopie der Originaldatei behalten"));
    setHint(CBBackup, QStringLiteral(" UPX behält die unveränderte Datei als Sicherung neben ihr, "
                                     "z.B. \"prog.~\" oder \"Test.ex~\"."));
    Label21 = multiLineLabel(GroupBox9, {36, 50, 295, 45},
                             QStringLiteral("Die Statuszeile nennt nach der Arbeit\n"
                                            "die Sicherung, z.B. prog.~ oder Test.ex~"));
    setFontOf(Label21, Arial, 13, Regular, Navy);
    CBNewFile =
        checkBox(GroupBox9, {18, 108, 313, 17}, QStringLiteral("In eine neue Datei schreiben"));
    setHint(CBNewFile, QStringLiteral(" Die Originaldatei bleibt, wie sie ist; das Ergebnis kommt "
                                      "in eine neue Datei daneben."));
    Label22 = multiLineLabel(GroupBox9, {36, 128, 295, 90},
                             QStringLiteral("prog -> prog-gepackt\n"
                                            "Test.exe -> Test-gepackt.exe\n"
                                            "beim Dekomprimieren: Test-entpackt.exe\n"
                                            "Eine vorhandene Datei wird nie überschrieben."));
    setFontOf(Label22, Arial, 13, Regular, Navy);

    GroupBox10 = groupBox(TS5, {12, 256, 373, 97}, QStringLiteral(" Nach dem Packen "));
    CBTestAfter =
        checkBox(GroupBox10, {18, 30, 349, 17}, QStringLiteral("Nach dem Komprimieren prüfen"));
    setHint(CBTestAfter, QStringLiteral(" Nach einer erfolgreichen Kompression prüft UPX die "
                                        "gepackte Datei sofort auf ihre Integrität."));
    Label23 = multiLineLabel(GroupBox10, {36, 50, 325, 37},
                             QStringLiteral("wie \"Teste Integrität\"; die Statuszeile\n"
                                            "endet dann mit \"geprüft\""));
    setFontOf(Label23, Arial, 13, Regular, Navy);

    GroupBox11 = groupBox(TS5, {400, 256, 341, 97}, QStringLiteral(" Mehrere Dateien "));
    Label24 = label(GroupBox11, 18, 36, QStringLiteral("Gleichzeitig arbeitende Packer:"), 13,
                    Regular, Navy);
    SpinEdit1 = new QSpinBox(GroupBox11);
    SpinEdit1->setGeometry(246, 30, 61, 24);
    SpinEdit1->setRange(1, qMax(1, QThread::idealThreadCount()));
    SpinEdit1->setValue(SpinEdit1->maximum());
    setFontOf(SpinEdit1, Arial, 13, Regular, Navy);
    SpinEdit1->setAccessibleName(Label24->text());
    setHint(SpinEdit1,
            QStringLiteral(" Wie viele Dateien auf der Seite \"Mehrere Dateien\" "
                           "zugleich gepackt werden, höchstens einer je Prozessorkern."));

    for (QGroupBox* group : {GroupBox7, GroupBox8, GroupBox9, GroupBox10, GroupBox11})
        group->setAccessibleName(group->title().trimmed());
    chainTabOrder(
        {CBLzma, BruteRB1, BruteRB2, BruteRB3, CBBackup, CBNewFile, CBTestAfter, SpinEdit1});
}

void TUPXForm1::setMemLblCaption(int value)
{
    // Right-aligned and auto-sized: the right edge stays at 159 whatever the width of the text.
    MemLbl->setText(QString::number(value / 1024));
    MemLbl->adjustSize();
    MemLbl->move(159 - MemLbl->width(), 114);
}

void TUPXForm1::buildBatchPage()
{
    TS4 = new QWidget;
    TS4->setAccessibleName(QStringLiteral("Mehrere Dateien"));
    PageControl1->addTab(TS4, QStringLiteral("Mehrere Dateien"));

    ListView1 = new QTreeWidget(TS4);
    ListView1->setGeometry(6, 6, 741, 232);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSortingEnabled(true);
    ListView1->sortByColumn(-1, Qt::AscendingOrder);
    ListView1->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Ordner"),
                                QStringLiteral("Vorher"), QStringLiteral("Nachher"),
                                QStringLiteral("Verhältnis"), QStringLiteral("Zustand")});
    for (const auto& [column, width] : {std::pair{0, 130}, {1, 170}, {2, 78}, {3, 78}, {4, 70}})
        ListView1->setColumnWidth(column, width);
    setFontOf(ListView1, SansSerif, 13, Regular, Navy);
    ListView1->setAccessibleName(QStringLiteral("Dateien"));
    setHint(ListView1, QStringLiteral(" Die Dateien, die gemeinsam bearbeitet werden. Ein Klick "
                                      "auf eine Spaltenüberschrift sortiert die Liste."));

    const auto batchButton = [this](int left, int width, const QString& caption,
                                    const QString& hint) {
        QPushButton* result = button(TS4, {left, 246, width, 25}, caption);
        setFontOf(result, Arial, 13, Regular, Navy);
        setHint(result, hint);
        return result;
    };
    HinzuBtn = batchButton(6, 100, QStringLiteral("Hinzufügen …"),
                           QStringLiteral(" Programme und Bibliotheken in die Liste aufnehmen."));
    EntfernenBtn = batchButton(110, 84, QStringLiteral("Entfernen"),
                               QStringLiteral(" Die gewählten Dateien aus der Liste nehmen."));
    LeerenBtn = batchButton(198, 90, QStringLiteral("Liste leeren"),
                            QStringLiteral(" Alle Dateien aus der Liste nehmen."));
    AlleKompressBtn = batchButton(
        297, 120, QStringLiteral("Alle komprimieren"),
        QStringLiteral(
            " Alle Dateien der Liste mit den Optionen der Seite Optionen komprimieren."));
    AlleDekompressBtn = batchButton(421, 132, QStringLiteral("Alle dekomprimieren"),
                                    QStringLiteral(" Alle Dateien der Liste dekomprimieren."));
    AlleTestBtn = batchButton(557, 96, QStringLiteral("Alle prüfen"),
                              QStringLiteral(" Die Integrität aller Dateien der Liste prüfen."));
    AbbrechenBtn = batchButton(657, 90, QStringLiteral("Abbrechen"),
                               QStringLiteral(" Die laufenden Packer anhalten und keine weiteren "
                                              "starten."));
    AbbrechenBtn->setEnabled(false);

    ProgressBar1 = new QProgressBar(TS4);
    ProgressBar1->setGeometry(6, 280, 741, 16);
    ProgressBar1->setRange(0, 1000);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(QStringLiteral("Fortschritt aller Dateien"));
    setHint(ProgressBar1, QStringLiteral(" Wie weit die Arbeit an allen Dateien gediehen ist."));

    Label30 = label(TS4, 6, 304, QStringLiteral("Bericht von UPX zur gewählten Datei:"), 13, Italic,
                    Navy);
    Memo3 = memo(TS4, {6, 322, 741, 160}, QStringLiteral("Bericht von UPX zur gewählten Datei"));
    setFontOf(Memo3, SansSerif, 13, Regular, Navy);
    setHint(Memo3, QStringLiteral(" Hier steht, was UPX zur gewählten Datei gemeldet hat."));

    OpenDialog3 =
        new OpenDialog(QStringLiteral("Dateien für die Liste wählen"),
                       {{QStringLiteral("Programme und Bibliotheken"), QStringLiteral("*"), true},
                        {QStringLiteral("EXE - Datei (*.exe)"), QStringLiteral("*.exe")},
                        {QStringLiteral("Laufzeitbibliothek (*.dll)"), QStringLiteral("*.dll")},
                        {QStringLiteral("Alle Dateien (*.*)"), QStringLiteral("*.*")}},
                       this);
    OpenDialog3->setMultiSelect(true);
    OpenDialog3->setInitialDir(QDir::homePath());
    Batch1 = new PackerBatch(this);

    chainTabOrder({ListView1, HinzuBtn, EntfernenBtn, LeerenBtn, AlleKompressBtn, AlleDekompressBtn,
                   AlleTestBtn, AbbrechenBtn, Memo3});
}
