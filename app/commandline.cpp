// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "app/commandline.h"

#include "packer/packerlocation.h"
#include "packer/packerversion.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const UsageText =
    "Aufruf: kompaktor [DATEI]\n"
    "Kompaktor ist ein Schaltpult für den Packer UPX: er komprimiert, dekomprimiert, prüft\n"
    "ausführbare Dateien und zeigt, was in ihnen gepackt ist.\n"
    "\n"
    "  DATEI       steht nach dem Start im ersten Dateifeld; läuft Kompaktor schon, nimmt\n"
    "              sein Fenster die Datei\n"
    "  --          das nächste Argument ist die Datei, auch wenn es mit \"-\" beginnt\n"
    "  --help      zeigt diese Hilfe\n"
    "  --version   zeigt die Version von Kompaktor und den Packer, den er verwendet\n";

QString versionText()
{
    const QString programDir =
        directoryPart(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    const QString packer = findPacker(programDir, QFile::decodeName(qgetenv("PATH")));
    QString packerLine;
    if (packer.isEmpty()) {
        packerLine = QStringLiteral("Packer: keiner gefunden (gesucht im Ordner des Programms "
                                    "und im Suchpfad PATH)");
    } else {
        const QVersionNumber version = PackerVersion(packer).version();
        packerLine =
            QStringLiteral("Packer: ") + packer +
            (version.isNull() ? QStringLiteral(" (Version unbekannt)")
                              : QStringLiteral(" (UPX ") + version.toString() + QLatin1Char(')'));
    }
    return QStringLiteral("Kompaktor " KOMPAKTOR_VERSION "\n") + packerLine + QLatin1Char('\n');
}

} // namespace

void answerInformationRequest(int argc, char** argv)
{
    if (argc < 2)
        return;
    if (std::strcmp(argv[1], "--help") == 0)
        std::fputs(UsageText, stdout);
    else if (std::strcmp(argv[1], "--version") == 0)
        std::fputs(versionText().toLocal8Bit().constData(), stdout);
    else
        return;
    std::exit(std::fflush(stdout) == 0 ? EXIT_SUCCESS : EXIT_FAILURE);
}
