// The two INI operations the start-up and the settings window use, over a
// real file with the program's own section and keys.
#include "app/settings.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

using brevan::kIniSection;
using brevan::kKeyDatabasePath;
using brevan::kKeyOutputFolder;
using brevan::kKeyUpdaterPath;
using brevan::ReadIniValue;
using brevan::WriteIniValue;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

TEST(Settings, NoIniFileReadsEmptyPaths) {
    TempFolder folder;
    const std::string ini = folder / "brevan.ini";
    for (const char* key : {kKeyDatabasePath, kKeyUpdaterPath, kKeyOutputFolder})
        EXPECT_EQ(ReadIniValue(kIniSection, key, "", ini), "") << key;
}

TEST(Settings, TheThreePathsRoundTripThroughTheFile) {
    TempFolder folder;
    const std::string ini = folder / "brevan.ini";
    ASSERT_TRUE(WriteIniValue(kIniSection, kKeyDatabasePath, "/home/tv/Wählen/tvdaten.mdb", ini));
    ASSERT_TRUE(WriteIniValue(kIniSection, kKeyUpdaterPath, "/opt/tv movie/tvupdate", ini));
    ASSERT_TRUE(WriteIniValue(kIniSection, kKeyOutputFolder, "/srv/htpc", ini));
    ASSERT_TRUE(WriteIniValue(kIniSection, kKeyOutputFolder, "/srv/htpc2", ini));
    EXPECT_EQ(ReadFile(ini),
              "[Default]\n"
              "TVMovieTvDataPath=/home/tv/Wählen/tvdaten.mdb\n"
              "TVMovieUpdatePath=/opt/tv movie/tvupdate\n"
              "myHTPCPath=/srv/htpc2\n");
    EXPECT_EQ(ReadIniValue(kIniSection, kKeyDatabasePath, "", ini), "/home/tv/Wählen/tvdaten.mdb");
    EXPECT_EQ(ReadIniValue(kIniSection, kKeyUpdaterPath, "", ini), "/opt/tv movie/tvupdate");
    EXPECT_EQ(ReadIniValue("default", "MYHTPCPATH", "", ini), "/srv/htpc2");
}

TEST(Settings, LongValuesReadBackWhole) {
    // Linux paths may be longer than the 255 characters a Windows buffer held.
    TempFolder folder;
    const std::string ini = folder / "brevan.ini";
    std::string umlauts;
    for (int i = 0; i < 300; ++i) umlauts += "ü";
    ASSERT_TRUE(WriteIniValue(kIniSection, kKeyDatabasePath, std::string(300, 'p'), ini));
    ASSERT_TRUE(WriteIniValue(kIniSection, kKeyOutputFolder, umlauts, ini));
    EXPECT_EQ(ReadIniValue(kIniSection, kKeyDatabasePath, "", ini), std::string(300, 'p'));
    EXPECT_EQ(ReadIniValue(kIniSection, kKeyOutputFolder, "", ini), umlauts);
}

TEST(Settings, AnIniFromWindowsReads) {
    TempFolder folder;
    const std::string ini = folder / "brevan.ini";
    WriteFile(ini, "[default]\r\nTVMOVIETVDATAPATH = \"C:\\Programme\\TV Movie\\W\xE4hlen\\tvdaten.mdb\"\r\n");
    EXPECT_EQ(ReadIniValue(kIniSection, kKeyDatabasePath, "", ini), "C:\\Programme\\TV Movie\\Wählen\\tvdaten.mdb");
}

TEST(Settings, AWriteThatCannotHappenReturnsFalse) {
    TempFolder folder;
    EXPECT_FALSE(WriteIniValue(kIniSection, kKeyOutputFolder, "/x", folder / "no/such/folder/brevan.ini"));
    EXPECT_FALSE(WriteIniValue(kIniSection, kKeyOutputFolder, "/x", folder.path().string()));
}
