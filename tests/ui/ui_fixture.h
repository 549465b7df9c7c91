#pragma once
// What the window tests share: a fixture that catches message boxes, points
// the INI file into a fresh folder, fixes today at kToday and closes every
// window afterwards, and helpers to find the windows' controls.
#include "os/clock.h"
#include "ui/frmMain.h"
#include "ui/frmSettings.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace uitest {

// Today for a conversion started from a window.
constexpr brevan::CivilDate kToday{2099, 1, 2};

// The named child of `window`; fails the test when there is none.
template <typename T>
T* Child(QWidget* window, const char* name) {
    T* child = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << "no control " << name;
    return child;
}

// Object names of the controls that Tab visits, in order, starting from the
// first after the window itself.
QStringList TabChain(QWidget* window);

class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new main window, shown and exposed.
    brevan::frmMain* OpenMain();
    // Presses "Settings" on `main` and returns the settings window it shows.
    brevan::frmSettings* PressSettings(brevan::frmMain* main);
    // Every settings window that exists and is not about to be deleted.
    static std::vector<brevan::frmSettings*> SettingsWindows();
    // Runs the deletions that closed windows have asked for.
    static void FlushDeletes();

    std::string IniPath() const;
    std::string ReadIni(const char* key) const;

    QTemporaryDir dir_;
    std::vector<std::string> messages_;
};

}  // namespace uitest
