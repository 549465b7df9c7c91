#pragma once
// Which shared object holds the XML library, for the start-up check.
#include <string>

namespace brevan {

// The file name of the shared object that holds the XML library the program
// really uses (pugixml), as the loader found it at run time, e.g.
// "libpugixml.so.1". Empty when the XML library is built into the program
// itself, in which case there is nothing separate to probe.
std::string XmlLibraryName();

}  // namespace brevan
