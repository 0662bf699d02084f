// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packercommands.h"

#include "platform/files.h"

namespace {

// Builds the shown command line and the argument list side by side.
class CommandBuilder {
public:
    explicit CommandBuilder(const QString& packerPath)
    {
        // The packer path carries one blank at its end.
        QString program =
            packerPath.endsWith(QLatin1Char(' ')) ? packerPath.chopped(1) : packerPath;
        // A bare name means the packer in the current directory, never one found on the PATH.
        if (!program.contains(QLatin1Char('/')))
            program.prepend(QStringLiteral("./"));
        m_command.program = program;
        m_command.commandLine = packerPath;
    }

    // Adds a piece of the shown line and the argument it stands for.
    CommandBuilder& add(const QString& shown, const QString& argument)
    {
        m_command.commandLine += shown;
        m_command.arguments << argument;
        return *this;
    }

    CommandBuilder& addIf(bool condition, const QString& option)
    {
        return condition ? add(option + QLatin1Char(' '), option) : *this;
    }

    // A name that begins with "-" is handed over as "./name", so that the packer cannot take it
    // for an option; the shown line keeps the name as it is.
    CommandBuilder& addFile(const QString& fileName)
    {
        m_command.workFile = fileName;
        return add(QLatin1Char('"') + fileName + QLatin1Char('"'),
                   fileName.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + fileName
                                                         : fileName);
    }

    // "-k", then "-o" and the new file in quotes; a compress's new file, as the packer's work,
    // is the file the result is read from.
    CommandBuilder& addKeeping(const AdvancedOptions& advanced, const QString& fileName,
                               bool compress)
    {
        addIf(advanced.keepBackup, QStringLiteral("-k"));
        // UPX names its backup otherwise when this name is taken; a file that was there before
        // is never called the backup.
        if (const QString backup = backupFileName(fileName);
            advanced.keepBackup && !nameTaken(backup))
            m_command.backupFile = backup;
        if (!advanced.newFile)
            return *this;
        m_command.outputFile = newFileName(fileName, compress);
        return add(QStringLiteral("-o "), QStringLiteral("-o"))
            .add(QLatin1Char('"') + m_command.outputFile + QStringLiteral("\" "),
                 m_command.outputFile);
    }

    PackerCommand command() const { return m_command; }

private:
    PackerCommand m_command;
};

// The switches of "Erweitert" that older packers lack, with the first version that knows each.
struct SwitchSince {
    const char* name;
    QVersionNumber since;
};
const SwitchSince SwitchesSince[] = {{"--lzma", QVersionNumber(3)},
                                     {"--ultra-brute", QVersionNumber(2)}};

QString thoroughnessSwitch(int thoroughness)
{
    switch (thoroughness) {
    case AdvancedOptions::Brute:
        return QStringLiteral("--brute");
    case AdvancedOptions::UltraBrute:
        return QStringLiteral("--ultra-brute");
    default:
        return QString();
    }
}

} // namespace

QString newFileName(const QString& fileName, bool compress)
{
    const qsizetype nameStart = fileName.lastIndexOf(QLatin1Char('/')) + 1;
    qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= nameStart)
        dot = fileName.size();
    return fileName.left(dot) +
           (compress ? QStringLiteral("-gepackt") : QStringLiteral("-entpackt")) +
           fileName.mid(dot);
}

QString backupFileName(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < fileName.lastIndexOf(QLatin1Char('/')) + 1)
        return fileName + QStringLiteral(".~");
    return fileName.size() - dot < 4 ? fileName + QLatin1Char('~')
                                     : fileName.chopped(1) + QLatin1Char('~');
}

QStringList unknownSwitches(const AdvancedOptions& advanced, const QVersionNumber& packerVersion)
{
    QStringList chosen;
    if (advanced.lzma)
        chosen << QStringLiteral("--lzma");
    chosen << thoroughnessSwitch(advanced.thoroughness);
    QStringList unknown;
    for (const SwitchSince& entry : SwitchesSince) {
        if (!packerVersion.isNull() && packerVersion < entry.since &&
            chosen.contains(QLatin1String(entry.name)))
            unknown << QLatin1String(entry.name);
    }
    return unknown;
}

QString omittedSwitchesNote(const QStringList& switches, const QVersionNumber& packerVersion)
{
    if (switches.isEmpty())
        return QString();
    return QStringLiteral("UPX %1 kennt %2 nicht, ohne %3 komprimiert.")
        .arg(packerVersion.toString(), switches.join(QStringLiteral(" und ")),
             switches.size() == 1 ? QStringLiteral("diese Option")
                                  : QStringLiteral("diese Optionen"));
}

PackerCommand packerCommand(const QString& packerPath, const QString& option)
{
    return CommandBuilder(packerPath).add(QLatin1Char(' ') + option, option).command();
}

PackerCommand fileCommand(const QString& packerPath, const QString& option, const QString& fileName)
{
    return CommandBuilder(packerPath)
        .add(QLatin1Char(' ') + option + QLatin1Char(' '), option)
        .addFile(fileName)
        .command();
}

PackerCommand compressCommand(const QString& packerPath, const CompressOptions& options,
                              const QString& fileName, const QVersionNumber& packerVersion,
                              const AdvancedOptions& advanced)
{
    const QStringList unknown = unknownSwitches(advanced, packerVersion);
    const QString thoroughness = thoroughnessSwitch(advanced.thoroughness);
    const QString level = QLatin1Char('-') + options.level;
    const QString memorySwitch = packerVersion.majorVersion() >= 4 ? QStringLiteral("--crp-ucl-ms=")
                                                                   : QStringLiteral("--crp-ms=");
    const QString memory = memorySwitch + QString::number(options.memory);
    return CommandBuilder(packerPath)
        .add(QLatin1Char(' ') + level + QLatin1Char(' '), level)
        .addIf(options.force, QStringLiteral("--force"))
        .add(QLatin1Char(' ') + memory + QLatin1Char(' '), memory)
        .addIf(options.nrv2b, QStringLiteral("--nrv2b"))
        .addIf(options.overlayStrip, QStringLiteral("--overlay=strip"))
        .addIf(options.overlaySkip, QStringLiteral("--overlay=skip"))
        .addIf(options.support8086, QStringLiteral("--8086"))
        .addIf(options.noReloc, QStringLiteral("--no-reloc"))
        .addIf(options.keepExports, QStringLiteral("--compress-exports=0"))
        .addIf(options.noIcons, QStringLiteral("--compress-icons=0"))
        .addIf(options.allIconsButFirst, QStringLiteral("--compress-icons=1"))
        .addIf(options.keepResources, QStringLiteral("--compress-resources=0"))
        .addIf(options.keepRelocs, QStringLiteral("--strip-relocs=0"))
        .addIf(advanced.lzma && !unknown.contains(QLatin1String("--lzma")),
               QStringLiteral("--lzma"))
        .addIf(!thoroughness.isEmpty() && !unknown.contains(thoroughness), thoroughness)
        .addKeeping(advanced, fileName, true)
        .addFile(fileName)
        .command();
}

PackerCommand decompressCommand(const QString& packerPath, const QString& fileName,
                                const AdvancedOptions& advanced)
{
    return CommandBuilder(packerPath)
        .add(QStringLiteral(" -d "), QStringLiteral("-d"))
        .addKeeping(advanced, fileName, false)
        .addFile(fileName)
        .command();
}
