// What the slow_share server and the tests' SlowShare agree on besides the
// command line (share_options.h): how a mount of the server shows in the
// mount table, and the log line of a call the server holds.
#pragma once

#include <sys/types.h>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace slowshare {

// The file system type of every slow_share mount ("fuse." + subtype).
inline constexpr std::string_view kSubtype = "slow_share";
inline constexpr std::string_view kFsType = "fuse.slow_share";

// The source column of a mount names the server's process, so that a mount
// whose server has gone can be told from one in use and removed.
inline constexpr std::string_view kSourcePrefix = "slow_share:";

inline std::string SourceOf(pid_t server) { return std::string(kSourcePrefix) + std::to_string(server); }

// The server named by a mount's source; nothing when it is not ours.
inline std::optional<pid_t> ServerOf(std::string_view source) {
    if (!source.starts_with(kSourcePrefix)) return std::nullopt;
    source.remove_prefix(kSourcePrefix.size());
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(source.data(), source.data() + source.size(), pid);
    if (error != std::errc() || end != source.data() + source.size() || pid <= 0) return std::nullopt;
    return pid;
}

// The server writes one line starting with this to standard error when it
// starts holding a call, followed by what it holds ("open of /tvdaten.mdb").
inline constexpr std::string_view kHeldCallLine = "slow_share: holding ";

}  // namespace slowshare
