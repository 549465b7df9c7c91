// The library probe asks the real dynamic loader.
#include "os/library_probe.h"

#include <gtest/gtest.h>

using brevan::LibraryAvailable;
using brevan::XmlLibraryName;

TEST(LibraryProbe, TheXmlLibraryInUseIsFoundAndLoads) {
    const std::string name = XmlLibraryName();
    EXPECT_EQ(name.rfind("libpugixml.so", 0), 0u) << name;  // linked as a shared object here
    EXPECT_TRUE(LibraryAvailable(name));
}

TEST(LibraryProbe, AMadeUpLibraryIsNotAvailable) {
    EXPECT_FALSE(LibraryAvailable("libbrevan-made-up-name.so.7"));
    EXPECT_FALSE(LibraryAvailable("/nonexistent/folder/libpugixml.so.1"));
    EXPECT_FALSE(LibraryAvailable("/etc/hostname"));  // a file, but no shared object
}
