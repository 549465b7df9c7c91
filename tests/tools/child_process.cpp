#include "child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace childproc {
namespace {

// Input and output pass through temporary files, so that no pipe can fill up.
struct TempFile {
    TempFile() {
        char name[] = "/tmp/childproc-XXXXXX";
        fd = mkstemp(name);
        if (fd < 0) throw std::runtime_error("mkstemp failed");
        path = name;
    }
    ~TempFile() {
        close(fd);
        unlink(path.c_str());
    }
    std::string Contents() const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    int fd;
    std::string path;
};

}  // namespace

Result Run(const std::vector<std::string>& argv, const std::string& input) {
    TempFile in, out, err;
    if (!input.empty() && write(in.fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        throw std::runtime_error("cannot write the child's input");
    lseek(in.fd, 0, SEEK_SET);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in.fd, 0);
        dup2(out.fd, 1);
        dup2(err.fd, 2);
        execvp(args[0], args.data());
        std::perror("execvp");
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    Result r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = out.Contents();
    r.err = err.Contents();
    return r;
}

}  // namespace childproc
