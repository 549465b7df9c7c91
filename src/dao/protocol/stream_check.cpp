#include "dao/protocol/stream_check.h"

namespace brevan::dao::protocol {

StreamFault StreamChecker::Accept(MessageKind kind, const char* payload, std::uint32_t size) {
    if (ended_ || failed_) return StreamFault::MoreAfterEnd;
    PayloadReader in(payload, size);
    switch (kind) {
    case MessageKind::Error: {
        std::uint8_t code;
        std::string_view text;
        if (!in.U8(code) || !in.Text(text) || !in.AtEnd() || code < 1 || code > kLastReaderFailure)
            return StreamFault::MalformedError;
        failed_ = true;
        failure_ = static_cast<ReaderFailure>(code);
        detail_.assign(text);
        return StreamFault::None;
    }
    case MessageKind::File:
        if (sawFile_) return StreamFault::OutOfPlace;
        if (!in.U64(device_) || !in.U64(inode_) || !in.AtEnd()) return StreamFault::MalformedFile;
        sawFile_ = true;
        return StreamFault::None;
    case MessageKind::Progress: {
        std::uint64_t pages;
        if (!sawFile_) return StreamFault::OutOfPlace;
        if (!in.U64(pages) || !in.AtEnd() || pages < pages_) return StreamFault::MalformedProgress;
        pages_ = pages;
        return StreamFault::None;
    }
    case MessageKind::End: {
        std::uint64_t total;
        if (!in.U64(total) || !in.AtEnd() || total != rows_) return StreamFault::CountMismatch;
        if (table_ && !sawHeader_) return StreamFault::NoColumns;
        if (!table_ && !sawTables_) return StreamFault::OutOfPlace;
        ended_ = true;
        return StreamFault::None;
    }
    case MessageKind::Tables:
        if (table_ || !sawFile_ || sawTables_) return StreamFault::OutOfPlace;
        sawTables_ = true;
        return StreamFault::None;
    case MessageKind::Header:
        if (!table_ || !sawFile_ || sawHeader_) return StreamFault::OutOfPlace;
        sawHeader_ = true;
        return StreamFault::None;
    case MessageKind::Rows: {
        std::uint32_t rows;
        if (!sawHeader_ || !in.U32(rows)) return StreamFault::RowsOutOfPlace;
        rows_ += rows;
        return StreamFault::None;
    }
    }
    return StreamFault::UnknownKind;
}

}  // namespace brevan::dao::protocol
