// Writes PNG pictures of the main window, of the main window while an update
// run waits for its updater (its action buttons greyed), of the settings
// window, and of its database picker opened from an empty box with a Wine
// prefix present, into the folder given as the only argument. On an X server
// (scripts/screenshot runs it under Xvfb) the pictures are taken from the
// screen itself; on a platform without a screen to read, such as offscreen,
// the windows draw themselves.
#include "app/settings.h"
#include "desktop/events.h"
#include "desktop/message_box.h"
#include "ui/frmMain.h"
#include "ui/frmSettings.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <QTemporaryDir>

#include <cstdio>
#include <fstream>

namespace {

QPixmap Picture(QWidget* window) {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QRect frame = window->frameGeometry();
        return window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    }
    return window->grab();
}

bool Save(QWidget* window, const QString& path) {
    if (!Picture(window).save(path, "PNG")) {
        std::fprintf(stderr, "brevan_screenshot: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool Shown(QWidget* window) {
    window->show();
    const bool exposed = QTest::qWaitForWindowExposed(window);
    QTest::qWait(300);  // let the window system finish drawing
    return exposed;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: brevan_screenshot DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "brevan_screenshot: cannot create %s\n", argv[1]);
        return 1;
    }

    // Example paths, so that the settings window shows filled boxes.
    brevan::AppSettings.UpdaterPath = "/opt/tvmovie/tvupdate.exe";
    brevan::AppSettings.DatabasePath = "/opt/tvmovie/tvdaten.mdb";
    brevan::AppSettings.OutputFolder = "/srv/htpc/guide";

    auto* main = new brevan::frmMain();
    main->move(40, 40);
    if (!Shown(main)) return 1;
    main->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
    brevan::frmSettings* settings = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* s = qobject_cast<brevan::frmSettings*>(w)) settings = s;
    }
    if (settings == nullptr) return 1;
    // Beside the main window, so that neither covers the other.
    settings->move(main->frameGeometry().right() + 40, 40);
    if (!Shown(settings)) return 1;

    bool ok = Save(main, dir.filePath(QStringLiteral("main-window.png"))) &&
              Save(settings, dir.filePath(QStringLiteral("settings-window.png")));
    settings->close();

    // The database picker of an empty box, with a Wine prefix in the home
    // folder as its installer leaves one: it opens in drive_c.
    QTemporaryDir home;
    for (const char* folder :
         {".wine/drive_c/Programme/TV Guide", ".wine/drive_c/Program Files", ".wine/drive_c/ProgramData",
          ".wine/drive_c/users", ".wine/drive_c/windows", ".wine/dosdevices"})
        QDir(home.path()).mkpath(QString::fromLatin1(folder));
    QFile::link(QStringLiteral("../drive_c"), home.filePath(QStringLiteral(".wine/dosdevices/c:")));
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("WINEPREFIX");
    brevan::AppSettings.DatabasePath.clear();
    main->findChild<QPushButton*>(QStringLiteral("Command3"))->click();
    settings = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* s = qobject_cast<brevan::frmSettings*>(w); s != nullptr && s->isVisible()) settings = s;
    }
    if (settings == nullptr) return 1;
    settings->move(main->frameGeometry().right() + 40, 40);
    if (!Shown(settings)) return 1;
    bool pictured = false;
    QTimer picker;
    QObject::connect(&picker, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        picker.stop();
        pictured = Shown(dialog) && Save(dialog, dir.filePath(QStringLiteral("database-picker.png")));
        dialog->reject();
    });
    picker.start(50);
    settings->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    picker.stop();
    ok = ok && pictured;
    settings->close();

    // An update run: the picture is taken during the wait for the updater,
    // from inside the event pump that keeps the window live. The conversion
    // that follows fails (no database here); its message is not shown.
    QTemporaryDir scratch;
    const std::string updater = scratch.filePath(QStringLiteral("tvupdate")).toStdString();
    std::ofstream(updater) << "#!/bin/sh\nsleep 2\n";
    QFile::setPermissions(QString::fromStdString(updater), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    brevan::AppSettings.UpdaterPath = updater;
    brevan::SetMessageSink([](const std::string&) {});
    bool taken = false;
    brevan::SetDoEventsHook([&] {
        if (taken) return;
        taken = true;
        QTest::qWait(300);  // the greyed buttons drawn
        ok = Save(main, dir.filePath(QStringLiteral("main-window-updating.png"))) && ok;
    });
    main->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    brevan::SetDoEventsHook({});
    return ok && taken ? 0 : 1;
}
