#include "ui_fixture.h"

#include "app/settings.h"
#include "desktop/dialogs.h"
#include "desktop/message_box.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

namespace uitest {

QStringList TabChain(QWidget* window) {
    QStringList names;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(window)) names << w->objectName();
    }
    return names;
}

void UiTest::SetUp() {
    ASSERT_TRUE(dir_.isValid());
    brevan::SetMessageSink([this](const std::string& text) { messages_.push_back(text); });
    brevan::SetTodaySource([] { return kToday; });
    brevan::ClearDialogAnswers();
    brevan::AppSettings = brevan::Settings{};
    brevan::AppSettings.IniPath = IniPath();
}

void UiTest::TearDown() {
    for (QWidget* w : QApplication::topLevelWidgets()) w->close();
    FlushDeletes();
    for (QWidget* w : QApplication::topLevelWidgets()) delete w;
    brevan::ClearDialogAnswers();
    brevan::SetMessageSink({});
    brevan::SetTodaySource({});
}

brevan::frmMain* UiTest::OpenMain() {
    auto* main = new brevan::frmMain();
    main->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(main));
    return main;
}

brevan::frmSettings* UiTest::PressSettings(brevan::frmMain* main) {
    Child<QPushButton>(main, "Command3")->click();
    const std::vector<brevan::frmSettings*> open = SettingsWindows();
    EXPECT_EQ(open.size(), 1u);
    if (open.empty()) return nullptr;
    EXPECT_TRUE(QTest::qWaitForWindowExposed(open.front()));
    return open.front();
}

std::vector<brevan::frmSettings*> UiTest::SettingsWindows() {
    FlushDeletes();
    std::vector<brevan::frmSettings*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* s = qobject_cast<brevan::frmSettings*>(w)) found.push_back(s);
    }
    return found;
}

void UiTest::FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

std::string UiTest::IniPath() const { return dir_.filePath(QStringLiteral("brevan.ini")).toStdString(); }

std::string UiTest::ReadIni(const char* key) const {
    return brevan::ReadIniValue(brevan::kIniSection, key, "<missing>", IniPath());
}

}  // namespace uitest
