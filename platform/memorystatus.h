// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QByteArray>
#include <QtGlobal>

// The machine's memory in bytes, in full 64-bit figures: physical memory and the paging space
// (swap), each as its total and the part that is free.
struct MemoryStatus {
    quint64 totalPhys;
    quint64 availPhys;
    quint64 totalPageFile;
    quint64 availPageFile;
};

// The memory figures of the running system, read from /proc/meminfo; figures it cannot give
// come from sysinfo(2). Available physical memory is what the kernel estimates new programs
// can get without swapping, not merely the unused part.
MemoryStatus GlobalMemoryStatus();

// The figures of a /proc/meminfo text. A figure the text lacks is taken from the fallback;
// a free figure never exceeds its total.
MemoryStatus memoryStatusFromMemInfo(const QByteArray& meminfo, const MemoryStatus& fallback);
