// The command line: the switches by their first two characters, help and
// version, and everything else a usage error.
#include "app/command_line.h"

#include <gtest/gtest.h>

using brevan::Command;
using brevan::ParseCommand;

TEST(CommandLine, SwitchesHelpVersionAndEverythingElse) {
    EXPECT_EQ(ParseCommand(""), Command::Window);
    EXPECT_EQ(ParseCommand("/U"), Command::Update);
    EXPECT_EQ(ParseCommand("/U /W"), Command::Update);  // the update run converts: once
    EXPECT_EQ(ParseCommand("/Uxyz"), Command::Update);
    EXPECT_EQ(ParseCommand("/W"), Command::Convert);
    EXPECT_EQ(ParseCommand("/W junk"), Command::Convert);
    EXPECT_EQ(ParseCommand("--help"), Command::Help);
    EXPECT_EQ(ParseCommand("-h"), Command::Help);
    EXPECT_EQ(ParseCommand("--version"), Command::Version);
    for (const char* unknown : {"/w", "/u", " /W", "W", "-W", "--HELP", "--help x", "/", "x"})
        EXPECT_EQ(ParseCommand(unknown), Command::Unknown) << unknown;
}

TEST(CommandLine, TheUsageLineAndTheHelpSayWhatAUserNeeds) {
    const std::string line = brevan::UsageErrorLine("/w");
    EXPECT_EQ(line.find('\n'), std::string::npos);
    for (const char* named : {"\"/w\"", "/W", "/U", "--help"}) EXPECT_NE(line.find(named), std::string::npos) << line;

    const std::string help = brevan::HelpText("/home/u/.config/brevan/brevan.ini", "", "/srv/guide");
    for (const char* named :
         {"/U", "/W", "--help", "--version", "Exit status: 0", "1 the run", "2 an unknown", "waits at most 2 minutes",
          "Settings: /home/u/.config/brevan/brevan.ini\n", "Guide:    /srv/guide/tvdata.xml\n"})
        EXPECT_NE(help.find(named), std::string::npos) << named;
    EXPECT_NE(brevan::HelpText("/x/brevan.ini", "found through the command", "").find("(found through the command)"),
              std::string::npos);
}
