// The XML library in use is the shared object the loader really found.
#include "xml/xml_library.h"
#include "os/library_probe.h"

#include <gtest/gtest.h>

TEST(XmlLibrary, TheXmlLibraryInUseIsFoundAndLoads) {
    const std::string name = brevan::XmlLibraryName();
    EXPECT_EQ(name.rfind("libpugixml.so", 0), 0u) << name;  // linked as a shared object here
    EXPECT_TRUE(brevan::LibraryAvailable(name));
}
