#include "app/tupxform1.h"

#include "app/messages.h"
#include "app/statusbar.h"
#include "packer/packerlocation.h"
#include "platform/files.h"
#include "widgets/linklabel.h"

#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

TUPXForm1::TUPXForm1(const QString& executablePath, QWidget* parent)
    : Form(QSize(761, 517), parent), m_executablePath(executablePath)
{
    buildControls();
    connectHandlers();
    Timer1->start();
    FormCreate();
    centreOnScreen();
}

TUPXForm1::~TUPXForm1()
{
    FormDestroy();
}

void TUPXForm1::connectHandlers()
{
    connect(Timer1, &QTimer::timeout, this, &TUPXForm1::Timer1Timer);
    TS1->setMouseTracking(true);
    TS1->installEventFilter(this);

    const auto onClick = [this](QPushButton* button, void (TUPXForm1::*handler)()) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    onClick(KompressBtn, &TUPXForm1::KompressBtnClick);
    onClick(DekompressBtn, &TUPXForm1::DekompressBtnClick);
    onClick(InfoBtn, &TUPXForm1::InfoBtnClick);
    onClick(TestBtn, &TUPXForm1::TestBtnClick);
    onClick(HilfeBtn, &TUPXForm1::HilfeBtnClick);
    onClick(VersBtn, &TUPXForm1::VersBtnClick);
    onClick(LizensBtn, &TUPXForm1::LizensBtnClick);
    onClick(TryBtn, &TUPXForm1::TryBtnClick);
    onClick(FilenameBtn1, &TUPXForm1::FilenameBtn1Click);
    onClick(FilenameBtn2, &TUPXForm1::FilenameBtn2Click);
    onClick(DefaultBtn, &TUPXForm1::DefaultBtnClick);
    onClick(SysInfoBtn, &TUPXForm1::SysInfoBtnClick);
    connect(Filename1, &QLineEdit::textChanged, this, &TUPXForm1::Filename1Change);
    connect(UPXLbl, &LinkLabel::clicked, this, &TUPXForm1::UPXLblClick);
    connect(MyUrlLbl, &LinkLabel::clicked, this, &TUPXForm1::MyUrlLblClick);
    connect(Trackbar1, &QSlider::valueChanged, this, &TUPXForm1::Trackbar1Change);
}

void TUPXForm1::FormCreate()
{
    PageControl1->setCurrentWidget(TS1);
    ProgramDir = directoryPart(m_executablePath);
    QString path = ProgramDir;
    FindeUPX(path);
    PackerPath = path + QLatin1Char(' ');
    if (!fileExists(PackerPath.chopped(1))) {
        showErrorBox(nullptr, QStringLiteral("Ich kann die notwendige Programmdatei\rUPX.EXE weder "
                                             "in meinem Verzeichnis \r\r") +
                                  ProgramDir +
                                  QStringLiteral("\r\rnoch im Suchpfad von Windows finden.\r\r"
                                                 "Bitte lesen Sie dazu sofort:\r"
                                                 "Über UPX und diese Shell!"));
        for (QPushButton* button : {LizensBtn, VersBtn, HilfeBtn})
            button->setEnabled(false);
    }
    for (QPushButton* button : {KompressBtn, DekompressBtn, InfoBtn, TestBtn, TryBtn})
        button->setEnabled(false);
    LeseIni();
    setMemLblCaption(Trackbar1->value());
    StatusBar1->setPanelWidth(1, 100);
    // Hints are never shown as pop-up tips here: they reach the user in the status line only.
}

void TUPXForm1::FormDestroy()
{
    SchreibeIni();
}

void TUPXForm1::FormResize()
{
    StatusBar1->setPanelWidth(0, StatusBar1->width() - StatusBar1->panelWidth(1));
}

void TUPXForm1::resizeEvent(QResizeEvent* event)
{
    Form::resizeEvent(event);
    const QSize client = clientArea()->size();
    PageControl1->setGeometry(0, 0, client.width(), client.height() - 25);
    StatusBar1->setGeometry(0, client.height() - 25, client.width(), 25);
    FormResize();
}

void TUPXForm1::FindeUPX(QString& Path)
{
    const QString found =
        searchFile(PackerFileName,
                   packerSearchDirectories(directoryPart(m_executablePath), QDir::currentPath(),
                                           QFile::decodeName(qgetenv("PATH"))));
    if (!found.isEmpty())
        Path = found;
}

void TUPXForm1::Dispatch(TMessage& message)
{
    if (message.Msg == WM_SYSCOMMAND)
        WMSysCommand(message);
    else
        Form::Dispatch(message);
}

void TUPXForm1::WMSysCommand(TMessage& message)
{
    // Restoring the application brings a minimised window back before the command itself runs.
    if (message.WParam == SC_RESTORE && isMinimized()) {
        showNormal();
        activateWindow();
    }
    Form::Dispatch(message);
}

bool TUPXForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TS1 && event->type() == QEvent::MouseMove)
        TS1MouseMove();
    return Form::eventFilter(watched, event);
}

void TUPXForm1::TS1MouseMove()
{
    TS1->setStatusTip(
        Filename1->text().isEmpty()
            ? QStringLiteral(" Zuerst bitte eine Datei zur Kompression, Dekompression "
                             "oder zum Erhalt von Informationen auswählen.")
            : QString());
}

void TUPXForm1::Trackbar1Change()
{
    setMemLblCaption(Trackbar1->value());
}

// The handlers below are filled in with the parts of the program they belong to.

void TUPXForm1::LeseIni() {}
void TUPXForm1::SchreibeIni() {}
void TUPXForm1::DefaultBtnClick() {}
void TUPXForm1::HilfeBtnClick() {}
void TUPXForm1::VersBtnClick() {}
void TUPXForm1::LizensBtnClick() {}
void TUPXForm1::InfoBtnClick() {}
void TUPXForm1::TestBtnClick() {}
void TUPXForm1::DekompressBtnClick() {}
void TUPXForm1::KompressBtnClick() {}
void TUPXForm1::FilenameBtn1Click() {}
void TUPXForm1::Filename1Change() {}
void TUPXForm1::FilenameBtn2Click() {}
void TUPXForm1::TryBtnClick() {}
void TUPXForm1::MyUrlLblClick() {}
void TUPXForm1::UPXLblClick() {}
void TUPXForm1::DisplayHint() {}
void TUPXForm1::Timer1Timer() {}
void TUPXForm1::SysInfoBtnClick() {}
