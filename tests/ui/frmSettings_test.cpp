// The settings window: focus order, the load step, OK by button,
// Enter and Escape, the close button, and the three pickers.
#include "ui_fixture.h"

#include "app/settings.h"
#include "desktop/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <fstream>

namespace uitest {
namespace {

class SettingsWindowTest : public UiTest {
protected:
    // The main window and the settings window opened from it, with the
    // settings as given.
    void Open(const std::string& updater, const std::string& database, const std::string& folder) {
        brevan::AppSettings.UpdaterPath = updater;
        brevan::AppSettings.DatabasePath = database;
        brevan::AppSettings.OutputFolder = folder;
        main_ = OpenMain();
        settings_ = PressSettings(main_);
        ASSERT_FALSE(settings_.isNull());
    }
    QLineEdit* Box(const char* name) { return Child<QLineEdit>(settings_, name); }
    QPushButton* Button(const char* name) { return Child<QPushButton>(settings_, name); }
    // True once the window has closed and been deleted.
    bool Gone() {
        FlushDeletes();
        return settings_.isNull();
    }
    void ExpectIniUntouched() { EXPECT_FALSE(QDir(dir_.path()).exists(QStringLiteral("brevan.ini"))); }
    // The three boxes get new texts, the settings keep the old ones.
    void TypeNewTexts() {
        Box("TVUpdatepath")->setText("/new/tvupdate.exe");
        Box("TVDatapath")->setText("/new/tvdaten.mdb");
        Box("TVmyHTPCpath")->setText("/new/out");
    }
    void ExpectNewTextsSaved() {
        EXPECT_EQ(brevan::AppSettings.UpdaterPath, "/new/tvupdate.exe");
        EXPECT_EQ(brevan::AppSettings.DatabasePath, "/new/tvdaten.mdb");
        EXPECT_EQ(brevan::AppSettings.OutputFolder, "/new/out");
        EXPECT_EQ(ReadIni(brevan::kKeyUpdaterPath), "/new/tvupdate.exe");
        EXPECT_EQ(ReadIni(brevan::kKeyDatabasePath), "/new/tvdaten.mdb");
        EXPECT_EQ(ReadIni(brevan::kKeyOutputFolder), "/new/out");
        EXPECT_TRUE(messages_.empty());
        EXPECT_TRUE(Gone());
    }

    brevan::frmMain* main_ = nullptr;
    QPointer<brevan::frmSettings> settings_;
};

TEST_F(SettingsWindowTest, TabGoesFromTheFirstBrowseButtonToOkAndOnToTheSecondRow) {
    Open("", "", "");
    const QStringList order{"TVUpdatepath", "Command1", "cmdOK", "TVDatapath", "Command2", "TVmyHTPCpath", "Command3"};
    EXPECT_EQ(TabChain(settings_), order);

    settings_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings_));
    EXPECT_EQ(QApplication::focusWidget(), Box("TVUpdatepath"));
    for (int i = 1; i <= order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), order[i % order.size()]);
    }
}

TEST_F(SettingsWindowTest, LoadCopiesTheSettingsIntoTheBoxes) {
    Open("/opt/tv/tvupdate.exe", "/opt/tv/tvdaten.mdb", "/srv/guide");
    EXPECT_EQ(Box("TVUpdatepath")->text(), "/opt/tv/tvupdate.exe");
    EXPECT_EQ(Box("TVDatapath")->text(), "/opt/tv/tvdaten.mdb");
    EXPECT_EQ(Box("TVmyHTPCpath")->text(), "/srv/guide");
}

TEST_F(SettingsWindowTest, EmptySettingsGiveEmptyBoxes) {
    Open("", "", "");
    EXPECT_TRUE(Box("TVUpdatepath")->text().isEmpty());
    EXPECT_TRUE(Box("TVDatapath")->text().isEmpty());
    EXPECT_TRUE(Box("TVmyHTPCpath")->text().isEmpty());
}

TEST_F(SettingsWindowTest, OkSavesTheThreeTextsToSettingsAndIniAndCloses) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    TypeNewTexts();
    Button("cmdOK")->click();
    ExpectNewTextsSaved();
}

