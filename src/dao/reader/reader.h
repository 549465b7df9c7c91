#pragma once
// The part of the engine that runs in the reader process: it opens the file
// with libmdb, reads the catalog or one table, and writes the stream of
// mdb_stream.h. Nothing here may touch Qt or ICU: the process is a fork of
// a possibly multi-threaded application and uses only libmdb, glib, iconv
// and the C++ library.
#include <string>

namespace brevan::dao::detail {

struct ReaderRequest {
    std::string path;   // absolute, so that libmdb never searches MDBPATH
    std::string table;  // empty: list the user tables only
};

// Reads what `request` asks for and writes the stream to `fd`. Returns the
// process's exit status: 0 once the stream is complete (an 'E' message
// included), non-zero when writing failed or the reader ran out of memory.
int ReadIntoStream(const ReaderRequest& request, int fd);

} // namespace brevan::dao::detail
