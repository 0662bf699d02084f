// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QString>

// True when the path names something that exists and is not a directory.
bool fileExists(const QString& path);
// True when the name is taken: something, or a link leading nowhere, stands under it.
bool nameTaken(const QString& path);
