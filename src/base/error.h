#pragma once
// The one error type of the program. Whatever fails below an action raises it
// with a description a user can act on; the action's trap shows that
// description and nothing else.
#include <stdexcept>
#include <string>

namespace brevan {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& description) : std::runtime_error(description) {}
    // The text the error trap shows.
    std::string Description() const { return what(); }
};

}  // namespace brevan
