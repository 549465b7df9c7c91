#include "install_layout.h"

#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace fs = std::filesystem;

namespace installtest {

std::vector<std::string> ExpectedFiles(const std::string& under) {
    std::vector<std::string> files = {
        "bin/brevan",
        "bin/tv_grab_de_brevan",
        "libexec/brevan/brevan-folder",
        "libexec/brevan/brevan-reader",
        "lib/systemd/user/brevan-update.service",
        "lib/systemd/user/brevan-update.timer",
        "share/applications/brevan.desktop",
        "share/doc/brevan/README.md",
        "share/icons/hicolor/128x128/apps/brevan.png",
        "share/doc/brevan/copyright",
        "share/icons/hicolor/16x16/apps/brevan.png",
        "share/icons/hicolor/256x256/apps/brevan.png",
        "share/icons/hicolor/32x32/apps/brevan.png",
        "share/icons/hicolor/48x48/apps/brevan.png",
        "share/icons/hicolor/64x64/apps/brevan.png",
        "share/icons/hicolor/scalable/apps/brevan.svg",
        "share/man/man1/brevan.1.gz",
        "share/man/man1/tv_grab_de_brevan.1.gz",
    };
    for (std::string& file : files) file = under + file;
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> FilesBelow(const fs::path& root) {
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (!entry.is_directory() || entry.is_symlink())
            files.push_back(entry.path().lexically_relative(root).string());
    std::sort(files.begin(), files.end());
    return files;
}

bool InstallInto(const fs::path& prefix) {
    const testsupport::RunResult run =
        testsupport::RunProgram({BREVAN_CMAKE, "--install", BREVAN_BUILD_DIR, "--prefix", prefix.string()});
    EXPECT_EQ(run.status, 0) << run.output << run.errors;
    return run.status == 0;
}

std::string FindProgram(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

std::string LineValue(const std::string& text, const std::string& key) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

}  // namespace installtest
