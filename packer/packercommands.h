// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "packer/packerrun.h"

#include <QStringList>
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

// The choices of the page "Erweitert": the packer's strongest methods, what becomes of the user's
// file, and a test after packing.
struct AdvancedOptions {
    enum Thoroughness { Normal, Brute, UltraBrute };
    bool lzma = false;
    int thoroughness = Normal;
    bool keepBackup = false;
    bool newFile = false;
    bool testAfter = false;
};

// The file a packer writes beside the original when it is not to change it: "-gepackt" or
// "-entpackt" before the extension, which is the last suffix of the file's name ("prog" ->
// "prog-gepackt", "a.tar.gz" -> "a.tar-gepackt.gz"); a name that begins with its only dot
// (".hidden") has no extension.
QString newFileName(const QString& fileName, bool compress);
// The backup that UPX's "-k" keeps: "prog" -> "prog.~", an extension of up to two characters
// gets a "~" added ("a.gz" -> "a.gz~"), a longer one its last character replaced ("Test.exe" ->
// "Test.ex~").
QString backupFileName(const QString& fileName);
// The switches of the choices that a packer of this version does not know; none for a packer
// of unknown version.
QStringList unknownSwitches(const AdvancedOptions& advanced, const QVersionNumber& packerVersion);
// The line of the output box saying that these switches were left out; empty when none were.
QString omittedSwitchesNote(const QStringList& switches, const QVersionNumber& packerVersion);

// The packer commands. The command line shown begins with the packer path and its blank, then
// the argument text, blank for blank; the arguments handed to the packer come from the same
// pieces, the file name always as one argument whatever it holds.
PackerCommand packerCommand(const QString& packerPath, const QString& option);
PackerCommand fileCommand(const QString& packerPath, const QString& option,
                          const QString& fileName);
// The compress command names the memory value as its packer knows it: "--crp-ms=" up to UPX 3.x
// and for a packer of unknown version, "--crp-ucl-ms=" from UPX 4.0 on, which dropped the old
// name of the same parameter. The choices of "Erweitert" follow the options, before the file:
// "--lzma", "--brute" or "--ultra-brute", "-k", then "-o" with the new file's name; a switch
// that the packer's version does not know is left out.
PackerCommand compressCommand(const QString& packerPath, const CompressOptions& options,
                              const QString& fileName, const QVersionNumber& packerVersion = {},
                              const AdvancedOptions& advanced = {});
// "-d", then "-k" and "-o" with the new file's name as chosen.
PackerCommand decompressCommand(const QString& packerPath, const QString& fileName,
                                const AdvancedOptions& advanced = {});
