// The main window: both windows' layout as a user sees it, focus order, the
// three buttons, runs that outlive their window, message owners, and
// that closing it leaves an open settings window (and the process) alive.
#include "ui_fixture.h"

#include "app/settings.h"
#include "desktop/events.h"
#include "desktop/message_box.h"
#include "support/listing_db.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <QPointer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace uitest {
namespace {

using MainWindowTest = UiTest;

// Every control as a user sees it: shown, inside the window, clear of every
// other, its text whole at the window's font (a button's caption may wrap).
void ExpectLaidOutForAUser(QWidget* window) {
    const QList<QWidget*> controls = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* c : controls) {
        SCOPED_TRACE(c->objectName().toStdString());
        EXPECT_TRUE(c->isVisible());
        EXPECT_TRUE(window->rect().contains(c->geometry()));
        for (QWidget* other : controls) EXPECT_TRUE(c == other || !c->geometry().intersects(other->geometry()));
        const QFontMetrics metrics = c->fontMetrics();
        if (auto* label = qobject_cast<QLabel*>(c)) {
            EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width());
            EXPECT_LE(metrics.height(), label->contentsRect().height());
        } else if (auto* button = qobject_cast<QPushButton*>(c)) {
            const QRect text = metrics.boundingRect(button->rect(), Qt::AlignCenter | Qt::TextWordWrap, button->text());
            EXPECT_TRUE(button->rect().contains(text)) << button->text().toStdString();
        } else {
            EXPECT_LE(metrics.height(), c->contentsRect().height());
        }
    }
}

// Where a control is in relation to another, as the forms arrange them.
QRect At(QWidget* window, const char* name) { return Child<QWidget>(window, name)->geometry(); }

TEST_F(MainWindowTest, BothWindowsShowEveryControlWholeApartAndInItsPlace) {
    brevan::frmMain* main = OpenMain();
    EXPECT_EQ(main->windowTitle(), "Brevan");
    EXPECT_EQ(Child<QPushButton>(main, "Command1")->text(), "Create new EPG File");
    EXPECT_EQ(Child<QPushButton>(main, "Command2")->text(), "Update EPG + Create new File");
    EXPECT_EQ(Child<QPushButton>(main, "Command3")->text(), "Settings");
    EXPECT_EQ(Child<QLabel>(main, "Label1")->text(), "/U Update EPG + Create XMLTV File");
    EXPECT_EQ(Child<QLabel>(main, "Label2")->text(), "/W Create XMLTV File");
    EXPECT_EQ(Child<QLabel>(main, "Label3")->text(), "Commands:");
    ExpectLaidOutForAUser(main);
    // "Update" left of "Create" in the top row, "Settings" below them, the
    // heading above the /U line above the /W line.
    EXPECT_EQ(At(main, "Command2").top(), At(main, "Command1").top());
    EXPECT_LT(At(main, "Command2").right(), At(main, "Command1").left());
    EXPECT_GT(At(main, "Command3").top(), At(main, "Command1").bottom());
    EXPECT_LT(At(main, "Label3").bottom(), At(main, "Label1").top());
    EXPECT_LT(At(main, "Label1").bottom(), At(main, "Label2").top());

    brevan::frmSettings* settings = PressSettings(main);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->windowTitle(), "Einstellungen");
    EXPECT_EQ(Child<QLabel>(settings, "Label1")->text(), "TV Movie tvupdate.exe Path:");
    EXPECT_EQ(Child<QLabel>(settings, "Label2")->text(), "TV Movie tvdaten.mdb Path:");
    EXPECT_EQ(Child<QLabel>(settings, "Label3")->text(), "myHTPC Output File");
    ExpectLaidOutForAUser(settings);
    // Three rows, each a caption above its box with "..." to its right, and
    // OK at the bottom.
    const char* rows[][3] = {{"Label1", "TVUpdatepath", "Command1"},
                             {"Label2", "TVDatapath", "Command2"},
                             {"Label3", "TVmyHTPCpath", "Command3"}};
    int above = -1;
    for (const auto& row : rows) {
        EXPECT_GT(At(settings, row[0]).top(), above) << row[0];
        EXPECT_LT(At(settings, row[0]).bottom(), At(settings, row[1]).top()) << row[0];
        EXPECT_EQ(At(settings, row[2]).top(), At(settings, row[1]).top()) << row[2];
        EXPECT_LT(At(settings, row[1]).right(), At(settings, row[2]).left()) << row[2];
        EXPECT_EQ(Child<QPushButton>(settings, row[2])->text(), "...");
        above = At(settings, row[1]).bottom();
    }
    EXPECT_GT(At(settings, "cmdOK").top(), above);
    EXPECT_EQ(Child<QPushButton>(settings, "cmdOK")->text(), "OK");

    for (QWidget* window : {static_cast<QWidget*>(main), static_cast<QWidget*>(settings)}) {
        const QList<QSize> sizes = window->windowIcon().availableSizes();
        for (const int n : {16, 32, 48, 256}) EXPECT_TRUE(sizes.contains(QSize(n, n))) << n;
    }
}

