#include "desktop/trap.h"

#include "desktop/message_box.h"

#include <exception>
#include <new>

namespace brevan {

bool Trapped(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (const std::bad_alloc&) {
        MsgBox("There is not enough memory for this.");
    } catch (const std::exception& e) {
        MsgBox(e.what());  // brevan::Error's what() is its description
    } catch (...) {
        MsgBox("An unexpected error ended the action.");
    }
    return false;
}

}  // namespace brevan
