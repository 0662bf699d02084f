// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#include "packer/packercommands.h"

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

    PackerCommand command() const { return m_command; }

private:
    PackerCommand m_command;
};

} // namespace

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
                              const QString& fileName, const QVersionNumber& packerVersion)
{
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
        .addFile(fileName)
        .command();
}