TEST_F(MainWindowTest, ControlsKeepTheirPlacesWhenTheWindowIsResized) {
    brevan::frmMain* main = OpenMain();
    EXPECT_LT(main->minimumWidth(), main->maximumWidth());  // the frame is resizable
    const QRect create = At(main, "Command1"), line = At(main, "Label2");
    main->resize(700, 500);
    QTest::qWait(0);
    EXPECT_EQ(At(main, "Command1"), create);
    main->resize(150, 100);
    QTest::qWait(0);
    EXPECT_EQ(At(main, "Label2"), line);
}

TEST_F(MainWindowTest, OpensWithTheFocusOnCreateAndTabsInNumberOrder) {
    brevan::frmMain* main = OpenMain();
    EXPECT_EQ(TabChain(main), QStringList({"Command1", "Command2", "Command3"}));
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    EXPECT_EQ(QApplication::focusWidget(), Child<QWidget>(main, "Command1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Child<QWidget>(main, "Command2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Child<QWidget>(main, "Command3"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Child<QWidget>(main, "Command1"));
}

TEST_F(MainWindowTest, EnterPressesTheButtonWithTheFocus) {
    brevan::frmMain* main = OpenMain();
    auto* settingsButton = Child<QPushButton>(main, "Command3");
    settingsButton->setFocus();
    QTest::keyClick(settingsButton, Qt::Key_Return);
    EXPECT_EQ(SettingsWindows().size(), 1u);
}

TEST_F(MainWindowTest, SettingsOpensAModelessWindowWithoutOwnerFilledFromTheSettings) {
    brevan::AppSettings.DatabasePath = "/data/tvdaten.mdb";
    brevan::frmMain* main = OpenMain();
    brevan::frmSettings* settings = PressSettings(main);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->parentWidget(), nullptr);
    EXPECT_TRUE(settings->isWindow());
    EXPECT_FALSE(settings->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(Child<QLineEdit>(settings, "TVDatapath")->text(), "/data/tvdaten.mdb");
}

TEST_F(MainWindowTest, SettingsPressedAgainKeepsTheOpenWindowAndWhatWasTyped) {
    brevan::AppSettings.UpdaterPath = "/opt/tvupdate.exe";
    brevan::frmMain* main = OpenMain();
    brevan::frmSettings* settings = PressSettings(main);
    ASSERT_NE(settings, nullptr);
    Child<QLineEdit>(settings, "TVUpdatepath")->setText("typed, not saved");

    Child<QPushButton>(main, "Command3")->click();
    const std::vector<brevan::frmSettings*> open = SettingsWindows();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open.front(), settings);
    EXPECT_EQ(Child<QLineEdit>(settings, "TVUpdatepath")->text(), "typed, not saved");
    EXPECT_EQ(brevan::AppSettings.UpdaterPath, "/opt/tvupdate.exe");
}

TEST_F(MainWindowTest, SettingsAfterTheWindowWasClosedOpensAFreshOne) {
    brevan::AppSettings.OutputFolder = "/srv/guide";
    brevan::frmMain* main = OpenMain();
    QPointer<brevan::frmSettings> first = PressSettings(main);
    ASSERT_FALSE(first.isNull());
    Child<QLineEdit>(first, "TVmyHTPCpath")->setText("/tmp/edited");
    // Pressed again before the closed window is deleted, too.
    first->close();
    brevan::frmSettings* second = PressSettings(main);
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Child<QLineEdit>(second, "TVmyHTPCpath")->text(), "/srv/guide");
}

