// brevan-reader: reads an Access database with libmdb for the engine that
// started it, and sends what it read as a stream of messages on descriptor 3
// (dao/protocol/stream.h). libmdb is not safe on damaged files: it can crash,
// loop for ever or print to the terminal. In a process of its own each of
// these becomes one clear message in the engine, and the engine's process is
// never at risk.
//
//   brevan-reader ENGINE-PID DATABASE-PATH [TABLE [COLUMN...]]
#include "dao/protocol/stream.h"
#include "dao/reader/read_request.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using brevan::dao::protocol::ReaderExit;

// Room the reader gets for its work: a table's largest memos, libmdb's
// buffers. It counts on top of what the process maps at its start, which a
// build with AddressSanitizer makes terabytes of.
constexpr std::uint64_t kReaderMemory = 4ull << 30;

void LimitMemory() {
    std::uint64_t pages = 0;
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char text[64] = {};
        if (::read(fd, text, sizeof text - 1) > 0) pages = std::strtoull(text, nullptr, 10);
        ::close(fd);
    }
    const std::uint64_t limit = pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)) + kReaderMemory;
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_AS, &rl) == 0 && (rl.rlim_max == RLIM_INFINITY || rl.rlim_max > limit)) {
        rl.rlim_cur = limit;
        ::setrlimit(RLIMIT_AS, &rl);
    }
}

int Exit(ReaderExit code) { return static_cast<int>(code); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Exit(ReaderExit::Usage);
    // The reader must not outlive the engine that waits for it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const long engine = std::strtol(argv[1], nullptr, 10);
    if (engine <= 0 || ::getppid() != static_cast<pid_t>(engine)) return Exit(ReaderExit::Orphaned);
    // A crash is a crash: the engine tells "the reader crashed" by the signal
    // that ended it, also in a build whose sanitizer runtime has put handlers
    // of its own on these (its checks of our code need none of them).
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(sig, SIG_DFL);
    // These change how libmdb finds files and decodes text; the reader reads
    // the file it was given, as the file stores its text.
    for (const char* name : {"MDBPATH", "MDBOPTS", "MDBICONV", "MDB_JET3_CHARSET"}) ::unsetenv(name);
    LimitMemory();
    brevan::dao::reader::ReadRequest request{
        argv[2], argc >= 4 ? argv[3] : "", {argv + std::min(argc, 4), argv + argc}};
    // The stream is written with write(2), nothing is buffered: leave at
    // once. libmdb does not free all it holds, which a leak checker would
    // report as the reader's failure.
    ::_exit(Exit(brevan::dao::reader::Read(request, brevan::dao::protocol::kStreamDescriptor)));
}
