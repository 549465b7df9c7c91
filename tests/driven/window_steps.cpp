// Built with the program's own main() into brevan_driven: the real start-up,
// main window and event loop, with a user's steps added. It presses
// "Settings" (unless BREVAN_DRIVEN_SETTINGS is 0), then "Update EPG + Create
// new File"; during the update's wait it closes the main window the way its
// title-bar button does (a close request from the window system). It reads
// every message box that opens, printing "box: <text>", and presses its OK.
// After the run it prints which windows are left, then closes the settings
// window as a user would.
#include "desktop/events.h"
#include "ui/frmMain.h"
#include "ui/frmSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

template <typename Window>
Window* Find() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<Window*>(w); found != nullptr && found->isVisible()) return found;
    }
    return nullptr;
}

// As the window system asks: a close event to the window's native handle.
void RequestClose(QWidget* window) { QCoreApplication::postEvent(window->windowHandle(), new QCloseEvent()); }

void ReadMessageBoxes() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        std::printf("box: %s\n", qPrintable(box->text()));
        std::fflush(stdout);
        box->accept();
    }
}

void Steps() {
    brevan::frmMain* main = Find<brevan::frmMain>();
    if (main == nullptr) {
        std::puts("no main window");
        QCoreApplication::exit(3);
        return;
    }
    auto* reader = new QTimer(QCoreApplication::instance());
    QObject::connect(reader, &QTimer::timeout, ReadMessageBoxes);
    reader->start(20);

    if (qgetenv("BREVAN_DRIVEN_SETTINGS") != "0") main->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
    bool closing = false;
    brevan::SetDoEventsHook([&closing] {
        if (closing) return;
        closing = true;
        if (brevan::frmMain* shown = Find<brevan::frmMain>()) RequestClose(shown);
    });
    main->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    brevan::SetDoEventsHook({});
    std::printf("main window %s after the run\n", Find<brevan::frmMain>() ? "open" : "closed");
    brevan::frmSettings* settings = Find<brevan::frmSettings>();
    std::printf("settings window %s after the run\n", settings ? "open" : "closed");
    std::fflush(stdout);
    if (settings != nullptr) RequestClose(settings);
}

// Runs when start-up makes the application object; the steps start once its
// event loop runs, when the main window is shown.
void ScheduleSteps() { QTimer::singleShot(0, Steps); }

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(ScheduleSteps)
