// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

// Figures for reading the packer's version: what asking for it costs the window (the report is
// asked for in the background when a file is named), against waiting for the report there.
//
//   bench_packerversion [runs]

#include "packer/packerversion.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double milliseconds(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const QString packer = QStandardPaths::findExecutable(QStringLiteral("upx"));
    if (packer.isEmpty()) {
        std::printf("no packer 'upx' on the search path\n");
        return 0;
    }
    std::vector<double> asking;
    std::vector<double> waiting;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        PackerVersion version(packer);
        asking.push_back(milliseconds(clock));
        version.version();
        waiting.push_back(milliseconds(clock));
    }
    std::printf("'%s -V', %d runs: median %.2f ms until the start goes on, %.2f ms until the "
                "version is read\n",
                qPrintable(packer), runs, median(asking), median(waiting));
    return 0;
}
