// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "packer/packerrun.h"

#include <QVersionNumber>

// The options of the options page as the compress command reads them.
struct CompressOptions {
    QString level = QStringLiteral("7");
    bool force = false;
    int memory = 10000;
    bool nrv2b = false;
    bool overlayStrip = false;
    bool overlaySkip = false;
    bool support8086 = false;
    bool noReloc = false;
    bool keepExports = false;
    bool noIcons = false;
    bool allIconsButFirst = false;
    bool keepResources = false;
    bool keepRelocs = false;
};

// The packer commands. The command line shown begins with the packer path and its blank, then
// the argument text, blank for blank; the arguments handed to the packer come from the same
// pieces, the file name always as one argument whatever it holds.
PackerCommand packerCommand(const QString& packerPath, const QString& option);
PackerCommand fileCommand(const QString& packerPath, const QString& option,
                          const QString& fileName);
// The compress command names the memory value as its packer knows it: "--crp-ms=" up to UPX 3.x
// and for a packer of unknown version, "--crp-ucl-ms=" from UPX 4.0 on, which dropped the old
// name of the same parameter.
PackerCommand compressCommand(const QString& packerPath, const CompressOptions& options,
                              const QString& fileName, const QVersionNumber& packerVersion = {});
