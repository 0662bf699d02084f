#pragma once

#include <QIcon>

// The program's icon: a file squeezed between two jaws, drawn at the small and large sizes.
QIcon programIcon();
