// The reader's own row cracking: on rows that no column change has touched
// it must find exactly what libmdb's mdb_crack_row finds (Jet 4 files from
// the writer, Jet 3 and Jet 4 files from Access, Jet 3 jump tables
// made here), and on damaged rows it must refuse or stay inside the row.
#include "dao/reader/row_cracker.h"
#include "dao/reader/mdb.h"
#include "dao/reader/row_slots.h"
#include "dao/reader/table_shape.h"
#include "support/temp_folder.h"

#include "jet4/jet4_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace reader = brevan::dao::reader;
using jet4::ColumnType;

namespace {

// Calls `visit(table, page, slot)` for every row without flags of every
// table of `path` (system tables too), with the page in mdb->pg_buf.
void EachPlainRow(const std::string& path,
                  const std::function<void(MdbTableDef&, const unsigned char*, const reader::RowSlot&)>& visit) {
    MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    ASSERT_NE(mdb, nullptr) << path;
    ASSERT_TRUE(mdb_read_catalog(mdb, MDB_TABLE));
    for (guint i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type != MDB_TABLE) continue;
        MdbTableDef* table = mdb_read_table(entry);
        ASSERT_NE(table, nullptr) << entry->object_name;
        mdb_read_columns(table);
        for (gint32 page = 0;;) {
            const gint32 next = mdb_map_find_next(mdb, table->usage_map, table->map_sz, static_cast<guint32>(page));
            if (next <= page) break;
            page = next;
            ASSERT_EQ(mdb_read_pg(mdb, static_cast<unsigned long>(page)), mdb->fmt->pg_size);
            if (mdb->pg_buf[0] != MDB_PAGE_DATA || mdb_get_int32(mdb->pg_buf, 4) != static_cast<long>(entry->table_pg))
                continue;
            const reader::RowSlots slots(mdb->pg_buf, mdb->fmt->pg_size, mdb->fmt->row_count_offset);
            for (unsigned r = 0; r < slots.Count(); ++r) {
                const reader::RowSlot slot = slots.At(r);
                if (slot.flags == 0 && slot.Size() > 0) visit(*table, mdb->pg_buf, slot);
            }
        }
        mdb_free_tabledef(table);
    }
    mdb_close(mdb);
}

std::string SharedFile(const char* name) {
    const std::filesystem::path p = std::filesystem::path(BREVAN_SHARED_TESTDATA) / "access" / name;
    return std::filesystem::exists(p) ? p.string() : std::string();
}

std::string EveryTypeFile(const std::string& path) {
    const jet4::Value null = jet4::Null{};
    jet4::Writer writer(path);
    writer.BeginTable("Werte", {{"Nr", ColumnType::Long},
                                {"Kurz", ColumnType::Integer},
                                {"Text", ColumnType::Text, 200},
                                {"Notiz", ColumnType::Memo},
                                {"Wann", ColumnType::DateTime},
                                {"Wert", ColumnType::Double},
                                {"Ja", ColumnType::YesNo},
                                {"Mehr", ColumnType::Text, 10}});
    for (int i = 0; i < 200; ++i) {
        const bool empty = i % 5 == 0;
        writer.AddRow({std::int64_t{i}, i % 3 ? jet4::Value{std::int64_t{i}} : null,
                       empty ? jet4::Value{null} : jet4::Text(std::string(i % 200, 't')),
                       i % 4 ? jet4::Text(std::string(i * 13 % 5000, 'm')) : jet4::Text(""),
                       i % 2 ? jet4::Value{jet4::Date(2024, 1, 1 + i % 28)} : null, 0.5 * i, i % 2 == 0,
                       i % 7 ? jet4::Text("x") : null});
    }
    writer.Finish();
    return path;
}

