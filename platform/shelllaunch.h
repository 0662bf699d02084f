#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// The program and document launcher: starts an executable file on its own and hands every
// other document, mail address and web address to the desktop. Failures are numbered the way
// the Windows shell numbers them, so that one table of messages serves both.

// Opens a URL or a document with the desktop's program for it; true when that program was started.
using DocumentOpener = std::function<bool(const QUrl&)>;

// The desktop's opener (QDesktopServices::openUrl).
DocumentOpener desktopOpener();

// Launch failure numbers (32 or less means failure).
enum ShellExecuteError : int {
    SeOutOfResources = 0,
    SeFileNotFound = 2,
    SePathNotFound = 3,
    SeAccessDenied = 5,
    SeOutOfMemory = 8,
    SeBadFormat = 11,
    SeNoAssociation = 31,
};

// How a watched program ended.
struct ProgramEnd {
    // True when a signal ended it, false when it exited.
    bool signalled = false;
    // The exit code, or the number of the signal.
    int value = 0;
    // From the start to the end.
    qint64 milliseconds = 0;
    // The start of what it wrote on standard output and standard error, in the order it came.
    QByteArray output;
    // How many bytes more it wrote than output holds.
    qint64 omittedBytes = 0;
};

// Asks the launcher to watch a started executable for a while: when the program ends within
// that time, onEnd gets how it ended (on the event loop, never while the launch call runs).
// A program still running after that time keeps running on its own and nothing is reported;
// nor is anything once the context object is gone.
struct ProgramWatchRequest {
    QObject* context = nullptr;
    int milliseconds = 10000;
    std::function<void(const ProgramEnd&)> onEnd;
};

// How much of a watched program's output is reported.
constexpr qsizetype WatchedOutputBytes = 64 * 1024;

// Launches a document with its default action, without parameters, in the current directory:
// - a text beginning with a URL scheme of two or more characters ("mailto:", "https:", ...;
//   compared without regard to case) goes to the opener as a URL;
// - an existing regular file with execute permission is started on its own, without a shell;
//   the call does not wait for it and the started program is not a child of this process;
// - any other existing document (a file, a folder) goes to the opener as a file URL.
// A relative path is relative to the current directory and is never looked up on PATH.
// Returns a number above 32 on success, else the failure number: 2 file not found, 3 folder
// not found, 5 access denied, 8 out of memory, 11 bad executable format, 31 no program for
// the document (the opener failed), 0 any other failure.
//
// An executable started with a watch request writes to pipes that a small relay process reads:
// it passes the output on to this program's standard output and standard error, as the
// program would have written there itself, hands the start of it and the program's end to the
// watch, and goes on passing the output on after the watch ends, for as long as the program
// writes; so the program never finds its output closed.
int ShellExecute(const QString& document, const DocumentOpener& opener = desktopOpener(),
                 const ProgramWatchRequest* watch = nullptr);

// The relay of a watched program runs an executable anew under a name of its own, so that it
// does not keep a copy of this process's memory: one whose entry asks first whether it was
// started so (isProgramRelay) and then only relays (runProgramRelay). Without one, the relay
// stays a copy of this process.
void setProgramRelayExecutable(const QString& executable);
bool isProgramRelay(int argc, char** argv);
[[noreturn]] void runProgramRelay(char** argv);
