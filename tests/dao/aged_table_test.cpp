// Tables as an updater leaves them, read through the engine: deleted,
// compacted and moved rows, chains of overflow pointers and damaged ones,
// rows written before columns were added or deleted, and the catalog of an
// Access-written Jet 3 file, whose overflow pointers Access itself made.
#include "base/error.h"
#include "dao/dao.h"
#include "support/temp_folder.h"

#include "jet4/jet4_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dao = brevan::dao;
using jet4::ColumnType;
using jet4::RowOptions;
using jet4::RowState;

namespace {

std::unique_ptr<dao::Recordset> Open(const std::string& path, const std::string& table) {
    auto db = dao::DBEngine::Instance().Workspaces(0).OpenDatabase(path, false, false,
                                                                   dao::DatabaseName{"listing database", ""});
    return db->OpenRecordset("SELECT * FROM [" + table + "]", dao::dbOpenSnapshot);
}

template <typename T>
std::optional<T> Get(const dao::Recordset& rs, const char* field) {
    const dao::Variant& v = rs.Fields(field);
    if (v.IsNull()) return std::nullopt;
    const T* p = std::get_if<T>(&v.value());
    if (!p) throw std::runtime_error(std::string("field ") + field + " holds another type");
    return *p;
}

// A row as the test expects it back.
struct Expected {
    std::int64_t nr;
    std::string name;
    std::size_t memoLength;
    friend bool operator==(const Expected&, const Expected&) = default;
};

void PrintTo(const Expected& e, std::ostream* os) {
    *os << "{" << e.nr << ", " << e.name << ", " << e.memoLength << "}";
}

// One slot of table T: row `nr` in the given state, with a memo of
// `memoLength` characters (long ones go to LVAL pages, chained past 4,000).
struct Slot {
    std::int64_t nr;
    RowOptions options = {};
    std::size_t memoLength = 10;
};

std::string MemoText(std::int64_t nr, std::size_t length) {
    std::string text;
    while (text.size() < length) text += "Zeile " + std::to_string(nr) + ". ";
    text.resize(length);
    return text;
}

std::vector<jet4::Column> SlotColumns() {
    return {{"Nr", ColumnType::Long}, {"Name", ColumnType::Text, 50}, {"Notiz", ColumnType::Memo}};
}

// Writes table T (and, first, table Andere with `otherRows` rows), returns
// the rows a reader must find: the live and moved ones, in slot order.
std::vector<Expected> WriteSlots(const std::string& path, const std::vector<Slot>& slots, int otherRows = 0,
                                 std::optional<jet4::BrokenPointer> broken = std::nullopt) {
    jet4::Writer writer(path);
    if (otherRows > 0) {
        writer.BeginTable("Andere", SlotColumns());
        for (int i = 0; i < otherRows; ++i)
            writer.AddRow({std::int64_t{1000 + i}, jet4::Text("fremd"), jet4::Text("fremd")});
        writer.EndTable();
    }
    writer.BeginTable("T", SlotColumns());
    std::vector<Expected> live;
    for (const Slot& s : slots) {
        const std::string name = "Nr " + std::to_string(s.nr);
        writer.AddRow({s.nr, jet4::Text(name), jet4::Text(MemoText(s.nr, s.memoLength))}, s.options);
        if (s.options.state == RowState::Live || s.options.state == RowState::Moved)
            live.push_back({s.nr, name, s.memoLength});
    }
    if (broken) writer.AddBrokenPointer(*broken);
    writer.Finish();
    return live;
}

std::vector<Expected> ReadSlots(const std::string& path) {
    auto rs = Open(path, "T");
    std::vector<Expected> rows;
    for (; !rs->Eof(); rs->MoveNext()) {
        const std::int64_t nr = *Get<std::int64_t>(*rs, "Nr");
        const std::string memo = *Get<std::string>(*rs, "Notiz");
        EXPECT_EQ(memo, MemoText(nr, memo.size())) << "row " << nr;
        rows.push_back({nr, *Get<std::string>(*rs, "Name"), memo.size()});
    }
    return rows;
}

std::string FailureOf(const std::string& path, const std::string& table) {
    try {
        Open(path, table);
    } catch (const brevan::Error& e) {
        return e.Description();
    }
    return "no error";
}

RowOptions State(RowState state, int hops = 1) { return {state, hops, 0}; }

class DaoAgedTable : public ::testing::Test {
protected:
    testsupport::TempFolder folder_;
    std::string db_ = folder_ / "gealtert.mdb";
};

TEST_F(DaoAgedTable, EachFlagAloneAndAllMixedOnOnePage) {
    for (RowState state : {RowState::Deleted, RowState::Compacted, RowState::Moved}) {
        SCOPED_TRACE(static_cast<int>(state));
        const auto live = WriteSlots(db_, {{1}, {2, State(state)}, {3}});
        EXPECT_EQ(ReadSlots(db_), live);
        EXPECT_EQ(live.size(), state == RowState::Moved ? 3u : 2u);
    }
    // The first and last slots too; a moved row with a memo chained over LVAL pages.
    const auto live = WriteSlots(db_, {{1, State(RowState::Deleted)},
                                       {2},
                                       {3, State(RowState::Moved), 9000},
                                       {4, State(RowState::Compacted)},
                                       {5, State(RowState::Moved, 2)},
                                       {6, State(RowState::Deleted), 3000},
                                       {7},
                                       {8, State(RowState::Compacted)},
                                       {9, State(RowState::Moved, 8), 300}});
    EXPECT_EQ(ReadSlots(db_), live);
    ASSERT_EQ(live.size(), 5u);
}

TEST_F(DaoAgedTable, PointerChainsAcrossManyPagesInSlotOrder) {
    // Rows of up to 3,000-character memos over many data and LVAL pages;
    // every pattern of states at every place of a page.
    std::vector<Slot> slots;
    for (int i = 0; i < 700; ++i) {
        RowOptions options;
        switch (i % 7) {
        case 1: options = State(RowState::Moved, 1 + (i / 7) % 8); break;
        case 2: options = State(RowState::Deleted); break;
        case 4: options = State(RowState::Compacted); break;
        case 5: options = State(RowState::Moved); break;
        default: break;
        }
        slots.push_back({i, options, static_cast<std::size_t>((i * 397) % 3000)});
    }
    const auto live = WriteSlots(db_, slots);
    EXPECT_EQ(ReadSlots(db_), live);
    EXPECT_EQ(live.size(), 500u);
}

TEST_F(DaoAgedTable, PointerChainsOfUpTo64PointersReadALongerOneIsDamage) {
    const auto live = WriteSlots(db_, {{1}, {2, State(RowState::Moved, 64)}, {3}});
    EXPECT_EQ(ReadSlots(db_), live);
    WriteSlots(db_, {{1}, {2, State(RowState::Moved, 65)}, {3}});
    const std::string failure = FailureOf(db_, "T");
    EXPECT_NE(failure.find("the overflow pointer in row 1 on page "), std::string::npos) << failure;
    EXPECT_NE(failure.find(" leads through more than 64 pointers"), std::string::npos) << failure;
}

TEST_F(DaoAgedTable, EachBrokenPointerIsDamageNamingItsPlace) {
    const std::map<jet4::BrokenPointer, std::vector<std::string>> says = {
        {jet4::BrokenPointer::BeyondFile, {" leads beyond the end of the file (to row 0 on page "}},
        {jet4::BrokenPointer::DefinitionPage,
         {" leads to row 0 on page ", ", a page that holds no rows of table \"T\""}},
        {jet4::BrokenPointer::UsageMapPage, {", a page that holds no rows of table \"T\""}},
        {jet4::BrokenPointer::OtherTable, {", a page that holds no rows of table \"T\""}},
        {jet4::BrokenPointer::MissingRow, {", which does not exist"}},
        {jet4::BrokenPointer::Loop, {"\" leads round in a loop (back to row 3 on page "}},
        // Through the second pointer, and back.
        {jet4::BrokenPointer::Cycle, {"\" (by way of row ", ") leads round in a loop (back to row 3 on page "}},
    };
    for (const auto& [kind, phrases] : says) {
        SCOPED_TRACE(static_cast<int>(kind));
        WriteSlots(db_, {{1}, {2, State(RowState::Moved)}, {3}}, 5, kind);
        const std::string failure = FailureOf(db_, "T");
        EXPECT_NE(failure.find("The listing database " + db_ +
                               " is damaged or unreadable: the overflow pointer in row 3 on page "),
                  std::string::npos)
            << failure;
        for (const std::string& phrase : phrases) EXPECT_NE(failure.find(phrase), std::string::npos) << failure;
        // The other table of the file stays readable.
        EXPECT_EQ(Open(db_, "Andere")->RecordCount(), 5);
    }
}

TEST_F(DaoAgedTable, RowsWrittenBeforeColumnsWereAddedOrDeleted) {
    // Column numbers 1, 3 and 7 belong to deleted columns (fixed and
    // variable): the live ones have gaps in their numbers and variable
    // indexes. Rows written with 8 columns have a one-byte null mask, so
    // Wann (8) and everything after have no bit there; Wann and Menge are
    // fixed columns added after a fixed column was deleted.
    const std::vector<jet4::Column> columns = {
        {"Nr", ColumnType::Long},        {"AltZahl", ColumnType::Long, 255, true},
        {"Name", ColumnType::Text, 50},  {"AltText", ColumnType::Text, 50, true},
        {"Kurz", ColumnType::Integer},   {"Wert", ColumnType::Double},
        {"Titel", ColumnType::Text, 50}, {"AltDatum", ColumnType::DateTime, 255, true},
        {"Wann", ColumnType::DateTime},  {"Notiz", ColumnType::Memo},
        {"Ja", ColumnType::YesNo},       {"Menge", ColumnType::Long},
    };
    const jet4::Value null = jet4::Null{};
    const auto when = jet4::DateAndTime(2024, 5, 1, 20, 15, 0);
    jet4::Writer writer(db_);
    writer.BeginTable("T", columns);
    // Old rows still hold the deleted columns' bytes.
    writer.AddRow({std::int64_t{1}, std::int64_t{-99}, jet4::Text("eins"), jet4::Text("alt"), std::int64_t{5}, 1.5,
                   jet4::Text("T1"), jet4::Date(2000, 1, 1), null, null, null, null},
                  {RowState::Live, 1, 8});
    writer.AddRow(
        {std::int64_t{2}, null, jet4::Text("zwei"), null, null, 2.5, jet4::Text("T2"), null, when, null, null, null},
        {RowState::Moved, 2, 9});
    writer.AddRow({std::int64_t{3}, null, jet4::Text("drei"), null, std::int64_t{7}, null, null, null, when,
                   jet4::Text("Notiz drei"), true, std::int64_t{42}});
    writer.AddRow(
        {std::int64_t{4}, std::int64_t{4}, jet4::Text("vier"), null, null, null, null, null, null, null, null, null},
        {RowState::Moved, 1, 3});
    writer.AddRow({std::int64_t{5}, null, null, null, null, null, null, null, null, jet4::Text(std::string(5000, 'n')),
                   false, null},
                  {RowState::Live, 1, 11});
    writer.Finish();

    auto rs = Open(db_, "T");
    ASSERT_EQ(rs->RecordCount(), 5);
    struct Row {
        std::optional<std::int64_t> nr;
        std::optional<std::string> name;
        std::optional<std::int64_t> kurz;
        std::optional<double> wert;
        std::optional<std::string> titel;
        std::optional<dao::Date> wann;
        std::optional<std::string> notiz;
        std::optional<bool> ja;
        std::optional<std::int64_t> menge;
        bool operator==(const Row&) const = default;
    };
    const dao::Date wann{when.days};
    const std::vector<Row> expected = {
        {1, "eins", 5, 1.5, "T1", {}, {}, false, {}},
        {2, "zwei", {}, 2.5, "T2", wann, {}, false, {}},
        {3, "drei", 7, {}, {}, wann, "Notiz drei", true, 42},
        {4, "vier", {}, {}, {}, {}, {}, false, {}},
        {5, {}, {}, {}, {}, {}, std::string(5000, 'n'), false, {}},
    };
    for (const Row& want : expected) {
        ASSERT_FALSE(rs->Eof());
        const Row got{Get<std::int64_t>(*rs, "Nr"),   Get<std::string>(*rs, "Name"),  Get<std::int64_t>(*rs, "Kurz"),
                      Get<double>(*rs, "Wert"),       Get<std::string>(*rs, "Titel"), Get<dao::Date>(*rs, "Wann"),
                      Get<std::string>(*rs, "Notiz"), Get<bool>(*rs, "Ja"),           Get<std::int64_t>(*rs, "Menge")};
        EXPECT_TRUE(got == want) << "row " << want.nr.value_or(0);
        rs->MoveNext();
    }
    EXPECT_THROW(rs->Fields("AltZahl"), brevan::Error);
}

std::uint32_t Le(const std::string& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

TEST(DaoAgedAccessFile, NorthwindsCatalogReadsEachMovedRowOnceThroughItsPointer) {
    const std::filesystem::path nwind = std::filesystem::path(BREVAN_SHARED_TESTDATA) / "access" / "nwind.mdb";
    if (!std::filesystem::exists(nwind)) GTEST_SKIP() << "../shared/testdata/access/nwind.mdb is absent";
    // A plain reading of MSysObjects (definition on page 2) from the Jet 3
    // pages: 2048 bytes, row count at 8, row offsets from 10; the Id is the
    // first fixed column, after the row's one-byte column count.
    const std::string file = testsupport::ReadFile(nwind.string());
    constexpr std::size_t kPage = 2048;
    auto at = [&](std::uint32_t page) { return std::size_t{page} * kPage; };
    auto start = [&](std::uint32_t page, unsigned r) { return Le(file, at(page) + 10 + 2 * r, 2) & 0x1FFF; };
    auto end = [&](std::uint32_t page, unsigned r) { return r == 0 ? kPage : start(page, r - 1); };
    std::vector<std::int64_t> ids, movedIds;
    for (std::uint32_t page = 0; page < file.size() / kPage; ++page) {
        if (file[at(page)] != 0x01 || Le(file, at(page) + 4, 4) != 2) continue;
        for (unsigned r = 0; r < Le(file, at(page) + 8, 2); ++r) {
            const unsigned flags = Le(file, at(page) + 10 + 2 * r, 2) & 0xC000;
            if ((flags & 0x8000) || start(page, r) == end(page, r)) continue;
            std::uint32_t rowPage = page;
            unsigned row = r;
            if (flags & 0x4000) {
                ASSERT_EQ(end(page, r) - start(page, r), 4u);
                const std::size_t pointer = at(page) + start(page, r);
                row = static_cast<unsigned char>(file[pointer]);
                rowPage = Le(file, pointer + 1, 3);
                ASSERT_TRUE(Le(file, at(rowPage) + 10 + 2 * row, 2) & 0x8000) << "a target not flagged deleted";
            }
            const auto id = static_cast<std::int32_t>(Le(file, at(rowPage) + start(rowPage, row) + 1, 4));
            ids.push_back(id);
            if (flags & 0x4000) movedIds.push_back(id);
        }
    }
    ASSERT_EQ(movedIds.size(), 27u);

    auto rs = Open(nwind.string(), "MSysObjects");
    std::vector<std::int64_t> read;
    for (; !rs->Eof(); rs->MoveNext()) read.push_back(*Get<std::int64_t>(*rs, "Id"));
    EXPECT_EQ(read, ids);
    for (std::int64_t id : movedIds) EXPECT_EQ(std::count(read.begin(), read.end(), id), 1) << "Id " << id;
}

}  // namespace
