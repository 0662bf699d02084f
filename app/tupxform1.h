// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "packer/packerrun.h"
#include "platform/form.h"
#include "platform/shelllaunch.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

struct AdvancedOptions;
class HintTracker;
class LinkLabel;
class OpenDialog;
enum class PackerAction;
class PackerVersion;
struct CompressOptions;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QProgressBar;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class PackerBatch;
class QTimer;
class RadioButton;
class StatusBar;
class TRxSlider;
class TMagneticForm;
class TRxGradientCaption;
class TSysInf;

// The main window: the pages of commands, options, information and advanced choices, the status
// bar, and
// the handlers that tie the packer, the options and the files together.
class TUPXForm1 : public Form {
    Q_OBJECT

public:
    // The executable's path decides the program's directory, where the packer is looked for
    // first and the settings file lives when that folder may be written.
    explicit TUPXForm1(const QString& executablePath = QCoreApplication::applicationFilePath(),
                       QWidget* parent = nullptr);
    ~TUPXForm1() override;

    // The directory of the program, up to and including its last "/".
    QString ProgramDir;
    // The settings file in use, beside the program or in the user's configuration folder.
    QString SettingsFile;
    // The located packer followed by one blank: the head of every packer command line.
    QString PackerPath;

    QTabWidget* PageControl1;
    StatusBar* StatusBar1;
    QTimer* Timer1;
    OpenDialog* OpenDialog1;
    OpenDialog* OpenDialog2;
    // The memory dialog, made when it is first opened: most sessions never open it.
    TSysInf* SysInf = nullptr;
    TSysInf* memoryDialog();
    // The application's hint, which the status line shows.
    HintTracker* ApplicationHint;
    // The caption bar with its gradient, and the snapping of the window to the screen edges.
    TRxGradientCaption* RxGradientCaption1;
    TMagneticForm* MagneticForm1;

    // Page "Kommandos"
    QWidget* TS1;
    QPlainTextEdit* Memo1;
    QPushButton* KompressBtn;
    QPushButton* DekompressBtn;
    QPushButton* InfoBtn;
    QPushButton* TestBtn;
    QPushButton* HilfeBtn;
    QPushButton* VersBtn;
    QPushButton* LizensBtn;
    QPushButton* TryBtn;
    QLabel* Label16;
    QLineEdit* Filename1;
    QPushButton* FilenameBtn1;
    QLabel* Label17;
    QLineEdit* Filename2;
    QPushButton* FilenameBtn2;

    // Page "Optionen"
    QWidget* TS2;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QComboBox* ComboBox1;
    QCheckBox* CBforce;
    QGroupBox* GroupBox2;
    RadioButton* KmRBtn1;
    RadioButton* KmRBtn2;
    QGroupBox* GroupBox3;
    RadioButton* OverlayBtn1;
    RadioButton* OverlayBtn2;
    RadioButton* OverlayBtn3;
    QGroupBox* GroupBox4;
    QLabel* Label4;
    QCheckBox* CB8086;
    QLabel* Label5;
    QCheckBox* CBnoReloc;
    QLabel* Label19;
    QPushButton* DefaultBtn;
    QLabel* Label18;
    QGroupBox* GroupBox1;
    QLabel* Label6;
    TRxSlider* Trackbar1;
    QLabel* Label7;
    QLabel* MemLbl;
    QLabel* Label8;
    QPushButton* SysInfoBtn;
    QGroupBox* GroupBox5;
    QCheckBox* CBExport;
    QCheckBox* CBResource;
    QCheckBox* CBStrip;
    QGroupBox* GroupBox6;
    RadioButton* IkonsRB1;
    RadioButton* IkonsRB2;
    RadioButton* IkonsRB3;

    // Page "Über UPX und diese Shell"
    QWidget* TS3;
    QLabel* Label9;
    QLabel* Label10;
    QLabel* Label11;
    LinkLabel* UPXLbl;
    QLabel* Label12;
    LinkLabel* MyUrlLbl;
    QLabel* Label14;
    QLabel* HomePageLbl;
    QLabel* Label13;
    QPlainTextEdit* Memo2;

    // Page "Mehrere Dateien": one packer run a file, as many at once as the machine has cores.
    QWidget* TS4;
    QTreeWidget* ListView1;
    QPushButton* HinzuBtn;
    QPushButton* EntfernenBtn;
    QPushButton* LeerenBtn;
    QPushButton* AlleKompressBtn;
    QPushButton* AlleDekompressBtn;
    QPushButton* AlleTestBtn;
    QPushButton* AbbrechenBtn;
    QProgressBar* ProgressBar1;
    QLabel* Label30;
    QPlainTextEdit* Memo3;
    OpenDialog* OpenDialog3;
    PackerBatch* Batch1;
    // Page "Erweitert"
    QWidget* TS5;
    QGroupBox* GroupBox7;
    QCheckBox* CBLzma;
    QGroupBox* GroupBox8;
    RadioButton* BruteRB1;
    RadioButton* BruteRB2;
    RadioButton* BruteRB3;
    QLabel* Label20;
    QGroupBox* GroupBox9;
    QCheckBox* CBBackup;
    QLabel* Label21;
    QCheckBox* CBNewFile;
    QLabel* Label22;
    QGroupBox* GroupBox10;
    QCheckBox* CBTestAfter;
    QLabel* Label23;
    QGroupBox* GroupBox11;
    QLabel* Label24;
    QSpinBox* SpinEdit1;

