// The stream between the reader and the engine, without either: messages
// reassembled from reads of any size, their order checked, the header and
// the rows read in place, and every malformed stream named for what is
// wrong with it.
#include "dao/protocol/assembler.h"
#include "dao/protocol/cells.h"
#include "dao/protocol/stream.h"
#include "dao/protocol/stream_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

using namespace brevan::dao::protocol;

namespace {

std::string Framed(MessageKind kind, const std::string& payload) {
    std::string message(1, static_cast<char>(kind));
    PutU32(message, static_cast<std::uint32_t>(payload.size()));
    return message + payload;
}

// A message whose header claims `size` bytes, without them.
std::string Claiming(MessageKind kind, std::uint32_t size) {
    std::string message(1, static_cast<char>(kind));
    PutU32(message, size);
    return message;
}

std::string HeaderPayload(const std::string& table, const std::vector<std::pair<ColumnKind, std::string>>& columns) {
    std::string payload;
    PutText(payload, table);
    PutU32(payload, static_cast<std::uint32_t>(columns.size()));
    for (const auto& [kind, name] : columns) {
        payload.push_back(static_cast<char>(kind));
        PutText(payload, name);
    }
    return payload;
}

std::string FilePayload(std::uint64_t device, std::uint64_t inode) {
    std::string payload;
    PutU64(payload, device);
    PutU64(payload, inode);
    return payload;
}

std::string U64Payload(std::uint64_t value) {
    std::string payload;
    PutU64(payload, value);
    return payload;
}

std::string EndPayload(std::uint64_t rows) {
    std::string payload;
    PutU64(payload, rows);
    return payload;
}

std::string ErrorPayload(std::uint8_t failure, const std::string& detail) {
    std::string payload(1, static_cast<char>(failure));
    PutText(payload, detail);
    return payload;
}

// Cells of a row.
void Text(std::string& out, const std::string& text) {
    out.push_back(static_cast<char>(CellTag::Text));
    PutText(out, text);
}
void Number(std::string& out, CellTag tag, double value) {
    out.push_back(static_cast<char>(tag));
    PutDouble(out, value);
}
void Integer(std::string& out, std::int64_t value) {
    out.push_back(static_cast<char>(CellTag::Integer));
    PutU64(out, static_cast<std::uint64_t>(value));
}
void Tag(std::string& out, CellTag tag) { out.push_back(static_cast<char>(tag)); }

std::string RowsPayload(std::uint32_t count, const std::string& cells) {
    std::string payload;
    PutU32(payload, count);
    return payload + cells;
}

const std::vector<std::pair<ColumnKind, std::string>> kColumns = {
    {ColumnKind::Text, "Senderkennung"}, {ColumnKind::Date, "Datum"}, {ColumnKind::Integer, "Anzahl"},
    {ColumnKind::Floating, "Wert"},      {ColumnKind::YesNo, "Live"}, {ColumnKind::Unread, "Bild"},
};

// One row of kColumns.
std::string Row(const std::string& channel, double date, std::int64_t count, double value, bool live) {
    std::string cells;
    Text(cells, channel);
    Number(cells, CellTag::Date, date);
    Integer(cells, count);
    Number(cells, CellTag::Floating, value);
    Tag(cells, live ? CellTag::True : CellTag::False);
    Tag(cells, CellTag::Null);
    return cells;
}

// Feeds `stream` to an assembler and a checker in reads of at most
// `readSize` bytes. The first fault either reports, else the end's.
struct Outcome {
    StreamFault fault = StreamFault::None;
    std::vector<std::pair<MessageKind, std::string>> messages;  // as the checker let them through
    bool ended = false, failed = false;
    std::uint64_t device = 0, inode = 0, pages = 0;
    ReaderFailure failure{};
    std::string detail;
};

Outcome Feed(bool table, const std::string& stream, std::size_t readSize = 1u << 20) {
    Outcome outcome;
    std::vector<std::unique_ptr<char[]>> storage;
    MessageAssembler assembler([&](std::uint32_t size) {
        storage.push_back(std::make_unique<char[]>(size + 1));
        return storage.back().get();
    });
    StreamChecker checker(table);
    std::optional<Message> message;
    for (std::size_t at = 0; at < stream.size();) {
        const std::span<char> want = assembler.Want();
        const std::size_t n = std::min({want.size(), readSize, stream.size() - at});
        std::memcpy(want.data(), stream.data() + at, n);
        at += n;
        outcome.fault = assembler.Got(n, message);
        if (outcome.fault == StreamFault::None && message)
            outcome.fault = checker.Accept(message->kind, message->payload, message->size);
        if (outcome.fault != StreamFault::None) return outcome;
        if (message) outcome.messages.emplace_back(message->kind, std::string(message->payload, message->size));
    }
    outcome.fault = assembler.Finish();
    outcome.ended = checker.Ended();
    outcome.failed = checker.Failed();
    outcome.device = checker.Device();
    outcome.inode = checker.Inode();
    outcome.pages = checker.Pages();
    outcome.failure = checker.Failure();
    outcome.detail = checker.FailureDetail();
    return outcome;
}

StreamFault FaultOf(bool table, const std::string& stream) { return Feed(table, stream).fault; }

}  // namespace

