#include "desktop/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
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

QPointer<QWidget>& MainWindow() {
    static QPointer<QWidget> window;
    return window;
}

// Standard error is a log read line by line (cron mail, the journal): each
// message is one line, and text quoted from a database can neither forge a
// line of its own nor steer the terminal. C0 and C1 controls and DEL show as
// '?'; a NUL no longer cuts the message short.
std::string OneLine(const std::string& text) {
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            line.push_back('?');  // U+0080..U+009F
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            line.push_back('?');
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    return line;
}

bool NonEmptyEnv(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
}

}  // namespace

bool DisplayAvailable() {
    if (NonEmptyEnv("DISPLAY") || NonEmptyEnv("WAYLAND_DISPLAY")) return true;
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    return qpa != nullptr && (std::strcmp(qpa, "offscreen") == 0 || std::strcmp(qpa, "minimal") == 0);
}

void SetMessageSink(std::function<void(const std::string&)> sink) { Sink() = std::move(sink); }

void SetMainWindow(QWidget* window) { MainWindow() = window; }

QWidget* MessageOwner() {
    if (QApplication::activeWindow() != nullptr) return QApplication::activeWindow();
    QWidget* main = MainWindow();
    return main != nullptr && main->isVisible() ? main : nullptr;
}

void MsgBox(const std::string& text) {
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
        // Owned, the box is its owner's child, which deletes it if the owner
        // goes first (the guard then reads null).
        const QPointer<QMessageBox> box =
            new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Brevan"), QString::fromStdString(text),
                            QMessageBox::Ok, MessageOwner());
        box->exec();
        delete box.data();
        return;
    }
    const std::string line = "Brevan: " + OneLine(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace brevan
