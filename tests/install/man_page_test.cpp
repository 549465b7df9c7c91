// The man page lists the switches that `brevan --help` lists: its synopsis
// those of the usage line, its OPTIONS section every switch of the list.
#include "support/run_brevan.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

namespace {

using Switches = std::set<std::string>;

// The words of `text` that are switches ("/U", "-h", "--help"), with the
// man page's escaped hyphens ("\-") read as hyphens.
Switches SwitchesIn(std::string text) {
    for (std::size_t at; (at = text.find("\\-")) != std::string::npos;) text.erase(at, 1);
    for (char& c : text)
        if (c == '"' || c == ',' || c == '[' || c == ']' || c == '|') c = ' ';
    Switches found;
    std::istringstream words(text);
    for (std::string word; words >> word;)
        if (word.size() > 1 && (word[0] == '/' || word[0] == '-')) found.insert(word);
    return found;
}

// The switches of the man page's section `name`: in the synopsis those of
// the `.B brevan ...` lines, elsewhere those of the tags after `.TP`.
Switches ManSection(const std::string& page, const std::string& name) {
    std::istringstream lines(page);
    Switches found;
    bool inside = false, tag = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(".SH ", 0) == 0) inside = line == ".SH " + name;
        if (!inside) continue;
        if (name == "SYNOPSIS" && line.rfind(".B brevan", 0) == 0) found.merge(SwitchesIn(line.substr(9)));
        if (tag) found.merge(SwitchesIn(line.substr(line.find(' ') + 1)));
        tag = line == ".TP";
    }
    return found;
}

}  // namespace

TEST(ManPage, NamesTheSwitchesThatHelpNames) {
    const testsupport::RunResult help = testsupport::RunProgram({BREVAN_EXE, "--help"});
    ASSERT_EQ(help.status, 0) << help.errors;
    Switches usage, list;
    std::istringstream lines(help.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Usage: brevan ", 0) == 0) usage = SwitchesIn(line.substr(14));
        // The list: two blanks, the switches, two blanks or more, what they do.
        if (line.rfind("  ", 0) == 0 && line.find("  ", 2) != std::string::npos)
            list.merge(SwitchesIn(line.substr(2, line.find("  ", 2) - 2)));
    }
    ASSERT_FALSE(usage.empty() || list.empty()) << help.output;

    const std::string page = testsupport::ReadFile(BREVAN_SOURCE_DIR "/share/man/brevan.1");
    EXPECT_EQ(ManSection(page, "SYNOPSIS"), usage);
    EXPECT_EQ(ManSection(page, "OPTIONS"), list);
}
