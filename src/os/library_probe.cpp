#include "os/library_probe.h"

#include <dlfcn.h>

namespace brevan {

bool LibraryAvailable(const std::string& libraryName) {
    void* handle = ::dlopen(libraryName.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        ::dlerror();  // clear the loader's pending message
        return false;
    }
    ::dlclose(handle);
    return true;
}

}  // namespace brevan
