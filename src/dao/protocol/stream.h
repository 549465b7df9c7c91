#pragma once
// The byte stream from the reader process to the engine.
//
// A stream is a series of messages, each a kind byte, a 32-bit little-endian
// payload length and the payload:
//   'F' file:   u64 device, u64 inode of the database file, once it is open
//   'P' progress: u64 pages read from the file so far, at least every second
//       while the reader scans a table
//   'T' tables: u32 count, then each name (varint length + UTF-8)
//   'H' header: table name, u32 column count, then per column a kind byte
//       (ColumnKind) and the name
//   'D' rows:   u32 row count, then the cells of each row in column order
//   'E' error:  u8 ReaderFailure, then a detail text
//   'Z' end:    u64 number of rows sent
// A cell is a tag byte (CellTag) followed by: text a varint length and the
// UTF-8 bytes; date and floating an 8-byte IEEE double; integer an 8-byte
// two's complement; Null and Yes/No nothing. All numbers little-endian.
// Varints are LEB128 (7 bits a byte, low first, high bit = more); a text
// cell's length may be padded to more bytes than it needs (0x80 bytes, then
// 0x00), so that the reader can decode a text in place after room for its
// length.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace brevan::dao::protocol {

enum class MessageKind : char {
    File = 'F',
    Progress = 'P',
    Tables = 'T',
    Header = 'H',
    Rows = 'D',
    Error = 'E',
    End = 'Z',
};

enum class CellTag : std::uint8_t {
    Null = 0,
    Text = 1,
    Date = 2,
    Integer = 3,
    Floating = 4,
    False = 5,
    True = 6,
};

// What a column's values are, for sorting.
enum class ColumnKind : std::uint8_t {
    Text = 1,
    Date = 2,
    Integer = 3,
    Floating = 4,
    YesNo = 5,
    Unread = 6,  // binary, OLE and unknown types: always Null
};

// Failures the reader itself recognises and reports in an 'E' message.
enum class ReaderFailure : std::uint8_t {
    NotAccess = 1,   // libmdb does not take the file as an Access database
    NoCatalog = 2,   // the list of tables cannot be read
    NoTable = 3,     // the requested table does not exist
    Damaged = 4,     // structure found broken while reading; detail says where
    Unreadable = 5,  // an operating-system error; detail says which
    Missing = 6,     // there is no such file
    Folder = 7,      // the path names a folder
    NotRegular = 8,  // the path names a device, a pipe or a socket
};
constexpr std::uint8_t kLastReaderFailure = 8;

// The reader program's exit status. It exits with Completed once the stream
// is complete, an 'E' message included; the others mean the stream is not.
enum class ReaderExit : int {
    Completed = 0,
    Usage = 2,        // started with arguments it does not understand
    WriteFailed = 3,  // the stream could not be written (the engine went away)
    Failed = 4,       // an unexpected failure inside the reader
    OutOfMemory = 5,
    Orphaned = 6,  // the engine that started it had ended already
};

// The reader program's command line: the engine's process id, the database
// path (absolute, so that libmdb never searches MDBPATH) and, to read a
// table, its name (without one the reader lists the user tables), then the
// names of the columns whose values it is to send (none: every column; the
// others are sent as Unread columns, all Null).
// The stream goes to descriptor kStreamDescriptor.
constexpr int kStreamDescriptor = 3;

constexpr std::size_t kMessageHeaderSize = 5;
// Largest payload a well-formed stream carries (a row of many long memos).
constexpr std::uint32_t kMaxPayload = 1u << 30;

inline void PutU32(std::string& out, std::uint32_t v) {
    char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.append(b, 4);
}
inline void PutU64(std::string& out, std::uint64_t v) {
    PutU32(out, static_cast<std::uint32_t>(v));
    PutU32(out, static_cast<std::uint32_t>(v >> 32));
}
inline void PutVarint(std::string& out, std::uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}
// The bytes PutVarint takes for `v`.
inline std::size_t VarintWidth(std::uint64_t v) {
    std::size_t width = 1;
    for (; v >= 0x80; v >>= 7) ++width;
    return width;
}
// Writes `v` into exactly `width` bytes at `at`; `width` is at least
// VarintWidth(v).
inline void PatchVarint(char* at, std::uint64_t v, std::size_t width) {
    for (std::size_t i = 0; i + 1 < width; ++i, v >>= 7) at[i] = static_cast<char>((v & 0x7F) | 0x80);
    at[width - 1] = static_cast<char>(v);
}
inline void PutText(std::string& out, std::string_view text) {
    PutVarint(out, text.size());
    out.append(text);
}
inline void PutDouble(std::string& out, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    PutU64(out, bits);
}

// Reads a payload; every read checks the bounds and reports failure by
// returning false (a short or malformed payload).
class PayloadReader {
public:
    PayloadReader(const char* data, std::size_t size) : p_(data), end_(data + size) {}

    bool AtEnd() const { return p_ == end_; }
    const char* Position() const { return p_; }

    bool U8(std::uint8_t& v) {
        if (p_ == end_) return false;
        v = static_cast<std::uint8_t>(*p_++);
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (end_ - p_ < 4) return false;
        const auto* b = reinterpret_cast<const unsigned char*>(p_);
        v = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
        p_ += 4;
        return true;
    }
    bool U64(std::uint64_t& v) {
        std::uint32_t lo, hi;
        if (!U32(lo) || !U32(hi)) return false;
        v = lo | (std::uint64_t(hi) << 32);
        return true;
    }
    bool Double(double& d) {
        std::uint64_t bits;
        if (!U64(bits)) return false;
        std::memcpy(&d, &bits, 8);
        return true;
    }
    bool Varint(std::uint64_t& v) {
        v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (p_ == end_) return false;
            const auto b = static_cast<unsigned char>(*p_++);
            v |= std::uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool Text(std::string_view& text) {
        std::uint64_t n;
        if (!Varint(n) || n > static_cast<std::uint64_t>(end_ - p_)) return false;
        text = std::string_view(p_, n);
        p_ += n;
        return true;
    }
    bool Skip(std::size_t n) {
        if (n > static_cast<std::size_t>(end_ - p_)) return false;
        p_ += n;
        return true;
    }

private:
    const char* p_;
    const char* end_;
};

}  // namespace brevan::dao::protocol
