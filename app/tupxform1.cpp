// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/tupxform1.h"

#include "app/hinttracker.h"
#include "app/memotranscript.h"
#include "app/messages.h"
#include "app/statusbar.h"
#include "app/timeformat.h"
#include "app/tsysinf.h"
#include "packer/packerbatch.h"
#include "packer/packercommands.h"
#include "packer/packerlocation.h"
#include "packer/packerresult.h"
#include "packer/packerversion.h"
#include "packer/profilefile.h"
#include "packer/settingslocation.h"
#include "platform/files.h"
#include "platform/launcherrortext.h"
#include "platform/sysmetrics.h"
#include "platform/trialreport.h"
#include "widgets/linklabel.h"
#include "widgets/magneticform.h"
#include "widgets/opendialog.h"
#include "widgets/radiobutton.h"
#include "widgets/rxgradientcaption.h"
#include "widgets/rxslider.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextCursor>
#include <QTime>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <cstdio>
#include <utility>

namespace {

// The output box for a run that follows another: the earlier transcript stays, an empty line
// sets the new one apart.
class FollowingTranscript : public MemoTranscript {
public:
    using MemoTranscript::MemoTranscript;

    void clear() override { append(QStringLiteral("\r\n")); }
};

} // namespace

TUPXForm1::TUPXForm1(const QString& executablePath, QWidget* parent)
    : Form(QSize(761, 517), TFormBorderStyle::bsSingle, parent),
      ApplicationHint(new HintTracker(this)), m_executablePath(executablePath),
      m_timeFormat(longTimeFormat(QLocale::system()))
{
    buildControls();

    RxGradientCaption1 = new TRxGradientCaption(this);
    RxGradientCaption1->BeginLoad();
    RxGradientCaption1->setDefaultFont(false);
    RxGradientCaption1->setFormCaption(
        QStringLiteral("Kompaktor    Das Schaltpult für den Packer eXecutapler Dateien"));
    TFont captionFont;
    captionFont.font = classicFont(QStringLiteral("Arial"));
    captionFont.font.setPixelSize(19);
    captionFont.font.setItalic(true);
    captionFont.Color = clCaptionText;
    RxGradientCaption1->setFont(captionFont);
    MagneticForm1 = new TMagneticForm(this);
    MagneticForm1->Resize.Ratio.setWidth(100);
    MagneticForm1->Resize.Ratio.setHeight(72);
    MagneticForm1->Resize.Ratio.setAspectRatio(1.3855855464935303f);
    RxGradientCaption1->Loaded();

    connectHandlers();
    setAcceptDrops(true);
    Timer1->start();
    FormCreate();
    centreOnScreen();
}

TUPXForm1::~TUPXForm1()
{
    try {
        FormDestroy();
    } catch (const ApplicationError& error) {
        // Ended by a signal nobody may be there to answer a box: the message goes to standard
        // error, and the program ends.
        if (m_errorsToStandardError)
            std::fprintf(stderr, "kompaktor: %s.\n", qPrintable(displayLines(error.message)));
        else
            showApplicationError(error.message);
    }
}

void TUPXForm1::connectHandlers()
{
    connect(Timer1, &QTimer::timeout, this, &TUPXForm1::Timer1Timer);
    // Mouse movements reach the application's filters also where no control tracks them.
    qApp->installEventFilter(this);

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
    connect(Trackbar1, &TRxSlider::OnChange, this, &TUPXForm1::Trackbar1Change);
    onClick(HinzuBtn, &TUPXForm1::HinzuBtnClick);
    onClick(EntfernenBtn, &TUPXForm1::EntfernenBtnClick);
    onClick(LeerenBtn, &TUPXForm1::LeerenBtnClick);
    onClick(AlleKompressBtn, &TUPXForm1::AlleKompressBtnClick);
    onClick(AlleDekompressBtn, &TUPXForm1::AlleDekompressBtnClick);
    onClick(AlleTestBtn, &TUPXForm1::AlleTestBtnClick);
    onClick(AbbrechenBtn, &TUPXForm1::AbbrechenBtnClick);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this,
            &TUPXForm1::ListView1SelectionChange);
    connect(Batch1, &PackerBatch::fileChanged, this, &TUPXForm1::Batch1FileChange);
    connect(Batch1, &PackerBatch::progressChanged, this,
            [this] { ProgressBar1->setValue(int(Batch1->progress() * 1000)); });
    connect(Batch1, &PackerBatch::finished, this, &TUPXForm1::Batch1Finish);
}

