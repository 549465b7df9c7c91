#pragma once
// Dynamic library probe: can a shared library be loaded?
#include <string>

namespace brevan {

// Asks the dynamic loader to load `libraryName` (a file name such as
// "libpugixml.so.1", searched the loader's usual way, or a path) and unloads
// it again at once. True when the load succeeded; never throws. An empty
// name means the program itself (as for dlopen) and is always available.
bool LibraryAvailable(const std::string& libraryName);

}  // namespace brevan
