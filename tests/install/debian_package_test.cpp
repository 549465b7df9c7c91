// The Debian package that CPack makes of this build: its control fields,
// its files below /usr and their owners and modes.
#include "install_layout.h"

#include "support/run_brevan.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using installtest::ExpectedFiles;
using installtest::FilesBelow;
using installtest::FindProgram;
using installtest::LineValue;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::RunResult;
using testsupport::TempFolder;

namespace {

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

TEST(DebianPackage, HoldsTheInstallTreeBelowItsPrefixAndDependsOnItsLibraries) {
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps"})
        if (FindProgram(tool).empty())
            GTEST_SKIP() << tool << " is not installed (Debian package dpkg-dev), no package is made";
    const TempFolder out, root;
    const RunResult made = RunProgram(
        {BREVAN_CPACK, "--config", std::string(BREVAN_BUILD_DIR) + "/CPackConfig.cmake", "-B", out.path().string()},
        300);
    ASSERT_EQ(made.status, 0) << made.output << made.errors;
    const std::string arch = Trimmed(RunProgram({"dpkg", "--print-architecture"}).output);
    const std::string deb = out / ("brevan_" BREVAN_VERSION "_" + arch + ".deb");
    ASSERT_TRUE(fs::exists(deb)) << made.output;

    const std::string fields = RunProgram({"dpkg-deb", "-f", deb, "Package", "Version", "Section", "Depends"}).output;
    EXPECT_NE(fields.find("Package: brevan\n"), std::string::npos) << fields;
    EXPECT_NE(fields.find("Version: " BREVAN_VERSION "\n"), std::string::npos) << fields;
    EXPECT_NE(fields.find("Section: video\n"), std::string::npos) << fields;
    // dpkg-shlibdeps names the runtime packages of what the program links.
    for (const char* library : {"libmdb3", "libqt6widgets6", "libpugixml1v5", "libicu[0-9]+"})
        EXPECT_TRUE(std::regex_search(fields, std::regex(std::string("Depends: (.*[ ,])?") + library + "[ ,\n]")))
            << library << " in " << fields;

    ASSERT_EQ(RunProgram({"dpkg-deb", "-x", deb, root.path().string()}).status, 0);
    // Below the prefix the build was made for (scripts/package: /usr), where
    // the program looks for its reader.
    const std::string prefix = std::string(BREVAN_INSTALL_PREFIX).substr(1);
    EXPECT_EQ(FilesBelow(root.path()), ExpectedFiles(prefix + "/"));
    EXPECT_EQ(LineValue(ReadFile(root / (prefix + "/lib/systemd/user/brevan-update.service")), "ExecStart"),
              BREVAN_INSTALL_PREFIX "/bin/brevan /U");

    // The licence, in Debian's machine-readable format.
    const std::string copyright = ReadFile(root / (prefix + "/share/doc/brevan/copyright"));
    EXPECT_EQ(copyright.find("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"), 0u);
    EXPECT_NE(copyright.find("\nFiles: *\nCopyright: "), std::string::npos);
    EXPECT_NE(copyright.find("\nLicense: GPL-2+\n"), std::string::npos);

    // Everything belongs to root, folders and programs 0755, the rest 0644.
    std::istringstream listing(RunProgram({"dpkg-deb", "-c", deb}).output);
    std::string line;
    while (std::getline(listing, line)) {
        std::istringstream fieldsOfLine(line);
        std::string mode, owner, size, day, time, path;
        fieldsOfLine >> mode >> owner >> size >> day >> time >> path;
        EXPECT_EQ(owner, "root/root") << line;
        const bool program = mode[0] == 'd' || path.starts_with("./" + prefix + "/bin/") ||
                             path.starts_with("./" + prefix + "/libexec/");
        EXPECT_EQ(mode.substr(1), program ? "rwxr-xr-x" : "rw-r--r--") << line;
    }
}

}  // namespace
