// The mount table as this process sees it, and lazy detaching from it.
#pragma once

#include <string>
#include <vector>

namespace slowshare {

struct Mount {
    int id = 0;              // unique among the mounts present at one time
    std::string mountPoint;  // absolute, escapes undone
    std::string fsType;      // "fuse.slow_share", "ext4", ...
    std::string source;      // escapes undone
};

// The mounts of /proc/self/mountinfo in its order; empty when it cannot be read.
std::vector<Mount> ReadMounts();

// Lazily detaches what is mounted at `mountPoint` (umount2 with MNT_DETACH;
// without the privilege `fusermount3 -u -z`, waited for at most 5 s), as
// `fusermount3 -u -z` does: callers inside it keep it until they leave.
// Returns false with the reason in `why` when it could not.
bool Detach(const std::string& mountPoint, std::string* why);

}  // namespace slowshare
