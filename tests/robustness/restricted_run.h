// Runs the installed copy of brevan the way a scheduled job does, with
// limits a test cannot otherwise arrange: another user (root writes into
// read-only folders) or a cap on the size of files it writes.
#pragma once

#include "support/run_brevan.h"

#include <sys/types.h>
#include <string>
#include <vector>

namespace robustness {

struct Restrictions {
    // Run as this user and group (needs root); -1 keeps ours.
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    // Largest file the run may write, in bytes (RLIMIT_FSIZE, with SIGXFSZ
    // ignored so that a write fails with EFBIG); 0 for no limit.
    long long maxFileSize = 0;
    // Most descriptors the run may have open (RLIMIT_NOFILE), counted from
    // the three standard streams alone; 0 for no limit.
    int maxDescriptors = 0;
};

// As Installation::Run, with the restrictions applied in the child before
// it starts brevan.
testsupport::RunResult RunRestricted(const testsupport::Installation& app, const std::vector<std::string>& args,
                                     const Restrictions& restrictions, int timeoutSeconds = 120);

// The user "nobody" (65534 when the system names none).
uid_t NobodyUid();
gid_t NobodyGid();

}  // namespace robustness
