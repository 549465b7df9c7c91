#include "ui/frmMain.h"

#include "app/actions.h"
#include "desktop/message_box.h"
#include "ui/app_icon.h"
#include "ui/form_controls.h"
#include "ui/frmSettings.h"

#include <QEventLoopLocker>
#include <QLabel>

namespace brevan {

frmMain::frmMain() : QWidget(nullptr) {
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Brevan"));
    setWindowIcon(AppIcon());
    resize(Twips(4680), Twips(3675));

    Command1 = PlaceButton(this, "Command1", QStringLiteral("Create new EPG File"), TwipsRect(2760, 360, 1695, 615));
    Command2 =
        PlaceButton(this, "Command2", QStringLiteral("Update EPG + Create new File"), TwipsRect(360, 360, 1695, 615));
    Command3 = PlaceButton(this, "Command3", QStringLiteral("Settings"), TwipsRect(1440, 1200, 1695, 495));
    PlaceLabel(this, "Label1", QStringLiteral("/U Update EPG + Create XMLTV File"), TwipsRect(240, 2640, 2775, 255));
    PlaceLabel(this, "Label2", QStringLiteral("/W Create XMLTV File"), TwipsRect(240, 3000, 2895, 255));
    PlaceLabel(this, "Label3", QStringLiteral("Commands:"), TwipsRect(240, 2160, 1935, 255));

    FitFontToLabels(this);

    // The focus order is the buttons' numbering, not their places on screen.
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    Command1->setFocus();
    // Messages shown while no window of ours is active belong here.
    SetMainWindow(this);

    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMain::Command3_Click);
}

template <typename Action>
void frmMain::RunAlone(QPushButton* pressed, Action action) {
    if (running_) return;  // a click that was already queued
    running_ = true;
    Command1->setEnabled(false);
    Command2->setEnabled(false);
    // The window's events run during the waits, and its close button
    // deletes it; the run goes on to its end regardless. Until then the
    // process does not begin to end with its last window, or the run's
    // message boxes would close unread as soon as they open.
    const QPointer<frmMain> alive(this);
    const QEventLoopLocker runToTheEnd;
    // Both actions show their own failures and let nothing escape, so the
    // buttons come back however the run ends, and no exception crosses Qt's
    // event loop.
    action();
    if (alive.isNull()) return;
    Command1->setEnabled(true);
    Command2->setEnabled(true);
    // Greying the buttons moved the focus on; a second Enter should press
    // the same button again, not open the settings.
    pressed->setFocus();
    running_ = false;
}

void frmMain::Command1_Click() { RunAlone(Command1, CreateXmltvFile); }

void frmMain::Command2_Click() { RunAlone(Command2, UpdateAndCreateXmltv); }

void frmMain::Command3_Click() {
    // An open settings window is only brought forward, so what the user has
    // typed into it stays; a minimised one comes back first. A closed one
    // awaiting its deletion is left to it.
    if (settings_.isNull() || settings_->isHidden()) settings_ = new frmSettings();
    settings_->setWindowState(settings_->windowState() & ~Qt::WindowMinimized);
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

}  // namespace brevan
