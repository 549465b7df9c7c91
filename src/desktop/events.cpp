#include "desktop/events.h"

#include <QCoreApplication>

namespace brevan {
namespace {

std::function<void()>& Hook() {
    static std::function<void()> hook;
    return hook;
}

}  // namespace

void DoEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    if (Hook()) Hook()();
}

void SetDoEventsHook(std::function<void()> hook) { Hook() = std::move(hook); }

}  // namespace brevan