    // The choices of page "Erweitert", for every compress and decompress; and how many packers
    // work at once on several files.
    AdvancedOptions advancedOptions() const;
    int parallelPackers() const;

    // Window life
    void FormCreate();
    void FormDestroy();
    void FormResize();

    // Packer location: leaves Path unchanged when no packer is found.
    void FindeUPX(QString& Path);

    // Options and settings file. SchreibeIni writes all keys at once and throws
    // ApplicationError when the file cannot be written; the file then stays as it was.
    void LeseIni();
    void SchreibeIni();
    void DefaultBtnClick();
    void Trackbar1Change();

    // Packer commands
    void HilfeBtnClick();
    void VersBtnClick();
    void LizensBtnClick();
    void InfoBtnClick();
    void TestBtnClick();
    void DekompressBtnClick();
    void KompressBtnClick();

    // An error at the window's destruction (the options could not be saved) goes to standard
    // error instead of a box: for an end that nobody answers, such as logout.
    void reportErrorsOnStandardError() { m_errorsToStandardError = true; }

    // Files, trial launch and links
    void FilenameBtn1Click();
    // A file handed to the program (named on its command line, handed over by a later start,
    // dropped on the window): taken as if chosen in the first file dialog.
    void openFile(const QString& fileName);
    void Filename1Change();
    void FilenameBtn2Click();
    void TryBtnClick();
    void MyUrlLblClick();
    void UPXLblClick();
    // How long a program started by the trial launch is watched for its end.
    int TrialWatchMilliseconds = 10000;
    // How documents and addresses are opened for the trial launch and the links.
    void setDocumentOpener(DocumentOpener opener) { m_opener = std::move(opener); }

    // Status line
    void DisplayHint();
    void Timer1Timer();
    void TS1MouseMove();

    void SysInfoBtnClick();

    // Page "Mehrere Dateien"
    void HinzuBtnClick();
    void EntfernenBtnClick();
    void LeerenBtnClick();
    void AlleKompressBtnClick();
    void AlleDekompressBtnClick();
    void AlleTestBtnClick();
    void AbbrechenBtnClick();
    void ListView1SelectionChange();
    void Batch1FileChange(qsizetype index);
    void Batch1Finish();
    // Adds the files to the list, each file once whatever it is called; a folder adds the
    // programs and libraries in it, without its subfolders.
    void FuegeDateienHinzu(const QStringList& files);
    // Files handed to the program: one goes into the first file box as if chosen in the first
    // file dialog, several, or a folder, into the list of page "Mehrere Dateien".
    void openFiles(const QStringList& files);

    // Whether a packer command runs now.
    bool commandRunning() const { return m_run != nullptr; }

protected:
    void Dispatch(TMessage& message) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildCommandsPage();
    void buildOptionsPage();
    void buildAboutPage();
    void buildBatchPage();
    // Runs the action on every file of the list.
    void StarteStapel(PackerAction action);
    // Whether a packer command or a batch runs: another is refused then.
    bool refuseWhileBusy();
    void buildAdvancedPage();
    void connectHandlers();
    // The options page from the settings file, and page "Erweitert".
    void readOptions();
    void readAdvancedChoices();
    // A flag of the settings file: a key whose number is not 0.
    bool readFlag(const QString& section, const char* key) const;
    // Handles a drag of a file from a file manager over the window; true when it took the event.
    bool takeDraggedFile(QObject* watched, QEvent* event);
    void setMemLblCaption(int value);
    // The options of the options page as the compress command reads them.
    CompressOptions compressOptions() const;
    // Shows the error box and returns false when Filename1 is empty.
    bool fileNameGiven(const QString& errorText);
    // Runs a packer command with its transcript in Memo1 and the busy cursor meanwhile, then
    // shows its result in the status line.
    void runCommand(const PackerCommand& command, PackerAction action);
    // The same for the command that make() makes from the packer's version, once that is
    // known; without a version at once, for an unknown one.
    void runCommand(PackerAction action, const PackerRun::CommandMaker& make,
                    PackerVersion* version);
    // Runs the command with its transcript in the sink; no result when a command runs already.
    std::optional<RunResult> runInMemo1(const PackerRun::CommandMaker& make, PackerVersion* version,
                                        TranscriptSink& sink);
    // Shows the result line in the status line, and the blocks held back for the output box.
    void showResult(const QString& line);
    // A compress or decompress with the choices of page "Erweitert": the backup and the new
    // file named in the result line, the new file in the trial box, and the test after a
    // compress.
    void runKeeping(PackerAction action, const AdvancedOptions& advanced,
                    const PackerRun::CommandMaker& make);
    // Refuses, with an error box, a new file that exists already.
    bool newFileFree(const QString& fileName, const AdvancedOptions& advanced, bool compress);
    // Tests the file that the compress wrote, its transcript after the compress's.
    QString testAfterCompress(const PackerCommand& compress);
    void WMSysCommand(TMessage& message);
    // Appends a block of lines to the output box, after the transcript of a command that runs
    // now.
    void appendBlockToMemo1(const QString& text);

    QString m_executablePath;
    QString m_timeFormat;
    DocumentOpener m_opener = desktopOpener();
    // The command running now, if any.
    PackerRun* m_run = nullptr;
    // The rows of the batch running or last run, by their place in it.
    QList<QTreeWidgetItem*> m_batchRows;
    QStringList m_waitingForMemo1;
    bool m_errorsToStandardError = false;
    // The located packer's version, asked for once, when a file is first named or compressed.
    PackerVersion* packerVersion();
    std::unique_ptr<PackerVersion> m_packerVersion;
};
