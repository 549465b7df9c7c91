#pragma once
// The application icon that both windows carry: one icon, three sizes.
#include <QIcon>

namespace brevan {

// The icon with its 16 x 16, 32 x 32 and 48 x 48 images.
QIcon AppIcon();

}  // namespace brevan