void TUPXForm1::FormCreate()
{
    PageControl1->setCurrentWidget(TS1);
    ProgramDir = directoryPart(m_executablePath);
    SettingsFile = settingsFilePath(ProgramDir);
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
    // Hints are never shown as pop-up tips: they reach the user in the status line only.
    ApplicationHint->start();
    connect(ApplicationHint, &HintTracker::hintChanged, this, &TUPXForm1::DisplayHint);
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
        findPacker(directoryPart(m_executablePath), QFile::decodeName(qgetenv("PATH")));
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

namespace {

// The files and folders that a file manager drags, when all its addresses are local ones.
QStringList draggedFiles(const QDropEvent& drag)
{
    const QMimeData* data = drag.mimeData();
    if (!data || !data->hasUrls() || !(drag.possibleActions() & Qt::CopyAction))
        return {};
    QStringList files;
    for (const QUrl& url : data->urls()) {
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        if (path.isEmpty())
            return {};
        files << path;
    }
    return files;
}

} // namespace

bool TUPXForm1::takeDraggedFile(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) ||
        !watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != this)
        return false;
    auto* drag = static_cast<QDropEvent*>(event);
    const QStringList files = draggedFiles(*drag);
    if (files.isEmpty())
        return false;
    // Copied, never moved: the file manager keeps its file.
    drag->setDropAction(Qt::CopyAction);
    drag->accept();
    if (type == QEvent::Drop)
        openFiles(files);
    return true;
}

bool TUPXForm1::eventFilter(QObject* watched, QEvent* event)
{
    // A file dragged from a file manager goes into the first file box wherever it is dropped on
    // the window, also over the edit boxes, which would take its address as text; several, or a
    // folder, go into the list of page "Mehrere Dateien".
    if (takeDraggedFile(watched, event))
        return true;
    // A movement over the page itself, or over a disabled control on it that takes no mouse
    // input; labels and enabled controls keep their movements.
    if (event->type() == QEvent::MouseMove && watched->isWidgetType()) {
        const auto* widget = static_cast<QWidget*>(watched);
        if (widget == TS1 || (widget->parentWidget() == TS1 && !widget->isEnabled() &&
                              !qobject_cast<const QLabel*>(widget)))
            TS1MouseMove();
    }
    // Entf in the list of files removes the chosen ones.
    if (event->type() == QEvent::KeyPress && watched == ListView1 &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        EntfernenBtnClick();
        return true;
    }
    // Escape anywhere in the window cancels a running command.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && (m_run || Batch1->isRunning()) &&
        watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
        if (m_run)
            m_run->cancel();
        else
            Batch1->cancel();
        return true;
    }
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

namespace {
const QString OptionSection = QStringLiteral("Option");
const QString AdvancedSection = QStringLiteral("Erweitert");

QString flag(const QAbstractButton* button)
{
    return button->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}
} // namespace

void TUPXForm1::LeseIni()
{
    readOptions();
    readAdvancedChoices();
}

bool TUPXForm1::readFlag(const QString& section, const char* key) const
{
    return readProfileInteger(SettingsFile, section, QLatin1String(key), 0) != 0;
}