TEST(DaoRowCracker, FindsWhatLibmdbFindsInRowsNoColumnChangeTouched) {
    testsupport::TempFolder folder;
    std::vector<std::string> files = {EveryTypeFile(folder / "werte.mdb")};
    for (const char* name : {"nwind.mdb", "DateTestDatabase.mdb"})
        if (const std::string f = SharedFile(name); !f.empty()) files.push_back(f);

    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::size_t rows = 0;
        std::vector<reader::RowField> ours;
        std::vector<MdbField> theirs;
        EachPlainRow(file, [&](MdbTableDef& table, const unsigned char* page, const reader::RowSlot& slot) {
            const bool jet3 = table.entry->mdb->f->jet_version == MDB_VER_JET3;
            const reader::RowShape shape = reader::ShapeOfTable(table, jet3);
            theirs.assign(table.num_cols, MdbField{});
            const int cracked = mdb_crack_row(&table, static_cast<int>(slot.start), slot.Size(), theirs.data());
            ASSERT_TRUE(reader::CrackRow(shape, page + slot.start, slot.Size(), ours))
                << table.name << " at " << slot.start << (cracked < 0 ? " (libmdb refuses it too)" : "");
            ASSERT_GE(cracked, 0) << table.name << " at " << slot.start;
            ++rows;
            for (unsigned c = 0; c < table.num_cols; ++c) {
                const reader::RowField& f = ours[c];
                EXPECT_EQ(f.present, !theirs[c].is_null) << table.name << " column " << c;
                if (!f.present || !theirs[c].siz) continue;
                EXPECT_EQ(f.start + slot.start, static_cast<unsigned>(theirs[c].start))
                    << table.name << " column " << c;
                EXPECT_EQ(f.size, static_cast<unsigned>(theirs[c].siz)) << table.name << " column " << c;
            }
        });
        EXPECT_GT(rows, 100u);
    }
}

// A Jet 3 row of `shape`, every column present: variable column i holds
// `lengths[i]` bytes; fixed columns hold zeros. Laid out as Access does:
// count, fixed area, variable data, eod, one-byte offsets last first, the
// jump table (entry j: the first offset, eod counted, at or past
// 256 * (j + 1), or 0xFF; last entry first), the variable count, the mask.
std::vector<unsigned char> Jet3Row(const reader::RowShape& shape, const std::vector<std::size_t>& lengths,
                                   std::vector<unsigned>& starts) {
    unsigned columns = 0;
    std::size_t fixedEnd = 1;
    for (const reader::ColumnPlace& c : shape.columns) {
        columns = std::max(columns, c.number + 1);
        if (c.fixed) fixedEnd = std::max<std::size_t>(fixedEnd, 1 + c.fixedOffset + c.size);
    }
    std::vector<unsigned char> row(fixedEnd, 0);
    row[0] = static_cast<unsigned char>(columns);
    starts.clear();
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        starts.push_back(static_cast<unsigned>(row.size()));
        row.insert(row.end(), lengths[i], static_cast<unsigned char>('a' + i));
    }
    starts.push_back(static_cast<unsigned>(row.size()));  // eod
    const std::size_t mask = (columns + 7) / 8, n = lengths.size();
    std::size_t jumps = 0;
    while ((row.size() + 1 + n + jumps + 1 + mask - 1) / 256 != jumps) ++jumps;
    row.push_back(static_cast<unsigned char>(starts[n]));
    for (std::size_t i = n; i-- > 0;) row.push_back(static_cast<unsigned char>(starts[i]));
    for (std::size_t j = jumps; j-- > 0;) {
        unsigned entry = 0xFF;
        for (unsigned i = 0; i <= n; ++i)
            if (starts[i] >= 256 * (j + 1)) {
                entry = i;
                break;
            }
        row.push_back(static_cast<unsigned char>(entry));
    }
    row.push_back(static_cast<unsigned char>(n));
    row.insert(row.end(), mask, 0xFF);
    return row;
}

