#include "os/user_home.h"

#include <pwd.h>
#include <unistd.h>

namespace brevan {

std::string UserHome(const std::string& homeVariable) {
    if (!homeVariable.empty()) return homeVariable;
    // Called at start-up, before any thread: getpwuid's static result is safe.
    const passwd* user = ::getpwuid(::getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

}  // namespace brevan
