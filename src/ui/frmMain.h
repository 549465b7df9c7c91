#pragma once
// Placeholder until the main window lands.
#include <QWidget>

namespace brevan {
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
};
} // namespace brevan
