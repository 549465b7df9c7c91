#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brevan {
namespace {

std::function<void(const std::string&)>& Sink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

int& Shown() {
    static int shown = 0;
    return shown;
}

bool NonEmptyEnv(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
}

} // namespace

bool DisplayAvailable() {
    if (NonEmptyEnv("DISPLAY") || NonEmptyEnv("WAYLAND_DISPLAY")) return true;
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    return qpa != nullptr && (std::strcmp(qpa, "offscreen") == 0 || std::strcmp(qpa, "minimal") == 0);
}

void SetMessageSink(std::function<void(const std::string&)> sink) { Sink() = std::move(sink); }

int MessagesShown() { return Shown(); }
void ResetMessagesShown() { Shown() = 0; }

void MsgBox(const std::string& text) {
    ++Shown();
    if (Sink()) {
        Sink()(text);
        return;
    }
    // A box needs a QApplication on a real screen; the unattended mode creates
    // one only when a display is there, and falls back to the offscreen
    // platform when that display cannot be reached. A modal box nobody can
    // see would wait forever, so anything but a real screen prints.
    const bool onScreen = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
                          QGuiApplication::platformName() != QLatin1String("offscreen") &&
                          QGuiApplication::platformName() != QLatin1String("minimal");
    if (onScreen) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Brevan"), QString::fromStdString(text), QMessageBox::Ok);
        box.exec();
        return;
    }
    std::fprintf(stderr, "Brevan: %s\n", text.c_str());
}

} // namespace brevan