TEST_F(SettingsWindowTest, OkSavesTextsUnchangedEmptyAndNonAsciiIncluded) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    Box("TVUpdatepath")->setText("");
    Box("TVDatapath")->setText(QStringLiteral("  /Fernsehen/Über Sendungen/tvdaten.mdb "));
    const QString longFolder = "/" + QString(300, QLatin1Char('a'));
    Box("TVmyHTPCpath")->setText(longFolder);
    Button("cmdOK")->click();

    EXPECT_EQ(brevan::AppSettings.UpdaterPath, "");
    EXPECT_EQ(brevan::AppSettings.DatabasePath, "  /Fernsehen/Über Sendungen/tvdaten.mdb ");
    EXPECT_EQ(brevan::AppSettings.OutputFolder, longFolder.toStdString());
    EXPECT_EQ(ReadIni(brevan::kKeyUpdaterPath), "");
    EXPECT_EQ(ReadIni(brevan::kKeyOutputFolder), longFolder.toStdString());
}

TEST_F(SettingsWindowTest, EscapeAnywherePressesOk) {
    for (const char* focus : {"TVDatapath", "Command2", "cmdOK"}) {
        SCOPED_TRACE(focus);
        Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
        TypeNewTexts();
        QTest::keyClick(Child<QWidget>(settings_, focus), Qt::Key_Escape);
        ExpectNewTextsSaved();
        TearDown();
        SetUp();
    }
}

TEST_F(SettingsWindowTest, EnterInATextBoxPressesOk) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    TypeNewTexts();
    QTest::keyClick(Box("TVmyHTPCpath"), Qt::Key_Return);
    ExpectNewTextsSaved();
}

TEST_F(SettingsWindowTest, EnterOnABrowseButtonPressesThatButtonNotOk) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    brevan::SetNextFileName("/picked/tvdaten.mdb");
    QTest::keyClick(Button("Command2"), Qt::Key_Return);
    EXPECT_FALSE(Gone());
    EXPECT_EQ(Box("TVDatapath")->text(), "/picked/tvdaten.mdb");
    EXPECT_EQ(brevan::AppSettings.DatabasePath, "/old/tvdaten.mdb");
    ExpectIniUntouched();

    QTest::keyClick(Button("cmdOK"), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(Gone());
    EXPECT_EQ(ReadIni(brevan::kKeyDatabasePath), "/picked/tvdaten.mdb");
}

TEST_F(SettingsWindowTest, CloseButtonSavesNothingAndTheNextOpeningShowsTheSettings) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    TypeNewTexts();
    settings_->close();
    EXPECT_TRUE(Gone());
    EXPECT_EQ(brevan::AppSettings.UpdaterPath, "/old/tvupdate.exe");
    EXPECT_EQ(brevan::AppSettings.DatabasePath, "/old/tvdaten.mdb");
    EXPECT_EQ(brevan::AppSettings.OutputFolder, "/old/out");
    ExpectIniUntouched();

    settings_ = PressSettings(main_);
    ASSERT_FALSE(settings_.isNull());
    EXPECT_EQ(Box("TVUpdatepath")->text(), "/old/tvupdate.exe");
    EXPECT_EQ(Box("TVDatapath")->text(), "/old/tvdaten.mdb");
    EXPECT_EQ(Box("TVmyHTPCpath")->text(), "/old/out");
}

TEST_F(SettingsWindowTest, AFailedIniWriteShowsOneMessageAndKeepsTheNewValues) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    // A file stands where the INI file's folder would have to be made.
    const std::string notAFolder = (dir_.path() + "/a file").toStdString();
    std::ofstream(notAFolder) << "x";
    brevan::AppSettings.IniPath = notAFolder + "/brevan.ini";
    TypeNewTexts();
    Button("cmdOK")->click();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_.front(), "The settings could not be saved to " + brevan::AppSettings.IniPath + ".");
    EXPECT_EQ(brevan::AppSettings.UpdaterPath, "/new/tvupdate.exe");
    EXPECT_EQ(brevan::AppSettings.DatabasePath, "/new/tvdaten.mdb");
    EXPECT_EQ(brevan::AppSettings.OutputFolder, "/new/out");
    EXPECT_TRUE(Gone());
}

