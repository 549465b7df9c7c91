#pragma once
// The main window: convert, update and convert, and open the settings.
#include <QPointer>
#include <QWidget>

class QPushButton;

namespace brevan {

class frmSettings;

class frmMain : public QWidget {
    Q_OBJECT
public:
    // A top-level window that deletes itself when closed.
    frmMain();

private slots:
    void Command1_Click();  // "Create new EPG File"
    void Command2_Click();  // "Update EPG + Create new File"
    void Command3_Click();  // "Settings"

private:
    // Runs an action with both action buttons disabled, so that a click
    // during a wait (when window events run) cannot start a second updater
    // or convert a database the updater is still writing. Afterwards the
    // buttons come back and `pressed` has the focus again; if the window
    // was closed meanwhile, the run still ends and nothing of the window is
    // touched.
    template <typename Action>
    void RunAlone(QPushButton* pressed, Action action);

    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    bool running_ = false;
    // The settings window while it is open; it deletes itself on closing.
    QPointer<frmSettings> settings_;
};

}  // namespace brevan