TEST(DaoRowCracker, Jet3JumpTablesAsLibmdbReadsThem) {
    // Access's own Jet 3 rows in nwind.mdb are all shorter than 256 bytes:
    // longer ones are made here, for the shape of one of its tables.
    const std::string nwind = SharedFile("nwind.mdb");
    if (nwind.empty()) GTEST_SKIP() << "../shared/testdata/access/nwind.mdb is absent";
    MdbHandle* mdb = mdb_open(nwind.c_str(), MDB_NOFLAGS);
    ASSERT_NE(mdb, nullptr);
    ASSERT_TRUE(mdb_read_catalog(mdb, MDB_TABLE));
    MdbCatalogEntry* entry = nullptr;
    for (guint i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (std::string(e->object_name) == "Customers") entry = e;
    }
    ASSERT_NE(entry, nullptr);
    MdbTableDef* table = mdb_read_table(entry);
    mdb_read_columns(table);
    const reader::RowShape shape = reader::ShapeOfTable(*table, true);
    unsigned vars = 0;
    for (const reader::ColumnPlace& c : shape.columns) vars += c.fixed ? 0 : 1;
    ASSERT_GE(vars, 5u);

    std::vector<reader::RowField> ours;
    std::vector<MdbField> theirs(table->num_cols);
    std::vector<unsigned> starts;
    std::size_t longest = 0;
    for (std::size_t step = 0; step < 160; ++step) {
        std::vector<std::size_t> lengths(vars);
        for (std::size_t i = 0; i < vars; ++i) lengths[i] = (step * (3 + i)) % 90;
        const std::vector<unsigned char> row = Jet3Row(shape, lengths, starts);
        ASSERT_LE(row.size(), 2000u);
        longest = std::max(longest, row.size());
        const int at = mdb->fmt->pg_size - static_cast<int>(row.size());
        std::copy(row.begin(), row.end(), mdb->pg_buf + at);
        ASSERT_TRUE(reader::CrackRow(shape, mdb->pg_buf + at, row.size(), ours)) << row.size() << " bytes";
        ASSERT_GE(mdb_crack_row(table, at, row.size(), theirs.data()), 0) << row.size() << " bytes";
        for (std::size_t c = 0; c < shape.columns.size(); ++c) {
            ASSERT_TRUE(ours[c].present);
            EXPECT_EQ(ours[c].start + at, static_cast<unsigned>(theirs[c].start))
                << row.size() << " bytes, column " << c;
            if (shape.columns[c].fixed) continue;
            const unsigned v = shape.columns[c].varIndex;
            EXPECT_EQ(ours[c].start, starts[v]) << row.size() << " bytes, column " << c;
            EXPECT_EQ(ours[c].size, lengths[v]) << row.size() << " bytes, column " << c;
        }
    }
    EXPECT_GT(longest, 768u);
    mdb_free_tabledef(table);
    mdb_close(mdb);
}

TEST(DaoRowCracker, DamagedRowsAreRefusedOrReadInsideTheRow) {
    testsupport::TempFolder folder;
    std::vector<std::string> files = {EveryTypeFile(folder / "werte.mdb")};
    if (const std::string f = SharedFile("nwind.mdb"); !f.empty()) files.push_back(f);
    std::mt19937 random(11);
    std::size_t refused = 0, read = 0;
    std::vector<reader::RowField> fields;
    for (const std::string& file : files) {
        EachPlainRow(file, [&](MdbTableDef& table, const unsigned char* page, const reader::RowSlot& slot) {
            const reader::RowShape shape =
                reader::ShapeOfTable(table, table.entry->mdb->f->jet_version == MDB_VER_JET3);
            const std::vector<unsigned char> row(page + slot.start, page + slot.end);
            // Each row cut short at a few places, and with a few bytes changed
            // in its tail, where the counts, offsets and null mask lie.
            for (int trial = 0; trial < 8; ++trial) {
                std::vector<unsigned char> damaged = row;
                if (trial < 4) {
                    damaged.resize(random() % row.size());
                } else {
                    for (int k = 0; k < 3; ++k) {
                        const std::size_t tail = std::min<std::size_t>(row.size(), 24);
                        damaged[row.size() - 1 - random() % tail] = static_cast<unsigned char>(random());
                    }
                }
                // A copy of exactly the row's size: AddressSanitizer sees any read past it.
                const auto bytes = std::make_unique<unsigned char[]>(damaged.size());
                std::copy(damaged.begin(), damaged.end(), bytes.get());
                if (!reader::CrackRow(shape, bytes.get(), damaged.size(), fields)) {
                    ++refused;
                } else {
                    ++read;
                    for (const reader::RowField& f : fields) {
                        if (f.present) {
                            EXPECT_LE(std::size_t{f.start} + f.size, damaged.size());
                        }
                    }
                }
            }
        });
    }
    EXPECT_GT(refused, 100u);
    EXPECT_GT(read, 100u);
}

}  // namespace