TEST(ProtocolStream, ReadsOfEverySizeReassembleTheSameMessages) {
    const std::string longText(300, 'x');  // a length of two varint bytes
    const std::vector<std::pair<MessageKind, std::string>> sent = {
        {MessageKind::File, FilePayload(0x801, 123456789)},
        {MessageKind::Header, HeaderPayload("TVDaten", kColumns)},
        {MessageKind::Rows,
         RowsPayload(2, Row("ARD", 45422.5, -7, 0.25, true) + Row("", -1.25, 1LL << 40, -1e20, false))},
        {MessageKind::Progress, U64Payload(40)},
        {MessageKind::Rows, RowsPayload(0, "")},
        {MessageKind::Progress, U64Payload(40)},
        {MessageKind::Rows, RowsPayload(1, Row(longText, 0, 0, 0, true))},
        {MessageKind::End, EndPayload(3)},
    };
    std::string stream;
    for (const auto& [kind, payload] : sent) stream += Framed(kind, payload);

    for (std::size_t readSize = 1; readSize <= stream.size(); ++readSize) {
        SCOPED_TRACE("reads of " + std::to_string(readSize) + " bytes");
        const Outcome outcome = Feed(true, stream, readSize);
        ASSERT_EQ(outcome.fault, StreamFault::None);
        EXPECT_TRUE(outcome.ended);
        ASSERT_EQ(outcome.messages, sent);
        EXPECT_EQ(outcome.device, 0x801u);
        EXPECT_EQ(outcome.inode, 123456789u);
        EXPECT_EQ(outcome.pages, 40u);
    }

    // What the messages hold reads back in place.
    const Outcome outcome = Feed(true, stream);
    Header header;
    ASSERT_EQ(ReadHeader(outcome.messages[1].second.data(), outcome.messages[1].second.size(), header),
              StreamFault::None);
    EXPECT_EQ(header.table, "TVDaten");
    ASSERT_EQ(header.columns.size(), kColumns.size());
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
        EXPECT_EQ(header.columns[c].kind, kColumns[c].first);
        EXPECT_EQ(header.columns[c].name, kColumns[c].second);
    }
    std::vector<const char*> rows;
    for (std::size_t m : {2, 4, 6})
        ASSERT_EQ(ReadRows(outcome.messages[m].second.data(), outcome.messages[m].second.size(), header.columns, rows),
                  StreamFault::None);
    ASSERT_EQ(rows.size(), 3u);
    struct Expected {
        std::string channel;
        double date;
        std::int64_t count;
        double value;
        CellTag live;
    };
    const Expected expected[] = {{"ARD", 45422.5, -7, 0.25, CellTag::True},
                                 {"", -1.25, 1LL << 40, -1e20, CellTag::False},
                                 {longText, 0, 0, 0, CellTag::True}};
    for (std::size_t r = 0; r < 3; ++r) {
        const char* cell = rows[r];
        ASSERT_EQ(TagOf(cell), CellTag::Text);
        EXPECT_EQ(CellText(cell), expected[r].channel);
        cell = NextCell(cell);
        ASSERT_EQ(TagOf(cell), CellTag::Date);
        EXPECT_EQ(CellDouble(cell), expected[r].date);
        cell = NextCell(cell);
        ASSERT_EQ(TagOf(cell), CellTag::Integer);
        EXPECT_EQ(CellInteger(cell), expected[r].count);
        cell = NextCell(cell);
        ASSERT_EQ(TagOf(cell), CellTag::Floating);
        EXPECT_EQ(CellDouble(cell), expected[r].value);
        cell = NextCell(cell);
        EXPECT_EQ(TagOf(cell), expected[r].live);
        cell = NextCell(cell);
        EXPECT_EQ(TagOf(cell), CellTag::Null);
        // The row ends where the next begins.
        if (r == 0) {
            EXPECT_EQ(NextCell(cell), rows[1]);
        }
    }
}

