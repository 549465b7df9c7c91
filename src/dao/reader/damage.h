#pragma once
// How the reader gives up on a file whose structure it finds broken.
#include <string>

namespace brevan::dao::reader {

// Thrown inside the reader; the request ends with one 'E' message (Damaged)
// whose detail is `detail`, e.g. "row 3 on page 17 of table "TVDaten" is broken".
struct Damage {
    std::string detail;
};

}  // namespace brevan::dao::reader
