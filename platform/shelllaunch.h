// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

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

// What the watch saw of a started program.
struct ProgramEnd {
    enum class Outcome {
        // It exited, or a signal ended it, within the watch time.
        Exited,
        Signalled,
        // It still ran when the watch time was over, and runs on.
        StillRunning,
        // The relay ended or stopped without a report, as when the program killed or stopped it.
        WatchLost,
        // There is no relay program: the program runs unwatched.
        NotWatched,
    };
    Outcome outcome = Outcome::Exited;
    // The exit code, or the number of the signal.
    int value = 0;
    // The program's process, where the watch knows it.
    qint64 pid = 0;
    // From the program's start to its end.
    qint64 milliseconds = 0;
    // The start of what it wrote on standard output and standard error, in the order it came.
    QByteArray output;
    // How many bytes more it wrote than output holds.
    qint64 omittedBytes = 0;
    // How many bytes of what it wrote while it was watched our standard output and error did
    // not take in time, and were left out there.
    qint64 droppedBytes = 0;
};

// Asks the launcher to watch a started executable for a while: onEnd gets how it ended, or that
// it still runs after that time (it keeps running on its own), on the event loop, never while
// the launch call runs; nothing once the context object is gone.
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
// An executable started with a watch request runs under the relay program "kompaktor-relay"
// beside this program's executable (see relay/): it writes to pipes that the relay reads, which
// passes the output on to this program's standard output and standard error, as the program
// would have written there itself, hands the start of it and the program's end to the watch,
// and goes on passing the output on after the watch ends, for as long as the program writes;
// so the program never finds its output closed. What an output of ours does not take in time,
// as when nobody reads it, is left out there and counted, so that it holds up neither the
// program nor the watch.
int ShellExecute(const QString& document, const DocumentOpener& opener = desktopOpener(),
                 const ProgramWatchRequest* watch = nullptr);

// Where the relay program is, in place of the one beside this program's executable.
void setProgramRelayExecutable(const QString& executable);
