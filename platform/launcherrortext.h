// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QString>

// The German message for a failure number of the shell launcher (ShellExecute). Numbers
// without a message of their own give a general text that names the number.
QString LaunchErrorText(qint32 number);
