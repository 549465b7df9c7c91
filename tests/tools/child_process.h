// Runs a program as a real child process and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace childproc {

struct Result {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// Runs argv[0] (looked up in PATH when it has no slash) with `input` on its
// standard input.
Result Run(const std::vector<std::string>& argv, const std::string& input = "");

}  // namespace childproc
