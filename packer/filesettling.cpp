// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/filesettling.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

FileState FileState::of(const QByteArray& path, bool followLink)
{
    FileState state;
    state.exists = (followLink ? ::stat(path.constData(), &state.info)
                               : ::lstat(path.constData(), &state.info)) == 0;
    return state;
}

bool FileState::isSameFile(const FileState& other) const
{
    return exists && other.exists && info.st_dev == other.info.st_dev &&
           info.st_ino == other.info.st_ino;
}

bool setBack(const QByteArray& path, const FileState& was)
{
    const FileState now = FileState::of(path);
    if (!now.exists)
        return false;
    bool timesSet = true;
    if (!sameTime(now.info.st_mtim, was.info.st_mtim)) {
        const timespec times[2] = {was.info.st_atim, was.info.st_mtim};
        timesSet = ::utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
    }
    // The owner first: changing it clears the set-user-ID and set-group-ID bits. A file that
    // cannot have its owner back does not get those bits.
    bool ownerSet = true;
    if (now.info.st_uid != was.info.st_uid || now.info.st_gid != was.info.st_gid)
        ownerSet = ::lchown(path.constData(), was.info.st_uid, was.info.st_gid) == 0;
    const mode_t mode = was.info.st_mode & (ownerSet ? 07777 : 01777);
    const bool modeSet = (FileState::of(path).info.st_mode & 07777) == mode ||
                         ::fchmodat(AT_FDCWD, path.constData(), mode, AT_SYMLINK_NOFOLLOW) == 0;
    return timesSet && ownerSet && modeSet;
}

WorkFileGuard::WorkFileGuard(const QString& fileName)
{
    if (fileName.isEmpty())
        return;
    const QFileInfo info(fileName);
    m_path = QFile::encodeName(info.absoluteFilePath());
    m_folder = QFile::encodeName(info.absoluteDir().canonicalPath());
    if (!m_folder.endsWith('/'))
        m_folder += '/';
    m_before = FileState::of(m_path);
}

bool WorkFileGuard::lookForOutput(qint64 pid)
{
    if (!m_output && isSet() && pid > 0)
        m_output = openOutput(pid);
    return !m_output && isSet();
}

bool WorkFileGuard::noteOpenOutput(qint64 pid)
{
    if (!isSet())
        return false;
    std::optional<Output> open = openOutput(pid);
    if (open)
        m_output = open;
    return open.has_value();
}

// The packer's output file among the files the process holds open for writing now: a regular
// file directly in the work file's folder other than the work file.
std::optional<WorkFileGuard::Output> WorkFileGuard::openOutput(qint64 pid) const
{
    const QByteArray descriptors = "/proc/" + QByteArray::number(pid) + "/fd/";
    DIR* list = ::opendir(descriptors.constData());
    if (!list)
        return std::nullopt;
    const auto closeList = qScopeGuard([list] { ::closedir(list); });
    while (const dirent* entry = ::readdir(list)) {
        const QByteArray link = descriptors + entry->d_name;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(link.constData(), target, sizeof target);
        const QByteArrayView path(target, qBound<ssize_t>(0, length, sizeof target));
        if (path.size() <= m_folder.size() || path.size() == sizeof target ||
            !path.startsWith(m_folder) || path.sliced(m_folder.size()).contains('/'))
            continue;
        // The link's own permissions tell how the file was opened.
        struct stat linkInfo = {};
        if (::lstat(link.constData(), &linkInfo) != 0 || !(linkInfo.st_mode & S_IWUSR))
            continue;
        const FileState file = FileState::of(link, true);
        if (file.exists && S_ISREG(file.info.st_mode) && !file.isSameFile(m_before))
            return Output{path.toByteArray(), file};
    }
    return std::nullopt;
}

FileOutcome WorkFileGuard::settle(bool outputOpen) const
{
    const FileState now = FileState::of(m_path);
    const bool outputLeft = m_output && m_output->state.isSameFile(FileState::of(m_output->path));
    const auto removeOutput = [&] {
        if (outputLeft)
            ::unlink(m_output->path.constData());
    };
    if (!m_before.exists) {
        removeOutput();
        return FileOutcome::AsItWas;
    }
    if (now.isSameFile(m_before)) {
        removeOutput();
        const bool unchanged = now.info.st_size == m_before.info.st_size &&
                               sameTime(now.info.st_mtim, m_before.info.st_mtim);
        return unchanged && setBack(m_path, m_before) ? FileOutcome::AsItWas : FileOutcome::InDoubt;
    }
    if (m_output && now.isSameFile(m_output->state))
        return setBack(m_path, m_before) ? FileOutcome::FinishedWork : FileOutcome::InDoubt;
    // The packer had closed its finished work and removed the file: the work takes its place,
    // unless someone else put a file there meanwhile.
    if (!now.exists && outputLeft && !outputOpen &&
        ::renameat2(AT_FDCWD, m_output->path.constData(), AT_FDCWD, m_path.constData(),
                    RENAME_NOREPLACE) == 0)
        return setBack(m_path, m_before) ? FileOutcome::FinishedWork : FileOutcome::InDoubt;
    if (now.exists || outputOpen)
        removeOutput();
    return FileOutcome::InDoubt;
}
