// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packerresult.h"

#include "packer/packercommands.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

namespace {

const QString GeneralError = QStringLiteral("Fehler, Einzelheiten im Ausgabefenster");

// A row of the packer's table: the unpacked size, "->" (packed) or "<-" (unpacked), the packed
// size and the ratio.
const QRegularExpression TableRow(QStringLiteral(R"(^\s*(\d+)\s+(->|<-)\s+(\d+)\s+[\d.]+%)"));
// The packer's error line: its name, the file, the exception and its message, if any.
const QRegularExpression ErrorLine(QStringLiteral(R"(^\S+: (.+?): (\w+Exception)(?:: (.*))?$)"));
// A passed test: "testing prog [OK]".
const QRegularExpression PassedTest(QStringLiteral(R"(^testing .* \[OK\]\s*$)"));
// The packer's version: "upx 4.2.2" (-V), "UPX 4.2.2       Markus Oberhumer, ..." (the header).
const QRegularExpression VersionLine(QStringLiteral(R"(^upx (\d+\.\d+(?:\.\d+)?)\s*$)"));
const QRegularExpression HeaderLine(QStringLiteral(R"(^UPX (\d+\.\d+(?:\.\d+)?)\s)"));
const QRegularExpression HelpLine(QStringLiteral("^Usage: "));
const QRegularExpression LicenseLine(QStringLiteral("License"));

QStringList linesOf(const QString& report)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = report.split(lineBreak);
    lines.removeIf([](const QString& line) { return line.trimmed().isEmpty(); });
    return lines;
}

// The first match of the pattern among the lines; an invalid match when none has it.
QRegularExpressionMatch firstMatch(const QStringList& lines, const QRegularExpression& pattern)
{
    for (const QString& line : lines) {
        QRegularExpressionMatch match = pattern.match(line);
        if (match.hasMatch())
            return match;
    }
    return {};
}

// "Komprimiert: 85.376 -> 29.680 Bytes (34,8 %)": the sizes before and after, and the packed
// size as a share of the unpacked one, in German number format. The sizes come from the
// packer's table, the size of the file as it is now from the file itself: UPX 4.2 reports a
// decompressed program larger than the file it writes.
QString sizesLine(const QString& what, const QRegularExpressionMatch& row, const QString& fileName)
{
    const bool unpacking = row.captured(2) == QLatin1String("<-");
    qint64 unpacked = row.captured(1).toLongLong();
    qint64 packed = row.captured(3).toLongLong();
    if (const QFileInfo file(fileName); file.isFile())
        (unpacking ? unpacked : packed) = file.size();
    const QLocale german(QLocale::German);
    QString line = what + QStringLiteral(": ") + german.toString(unpacking ? packed : unpacked) +
                   QStringLiteral(" -> ") + german.toString(unpacking ? unpacked : packed) +
                   QStringLiteral(" Bytes");
    if (unpacked > 0)
        line += QStringLiteral(" (%1 %)").arg(german.toString(100.0 * packed / unpacked, 'f', 1));
    return line;
}

// Whether the file carries UPX's mark "UPX!" where the packer puts it: in the first kilobyte
// (the loader's header of a packed ELF program, the pack header of a packed PE file) or in the
// last 8 KiB (the pack header at the end of a packed ELF program). The packer's own unpacked
// program holds the text too, but only in its data far from both ends.
bool carriesPackerMark(const QString& fileName)
{
    constexpr qint64 HeadBytes = 1024;
    constexpr qint64 TailBytes = 8192;
    const QByteArray mark("UPX!");
    // Only a regular file is read: opening a pipe would wait for a writer.
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    if (file.read(HeadBytes).contains(mark))
        return true;
    return file.size() > HeadBytes && file.seek(qMax(HeadBytes, file.size() - TailBytes)) &&
           file.readAll().contains(mark);
}

// Why the packer refused the file, from its error line.
QString refusal(const QRegularExpressionMatch& error)
{
    const QString exception = error.captured(2);
    const QString message = error.captured(3);
    if (message.startsWith(QLatin1String("file has special permissions")))
        return QStringLiteral("Die Datei hat besondere Rechte (setuid, setgid oder sticky)");
    if (exception == QLatin1String("AlreadyPackedException"))
        return QStringLiteral("Die Datei ist bereits gepackt");
    if (exception == QLatin1String("NotPackedException"))
        return QStringLiteral("Die Datei ist nicht mit UPX gepackt");
    if (exception == QLatin1String("UnknownExecutableFormatException"))
        return QStringLiteral("Kein von UPX unterstütztes Programmformat");
    if (exception == QLatin1String("FileNotFoundException"))
        return QStringLiteral("Die Datei wurde nicht gefunden");
    if (exception == QLatin1String("CantUnpackException") &&
        message.startsWith(QLatin1String("need a newer version")))
        return QStringLiteral("Die Datei wurde mit einer neueren UPX-Version gepackt");
    if (exception != QLatin1String("IOException"))
        return GeneralError;
    if (message.startsWith(QLatin1String("file is too small")))
        return QStringLiteral("Die Datei ist zu klein für UPX");
    if (message.startsWith(QLatin1String("file is write protected")))
        return QStringLiteral("Die Datei ist schreibgeschützt");
    // Denied for the file itself, or for the packer's temporary file beside it.
    const QLatin1String denied(": Permission denied");
    if (message.endsWith(denied)) {
        return message.chopped(denied.size()) == error.captured(1)
                   ? QStringLiteral("Keine Berechtigung, die Datei zu lesen")
                   : QStringLiteral("Keine Schreibberechtigung im Ordner der Datei");
    }
    return GeneralError;
}

