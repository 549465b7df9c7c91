#pragma once
// The user's home folder, for what is kept below it (settings, the Wine
// prefix).
#include <string>

namespace brevan {

// `homeVariable` (the value of $HOME) when it is not empty; when it is unset
// or empty (`env -i` in cron or a service), the home folder that the password
// database gives the real user, as Wine takes it; empty when that names none.
// The result may be relative (a HOME set so): callers that keep files there
// check it.
std::string UserHome(const std::string& homeVariable);

}  // namespace brevan