void TUPXForm1::readOptions()
{
    const QString& path = SettingsFile;
    const auto flag = [this](const char* key) { return readFlag(OptionSection, key); };
    // Each key takes effect at once, so a later radio key wins over an earlier one of its group.
    ComboBox1->setEditText(readProfileString(path, OptionSection, QStringLiteral("Kompresslevel"),
                                             QStringLiteral("7")));
    CBforce->setChecked(flag("Erzwingen"));
    KmRBtn1->setChecked(flag("Methode1"));
    OverlayBtn2->setChecked(flag("O_Entfernen"));
    OverlayBtn3->setChecked(flag("O_Ablehnen"));
    CB8086->setChecked(flag("Support8086"));
    CBnoReloc->setChecked(flag("ExeHeader"));
    Trackbar1->setValue(readProfileInteger(path, OptionSection, QStringLiteral("Speicher"), 10000));
    CBExport->setChecked(flag("Export"));
    CBResource->setChecked(flag("Resource"));
    CBStrip->setChecked(flag("Recorde"));
    IkonsRB1->setChecked(flag("NoIcons"));
    IkonsRB2->setChecked(flag("AllIcons"));
}

void TUPXForm1::readAdvancedChoices()
{
    const QString& path = SettingsFile;
    const auto flag = [this](const char* key) { return readFlag(AdvancedSection, key); };
    CBLzma->setChecked(flag("LZMA"));
    BruteRB2->setChecked(flag("Gruendlich"));
    BruteRB3->setChecked(flag("SehrGruendlich"));
    CBBackup->setChecked(flag("Sicherung"));
    CBNewFile->setChecked(flag("NeueDatei"));
    CBTestAfter->setChecked(flag("Pruefen"));
    SpinEdit1->setValue(
        readProfileInteger(path, AdvancedSection, QStringLiteral("Packer"), SpinEdit1->maximum()));
}

void TUPXForm1::SchreibeIni()
{
    // All keys of both pages in one replacement of the file: it never holds half old, half new
    // values.
    const QString& path = SettingsFile;
    const ProfileSection options{OptionSection,
                                 {{QStringLiteral("Kompresslevel"), ComboBox1->currentText()},
                                  {QStringLiteral("Erzwingen"), flag(CBforce)},
                                  {QStringLiteral("Methode1"), flag(KmRBtn1)},
                                  {QStringLiteral("O_Entfernen"), flag(OverlayBtn2)},
                                  {QStringLiteral("O_Ablehnen"), flag(OverlayBtn3)},
                                  {QStringLiteral("Support8086"), flag(CB8086)},
                                  {QStringLiteral("ExeHeader"), flag(CBnoReloc)},
                                  {QStringLiteral("Speicher"), QString::number(Trackbar1->value())},
                                  {QStringLiteral("Export"), flag(CBExport)},
                                  {QStringLiteral("Resource"), flag(CBResource)},
                                  {QStringLiteral("Recorde"), flag(CBStrip)},
                                  {QStringLiteral("NoIcons"), flag(IkonsRB1)},
                                  {QStringLiteral("AllIcons"), flag(IkonsRB2)}}};
    const ProfileSection advanced{
        AdvancedSection,
        {{QStringLiteral("LZMA"), flag(CBLzma)},
         {QStringLiteral("Gruendlich"), flag(BruteRB2)},
         {QStringLiteral("SehrGruendlich"), flag(BruteRB3)},
         {QStringLiteral("Sicherung"), flag(CBBackup)},
         {QStringLiteral("NeueDatei"), flag(CBNewFile)},
         {QStringLiteral("Pruefen"), flag(CBTestAfter)},
         {QStringLiteral("Packer"), QString::number(SpinEdit1->value())}}};
    if (!makeSettingsFolder(path) || !writeProfileSections(path, {options, advanced}))
        throw ApplicationError{QStringLiteral("nach %1 kann nicht geschrieben werden").arg(path)};
}

void TUPXForm1::DefaultBtnClick()
{
    // The options page only: page "Erweitert" keeps its choices, which the next save writes
    // again.
    QFile::remove(SettingsFile);
    readOptions();
    setMemLblCaption(Trackbar1->value());
}

void TUPXForm1::HilfeBtnClick()
{
    runCommand(packerCommand(PackerPath, QStringLiteral("-h")), PackerAction::Help);
}

