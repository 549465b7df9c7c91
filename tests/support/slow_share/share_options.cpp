#include "support/slow_share/share_options.h"

#include <charconv>
#include <stdexcept>
#include <string_view>

namespace slowshare {

namespace {

constexpr std::string_view kBandwidth = "--bandwidth";
constexpr std::string_view kReadDelay = "--read-delay-ms";
constexpr std::string_view kHangOpen = "--hang-open";
constexpr std::string_view kHangStat = "--hang-stat";
constexpr std::string_view kHangReadsAfter = "--hang-reads-after";
constexpr std::string_view kIgnoreInterrupts = "--ignore-interrupts";

std::uint64_t Number(std::string_view option, std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw std::invalid_argument(std::string(option) + " needs a whole number, not \"" + std::string(text) + "\"");
    return value;
}

std::string Name(std::string_view option, std::string_view text) {
    while (text.starts_with('/')) text.remove_prefix(1);
    if (text.empty()) throw std::invalid_argument(std::string(option) + " needs the name of a file in the share");
    return std::string(text);
}

}  // namespace

std::vector<std::string> ToArguments(const Options& options) {
    std::vector<std::string> args;
    if (options.bandwidth != 0) args.insert(args.end(), {std::string(kBandwidth), std::to_string(options.bandwidth)});
    if (options.readDelay.count() != 0)
        args.insert(args.end(), {std::string(kReadDelay), std::to_string(options.readDelay.count())});
    for (const std::string& name : options.hangOpen) args.insert(args.end(), {std::string(kHangOpen), name});
    for (const std::string& name : options.hangStat) args.insert(args.end(), {std::string(kHangStat), name});
    for (const auto& [name, offset] : options.hangReadsAfter)
        args.insert(args.end(), {std::string(kHangReadsAfter), name + ":" + std::to_string(offset)});
    if (options.ignoreInterrupts) args.emplace_back(kIgnoreInterrupts);
    return args;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    std::vector<std::string> operands;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--")) {
            operands.emplace_back(arg);
            continue;
        }
        if (arg == kIgnoreInterrupts) {
            line.options.ignoreInterrupts = true;
            continue;
        }
        if (i + 1 == args.size()) throw std::invalid_argument(std::string(arg) + " needs a value");
        const std::string_view value = args[++i];
        if (arg == kBandwidth) {
            line.options.bandwidth = Number(arg, value);
        } else if (arg == kReadDelay) {
            line.options.readDelay = std::chrono::milliseconds(Number(arg, value));
        } else if (arg == kHangOpen) {
            line.options.hangOpen.push_back(Name(arg, value));
        } else if (arg == kHangStat) {
            line.options.hangStat.push_back(Name(arg, value));
        } else if (arg == kHangReadsAfter) {
            // The offset follows the last colon; a name may hold colons.
            const std::size_t colon = value.rfind(':');
            if (colon == std::string_view::npos) throw std::invalid_argument(std::string(arg) + " needs NAME:BYTES");
            line.options.hangReadsAfter[Name(arg, value.substr(0, colon))] = Number(arg, value.substr(colon + 1));
        } else {
            throw std::invalid_argument("unknown option " + std::string(arg));
        }
    }
    if (operands.size() != 2) throw std::invalid_argument("needs a backing folder and a mount point");
    line.backingFolder = operands[0];
    line.mountPoint = operands[1];
    return line;
}

std::string Usage() {
    return "usage: slow_share [OPTION]... BACKING_FOLDER MOUNT_POINT\n"
           "Mounts a read-only mirror of BACKING_FOLDER that misbehaves as told; runs until\n"
           "SIGTERM, SIGINT or SIGHUP, or until the mount is detached.\n"
           "  --bandwidth BYTES_PER_SEC     all reads together deliver about this much a second\n"
           "  --read-delay-ms N             every read answers N ms later\n"
           "  --hang-open NAME              opening NAME is never answered\n"
           "  --hang-stat NAME              the attributes of NAME are never answered\n"
           "  --hang-reads-after NAME:BYTES reads of NAME reaching offset BYTES are never answered\n"
           "  --ignore-interrupts           held calls ignore their callers' signals\n"
           "A held call ends with EIO when the server stops, with EINTR when its caller\n"
           "gets a signal (unless --ignore-interrupts).\n";
}

}  // namespace slowshare
