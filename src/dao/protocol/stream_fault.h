#pragma once
// What can be wrong with the stream the engine receives from the reader.
#include <string_view>

namespace brevan::dao::protocol {

enum class StreamFault {
    None,
    BreaksOff,       // the stream ends in the middle of a message
    ImpossibleSize,  // a message longer than any the reader sends
    UnknownKind,
    OutOfPlace,         // a message where the order of the stream has none
    RowsOutOfPlace,     // rows before the header
    MalformedError,     // an 'E' message that does not read
    MalformedFile,      // an 'F' message that does not read
    MalformedProgress,  // a 'P' message that does not read, or pages that went back
    CountMismatch,      // the end's row count differs from the rows sent
    NoColumns,          // a table read that ended without a header
    MoreAfterEnd,       // anything after the end or an error
    MalformedHeader,
    MalformedRows,
    ValueDoesNotFit,  // a cell whose kind is not its column's
};

// The fault as the words of a message: "the database reader sent ...".
std::string_view Describe(StreamFault fault);

}  // namespace brevan::dao::protocol
