#include "modMain.h"

#include "app/actions.h"
#include "app/settings.h"
#include "desktop/message_box.h"
#include "os/library_probe.h"
#include "ui/frmMain.h"
#include "xml/xml_library.h"

#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace brevan {
namespace {

// The INI file sits beside the executable and is named after it:
// /opt/brevan/brevan -> /opt/brevan/brevan.ini.
std::string IniPathOfExecutable() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::current_path(ec) / "brevan";
    return (exe.parent_path() / exe.stem()).string() + ".ini";
}

std::string ArgumentText(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

// Only the first two characters count, case-sensitively: "/U /W" updates
// and converts once, "/Wxyz" converts, "/w" does nothing.
bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

} // namespace

int Main(int argc, char** argv) {
    const std::string arguments = ArgumentText(argc, argv);
    const bool interactive = arguments.empty();

    if (interactive && !DisplayAvailable()) {
        std::fprintf(stderr,
                     "Brevan: no display is available for the main window.\n"
                     "Use /W to convert or /U to update and convert without a window.\n");
        return 1;
    }
    // Message boxes need an application object; without a display (a
    // scheduled run) messages go to standard error instead. A display that
    // is set but cannot be reached (a stale DISPLAY in a cron job) would make
    // Qt abort, so the offscreen platform stands behind the native one.
    const bool platformChosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    std::unique_ptr<QApplication> application;
    if (DisplayAvailable()) {
        if (!platformChosen) {
            qputenv("QT_QPA_PLATFORM",
                    qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
        }
        application = std::make_unique<QApplication>(argc, argv);
        // The updater inherits the user's environment, not ours.
        if (!platformChosen) qunsetenv("QT_QPA_PLATFORM");
    }
    if (interactive && !platformChosen && QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "Brevan: the display cannot be reached, so the main window cannot be shown.\n");
        return 1;
    }

    if (!LibraryAvailable(XmlLibraryName())) {
        MsgBox("Please install MSXML 4");
        return 1;
    }

    AppSettings.IniPath = IniPathOfExecutable();
    AppSettings.DatabasePath = ReadIniValue(kIniSection, kKeyDatabasePath, "", AppSettings.IniPath);
    AppSettings.UpdaterPath = ReadIniValue(kIniSection, kKeyUpdaterPath, "", AppSettings.IniPath);
    AppSettings.OutputFolder = ReadIniValue(kIniSection, kKeyOutputFolder, "", AppSettings.IniPath);

    if (interactive) {
        auto* window = new frmMain();
        window->show();
        return application->exec();
    }

    // A scheduled run can tell failure from success by the exit status.
    bool succeeded = true;
    if (StartsWith(arguments, "/U")) succeeded = UpdateAndCreateXmltv() && succeeded;
    if (StartsWith(arguments, "/W")) succeeded = CreateXmltvFile() && succeeded;
    return succeeded ? 0 : 1;
}

} // namespace brevan