TEST_F(MainWindowTest, CreateWithAMissingDatabaseShowsOneMessageAndTheWindowStaysUsable) {
    brevan::AppSettings.DatabasePath = (dir_.path() + "/missing/tvdaten.mdb").toStdString();
    brevan::AppSettings.OutputFolder = dir_.path().toStdString();
    QPointer<brevan::frmMain> main = OpenMain();
    Child<QPushButton>(main, "Command1")->click();
    EXPECT_EQ(messages_.size(), 1u);
    EXPECT_FALSE(QFile::exists(dir_.path() + "/tvdata.xml"));

    ASSERT_FALSE(main.isNull());
    EXPECT_TRUE(main->isVisible());
    // Still usable: the next press runs again and Settings still opens.
    Child<QPushButton>(main, "Command1")->click();
    EXPECT_EQ(messages_.size(), 2u);
    EXPECT_NE(PressSettings(main), nullptr);
}

TEST_F(MainWindowTest, CreateWithAListingWritesTheFileAndShowsNothing) {
    const std::string database = dir_.filePath("tvdaten.mdb").toStdString();
    testsupport::WriteListingDb(
        database,
        {testsupport::Listing("ARD", jet4::Date(kToday.year, kToday.month, kToday.day), jet4::TimeOfDay(20, 0, 0),
                              "Tagesschau", "Nachrichten", "Die Nachrichten des Tages."),
         testsupport::Listing("ARD", jet4::Date(kToday.year, kToday.month, kToday.day), jet4::TimeOfDay(20, 15, 0),
                              "Tatort", "Krimi", "Ein Fall für zwei.")});
    brevan::AppSettings.DatabasePath = database;
    brevan::AppSettings.OutputFolder = dir_.path().toStdString();
    brevan::frmMain* main = OpenMain();
    Child<QPushButton>(main, "Command1")->click();

    EXPECT_TRUE(messages_.empty()) << messages_.front();
    QFile written(dir_.path() + "/tvdata.xml");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray xml = written.readAll();
    EXPECT_TRUE(xml.contains("<channel id=\"ARD\">"));
    EXPECT_TRUE(xml.contains("Tagesschau"));
}

TEST_F(MainWindowTest, UpdateWithAMissingUpdaterShowsItsMessageAndTheWindowStaysUsable) {
    brevan::AppSettings.UpdaterPath = (dir_.path() + "/no/tvupdate.exe").toStdString();
    brevan::AppSettings.DatabasePath = (dir_.path() + "/no/tvdaten.mdb").toStdString();
    brevan::AppSettings.OutputFolder = dir_.path().toStdString();
    QPointer<brevan::frmMain> main = OpenMain();
    Child<QPushButton>(main, "Command2")->click();
    EXPECT_FALSE(messages_.empty());
    ASSERT_FALSE(main.isNull());
    EXPECT_TRUE(main->isVisible());
}

TEST_F(MainWindowTest, ClosingTheMainWindowLeavesTheProcessRunningUntilSettingsCloses) {
    ASSERT_TRUE(QApplication::quitOnLastWindowClosed());
    QPointer<brevan::frmMain> main = OpenMain();
    QPointer<brevan::frmSettings> settings = PressSettings(main);
    ASSERT_FALSE(settings.isNull());

    bool settingsOpenAfterMainClosed = false;
    QTimer closeMain;
    closeMain.setSingleShot(true);
    QObject::connect(&closeMain, &QTimer::timeout, [&] { main->close(); });
    QTimer closeSettings;
    closeSettings.setSingleShot(true);
    QObject::connect(&closeSettings, &QTimer::timeout, [&] {
        settingsOpenAfterMainClosed = main.isNull() && !settings.isNull() && settings->isVisible();
        if (!settings.isNull()) settings->close();
    });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    closeMain.start(0);
    closeSettings.start(200);
    giveUp.start(10000);

    // exec() returns when the last window has closed.
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(settingsOpenAfterMainClosed);
    FlushDeletes();
    EXPECT_TRUE(settings.isNull());
}