TEST_F(SettingsWindowTest, FilePickersFillTheirBoxAndLeaveTheSettingsAlone) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    brevan::SetNextFileName("/picked/tvupdate.exe");
    Button("Command1")->click();
    EXPECT_EQ(Box("TVUpdatepath")->text(), "/picked/tvupdate.exe");
    // A Linux script can be picked as the updater too.
    EXPECT_EQ(brevan::LastDialogRequest().filter, "TVMovie (tvupdate.exe);;All files (*)");
    EXPECT_EQ(brevan::LastDialogRequest().owner, settings_.data());

    brevan::SetNextFileName("/picked/tvdaten.mdb");
    Button("Command2")->click();
    EXPECT_EQ(Box("TVDatapath")->text(), "/picked/tvdaten.mdb");
    EXPECT_EQ(brevan::LastDialogRequest().filter, "TVMovie (tvdaten.mdb)");

    EXPECT_EQ(brevan::AppSettings.UpdaterPath, "/old/tvupdate.exe");
    EXPECT_EQ(brevan::AppSettings.DatabasePath, "/old/tvdaten.mdb");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(SettingsWindowTest, CancelledFilePickersLeaveTheirBoxAsTyped) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    Box("TVDatapath")->setText("typed");
    brevan::SetNextFileName(std::nullopt);
    Button("Command2")->click();
    EXPECT_EQ(Box("TVDatapath")->text(), "typed");
    brevan::SetNextFileName("");
    Button("Command1")->click();
    EXPECT_EQ(Box("TVUpdatepath")->text(), "/old/tvupdate.exe");
}

TEST_F(SettingsWindowTest, PickedFolderCountsAtOnceEvenWhenClosedWithoutOk) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    settings_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings_));
    // Whole, however long, and with no separator added or taken away.
    const std::string folder = "/mnt/" + std::string(300, 'x') + "/";
    brevan::SetNextFolder(folder);
    Button("Command3")->click();
    EXPECT_EQ(Box("TVmyHTPCpath")->text().toStdString(), folder);
    EXPECT_EQ(brevan::AppSettings.OutputFolder, folder);
    EXPECT_EQ(brevan::LastDialogRequest().title, "Wählen Sie einen Ordner aus.");
    EXPECT_EQ(brevan::LastDialogRequest().owner, settings_.data());

    settings_->close();
    EXPECT_TRUE(Gone());
    EXPECT_EQ(brevan::AppSettings.OutputFolder, folder);
    ExpectIniUntouched();
}

TEST_F(SettingsWindowTest, CancelledFolderPickerKeepsTheFolder) {
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    brevan::SetNextFolder(std::nullopt);
    Button("Command3")->click();
    EXPECT_EQ(Box("TVmyHTPCpath")->text(), "/old/out");
    EXPECT_EQ(brevan::AppSettings.OutputFolder, "/old/out");

    Box("TVmyHTPCpath")->setText("typed");
    brevan::SetNextFolder("");
    Button("Command3")->click();
    EXPECT_EQ(Box("TVmyHTPCpath")->text(), "typed");
    EXPECT_EQ(brevan::AppSettings.OutputFolder, "/old/out");

    Button("cmdOK")->click();
    EXPECT_EQ(ReadIni(brevan::kKeyOutputFolder), "typed");
}

TEST_F(SettingsWindowTest, StaysOpenWhenTheMainWindowCloses) {
    Open("", "", "");
    main_->close();
    FlushDeletes();
    ASSERT_FALSE(settings_.isNull());
    EXPECT_TRUE(settings_->isVisible());
    Box("TVDatapath")->setText("/still/here.mdb");
    Button("cmdOK")->click();
    EXPECT_EQ(ReadIni(brevan::kKeyDatabasePath), "/still/here.mdb");
}

