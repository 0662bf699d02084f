// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 Die Kompaktor-Entwickler

#pragma once

#include <QString>

#include <functional>

// The application's standard display of an exception that a handler let escape: the message
// loop goes on after it. The application installs its error box; tests install a collector.
using ExceptionDisplay = std::function<void(const QString& message)>;

// Replaces the display and returns the previous one.
ExceptionDisplay setExceptionDisplay(ExceptionDisplay display);

// Shows the exception being handled; call it only inside a catch block.
void showCurrentException();
