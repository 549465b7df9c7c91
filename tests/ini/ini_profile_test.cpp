// The profile functions over real files: missing files, foreign encodings,
// writes that keep the rest of the file, and writes that must fail safely.
#include "ini/ini_profile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using brevan::GetPrivateProfileString;
using brevan::WritePrivateProfileString;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "brevan-ini-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        ini_ = (dir_ / "brevan.ini").string();
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    void Put(const std::string& bytes) const { Put(ini_, bytes); }
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string Get() const { return Get(ini_); }
    static std::string Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Read(const std::string& key) const {
        return GetPrivateProfileString("Default", key, "<default>", ini_);
    }
    std::size_t FilesInDir() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
    std::string ini_;
};

// Runs `body` with the rights of an ordinary user when the test runs as root
// (root writes into read-only folders), and returns its result.
bool AsOrdinaryUser(const std::function<bool()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        ::_exit(body() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "could not drop root rights";
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

}  // namespace

TEST_F(IniFileTest, MissingFileOrUnreadablePathGivesTheDefault) {
    EXPECT_EQ(Read("myHTPCPath"), "<default>");
    EXPECT_EQ(GetPrivateProfileString("Default", "A", "", ini_), "");
    EXPECT_EQ(GetPrivateProfileString("Default", "A", "x", dir_.string()), "x");  // a folder
    EXPECT_EQ(GetPrivateProfileString("Default", "A", "x", ""), "x");
    EXPECT_EQ(GetPrivateProfileString("Default", "A", std::string(300, 'd'), ini_), std::string(300, 'd'));
    EXPECT_FALSE(fs::exists(ini_));  // reading never creates the file
}

TEST_F(IniFileTest, LongValuesComeBackWhole) {
    std::string umlauts;
    for (int i = 0; i < 300; ++i) umlauts += "ö";
    Put("[Default]\nA=" + std::string(300, 'x') + "\nB=" + umlauts + "\nC=" + std::string(254, 'a') + "😀\n");
    EXPECT_EQ(Read("A"), std::string(300, 'x'));
    EXPECT_EQ(Read("B"), umlauts);
    EXPECT_EQ(Read("C"), std::string(254, 'a') + "😀");
}

TEST_F(IniFileTest, Windows1252FileReadsAndTheFirstWriteMakesItUtf8) {
    Put("; W\xE4hlen "
        "Sie\r\n[Default]\r\nTVMovieTvDataPath=C:\\Daten\\W\xE4hlen\\tvdaten.mdb\r\nmyHTPCPath=C:\\\x80\r\n");
    EXPECT_EQ(Read("TVMovieTvDataPath"), "C:\\Daten\\Wählen\\tvdaten.mdb");
    EXPECT_EQ(Read("myHTPCPath"), "C:\\€");
    ASSERT_TRUE(WritePrivateProfileString("Default", "myHTPCPath", "/srv/ausgabe", ini_));
    EXPECT_EQ(Get(),
              "; Wählen Sie\r\n[Default]\r\nTVMovieTvDataPath=C:\\Daten\\Wählen\\tvdaten.mdb\r\n"
              "myHTPCPath=/srv/ausgabe\r\n");
}

TEST_F(IniFileTest, WriteKeepsCommentsOtherSectionsLineEndsAndMark) {
    const std::string before =
        "\xEF\xBB\xBF; Brevan\r\n[Other]\r\nmyHTPCPath=keep\r\n\r\n[Default]\r\n"
        "myhtpcpath = /old\r\nTVMovieUpdatePath=/u\r\n";
    Put(before);
    EXPECT_EQ(Read("myHTPCPath"), "/old");
    ASSERT_TRUE(WritePrivateProfileString("Default", "myHTPCPath", "/new", ini_));
    ASSERT_TRUE(WritePrivateProfileString("Default", "TVMovieTvDataPath", "/db", ini_));
    EXPECT_EQ(Get(),
              "\xEF\xBB\xBF; Brevan\r\n[Other]\r\nmyHTPCPath=keep\r\n\r\n[Default]\r\n"
              "myhtpcpath = /new\r\nTVMovieUpdatePath=/u\r\nTVMovieTvDataPath=/db\r\n");
    EXPECT_EQ(Read("myHTPCPath"), "/new");
    EXPECT_EQ(GetPrivateProfileString("Other", "myHTPCPath", "", ini_), "keep");
}

TEST_F(IniFileTest, FirstWriteCreatesFileAndSection) {
    const mode_t old = ::umask(022);
    ASSERT_TRUE(WritePrivateProfileString("Default", "TVMovieUpdatePath", "/opt/tv/update", ini_));
    ::umask(old);
    EXPECT_EQ(Get(), "[Default]\nTVMovieUpdatePath=/opt/tv/update\n");
    EXPECT_EQ(fs::status(ini_).permissions(), fs::perms(0644));
    EXPECT_EQ(FilesInDir(), 1u);  // no temporary file left behind
}

TEST_F(IniFileTest, WriteKeepsPermissionsAndSymbolicLinks) {
    const std::string real = (dir_ / "real.ini").string();
    Put(real, "[Default]\nA=1\n");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink("real.ini", ini_);
    ASSERT_TRUE(WritePrivateProfileString("Default", "A", "2", ini_));
    EXPECT_TRUE(fs::is_symlink(ini_));
    EXPECT_EQ(Get(real), "[Default]\nA=2\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
}

TEST_F(IniFileTest, FailedWritesReturnFalseAndChangeNothing) {
    Put("[Default]\nA=1\n");
    ::chmod(ini_.c_str(), 0644);
    ::chmod(dir_.c_str(), 0555);
    const std::string ini = ini_;
    EXPECT_FALSE(AsOrdinaryUser([&] { return WritePrivateProfileString("Default", "A", "2", ini); }));
    EXPECT_FALSE(AsOrdinaryUser([&] { return WritePrivateProfileString("Default", "New", "2", ini + ".new"); }));
    ::chmod(dir_.c_str(), 0777);
    ::chmod(ini_.c_str(), 0444);  // a read-only file in a writable folder stays as it is
    EXPECT_FALSE(AsOrdinaryUser([&] { return WritePrivateProfileString("Default", "A", "2", ini); }));
    ::chmod(dir_.c_str(), 0700);
    EXPECT_EQ(Get(), "[Default]\nA=1\n");
    EXPECT_EQ(FilesInDir(), 1u);

    EXPECT_FALSE(WritePrivateProfileString("Default", "A", "2", (dir_ / "missing" / "x.ini").string()));
    EXPECT_FALSE(WritePrivateProfileString("Default", "A", "2", dir_.string()));  // a folder
    EXPECT_FALSE(WritePrivateProfileString("Default", "A", "two\nlines", ini_));
    EXPECT_EQ(Get(), "[Default]\nA=1\n");
}

TEST_F(IniFileTest, HostileFilesReadWithoutHarm) {
    using namespace std::string_literals;
    const std::string tail = "B="s + std::string(1 << 20, 'b');  // a 1 MB line without a final newline
    Put("[Default]\0\nA=x\0y\n"s + tail);
    EXPECT_EQ(Read("A"), "x");
    EXPECT_EQ(Read("B"), std::string(1 << 20, 'b'));
    ASSERT_TRUE(WritePrivateProfileString("Default", "A", "z", ini_));
    EXPECT_EQ(Get(), "[Default]\0\nA=z\n"s + tail);  // the other NUL byte is kept
}
