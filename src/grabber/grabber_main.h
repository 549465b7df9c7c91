#pragma once
// The grabber program tv_grab_de_brevan: reads its options and config file,
// runs the updater when one is named, and writes the guide.
namespace brevan {

// The whole program. Returns its exit status: 0 when the document was
// written (an empty listing or window included, and also when the updater
// failed: the database as it stands is better than no guide), 1 after one
// message on standard error (then standard output has received nothing), 2
// for a usage error. Nothing but the document reaches standard output.
int GrabberMain(int argc, char** argv);

}  // namespace brevan
