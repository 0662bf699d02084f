// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "platform/memorystatus.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <limits>
#include <optional>

#include <sys/sysinfo.h>

namespace {

// The figures of sysinfo(2); all zero when the call fails.
MemoryStatus sysinfoStatus()
{
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return {0, 0, 0, 0};
    const quint64 unit = info.mem_unit ? info.mem_unit : 1;
    return {quint64(info.totalram) * unit, (quint64(info.freeram) + info.bufferram) * unit,
            quint64(info.totalswap) * unit, quint64(info.freeswap) * unit};
}

// "Name:   1234 kB" lines, the values in bytes.
QHash<QByteArray, quint64> memInfoFields(const QByteArray& meminfo)
{
    QHash<QByteArray, quint64> fields;
    for (const QByteArray& line : meminfo.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QList<QByteArray> words = line.mid(colon + 1).simplified().split(' ');
        bool ok = false;
        const quint64 value = words.value(0).toULongLong(&ok);
        if (!ok)
            continue;
        quint64 factor = 1;
        if (words.size() > 1) {
            if (words.at(1).compare("kB", Qt::CaseInsensitive) != 0)
                continue;
            factor = 1024;
        }
        if (value > std::numeric_limits<quint64>::max() / factor)
            continue;
        fields.insert(line.left(colon).trimmed(), value * factor);
    }
    return fields;
}

} // namespace

MemoryStatus memoryStatusFromMemInfo(const QByteArray& meminfo, const MemoryStatus& fallback)
{
    const QHash<QByteArray, quint64> fields = memInfoFields(meminfo);
    const auto field = [&fields](const char* name) -> std::optional<quint64> {
        const auto found = fields.constFind(name);
        if (found == fields.constEnd())
            return std::nullopt;
        return *found;
    };

    MemoryStatus status = fallback;
    status.totalPhys = field("MemTotal").value_or(fallback.totalPhys);
    if (const auto available = field("MemAvailable")) {
        status.availPhys = *available;
    } else if (const auto free = field("MemFree")) {
        // Kernels before 3.14 give no estimate; the free memory plus the caches that the
        // kernel gives back on demand comes close to it.
        status.availPhys = *free + field("Buffers").value_or(0) + field("Cached").value_or(0);
    }
    status.totalPageFile = field("SwapTotal").value_or(fallback.totalPageFile);
    status.availPageFile = field("SwapFree").value_or(fallback.availPageFile);

    status.availPhys = std::min(status.availPhys, status.totalPhys);
    status.availPageFile = std::min(status.availPageFile, status.totalPageFile);
    return status;
}

MemoryStatus GlobalMemoryStatus()
{
    const MemoryStatus fallback = sysinfoStatus();
    QFile file(QStringLiteral("/proc/meminfo"));
    if (!file.open(QIODevice::ReadOnly))
        return fallback;
    return memoryStatusFromMemInfo(file.readAll(), fallback);
}
