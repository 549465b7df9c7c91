#include "modMain.h"

#include "app/actions.h"
#include "app/command_line.h"
#include "app/ini_location.h"
#include "app/settings.h"
#include "base/error.h"
#include "dao/dao.h"
#include "desktop/message_box.h"
#include "desktop/translations.h"
#include "os/executable_path.h"
#include "os/folder_helper.h"
#include "os/library_probe.h"
#include "ui/frmMain.h"
#include "xml/xml_library.h"

#include <QApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace brevan {
namespace {

std::string ArgumentText(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void LoadSettings(const std::string& iniPath) {
    AppSettings.IniPath = iniPath;
    AppSettings.DatabasePath = ReadIniValue(kIniSection, kKeyDatabasePath, "", AppSettings.IniPath);
    AppSettings.UpdaterPath = ReadIniValue(kIniSection, kKeyUpdaterPath, "", AppSettings.IniPath);
    AppSettings.OutputFolder = ReadIniValue(kIniSection, kKeyOutputFolder, "", AppSettings.IniPath);
}

// kExitSuccess once everything printed has reached standard output; else,
// as GNU tools do (`brevan --help > /dev/full`), a message and kExitFailed.
int WrittenToStandardOutput() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return kExitSuccess;
    const int error = errno;
    std::fprintf(stderr, "brevan: write error: %s\n", std::strerror(error != 0 ? error : EIO));
    return kExitFailed;
}

constexpr const char* kNoExecutable =
    "Brevan cannot find its own program file (/proc is not mounted and the command it was started "
    "with names no program), so it cannot find its settings.";
constexpr const char* kNoHome =
    "Brevan cannot tell where its settings file lies: neither HOME nor the password database gives this user "
    "an absolute home folder. Set HOME or XDG_CONFIG_HOME to an absolute path.";

}  // namespace

int Main(int argc, char** argv) {
    const std::string arguments = ArgumentText(argc, argv);
    const Command command = ParseCommand(arguments);
    // A typo in a cron line must not pass for a run that did nothing wrong.
    if (command == Command::Unknown) {
        std::fprintf(stderr, "%s\n", UsageErrorLine(arguments).c_str());
        return kExitUsage;
    }
    if (command == Command::Version) {
        std::printf("brevan %s\n", BREVAN_VERSION);
        return WrittenToStandardOutput();
    }

    // The settings and the database reader are found from the program's own file.
    const std::optional<ExecutablePath> self = FindExecutablePath(argc > 0 ? argv[0] : "", Environment("PATH"));
    std::string iniPath;
    std::string refusal;  // why the program cannot run: shown once a message can be
    if (!self) {
        refusal = kNoExecutable;
    } else {
        iniPath = IniPathFor(self->path, Environment("XDG_CONFIG_HOME"), Environment("HOME"));
        if (iniPath.empty()) refusal = kNoHome;
    }
    if (command == Command::Help) {
        if (!refusal.empty()) {
            std::fprintf(stderr, "Brevan: %s\n", refusal.c_str());
            return kExitFailed;
        }
        LoadSettings(iniPath);
        const std::string note = self->fromArgument ? "found through the command, /proc is not mounted" : "";
        std::fputs(HelpText(iniPath, note, AppSettings.OutputFolder).c_str(), stdout);
        return WrittenToStandardOutput();
    }

    const bool interactive = command == Command::Window;
    if (interactive && !DisplayAvailable()) {
        std::fprintf(stderr,
                     "Brevan: no display is available for the main window.\n"
                     "Use /W to convert or /U to update and convert without a window.\n");
        return kExitFailed;
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
        InstallQtTranslations(*application);
        // The updater inherits the user's environment, not ours.
        if (!platformChosen) qunsetenv("QT_QPA_PLATFORM");
    }
    if (interactive && !platformChosen && QGuiApplication::platformName() == QLatin1String("offscreen")) {
        std::fprintf(stderr, "Brevan: the display cannot be reached, so the main window cannot be shown.\n");
        return kExitFailed;
    }

    if (!LibraryAvailable(XmlLibraryName())) {
        MsgBox("Please install MSXML 4");
        return kExitFailed;
    }
    if (refusal.empty()) {
        try {
            dao::SetReaderProgram(CompanionProgram(self->path, "brevan-reader"));
            SetFolderHelperProgram(CompanionProgram(self->path, "brevan-folder"));
        } catch (const Error& refused) {
            refusal = refused.Description();
        }
    }
    if (!refusal.empty()) {
        MsgBox(refusal);
        return kExitFailed;
    }
    LoadSettings(iniPath);

    if (interactive) {
        auto* window = new frmMain();
        window->show();
        return application->exec();
    }
    // "/U /W" updates and converts once: the update run converts.
    const bool succeeded = command == Command::Update ? UpdateAndCreateXmltv() : CreateXmltvFile();
    return succeeded ? kExitSuccess : kExitFailed;
}

}  // namespace brevan
