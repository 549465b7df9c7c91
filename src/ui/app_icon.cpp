#include "ui/app_icon.h"

#include <QString>

// The pictures live in this static library's resources; nothing else refers
// to them, so the linker would drop them unless they are registered by hand.
static void RegisterIconResources() { Q_INIT_RESOURCE(brevan); }

namespace brevan {

QIcon AppIcon() {
    static const bool registered = (RegisterIconResources(), true);
    (void)registered;
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/brevan/icons/brevan-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace brevan
