#include "support/run_brevan.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

std::vector<std::string> RunResult::messages() const {
    std::vector<std::string> found;
    const std::string prefix = "Brevan: ";
    std::size_t at = 0;
    while ((at = errors.find(prefix, at)) != std::string::npos) {
        if (at == 0 || errors[at - 1] == '\n') {
            const std::size_t end = errors.find('\n', at);
            found.push_back(errors.substr(at + prefix.size(),
                                          end == std::string::npos ? std::string::npos : end - at - prefix.size()));
        }
        at += prefix.size();
    }
    return found;
}

Installation::Installation(const std::string& program) {
    fs::copy_file(program, exe());
    // The program finds its database reader and its folder helper beside itself.
    fs::copy_file(BREVAN_READER_EXE, folder_ / "brevan-reader");
    fs::copy_file(BREVAN_FOLDER_EXE, folder_ / "brevan-folder");
    fs::permissions(exe(), fs::perms::owner_all);
}

void Installation::WriteIni(const std::string& database, const std::string& updater, const std::string& output) const {
    WriteFile(iniPath(), "[Default]\nTVMovieTvDataPath=" + database + "\nTVMovieUpdatePath=" + updater +
                             "\nmyHTPCPath=" + output + "\n");
}

RunResult Installation::Run(const std::vector<std::string>& args, int timeoutSeconds,
                            const std::vector<std::string>& environment) const {
    std::vector<std::string> argv{exe()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, timeoutSeconds, environment);
}

RunResult RunProgram(const std::vector<std::string>& argv, int timeoutSeconds,
                     const std::vector<std::string>& environment, const std::string& input) {
    // Input and output go through files, so that no pipe can fill up.
    const TempFolder capture;
    const std::string out = capture / "stdout", err = capture / "stderr";
    const std::string in = input.empty() ? "/dev/null" : capture / "stdin";
    if (!input.empty()) WriteFile(in, input);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        for (const std::string& entry : environment) ::putenv(const_cast<char*>(entry.c_str()));
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(o, 1);
        ::dup2(e, 2);
        ::dup2(::open(in.c_str(), O_RDONLY), 0);
        std::vector<std::string> argStrings = argv;
        std::vector<char*> args;
        for (auto& a : argStrings) args.push_back(a.data());
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    RunResult result;
    result.status = WaitForExit(pid, timeoutSeconds);
    result.output = ReadFile(out);
    result.errors = ReadFile(err);
    return result;
}

int WaitForExit(int pid, int timeoutSeconds) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << "the program did not end within " << timeoutSeconds << " s";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace testsupport
