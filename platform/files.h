#pragma once

#include <QString>

// True when the path names something that exists and is not a directory.
bool fileExists(const QString& path);