QString fileCommandResult(PackerAction action, const QStringList& lines,
                          const PackerCommand& command)
{
    const QString& fileName = command.workFile;
    // The sizes after the work are those of the new file, where the packer wrote one.
    const QString& result = command.outputFile.isEmpty() ? fileName : command.outputFile;
    const QRegularExpressionMatch error = firstMatch(lines, ErrorLine);
    if (!error.hasMatch()) {
        const QRegularExpressionMatch row = firstMatch(lines, TableRow);
        const bool packedRow = row.captured(2) == QLatin1String("->");
        const bool unpackedRow = row.captured(2) == QLatin1String("<-");
        if (action == PackerAction::Compress && packedRow)
            return sizesLine(QStringLiteral("Komprimiert"), row, result);
        if (action == PackerAction::Decompress && unpackedRow)
            return sizesLine(QStringLiteral("Dekomprimiert"), row, result);
        if (action == PackerAction::List && packedRow)
            return sizesLine(QStringLiteral("Mit UPX gepackt"), row, fileName);
        if (action == PackerAction::Test && firstMatch(lines, PassedTest).hasMatch())
            return QStringLiteral("Geprüft: die Datei ist in Ordnung");
    }
    // UPX 3.96 refuses a file it packed itself with words about a missing DT_INIT.
    if (action == PackerAction::Compress && carriesPackerMark(fileName))
        return QStringLiteral("Die Datei ist bereits gepackt");
    return error.hasMatch() ? refusal(error) : GeneralError;
}

QString informationResult(PackerAction action, const QStringList& lines)
{
    if (action == PackerAction::Version) {
        const QRegularExpressionMatch version = firstMatch(lines, VersionLine);
        return version.hasMatch() ? QStringLiteral("UPX-Version ") + version.captured(1)
                                  : GeneralError;
    }
    if (!firstMatch(lines, action == PackerAction::Help ? HelpLine : LicenseLine).hasMatch())
        return GeneralError;
    const QRegularExpressionMatch header = firstMatch(lines, HeaderLine);
    const QString packer =
        header.hasMatch() ? QStringLiteral("UPX ") + header.captured(1) : QStringLiteral("UPX");
    return (action == PackerAction::Help ? QStringLiteral("Hilfe zu ")
                                         : QStringLiteral("Lizenz von ")) +
           packer + QStringLiteral(" im Ausgabefenster");
}

QString cancelResult(PackerAction action, FileOutcome file)
{
    if (file == FileOutcome::FinishedWork)
        return QStringLiteral(
            "Abgebrochen, die Datei war aber schon fertig bearbeitet und wurde behalten");
    if (file == FileOutcome::InDoubt)
        return QStringLiteral("Abgebrochen, bitte prüfen Sie die Datei");
    return action == PackerAction::Compress || action == PackerAction::Decompress
               ? QStringLiteral("Abgebrochen, die Datei blieb unverändert")
               : QStringLiteral("Abgebrochen");
}

} // namespace

QString packerResult(PackerAction action, const RunResult& run)
{
    if (run.startFailed)
        return QStringLiteral("UPX konnte nicht gestartet werden");
    if (run.cancelled)
        return cancelResult(action, run.file);
    const QStringList lines = linesOf(run.report);
    switch (action) {
    case PackerAction::Help:
    case PackerAction::Version:
    case PackerAction::License:
        return informationResult(action, lines);
    default:
        return fileCommandResult(action, lines, run.command);
    }
}

bool runSucceeded(const RunResult& run)
{
    return run.started && !run.cancelled && run.exitedNormally && run.exitCode == 0;
}

QString keptFilesNote(const RunResult& run)
{
    if (!runSucceeded(run))
        return QString();
    const PackerCommand& command = run.command;
    QString note;
    if (!command.backupFile.isEmpty() && QFileInfo(command.backupFile).isFile())
        note += QStringLiteral(", Sicherung: ") + QFileInfo(command.backupFile).fileName();
    if (!command.outputFile.isEmpty())
        note += QStringLiteral(", neue Datei: ") + QFileInfo(command.outputFile).fileName();
    return note;
}

QString testAfterNote(const RunResult& test)
{
    if (test.cancelled)
        return QStringLiteral(", die Prüfung wurde abgebrochen");
    return runSucceeded(test) ? QStringLiteral(", geprüft")
                              : QStringLiteral(", aber die Prüfung ist fehlgeschlagen");
}