TEST(ProtocolStream, EachMalformedStreamIsNamedForWhatIsWrong) {
    const std::string file = Framed(MessageKind::File, FilePayload(1, 2));
    auto progress = [](std::uint64_t pages) { return Framed(MessageKind::Progress, U64Payload(pages)); };
    const std::string header = file + Framed(MessageKind::Header, HeaderPayload("TVDaten", kColumns));
    const std::string bareHeader = Framed(MessageKind::Header, HeaderPayload("TVDaten", kColumns));
    const std::string oneRow = Framed(MessageKind::Rows, RowsPayload(1, Row("ARD", 1, 2, 3, true)));
    const std::string bareTables = Framed(MessageKind::Tables, [] {
        std::string payload;
        PutU32(payload, 1);
        PutText(payload, "TVDaten");
        return payload;
    }());
    const std::string tables = file + bareTables;
    auto end = [](std::uint64_t rows) { return Framed(MessageKind::End, EndPayload(rows)); };
    const std::string error =
        Framed(MessageKind::Error, ErrorPayload(static_cast<std::uint8_t>(ReaderFailure::NoTable), "Programm, Sender"));

    // Well-formed: a table, the list of tables, and a reader's own error,
    // which may come before the file.
    EXPECT_EQ(FaultOf(true, header + progress(3) + oneRow + progress(3) + progress(9) + end(1)), StreamFault::None);
    EXPECT_EQ(FaultOf(false, tables + end(0)), StreamFault::None);
    const Outcome failed = Feed(true, error);
    EXPECT_EQ(failed.fault, StreamFault::None);
    EXPECT_TRUE(failed.failed);
    EXPECT_EQ(failed.failure, ReaderFailure::NoTable);
    EXPECT_EQ(failed.detail, "Programm, Sender");

    // Out of place: the list of tables in a table's stream, a header in the
    // list's, anything but an error before the file, a second file, header
    // or list, an end of the list without it, rows before the header.
    EXPECT_EQ(FaultOf(true, tables), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(false, header), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(true, bareHeader), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(false, bareTables), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(true, progress(1)), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(true, header + file), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(true, header + bareHeader), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(false, tables + bareTables), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(false, file + end(0)), StreamFault::OutOfPlace);
    EXPECT_EQ(FaultOf(true, file + oneRow + bareHeader), StreamFault::RowsOutOfPlace);
    EXPECT_EQ(FaultOf(true, std::string("X\0\0\0\0", 5)), StreamFault::UnknownKind);

    // The end's count differs from the rows sent, or does not read.
    EXPECT_EQ(FaultOf(true, header + oneRow + end(2)), StreamFault::CountMismatch);
    EXPECT_EQ(FaultOf(true, header + oneRow + oneRow + end(1)), StreamFault::CountMismatch);
    EXPECT_EQ(FaultOf(true, header + Framed(MessageKind::End, std::string("\1\0\0\0", 4))), StreamFault::CountMismatch);
    EXPECT_EQ(FaultOf(true, file + end(0)), StreamFault::NoColumns);

    // A file or progress report that does not read; pages that go back.
    EXPECT_EQ(FaultOf(true, Framed(MessageKind::File, U64Payload(1))), StreamFault::MalformedFile);
    EXPECT_EQ(FaultOf(true, Framed(MessageKind::File, FilePayload(1, 2) + "!")), StreamFault::MalformedFile);
    EXPECT_EQ(FaultOf(true, header + Framed(MessageKind::Progress, "\1\2\3")), StreamFault::MalformedProgress);
    EXPECT_EQ(FaultOf(true, header + progress(5) + progress(4)), StreamFault::MalformedProgress);

    // Anything after the end or an error.
    EXPECT_EQ(FaultOf(true, header + end(0) + oneRow), StreamFault::MoreAfterEnd);
    EXPECT_EQ(FaultOf(false, tables + end(0) + end(0)), StreamFault::MoreAfterEnd);
    EXPECT_EQ(FaultOf(true, header + error + end(0)), StreamFault::MoreAfterEnd);

    // Errors that do not read: an unknown failure, no detail, a byte too many.
    EXPECT_EQ(FaultOf(true, Framed(MessageKind::Error, ErrorPayload(0, "x"))), StreamFault::MalformedError);
    EXPECT_EQ(
        FaultOf(true, Framed(MessageKind::Error, ErrorPayload(static_cast<std::uint8_t>(kLastReaderFailure + 1), "x"))),
        StreamFault::MalformedError);
    EXPECT_EQ(FaultOf(true, Framed(MessageKind::Error, "\4")), StreamFault::MalformedError);
    EXPECT_EQ(FaultOf(true, Framed(MessageKind::Error, ErrorPayload(4, "x") + "!")), StreamFault::MalformedError);

    // Sizes no reader sends are refused before anything is allocated for them.
    EXPECT_EQ(FaultOf(true, header + Claiming(MessageKind::Rows, kMaxPayload + 1)), StreamFault::ImpossibleSize);
    EXPECT_EQ(FaultOf(true, Claiming(MessageKind::Header, (1u << 24) + 1)), StreamFault::ImpossibleSize);
    EXPECT_EQ(FaultOf(true, Claiming(MessageKind::Error, 0xFFFFFFFFu)), StreamFault::ImpossibleSize);

    // A stream that stops inside a message header or payload breaks off.
    const std::string whole = header + oneRow + end(1);
    EXPECT_EQ(FaultOf(true, whole.substr(0, header.size() + 3)), StreamFault::BreaksOff);
    EXPECT_EQ(FaultOf(true, whole.substr(0, header.size() + oneRow.size() - 1)), StreamFault::BreaksOff);
    EXPECT_EQ(FaultOf(true, whole.substr(0, whole.size() - 1)), StreamFault::BreaksOff);
    // Stopping between messages is no fault of the assembler's; the checker
    // has then seen no end, which the engine names itself.
    const Outcome unended = Feed(true, header + oneRow);
    EXPECT_EQ(unended.fault, StreamFault::None);
    EXPECT_FALSE(unended.ended || unended.failed);
}