TEST_F(MainWindowTest, ActionButtonsAreGreyedForARunAndComeBackWithTheFocusOnThePressedOne) {
    brevan::AppSettings.DatabasePath = (dir_.path() + "/no/tvdaten.mdb").toStdString();
    brevan::AppSettings.OutputFolder = dir_.path().toStdString();
    QPointer<brevan::frmMain> main = OpenMain();
    QPushButton* create = Child<QPushButton>(main, "Command1");
    QPushButton* update = Child<QPushButton>(main, "Command2");
    QPushButton* settings = Child<QPushButton>(main, "Command3");
    auto script = [&](const char* name, const char* body) {
        const QString path = dir_.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("#!/bin/sh\n") + body + "\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        return path.toStdString();
    };
    // An updater that ends normally, one that exits non-zero (counting its
    // starts), and one that cannot start: the buttons are back after each.
    for (const std::string& updater :
         {script("ends", "sleep 0.3"), script("fails", "echo x >> \"$(dirname \"$0\")/starts\"; sleep 0.3; exit 3"),
          (dir_.path() + "/no/tvupdate").toStdString()}) {
        SCOPED_TRACE(updater);
        brevan::AppSettings.UpdaterPath = updater;
        bool sawGreyed = false;
        bool clicked = false;
        // During the wait the window's events run: the state is seen there,
        // and a click there must start nothing.
        brevan::SetDoEventsHook([&] {
            sawGreyed = sawGreyed || (!create->isEnabled() && !update->isEnabled() && settings->isEnabled());
            if (!clicked) {
                clicked = true;
                QTest::mouseClick(update, Qt::LeftButton);
                QTest::mouseClick(create, Qt::LeftButton);
            }
        });
        const std::size_t before = messages_.size();
        update->click();
        brevan::SetDoEventsHook({});
        // An updater that cannot start leaves no wait to see the buttons in.
        if (updater.find("/no/") == std::string::npos) {
            EXPECT_TRUE(sawGreyed);
        }
        EXPECT_TRUE(create->isEnabled());
        EXPECT_TRUE(update->isEnabled());
        EXPECT_EQ(QApplication::focusWidget(), update);
        // One run's messages only (the conversion's: the database is missing),
        // none from a nested one.
        EXPECT_LE(messages_.size() - before, 2u);
    }
    QFile starts(dir_.filePath("starts"));
    ASSERT_TRUE(starts.open(QIODevice::ReadOnly));
    EXPECT_EQ(starts.readAll(), "x\n") << "a click during the wait started a second updater";

    // "Create" too, seen from the message of its failed conversion.
    bool greyedAtTheMessage = false;
    brevan::SetMessageSink([&](const std::string&) {
        greyedAtTheMessage = !create->isEnabled() && !update->isEnabled() && settings->isEnabled();
    });
    create->click();
    EXPECT_TRUE(greyedAtTheMessage);
    EXPECT_TRUE(create->isEnabled());
    EXPECT_TRUE(update->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), create);
    brevan::SetMessageSink([&](const std::string& text) { messages_.push_back(text); });

    // "Create" while another process holds the folder's lock: the window's
    // events run during the wait, with both buttons greyed, and the run goes
    // on once the lock is free.
    const std::string lockPath = dir_.filePath(".tvdata.xml.lock").toStdString();
    int holder = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    bool greyedWhileWaiting = false;
    brevan::SetDoEventsHook([&] {
        if (holder < 0) return;
        greyedWhileWaiting = !create->isEnabled() && !update->isEnabled() && settings->isEnabled();
        ::close(holder);
        holder = -1;
    });
    const std::size_t before = messages_.size();
    create->click();
    brevan::SetDoEventsHook({});
    EXPECT_EQ(holder, -1) << "the run did not wait for the lock";
    EXPECT_TRUE(greyedWhileWaiting);
    ASSERT_EQ(messages_.size() - before, 1u);
    EXPECT_NE(messages_.back().find("tvdaten.mdb"), std::string::npos) << messages_.back();
    EXPECT_TRUE(create->isEnabled());
}

