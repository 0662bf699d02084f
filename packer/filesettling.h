// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/stat.h>

// What identifies a file (device and inode), and what is set back on it: mode, owner, times.
// Size and modification time tell whether its content was changed.
struct FileState {
    bool exists = false;
    struct stat info = {};

    // The state of the path itself, or, following a link, of what it leads to.
    static FileState of(const QByteArray& path, bool followLink = false);
    bool isSameFile(const FileState& other) const;
};

// How a stopped packer leaves the file it worked on.
enum class FileOutcome { AsItWas, FinishedWork, InDoubt };

// The file a packer works on, watched so that a packer stopped halfway leaves it either as it
// was or as the packer's finished work, with its mode, owner and times as they were before.
// The packer writes its work into a file of its own in the same folder, which it holds open for
// writing; that file is noted while the packer holds it, and removed unless it becomes the
// user's file.
class WorkFileGuard {
public:
    // An empty name guards nothing.
    explicit WorkFileGuard(const QString& fileName);

    bool isSet() const { return !m_path.isEmpty(); }

    // Notes the packer's output file if the process holds it open now; true while it is still
    // looked for.
    bool lookForOutput(qint64 pid);
    // Notes what the stopped process holds open now; true when it holds its output file open.
    bool noteOpenOutput(qint64 pid);
    // After the packer has ended: puts the file back as it was, or, where the packer had
    // finished its work and begun to put it in the file's place, finishes that. outputOpen
    // tells whether the packer still held its output file open when it was stopped.
    FileOutcome settle(bool outputOpen) const;

private:
    struct Output {
        QByteArray path;
        FileState state;
    };
    std::optional<Output> openOutput(qint64 pid) const;

    QByteArray m_path;
    // The folder's path ends with a slash.
    QByteArray m_folder;
    FileState m_before;
    std::optional<Output> m_output;
};

// Gives the file the times, owner and mode it had, never through a link put in its place; true
// when it has them.
bool setBack(const QByteArray& path, const FileState& was);
