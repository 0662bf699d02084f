#pragma once

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
int ShellExecute(const QString& document, const DocumentOpener& opener = desktopOpener());
