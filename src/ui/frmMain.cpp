#include "ui/frmMain.h"

#include "convert/xmltv_document.h"
#include "base/error.h"
#include "desktop/message_box.h"
#include "ui/app_icon.h"
#include "ui/form_controls.h"
#include "ui/frmSettings.h"
#include "update/update_run.h"

#include <QLabel>

#include <exception>

namespace brevan {
namespace {

// Both actions report their own failures; this is the second line for
// anything that still gets out, so that no exception crosses Qt's event loop.
template <typename Action>
void RunTrapped(Action action) {
    try {
        action();
    } catch (const Error& e) {
        MsgBox(e.Description());
    } catch (const std::exception& e) {
        MsgBox(e.what());
    }
}

} // namespace

frmMain::frmMain() : QWidget(nullptr) {
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Brevan"));
    setWindowIcon(AppIcon());
    resize(Twips(4680), Twips(3675));

    Command1 = PlaceButton(this, "Command1", QStringLiteral("Create new EPG File"), TwipsRect(2760, 360, 1695, 615));
    Command2 = PlaceButton(this, "Command2", QStringLiteral("Update EPG + Create new File"),
                           TwipsRect(360, 360, 1695, 615));
    Command3 = PlaceButton(this, "Command3", QStringLiteral("Settings"), TwipsRect(1440, 1200, 1695, 495));
    PlaceLabel(this, "Label1", QStringLiteral("/U Update EPG + Create XMLTV File"), TwipsRect(240, 2640, 2775, 255));
    PlaceLabel(this, "Label2", QStringLiteral("/W Create XMLTV File"), TwipsRect(240, 3000, 2895, 255));
    PlaceLabel(this, "Label3", QStringLiteral("Commands:"), TwipsRect(240, 2160, 1935, 255));

    FitFontToLabels(this);

    // The focus order is the buttons' numbering, not their places on screen.
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMain::Command3_Click);
}

void frmMain::Command1_Click() { RunTrapped(CreateXmltvFile); }

void frmMain::Command2_Click() { RunTrapped(UpdateAndCreateXmltv); }

void frmMain::Command3_Click() {
    // An open settings window is only brought forward, so what the user has
    // typed into it stays.
    if (settings_.isNull()) settings_ = new frmSettings();
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

} // namespace brevan