TEST_F(SettingsWindowTest, OkMakesTheConfigurationFolderItSavesInto) {
    // An installed copy keeps its settings in ~/.config/brevan/, which a
    // first save must create.
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    brevan::AppSettings.IniPath = (dir_.path() + "/home/.config/brevan/brevan.ini").toStdString();
    TypeNewTexts();
    Button("cmdOK")->click();
    EXPECT_TRUE(messages_.empty()) << messages_.front();
    EXPECT_EQ(brevan::ReadIniValue(brevan::kIniSection, brevan::kKeyOutputFolder, "", brevan::AppSettings.IniPath),
              "/new/out");
}

TEST_F(SettingsWindowTest, PickersStartWhereTheBoxsPathIsWithWindowsPathsAndEmptyBoxesInTheWinePrefix) {
    // A prefix as Wine makes it: drive C: is a link to drive_c.
    const QString prefix = dir_.filePath("wine"), folder = prefix + "/drive_c/Programme/TV";
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QDir().mkpath(prefix + "/dosdevices"));
    ASSERT_TRUE(QFile::link("../drive_c", prefix + "/dosdevices/c:"));
    std::ofstream((folder + "/tvdaten.mdb").toStdString()) << "x";
    const QByteArray savedPrefix = qgetenv("WINEPREFIX"), savedHome = qgetenv("HOME");
    qputenv("WINEPREFIX", prefix.toUtf8());
    qputenv("HOME", dir_.path().toUtf8());
    const auto startOf = [this](const char* button) {
        brevan::SetNextFileName(std::nullopt);
        brevan::SetNextFolder(std::nullopt);
        Button(button)->click();
        brevan::ClearDialogAnswers();
        return QString::fromStdString(brevan::LastDialogRequest().start);
    };

    // A file's folder; nothing there (Qt's own choice); a folder itself.
    Open("/no/such/tvupdate.exe", (folder + "/tvdaten.mdb").toStdString(), folder.toStdString());
    EXPECT_EQ(startOf("Command2"), folder);
    EXPECT_EQ(startOf("Command1"), "");
    EXPECT_EQ(startOf("Command3"), folder);

    // Windows paths where Wine finds them; an empty file box in drive_c.
    Box("TVUpdatepath")->clear();
    Box("TVDatapath")->setText("C:\\PROGRAMME\\tv\\TVDATEN.MDB");
    Box("TVmyHTPCpath")->setText("C:\\Programme");
    EXPECT_EQ(startOf("Command1"), prefix + "/drive_c");
    EXPECT_EQ(startOf("Command2"), prefix + "/dosdevices/c:/Programme/TV");
    EXPECT_EQ(startOf("Command3"), prefix + "/dosdevices/c:/Programme");

    // No prefix: the home folder.
    qputenv("WINEPREFIX", (prefix + "/none").toUtf8());
    EXPECT_EQ(startOf("Command1"), dir_.path());

    qputenv("WINEPREFIX", savedPrefix);
    qputenv("HOME", savedHome);
}

TEST_F(SettingsWindowTest, ALongPathSurvivesOkARestartAndASecondOk) {
    // Linux paths may be longer than the 255 characters a Windows INI read kept.
    const std::string longFolder = "/" + std::string(150, 'a') + "/" + std::string(148, 'b');
    ASSERT_EQ(longFolder.size(), 300u);
    Open("/old/tvupdate.exe", "/old/tvdaten.mdb", "/old/out");
    Box("TVmyHTPCpath")->setText(QString::fromStdString(longFolder));
    Button("cmdOK")->click();
    // A restart: the settings come from the INI file afresh.
    const std::string iniPath = brevan::AppSettings.IniPath;
    brevan::AppSettings = {};
    brevan::AppSettings.IniPath = iniPath;
    brevan::AppSettings.OutputFolder = brevan::ReadIniValue(brevan::kIniSection, brevan::kKeyOutputFolder, "", iniPath);
    EXPECT_EQ(brevan::AppSettings.OutputFolder, longFolder);
    EXPECT_TRUE(Gone());
    settings_ = PressSettings(main_);
    ASSERT_FALSE(settings_.isNull());
    EXPECT_EQ(Box("TVmyHTPCpath")->text().toStdString(), longFolder);
    Button("cmdOK")->click();
    EXPECT_EQ(ReadIni(brevan::kKeyOutputFolder), longFolder);
}

}  // namespace
}  // namespace uitest
