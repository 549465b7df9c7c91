// The library probe asks the real dynamic loader.
#include "os/library_probe.h"

#include <gtest/gtest.h>

using brevan::LibraryAvailable;

TEST(LibraryProbe, TheProgramItselfIsAvailable) { EXPECT_TRUE(LibraryAvailable("")); }

TEST(LibraryProbe, AMadeUpLibraryIsNotAvailable) {
    EXPECT_FALSE(LibraryAvailable("libbrevan-made-up-name.so.7"));
    EXPECT_FALSE(LibraryAvailable("/nonexistent/folder/libpugixml.so.1"));
    EXPECT_FALSE(LibraryAvailable("/etc/hostname"));  // a file, but no shared object
}
