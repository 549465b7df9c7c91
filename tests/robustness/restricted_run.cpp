#include "restricted_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace robustness {

uid_t NobodyUid() {
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_uid : 65534;
}

gid_t NobodyGid() {
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_gid : 65534;
}

testsupport::RunResult RunRestricted(const testsupport::Installation& app, const std::vector<std::string>& args,
                                     const Restrictions& restrictions, int timeoutSeconds) {
    // The streams go to files the child opens before it gives up its rights.
    char outName[] = "/tmp/brevan-run-out-XXXXXX";
    char errName[] = "/tmp/brevan-run-err-XXXXXX";
    const int out = ::mkstemp(outName);
    const int err = ::mkstemp(errName);
    std::vector<std::string> argStrings{app.exe()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        ::dup2(out, 1);
        ::dup2(err, 2);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, 0);
        if (restrictions.maxFileSize > 0) {
            std::signal(SIGXFSZ, SIG_IGN);  // kept across exec: a write fails instead
            rlimit limit{static_cast<rlim_t>(restrictions.maxFileSize), static_cast<rlim_t>(restrictions.maxFileSize)};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
        }
        if (restrictions.maxDescriptors > 0) {
            ::closefrom(3);  // whatever the test runner left open would count
            rlimit limit{static_cast<rlim_t>(restrictions.maxDescriptors),
                         static_cast<rlim_t>(restrictions.maxDescriptors)};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(125);
        }
        if (restrictions.uid != static_cast<uid_t>(-1)) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(restrictions.gid) != 0 || ::setuid(restrictions.uid) != 0)
                ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(err);

    testsupport::RunResult result;
    result.status = testsupport::WaitForExit(pid, timeoutSeconds);
    result.output = testsupport::ReadFile(outName);
    result.errors = testsupport::ReadFile(errName);
    ::unlink(outName);
    ::unlink(errName);
    return result;
}

}  // namespace robustness
