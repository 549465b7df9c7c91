#include "grabber/grabber_main.h"
#include "os/standard_streams.h"

int main(int argc, char** argv) {
    // Before anything opens a descriptor that could take a standard stream's place.
    brevan::OpenClosedStandardStreams();
    return brevan::GrabberMain(argc, argv);
}