TEST_F(MainWindowTest, MessagesBelongToTheActiveWindowElseTheMainWindowElseNone) {
    brevan::AppSettings.UpdaterPath = (dir_.path() + "/no/tvupdate").toStdString();
    brevan::AppSettings.DatabasePath = (dir_.path() + "/no/tvdaten.mdb").toStdString();
    brevan::AppSettings.OutputFolder = dir_.path().toStdString();
    QPointer<brevan::frmMain> main = OpenMain();
    std::vector<QWidget*> owners;
    brevan::SetMessageSink([&](const std::string&) { owners.push_back(brevan::MessageOwner()); });
    // No window active, as after a box has closed: the updater's message and
    // the conversion's both belong to the main window.
    PressSettings(main)->close();
    FlushDeletes();
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    Child<QPushButton>(main, "Command2")->click();
    EXPECT_EQ(owners, std::vector<QWidget*>({main.data(), main.data()}));

    QPointer<brevan::frmSettings> settings = PressSettings(main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
    Child<QPushButton>(main, "Command1")->click();
    EXPECT_EQ(owners.back(), settings.data());

    settings->close();
    main->close();
    EXPECT_EQ(brevan::MessageOwner(), nullptr);
}

TEST_F(MainWindowTest, AWindowClosedWhileItsRunShowsAMessageIsLeftAlone) {
    brevan::AppSettings.UpdaterPath = (dir_.path() + "/no/tvupdate").toStdString();
    brevan::AppSettings.DatabasePath = (dir_.path() + "/no/tvdaten.mdb").toStdString();
    brevan::AppSettings.OutputFolder = dir_.path().toStdString();
    for (const char* button : {"Command1", "Command2"}) {
        SCOPED_TRACE(button);
        QPointer<brevan::frmMain> main = OpenMain();
        // The window goes at the first message; the run still shows the rest.
        brevan::SetMessageSink([&](const std::string& text) {
            messages_.push_back(text);
            if (!main.isNull()) main->close();
            FlushDeletes();
        });
        messages_.clear();
        Child<QPushButton>(main, button)->click();
        EXPECT_TRUE(main.isNull());
        EXPECT_EQ(messages_.size(), std::string(button) == "Command1" ? 1u : 2u);
    }

    // The settings window, gone while it says that its save failed.
    QPointer<brevan::frmSettings> settings = PressSettings(OpenMain());
    brevan::AppSettings.IniPath = dir_.filePath("missing/folder/brevan.ini").toStdString();
    QFile(dir_.filePath("missing")).open(QIODevice::WriteOnly);  // a file where the folder would be made
    brevan::SetMessageSink([&](const std::string&) {
        settings->close();
        FlushDeletes();
    });
    Child<QPushButton>(settings, "cmdOK")->click();
    EXPECT_TRUE(settings.isNull());
}

TEST_F(MainWindowTest, SettingsBringsAMinimisedSettingsWindowBack) {
    brevan::frmMain* main = OpenMain();
    QPointer<brevan::frmSettings> settings = PressSettings(main);
    ASSERT_FALSE(settings.isNull());
    settings->showMinimized();
    QApplication::processEvents();
    ASSERT_TRUE(settings->isMinimized());
    EXPECT_EQ(PressSettings(main), settings.data());
    EXPECT_FALSE(settings->isMinimized());
    EXPECT_TRUE(settings->isVisible());
}

}  // namespace
}  // namespace uitest
