#pragma once

#include <QString>

// The German message for a failure number of the shell launcher (ShellExecute). Numbers
// without a message of their own give a general text that names the number.
QString LaunchErrorText(qint32 number);
