#pragma once
// What the reader program does for one request: list the user tables, or
// read one table whole.
#include "dao/protocol/stream.h"

#include <string>
#include <vector>

namespace brevan::dao::reader {

struct ReadRequest {
    std::string path;   // absolute, so that libmdb never searches MDBPATH
    std::string table;  // empty: list the user tables only
    // The columns whose values are sent, matched without regard to case;
    // the others go as Unread columns of Nulls. Empty: every column.
    std::vector<std::string> columns;
};

// Reads what `request` asks for and writes the stream to `fd`. Returns
// Completed once the stream is complete (an 'E' message included), else why
// it is not.
protocol::ReaderExit Read(const ReadRequest& request, int fd);

}  // namespace brevan::dao::reader
