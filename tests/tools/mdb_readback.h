// Reads a table back through libmdb, the way the converter reads listings,
// plus the stored bytes of each field as libmdb locates them.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace readback {

struct Cell {
    bool isNull = true;    // from the row's null mask (mdb_crack_row)
    std::string text;      // libmdb's text of the value (bound column)
    std::string raw;       // stored bytes: fixed columns' bytes, Text bytes, the whole memo text
    std::u16string units;  // Text and Memo: `raw` decoded to UTF-16 units (Jet 3: from code page 1252)
};

struct Table {
    std::vector<std::string> columns;
    std::vector<int> types;               // libmdb column types (MDB_TEXT, ...)
    std::uint64_t definedRows = 0;        // the row count in the table definition
    std::uint64_t rowsRead = 0;           // rows that libmdb's iteration returned
    std::vector<std::vector<Cell>> rows;  // the first `keepRows` of them
};

class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Calls `visit` with each row libmdb's iteration returns, in order; returns
// the table with no rows kept. Throws ReadError when libmdb cannot open the
// file or find the table.
Table ForEachRow(const std::string& path, const std::string& table,
                 const std::function<void(const std::vector<Cell>&)>& visit);

// All rows (or the first `keepRows`) kept in the result.
Table ReadTable(const std::string& path, const std::string& table,
                std::uint64_t keepRows = std::numeric_limits<std::uint64_t>::max());

// User tables of the catalog, in catalog order.
std::vector<std::string> TableNames(const std::string& path);

// The page of a table's definition, from the catalog; throws ReadError.
std::uint32_t DefinitionPage(const std::string& path, const std::string& table);

// Jet's stored text form (plain UTF-16LE, or FF FE compressed) as UTF-16 units.
std::u16string DecodeStoredText(const std::string& raw);

double RawDouble(const std::string& raw);
std::int64_t RawInt(const std::string& raw);  // 2 or 4 bytes, signed

}  // namespace readback