void TUPXForm1::VersBtnClick()
{
    runCommand(packerCommand(PackerPath, QStringLiteral("-V")), PackerAction::Version);
}

void TUPXForm1::LizensBtnClick()
{
    runCommand(packerCommand(PackerPath, QStringLiteral("-L")), PackerAction::License);
}

void TUPXForm1::InfoBtnClick()
{
    if (fileNameGiven(QStringLiteral("Wie kann ich Information ermitteln,\rwenn kein Dateinamen "
                                     "angegeben wurde ?")))
        runCommand(fileCommand(PackerPath, QStringLiteral("-l"), Filename1->text()),
                   PackerAction::List);
}

void TUPXForm1::TestBtnClick()
{
    if (fileNameGiven(QStringLiteral("Wie kann ich die Integrität einer Datei\rtesten, wenn keine "
                                     "Name angegeben wurde ?")))
        runCommand(fileCommand(PackerPath, QStringLiteral("-t"), Filename1->text()),
                   PackerAction::Test);
}

void TUPXForm1::DekompressBtnClick()
{
    if (!fileNameGiven(QStringLiteral("Es ist unmöglich eine Datei zu dekomprimieren,\rwenn Name "
                                      "und Pfad dieser Datei unbekannt ist!")))
        return;
    const AdvancedOptions advanced = advancedOptions();
    const QString file = Filename1->text();
    if (newFileFree(file, advanced, false))
        runKeeping(PackerAction::Decompress, advanced, [&](const QVersionNumber&) {
            return decompressCommand(PackerPath, file, advanced);
        });
}

void TUPXForm1::KompressBtnClick()
{
    if (!fileNameGiven(QStringLiteral("Es ist unmöglich eine Datei zu komprimieren, wenn\rSie mir "
                                      "Name und Pfad dieser Datei nicht nennen!")))
        return;
    // The file and options as they are now, also when the packer's version comes later.
    const CompressOptions options = compressOptions();
    const AdvancedOptions advanced = advancedOptions();
    const QString file = Filename1->text();
    if (newFileFree(file, advanced, true))
        runKeeping(PackerAction::Compress, advanced, [&](const QVersionNumber& version) {
            return compressCommand(PackerPath, options, file, version, advanced);
        });
}

void TUPXForm1::runKeeping(PackerAction action, const AdvancedOptions& advanced,
                           const PackerRun::CommandMaker& make)
{
    const bool compress = action == PackerAction::Compress;
    // The version the command was made for, which tells the switches it had to leave out.
    QVersionNumber madeFor;
    MemoTranscript memo(Memo1);
    const std::optional<RunResult> run = runInMemo1(
        [&](const QVersionNumber& version) {
            madeFor = version;
            return make(version);
        },
        compress ? packerVersion() : nullptr, memo);
    if (!run)
        return;
    if (const QString note = omittedSwitchesNote(unknownSwitches(advanced, madeFor), madeFor);
        compress && !note.isEmpty())
        appendBlockToMemo1(note);
    QString line = packerResult(action, *run) + keptFilesNote(*run);
    if (runSucceeded(*run)) {
        const QString& newFile = run->command.outputFile;
        if (!newFile.isEmpty() &&
            (Filename2->text().isEmpty() || Filename2->text() == run->command.workFile))
            Filename2->setText(newFile);
        if (compress && advanced.testAfter)
            line += testAfterCompress(run->command);
    }
    showResult(line);
}

QString TUPXForm1::testAfterCompress(const PackerCommand& compress)
{
    const QString& packed = compress.outputFile.isEmpty() ? compress.workFile : compress.outputFile;
    const PackerCommand test = fileCommand(PackerPath, QStringLiteral("-t"), packed);
    FollowingTranscript memo(Memo1);
    const std::optional<RunResult> run =
        runInMemo1([&test](const QVersionNumber&) { return test; }, nullptr, memo);
    return run ? testAfterNote(*run) : QString();
}

