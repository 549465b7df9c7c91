#include "mdb_readback.h"

// glib must come before mdbtools.h in C++.
#include <glib.h>
#include <mdbtools.h>

#include <cstring>
#include <memory>

namespace readback {
namespace {

constexpr std::size_t kBindSize = 1 << 20;  // whole 20,000-character memos

struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;
using TablePtr = std::unique_ptr<MdbTableDef, TableFreer>;

Handle Open(const std::string& path) {
    Handle mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb) throw ReadError("libmdb cannot open " + path);
    mdb_set_bind_size(mdb.get(), kBindSize);
    mdb_set_date_fmt(mdb.get(), "%Y-%m-%d %H:%M:%S");
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) throw ReadError("libmdb cannot read the catalog of " + path);
    return mdb;
}

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// The whole stored text of a memo whose 12-byte field is `field`.
std::string MemoBytes(MdbHandle* mdb, const std::string& field) {
    if (field.size() < 12) return {};
    const auto* f = reinterpret_cast<const unsigned char*>(field.data());
    const std::uint32_t length = Le32(f) & 0x3FFFFFFF;
    if (f[3] & 0x80) return field.substr(12);
    std::uint32_t pgRow = Le32(f + 4);
    std::string out;
    const bool single = f[3] & 0x40;
    while (pgRow != 0) {
        void* buf = nullptr;
        int start = 0;
        size_t len = 0;
        if (mdb_find_pg_row(mdb, static_cast<int>(pgRow), &buf, &start, &len) != 0)
            throw ReadError("bad LVAL pointer " + std::to_string(pgRow));
        const auto* row = static_cast<const unsigned char*>(buf) + start;
        if (single) {
            out.assign(reinterpret_cast<const char*>(row), len);
            break;
        }
        if (len < 4) throw ReadError("short LVAL chain row");
        out.append(reinterpret_cast<const char*>(row + 4), len - 4);
        pgRow = Le32(row);
    }
    if (out.size() != length)
        throw ReadError("memo holds " + std::to_string(out.size()) + " bytes, its field says " +
                        std::to_string(length));
    return out;
}

// Jet 3 stores text in the database's code page, 1252 in the files we read.
std::u16string DecodeCp1252(const std::string& raw) {
    static const char16_t k80[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                     0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    std::u16string out;
    for (unsigned char c : raw) out.push_back(c >= 0x80 && c < 0xA0 ? k80[c - 0x80] : char16_t{c});
    return out;
}

}  // namespace

std::u16string DecodeStoredText(const std::string& raw) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
    std::size_t n = raw.size();
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        bool oneByte = true;
        for (std::size_t i = 2; i < n;) {
            if (p[i] == 0) {
                oneByte = !oneByte;
                ++i;
            } else if (oneByte) {
                out.push_back(p[i++]);
            } else if (i + 1 < n) {
                out.push_back(static_cast<char16_t>(p[i] | p[i + 1] << 8));
                i += 2;
            } else {
                break;
            }
        }
        return out;
    }
    for (std::size_t i = 0; i + 1 < n; i += 2) out.push_back(static_cast<char16_t>(p[i] | p[i + 1] << 8));
    return out;
}

double RawDouble(const std::string& raw) {
    double d = 0;
    if (raw.size() == sizeof d) std::memcpy(&d, raw.data(), sizeof d);
    return d;
}

std::int64_t RawInt(const std::string& raw) {
    const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
    if (raw.size() == 2) return static_cast<std::int16_t>(p[0] | p[1] << 8);
    if (raw.size() == 4) return static_cast<std::int32_t>(Le32(p));
    return 0;
}

std::vector<std::string> TableNames(const std::string& path) {
    Handle mdb = Open(path);
    std::vector<std::string> names;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && !mdb_is_system_table(entry)) names.emplace_back(entry->object_name);
    }
    return names;
}

std::uint32_t DefinitionPage(const std::string& path, const std::string& table) {
    Handle mdb = Open(path);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && table == entry->object_name)
            return static_cast<std::uint32_t>(entry->table_pg);
    }
    throw ReadError("libmdb finds no table " + table + " in " + path);
}

Table ReadTable(const std::string& path, const std::string& name, std::uint64_t keepRows) {
    std::vector<std::vector<Cell>> rows;
    Table result = ForEachRow(path, name, [&](const std::vector<Cell>& row) {
        if (rows.size() < keepRows) rows.push_back(row);
    });
    result.rows = std::move(rows);
    return result;
}

Table ForEachRow(const std::string& path, const std::string& name,
                 const std::function<void(const std::vector<Cell>&)>& visit) {
    Handle mdb = Open(path);
    std::string mutableName = name;
    TablePtr table(mdb_read_table_by_name(mdb.get(), mutableName.data(), MDB_TABLE));
    if (!table) throw ReadError("libmdb finds no table " + name + " in " + path);
    mdb_read_columns(table.get());
    mdb_rewind_table(table.get());

    const bool jet3 = mdb->f->jet_version == MDB_VER_JET3;
    Table result;
    result.definedRows = table->num_rows;
    const unsigned cols = table->num_cols;
    std::vector<std::vector<char>> buffers(cols, std::vector<char>(kBindSize));
    std::vector<int> lengths(cols, 0);
    for (unsigned i = 0; i < cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
        result.columns.emplace_back(col->name);
        result.types.push_back(col->col_type);
        mdb_bind_column(table.get(), static_cast<int>(i + 1), buffers[i].data(), &lengths[i]);
    }

    std::vector<MdbField> fields(256);
    while (mdb_fetch_row(table.get())) {
        ++result.rowsRead;
        // The bound text cannot tell Null from ""; the row's null mask can.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb.get(), static_cast<int>(table->cur_row) - 1, &start, &size) != 0)
            throw ReadError("mdb_find_row failed");
        mdb_crack_row(table.get(), start, size, fields.data());
        std::vector<Cell> row(cols);
        for (unsigned i = 0; i < cols; ++i) {
            Cell& cell = row[i];
            cell.isNull = fields[i].is_null != 0;
            cell.text.assign(buffers[i].data(), static_cast<std::size_t>(std::max(lengths[i], 0)));
            if (fields[i].value && fields[i].siz > 0)
                cell.raw.assign(static_cast<const char*>(fields[i].value), static_cast<std::size_t>(fields[i].siz));
            if (result.types[i] == MDB_MEMO && !cell.isNull) cell.raw = MemoBytes(mdb.get(), cell.raw);
            if (result.types[i] == MDB_TEXT || result.types[i] == MDB_MEMO)
                cell.units = jet3 ? DecodeCp1252(cell.raw) : DecodeStoredText(cell.raw);
        }
        visit(row);
    }
    return result;
}

}  // namespace readback
