#include "xml/xml_library.h"

#include <dlfcn.h>
#include <pugixml.hpp>

namespace brevan {

std::string XmlLibraryName() {
    // Ask the loader which object the XML code lives in, rather than trusting
    // a name fixed at build time: that is the object this very process uses.
    Dl_info xml{};
    Dl_info self{};
    const auto xmlFunction = &pugi::get_memory_allocation_function;
    if (::dladdr(reinterpret_cast<void*>(xmlFunction), &xml) == 0 || xml.dli_fname == nullptr) return {};
    if (::dladdr(reinterpret_cast<void*>(&XmlLibraryName), &self) != 0 && self.dli_fbase == xml.dli_fbase) return {};
    const std::string path = xml.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace brevan