bool TUPXForm1::newFileFree(const QString& fileName, const AdvancedOptions& advanced, bool compress)
{
    const QString newFile = newFileName(fileName, compress);
    if (!advanced.newFile || !nameTaken(newFile))
        return true;
    showErrorBox(this, QStringLiteral("Die neue Datei\r\r%1\r\rgibt es schon. Ich überschreibe "
                                      "sie nicht:\rbitte benennen oder verschieben Sie sie "
                                      "zuerst.")
                           .arg(newFile));
    return false;
}

AdvancedOptions TUPXForm1::advancedOptions() const
{
    AdvancedOptions options;
    options.lzma = CBLzma->isChecked();
    options.thoroughness = BruteRB3->isChecked()   ? AdvancedOptions::UltraBrute
                           : BruteRB2->isChecked() ? AdvancedOptions::Brute
                                                   : AdvancedOptions::Normal;
    options.keepBackup = CBBackup->isChecked();
    options.newFile = CBNewFile->isChecked();
    options.testAfter = CBTestAfter->isChecked();
    return options;
}

int TUPXForm1::parallelPackers() const
{
    return SpinEdit1->value();
}

PackerVersion* TUPXForm1::packerVersion()
{
    if (!m_packerVersion) {
        // A packer that is not there is not asked.
        const QString packer = PackerPath.chopped(1);
        m_packerVersion = std::make_unique<PackerVersion>(fileExists(packer) ? packer : QString());
    }
    return m_packerVersion.get();
}

CompressOptions TUPXForm1::compressOptions() const
{
    CompressOptions options;
    options.level = ComboBox1->currentText();
    options.force = CBforce->isChecked();
    options.memory = Trackbar1->value();
    options.nrv2b = KmRBtn1->isChecked();
    options.overlayStrip = OverlayBtn2->isChecked();
    options.overlaySkip = OverlayBtn3->isChecked();
    options.support8086 = CB8086->isChecked();
    options.noReloc = CBnoReloc->isChecked();
    options.keepExports = CBExport->isChecked();
    options.noIcons = IkonsRB1->isChecked();
    options.allIconsButFirst = IkonsRB2->isChecked();
    options.keepResources = CBResource->isChecked();
    options.keepRelocs = CBStrip->isChecked();
    return options;
}

bool TUPXForm1::fileNameGiven(const QString& errorText)
{
    if (!Filename1->text().isEmpty())
        return true;
    showErrorBox(this, errorText);
    return false;
}

void TUPXForm1::runCommand(const PackerCommand& command, PackerAction action)
{
    runCommand(
        action, [&command](const QVersionNumber&) { return command; }, nullptr);
}

void TUPXForm1::runCommand(PackerAction action, const PackerRun::CommandMaker& make,
                           PackerVersion* version)
{
    MemoTranscript memo(Memo1);
    if (const std::optional<RunResult> run = runInMemo1(make, version, memo))
        showResult(packerResult(action, *run));
}

std::optional<RunResult> TUPXForm1::runInMemo1(const PackerRun::CommandMaker& make,
                                               PackerVersion* version, TranscriptSink& sink)
{
    // One run at a time: a command started while the packer still works is refused, so that
    // the running command's report stays whole.
    if (refuseWhileBusy())
        return std::nullopt;
    PackerRun run(version, make, &sink);
    m_run = &run;
    // The packer's progress shows in the status line while it works.
    connect(&run, &PackerRun::progress, this, [this](const QString& progress) {
        StatusBar1->setPanelText(0, QLatin1Char(' ') + progress);
    });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ApplicationHint->hold(true);
    // The handler returns when the run has ended; the window goes on working meanwhile.
    QEventLoop wait;
    connect(&run, &PackerRun::finished, &wait, &QEventLoop::quit);
    run.start();
    if (run.isRunning())
        wait.exec();
    // The application quits.
    run.abandon();
    m_run = nullptr;
    ApplicationHint->hold(false);
    QApplication::restoreOverrideCursor();
    return run.result();
}