TEST(ProtocolCells, HeadersAndRowsThatDoNotReadAreRefused) {
    Header header;
    auto readHeader = [&](const std::string& payload) { return ReadHeader(payload.data(), payload.size(), header); };
    EXPECT_EQ(readHeader(HeaderPayload("T", {})), StreamFault::MalformedHeader);  // no columns
    EXPECT_EQ(readHeader(HeaderPayload("T", {{static_cast<ColumnKind>(0), "A"}})), StreamFault::MalformedHeader);
    EXPECT_EQ(readHeader(HeaderPayload("T", {{static_cast<ColumnKind>(7), "A"}})), StreamFault::MalformedHeader);
    EXPECT_EQ(readHeader(HeaderPayload("T", {{ColumnKind::Text, "A"}}) + "!"), StreamFault::MalformedHeader);
    const std::string good = HeaderPayload("T", {{ColumnKind::Text, "Name"}});
    EXPECT_EQ(readHeader(good.substr(0, good.size() - 1)), StreamFault::MalformedHeader);

    const std::vector<HeaderColumn> columns = {{"Text", ColumnKind::Text}, {"Yes", ColumnKind::YesNo}};
    auto readRows = [&](std::uint32_t count, const std::string& cells) {
        const std::string payload = RowsPayload(count, cells);
        std::vector<const char*> rows;
        return ReadRows(payload.data(), payload.size(), columns, rows);
    };
    std::string row;
    Text(row, "abc");
    Tag(row, CellTag::True);
    EXPECT_EQ(readRows(1, row), StreamFault::None);
    EXPECT_EQ(readRows(2, row), StreamFault::MalformedRows);               // fewer rows than counted
    EXPECT_EQ(readRows(1, row + "!"), StreamFault::MalformedRows);         // bytes after the last row
    EXPECT_EQ(readRows(1, row.substr(0, 3)), StreamFault::MalformedRows);  // a text cut short
    EXPECT_EQ(readRows(1, "\1\x80"), StreamFault::MalformedRows);          // a length cut short
    EXPECT_EQ(readRows(0, ""), StreamFault::None);

    std::string wrong;
    Number(wrong, CellTag::Date, 1);  // a date in a text column
    Tag(wrong, CellTag::True);
    EXPECT_EQ(readRows(1, wrong), StreamFault::ValueDoesNotFit);
    std::string nullYes;
    Text(nullYes, "a");
    Tag(nullYes, CellTag::Null);  // Yes/No is never Null
    EXPECT_EQ(readRows(1, nullYes), StreamFault::ValueDoesNotFit);
    EXPECT_EQ(readRows(1, "\7"), StreamFault::ValueDoesNotFit);  // no such tag
}
