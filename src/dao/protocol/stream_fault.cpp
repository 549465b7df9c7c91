#include "dao/protocol/stream_fault.h"

namespace brevan::dao::protocol {

std::string_view Describe(StreamFault fault) {
    switch (fault) {
    case StreamFault::None: return "the database reader's report is in order";
    case StreamFault::BreaksOff: return "the database reader's report breaks off in the middle";
    case StreamFault::ImpossibleSize: return "the database reader sent a message of impossible size";
    case StreamFault::UnknownKind: return "the database reader sent a message of unknown kind";
    case StreamFault::OutOfPlace: return "the database reader sent a message out of place";
    case StreamFault::RowsOutOfPlace: return "the database reader sent rows out of place";
    case StreamFault::MalformedError: return "the database reader sent a malformed error report";
    case StreamFault::MalformedFile: return "the database reader sent a malformed file report";
    case StreamFault::MalformedProgress: return "the database reader sent a malformed progress report";
    case StreamFault::CountMismatch: return "the database reader's row count does not add up";
    case StreamFault::NoColumns: return "the database reader sent no columns";
    case StreamFault::MoreAfterEnd: return "the database reader sent more after its end";
    case StreamFault::MalformedHeader: return "the database reader sent a malformed header";
    case StreamFault::MalformedRows: return "the database reader sent malformed rows";
    case StreamFault::ValueDoesNotFit: return "the database reader sent a value that does not fit its column";
    }
    return "the database reader sent something unknown";
}

}  // namespace brevan::dao::protocol
