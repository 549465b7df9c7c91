// How a slow_share server misbehaves, and its command line both ways:
//
//   slow_share [OPTION]... BACKING_FOLDER MOUNT_POINT
//
// NAME is a file's path inside the share without a leading slash
// ("tvdaten.mdb", "sub/x.mdb"); options that take one may be repeated.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace slowshare {

struct Options {
    // --bandwidth BYTES_PER_SEC: all reads together deliver about this many
    // bytes a second (each waits its turn); 0 for no limit.
    std::uint64_t bandwidth = 0;
    // --read-delay-ms N: every read answers this much later, on top.
    std::chrono::milliseconds readDelay{0};
    // --hang-open NAME: opening the file is never answered.
    std::vector<std::string> hangOpen{};
    // --hang-stat NAME: the file's attributes are never answered. The kernel
    // asks for them to look the name up, so any use of the name hangs, an
    // open included; a file opened before is not affected. With libfuse 3.14
    // (Debian 12) the kernel looks up one name of a folder at a time, so
    // while this holds, other names of the same folder and listings of it
    // wait too (libfuse leaves parallel lookups out of its INIT answer).
    std::vector<std::string> hangStat{};
    // --hang-reads-after NAME:BYTES: a read of the file that needs a byte at
    // or after offset BYTES, or starts there, is never answered; reads wholly
    // before it are. The server passes the callers' reads through unchanged
    // (no page cache, no read-ahead), so a 4096-byte read at 0 is answered
    // with BYTES 4096 and the next one is held.
    std::map<std::string, std::uint64_t> hangReadsAfter{};
    // --ignore-interrupts: a held call ignores its caller's signals, as on a
    // hard-mounted share, so that even a killed caller stays until the share
    // stops. By default a held call ends with EINTR when its caller gets a
    // signal, so that a killed caller goes at once.
    bool ignoreInterrupts = false;
};

struct CommandLine {
    Options options;
    std::string backingFolder;
    std::string mountPoint;
};

// The options as arguments, in the order above; the defaults give none.
std::vector<std::string> ToArguments(const Options& options);

// Reads the arguments after the program name. Throws std::invalid_argument
// saying what is wrong with them.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage text, for the server's --help and its refusals.
std::string Usage();

}  // namespace slowshare