void TUPXForm1::showResult(const QString& line)
{
    // The result stays until the pointer reaches another hint than the one it rests on now
    // (the button just pressed, usually).
    StatusBar1->setPanelText(0, QLatin1Char(' ') + line);
    ApplicationHint->takeCurrentHint();
    for (const QString& text : std::exchange(m_waitingForMemo1, {}))
        appendBlockToMemo1(text);
}

void TUPXForm1::appendBlockToMemo1(const QString& text)
{
    // A running command's transcript stays whole: the text follows it.
    if (m_run) {
        m_waitingForMemo1 << text;
        return;
    }
    // An empty line sets the block apart from what the box holds.
    const QString shown = Memo1->toPlainText();
    const QString separator = shown.isEmpty()                     ? QString()
                              : shown.endsWith(QLatin1Char('\n')) ? QStringLiteral("\r\n")
                                                                  : QStringLiteral("\r\n\r\n");
    MemoTranscript(Memo1).append(separator + text);
}

void TUPXForm1::FilenameBtn1Click()
{
    if (OpenDialog1->execute())
        Filename1->setText(OpenDialog1->fileName());
}

void TUPXForm1::openFile(const QString& fileName)
{
    OpenDialog1->keep(fileName);
    Filename1->setText(fileName);
}

void TUPXForm1::Filename1Change()
{
    // The trial file follows the file last picked in the first dialog, not the typed text.
    const QString picked = OpenDialog1->fileName();
    const qsizetype dot = picked.lastIndexOf(QLatin1Char('.'));
    const bool exe = dot > picked.lastIndexOf(QLatin1Char('/')) &&
                     picked.mid(dot).toUpper() == QLatin1String(".EXE");
    // A Linux program carries no extension: an executable file is tried itself, unless it is
    // named as a shared library is.
    static const QRegularExpression library(QStringLiteral(R"(\.so(\.\d+)*$)"));
    const QFileInfo info(picked);
    const bool program = info.isFile() && info.isExecutable() && !library.match(picked).hasMatch();
    Filename2->setText(exe || program ? picked : QString());
    const bool exists = fileExists(Filename1->text());
    for (QPushButton* button : {KompressBtn, DekompressBtn, InfoBtn, TestBtn, TryBtn})
        button->setEnabled(exists);
    // With a file to compress the packer's version may soon be needed: it is asked for now, in
    // the background, rather than at the start, which most sessions would pay for in vain.
    if (exists)
        packerVersion();
}

void TUPXForm1::FilenameBtn2Click()
{
    QString folder = directoryPart(Filename1->text());
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    OpenDialog2->setInitialDir(folder);
    if (OpenDialog2->execute())
        Filename2->setText(OpenDialog2->fileName());
}

void TUPXForm1::TryBtnClick()
{
    // A started program is watched for a while: if it ends meanwhile, the box tells how.
    const QString program = Filename2->text();
    const ProgramWatchRequest watch{
        this, TrialWatchMilliseconds,
        [this, program](const ProgramEnd& end) { appendBlockToMemo1(trialReport(program, end)); }};
    const int result = ShellExecute(program, m_opener, &watch);
    if (result > 32)
        return;
    showMessageBox(nullptr, QMessageBox::NoIcon, QCoreApplication::applicationName(),
                   displayLines(LaunchErrorText(result)));
}

void TUPXForm1::MyUrlLblClick()
{
    ShellExecute(QStringLiteral("MAILTO:") + MyUrlLbl->text(), m_opener);
}

void TUPXForm1::UPXLblClick()
{
    ShellExecute(UPXLbl->text(), m_opener);
}

void TUPXForm1::DisplayHint()
{
    StatusBar1->setPanelText(0, shortHint(ApplicationHint->hint()));
}

void TUPXForm1::Timer1Timer()
{
    StatusBar1->setPanelText(1, QLocale::system().toString(QTime::currentTime(), m_timeFormat));
}

TSysInf* TUPXForm1::memoryDialog()
{
    if (!SysInf)
        SysInf = new TSysInf(GlobalMemoryStatus, this);
    return SysInf;
}

void TUPXForm1::SysInfoBtnClick()
{
    memoryDialog()->exec();
}
