#pragma once
// Writing a whole buffer to a descriptor.
#include <cstddef>

namespace brevan {

// Writes all of `data` to `fd`, retrying short and interrupted writes.
// Returns 0, or the errno of the failed write.
int WriteAll(int fd, const char* data, std::size_t size);

}  // namespace brevan
