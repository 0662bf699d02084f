// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include "packer/packerrun.h"

#include <QString>

// The packer commands of the program, for reading their result.
enum class PackerAction { Compress, Decompress, Test, List, Help, Version, License };

// The result of a packer run in one German line, read from the run and from its report as
// UPX 3.x and 4.x write it: sizes and ratio of a compressed or decompressed file, a passed test,
// a listed file, the packer's version, why the packer refused (already packed, not packed, too
// small, write protected, no permission, unsupported format), a cancel and what became of the
// file, a failed start, or a general error. A compress that failed on a file that carries UPX's
// mark is "already packed" whatever the packer said; the file is read for that, and only then.
QString packerResult(PackerAction action, const RunResult& run);

// Whether the packer did its work: it was started, not stopped, and ended with exit code 0.
bool runSucceeded(const RunResult& run);
// What a run that succeeded left beside the file, for the end of its result line: ", Sicherung:
// prog.~" for the backup that "-k" kept, ", neue Datei: prog-gepackt" for the file of "-o".
QString keptFilesNote(const RunResult& run);
// The end of a compress's result line after the test that followed it: ", geprüft" when the
// test passed.
QString testAfterNote(const RunResult& test);
