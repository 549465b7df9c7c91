#include "ui/frmMain.h"

namespace brevan {
frmMain::frmMain(QWidget* parent) : QWidget(parent) { setWindowTitle(QStringLiteral("Brevan")); }
} // namespace brevan
