#pragma once

#include <QIcon>
#include <QImage>

// The program's icon: a file squeezed between two jaws, drawn on a grid of 16 by 16 and scaled
// to the size in pixels. The desktop's icon files are made from the same drawing at build time.
QImage programIconImage(int size);

// The icon at the small and large sizes, for the windows.
QIcon programIcon();
