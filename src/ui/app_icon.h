#pragma once
// The application icon that both windows carry: the installed pictures.
#include <QIcon>

namespace brevan {

// The icon with its 16, 32 and 48 px images, and 64, 128 and 256 px ones for
// task bars and HiDPI screens.
QIcon AppIcon();

}  // namespace brevan
