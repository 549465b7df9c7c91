#pragma once
// Dynamic library probe: can a shared library be loaded?
#include <string>

namespace brevan {

// Asks the dynamic loader to load `libraryName` (a file name such as
// "libpugixml.so.1", searched the loader's usual way, or a path) and unloads
// it again at once. True when the load succeeded; never throws. An empty
// name means the program itself (as for dlopen) and is always available.
bool LibraryAvailable(const std::string& libraryName);

// The file name of the shared object that holds the XML library the program
// really uses (pugixml), as the loader found it at run time, e.g.
// "libpugixml.so.1". Empty when the XML library is built into the program
// itself, in which case there is nothing separate to probe.
std::string XmlLibraryName();

} // namespace brevan
