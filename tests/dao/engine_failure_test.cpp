// What the engine does with bad input: paths that are no database, missing
// tables, and damaged files that make libmdb crash or loop. Every case must
// end in one brevan::Error naming the file, with no crash, no hang, no
// child process left behind, no descriptor leaked and nothing printed.
#include "base/error.h"
#include "dao/dao.h"
#include "support/listing_db.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace dao = brevan::dao;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kPage = 4096;

std::uint16_t Get16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}
std::uint32_t Get32(const std::string& b, std::size_t at) {
    return Get16(b, at) | (std::uint32_t(Get16(b, at + 2)) << 16);
}
void Put16(std::string& b, std::size_t at, unsigned v) {
    b[at] = static_cast<char>(v);
    b[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A Jet 4 file in memory, with just enough knowledge of its layout to break
// it in chosen places.
class JetFile {
public:
    explicit JetFile(std::string path) : path_(std::move(path)), bytes_(testsupport::ReadFile(path_)) {}
    void Save() const { testsupport::WriteFile(path_, bytes_); }
    std::string& Bytes() { return bytes_; }
    std::size_t PageCount() const { return bytes_.size() / kPage; }
    std::size_t At(std::uint32_t page) const { return page * kPage; }

    // The TDEF page of the one user table (the writer puts MSysObjects' at 2).
    std::uint32_t UserTdef() const {
        for (std::uint32_t p = 3; p < PageCount(); ++p)
            if (bytes_[At(p)] == 0x02) return p;
        throw std::runtime_error("no user table");
    }
    std::vector<std::uint32_t> DataPagesOf(std::uint32_t tdef) const {
        std::vector<std::uint32_t> pages;
        for (std::uint32_t p = 1; p < PageCount(); ++p)
            if (bytes_[At(p)] == 0x01 && Get32(bytes_, At(p) + 4) == tdef) pages.push_back(p);
        return pages;
    }
    unsigned Rows(std::uint32_t page) const { return Get16(bytes_, At(page) + 12); }
    unsigned RowStart(std::uint32_t page, unsigned row) const {
        return Get16(bytes_, At(page) + 14 + 2 * row) & 0x1FFF;
    }
    unsigned RowEnd(std::uint32_t page, unsigned row) const { return row == 0 ? kPage : RowStart(page, row - 1); }

    // Adds an empty row to the page holding the usage map of `tdef` and
    // points the table at it.
    void EmptyUsageMap(std::uint32_t tdef) {
        const std::uint32_t pgRow = Get32(bytes_, At(tdef) + 55);
        const std::uint32_t page = pgRow >> 8;
        const unsigned rows = Rows(page);
        Put16(bytes_, At(page) + 14 + 2 * rows, RowStart(page, rows - 1));  // starts where it ends
        Put16(bytes_, At(page) + 12, rows + 1);
        Put32(bytes_, At(tdef) + 55, (page << 8) | rows);
    }

    // Gives the catalog row of the user table a property blob on which
    // libmdb's property parser loops for ever (a record of length 0).
    void LoopingProperties() {
        struct Col {
            std::string name;
            unsigned number, varIndex;
            bool fixed;
        };
        // MSysObjects' columns from its definition on page 2.
        const std::size_t def = At(2);
        const unsigned count = Get16(bytes_, def + 45);
        std::vector<Col> cols(count);
        std::size_t name = def + 63 + 12 * Get32(bytes_, def + 51) + 25 * count;
        for (unsigned i = 0; i < count; ++i) {
            const std::size_t d = def + 63 + 12 * Get32(bytes_, def + 51) + 25 * i;
            cols[i].number = Get16(bytes_, d + 5);
            cols[i].varIndex = Get16(bytes_, d + 7);
            cols[i].fixed = bytes_[d + 15] & 0x01;
            const unsigned len = Get16(bytes_, name);
            for (unsigned k = 0; k < len; k += 2) cols[i].name.push_back(bytes_[name + 2 + k]);
            name += 2 + len;
        }
        auto find = [&](const char* n) -> const Col& {
            for (const Col& c : cols)
                if (c.name == n) return c;
            throw std::runtime_error(std::string("no column ") + n);
        };
        const Col& propCol = find("LvProp");
        const std::uint32_t tableTdef = UserTdef();
        for (std::uint32_t page : DataPagesOf(2)) {
            for (unsigned r = 0; r < Rows(page); ++r) {
                const std::string row =
                    bytes_.substr(At(page) + RowStart(page, r), RowEnd(page, r) - RowStart(page, r));
                const std::size_t nullBytes = (Get16(row, 0) + 7) / 8;
                const unsigned vars = Get16(row, row.size() - nullBytes - 2);
                auto offset = [&](unsigned i) { return Get16(row, row.size() - nullBytes - 4 - 2 * i); };
                if (Get32(row, 2) != tableTdef) continue;  // Id, the first fixed column (containers have 0x0F00000n)
                // Rebuild the row with LvProp set to an inline long value.
                const std::string blob = std::string("MR2\0", 4) + std::string("\0\0\0\0\x80\0", 6);
                std::string field(12, '\0');
                Put32(field, 0, static_cast<std::uint32_t>(blob.size()) | 0x80000000u);
                field += blob;
                std::string fresh = row.substr(0, offset(0));
                std::vector<unsigned> starts;
                for (unsigned i = 0; i < vars; ++i) {
                    starts.push_back(static_cast<unsigned>(fresh.size()));
                    fresh += i == propCol.varIndex ? field : row.substr(offset(i), offset(i + 1) - offset(i));
                }
                const unsigned eod = static_cast<unsigned>(fresh.size());
                fresh.resize(fresh.size() + 2);
                Put16(fresh, fresh.size() - 2, eod);
                for (unsigned i = vars; i-- > 0;) {
                    fresh.resize(fresh.size() + 2);
                    Put16(fresh, fresh.size() - 2, starts[i]);
                }
                fresh.resize(fresh.size() + 2);
                Put16(fresh, fresh.size() - 2, vars);
                std::string mask = row.substr(row.size() - nullBytes);
                mask[propCol.number / 8] = static_cast<char>(mask[propCol.number / 8] | (1 << (propCol.number % 8)));
                ReplaceRow(page, r, fresh + mask);
                return;
            }
        }
        throw std::runtime_error("no catalog row for the table");
    }

private:
    // Replaces row `row`, moving the rows stored below it.
    void ReplaceRow(std::uint32_t page, unsigned row, const std::string& fresh) {
        const std::size_t p = At(page);
        const unsigned rows = Rows(page);
        const int delta = static_cast<int>(fresh.size()) - static_cast<int>(RowEnd(page, row) - RowStart(page, row));
        const unsigned lowest = RowStart(page, rows - 1);
        if (static_cast<int>(lowest) - delta < static_cast<int>(14 + 2 * rows)) throw std::runtime_error("no room");
        std::memmove(&bytes_[p + lowest - delta], &bytes_[p + lowest], RowStart(page, row) - lowest);
        for (unsigned k = row; k < rows; ++k) {
            const unsigned raw = Get16(bytes_, p + 14 + 2 * k);
            Put16(bytes_, p + 14 + 2 * k, (raw & 0xE000) | ((raw & 0x1FFF) - delta));
        }
        std::memcpy(&bytes_[p + RowStart(page, row)], fresh.data(), fresh.size());
        Put16(bytes_, p + 2, Get16(bytes_, p + 2) - delta);
    }

    std::string path_;
    std::string bytes_;
};

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}

// Runs `body`, expecting a brevan::Error; returns its description. Checks
// that no child process is left, no descriptor leaked and that nothing
// reached standard output.
std::string FailureOf(const std::function<void()>& body) {
    std::fflush(stdout);
    const std::size_t fds = OpenDescriptors();
    char capture[] = "/tmp/brevan-stdout-XXXXXX";
    const int out = ::mkstemp(capture);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(out, STDOUT_FILENO);
    std::string description;
    try {
        body();
        ADD_FAILURE() << "no error";
    } catch (const brevan::Error& e) {
        description = e.Description();
    }
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    struct stat st {};
    ::fstat(out, &st);
    ::close(out);
    ::unlink(capture);
    EXPECT_EQ(st.st_size, 0) << "something was printed";
    int status;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a child process is left";
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(OpenDescriptors(), fds) << "descriptors leaked";
    return description;
}

// The engine's messages call the database what its caller calls it.
std::unique_ptr<dao::Recordset> OpenListing(const std::string& path) {
    auto db = dao::DBEngine::Instance().Workspaces(0).OpenDatabase(path, false, false,
                                                                   dao::DatabaseName{"listing database", ""});
    return db->OpenRecordset("SELECT * FROM TVDaten ORDER BY SenderKennung, Datum, Uhrzeit", dao::dbOpenSnapshot);
}

::testing::AssertionResult Says(const std::string& description, const std::vector<std::string>& parts) {
    for (const std::string& part : parts)
        if (description.find(part) == std::string::npos)
            return ::testing::AssertionFailure() << "\"" << description << "\" lacks \"" << part << "\"";
    return ::testing::AssertionSuccess();
}

class DaoFailure : public ::testing::Test {
protected:
    void SetUp() override { previous_ = dao::SetReaderTimeout(std::chrono::seconds(20)); }
    void TearDown() override { dao::SetReaderTimeout(previous_); }

    // A listing with enough rows for several data pages and LVAL pages.
    std::string Listing(const std::string& name = "tvdaten.mdb",
                        jet4::Layout layout = jet4::Layout::CatalogLast) const {
        const std::string path = folder_ / name;
        std::vector<testsupport::ListingRow> rows;
        for (int i = 0; i < 300; ++i)
            rows.push_back(testsupport::Listing(std::string("K").append(std::to_string(i % 7)),
                                                jet4::Date(2024, 5, 1 + i % 20), jet4::TimeOfDay(i % 24, 0, 0),
                                                "Sendung " + std::to_string(i), "Genre",
                                                std::string(200 + 17 * i, 'x')));
        testsupport::WriteListingDb(path, rows, layout);
        return path;
    }

    testsupport::TempFolder folder_;
    std::chrono::milliseconds previous_{};
};

TEST_F(DaoFailure, PathsThatAreNoDatabase) {
    const std::string missing = folder_ / "nicht-da.mdb";
    EXPECT_TRUE(
        Says(FailureOf([&] { OpenListing(missing); }), {"The listing database " + missing + " does not exist."}));
    const std::string inMissingFolder = folder_ / "fehlt/tvdaten.mdb";
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(inMissingFolder); }), {inMissingFolder, "does not exist"}));
    const std::string folder = folder_.path().string();
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(folder); }), {folder, "is a folder"}));
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(""); }), {"path is empty"}));

    const std::string text = folder_ / "text.mdb";
    testsupport::WriteFile(text, "SenderKennung;Datum\nARD;01.05.2024\n");
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(text); }), {"The file " + text + " is not an Access database."}));
    const std::string empty = folder_ / "leer.mdb";
    testsupport::WriteFile(empty, "");
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(empty); }), {empty, "not an Access database"}));
    const std::string zeros = folder_ / "nullen.mdb";
    testsupport::WriteFile(zeros, std::string(16 * kPage, '\0'));
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(zeros); }), {zeros, "not an Access database"}));
}

TEST_F(DaoFailure, AnUnreadableFile) {
    const std::string path = Listing();
    fs::permissions(folder_.path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::permissions(path, fs::perms::none);
    // Root reads anything: look as an ordinary user, in a child of our own.
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        std::string text = "no error";
        try {
            OpenListing(path);
        } catch (const brevan::Error& e) {
            text = e.Description();
        }
        (void)!::write(report[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(report[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(report[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not drop root rights";
    EXPECT_TRUE(Says(text, {"The listing database " + path + " cannot be read: Permission denied."}));
}

TEST_F(DaoFailure, AMissingTableOrWorkspace) {
    const std::string path = folder_ / "andere.mdb";
    jet4::Writer writer(path);
    writer.BeginTable("Programm", {{"A", jet4::ColumnType::Long}});
    writer.EndTable();
    writer.BeginTable("Sender", {{"A", jet4::ColumnType::Long}});
    writer.Finish();
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(path); }),
                     {"The table \"TVDaten\" does not exist in the listing database " + path, "Programm, Sender"}));
    EXPECT_THROW(dao::DBEngine::Instance().Workspaces(1), brevan::Error);
    EXPECT_EQ(&dao::DBEngine::Instance(), &dao::DBEngine::Instance());
}

TEST_F(DaoFailure, AFileCutShort) {
    const std::string path = Listing();
    JetFile file(path);
    const auto pages = file.DataPagesOf(file.UserTdef());
    ASSERT_GE(pages.size(), 3u);
    file.Bytes().resize(file.At(pages[pages.size() / 2]) + 1000);
    file.Save();
    // The writer puts the catalog last, so it is the catalog that is missing.
    EXPECT_TRUE(
        Says(FailureOf([&] { OpenListing(path); }), {"The listing database " + path + " is damaged or unreadable"}));

    const std::string headerOnly = Listing("kopf.mdb");
    testsupport::WriteFile(headerOnly, testsupport::ReadFile(headerOnly).substr(0, kPage));
    EXPECT_TRUE(
        Says(FailureOf([&] { OpenListing(headerOnly); }), {headerOnly, "damaged or unreadable", "list of tables"}));

    // Laid out as Access grows a file, a copy cut short keeps its catalog and
    // loses table pages: the page of the table's maps (page 6), the map page
    // a large table's map keeps last, rows and memos. Each cut is damage,
    // never an empty table.
    const std::string large = Listing("gross.mdb", jet4::Layout::CatalogFirst);
    const std::string small = folder_ / "klein.mdb";
    testsupport::WriteListingDb(
        small,
        std::vector(40, testsupport::Listing("K", jet4::Date(2024, 5, 1), jet4::TimeOfDay(6, 0, 0), "Sendung", "Genre",
                                             std::string(3000, 'x'))),
        jet4::Layout::CatalogFirst);
    const std::string largeBytes = testsupport::ReadFile(large), smallBytes = testsupport::ReadFile(small);
    for (const auto& [path, bytes, pages] : {std::tuple{large, largeBytes, std::size_t{6}},
                                             {large, largeBytes, largeBytes.size() / kPage - 1},
                                             {small, smallBytes, smallBytes.size() / kPage / 2},
                                             {small, smallBytes, smallBytes.size() / kPage - 1}}) {
        SCOPED_TRACE(path + " cut to " + std::to_string(pages) + " pages");
        testsupport::WriteFile(path, bytes.substr(0, pages * kPage));
        EXPECT_TRUE(Says(FailureOf([&] { OpenListing(path); }), {path, "damaged or unreadable", "cut short"}));
    }

    // A usage map that marks no page, while the definition counts the rows.
    const std::string lost = Listing("verloren.mdb");
    {
        JetFile file(lost);
        const std::uint32_t pgRow = Get32(file.Bytes(), file.At(file.UserTdef()) + 55);
        const std::uint32_t page = pgRow >> 8, row = pgRow & 0xFF;
        for (unsigned at = file.RowStart(page, row) + 1; at < file.RowEnd(page, row); ++at)
            file.Bytes()[file.At(page) + at] = 0;
        file.Save();
    }
    EXPECT_TRUE(
        Says(FailureOf([&] { OpenListing(lost); }),
             {lost, "damaged or unreadable", "table \"TVDaten\" counts 300 rows, but none of its pages holds one"}));
}

TEST_F(DaoFailure, BytesChangedInTheTablesPages) {
    // Row positions pointing outside their page.
    const std::string positions = Listing("positionen.mdb");
    {
        JetFile file(positions);
        const std::uint32_t page = file.DataPagesOf(file.UserTdef()).front();
        Put16(file.Bytes(), file.At(page) + 14 + 2 * 1, 0x1FF0);
        file.Save();
    }
    EXPECT_TRUE(
        Says(FailureOf([&] { OpenListing(positions); }), {positions, "damaged or unreadable", "row 1 on page"}));

    // The table's page map pointing far beyond the end of the file.
    const std::string beyond = Listing("jenseits.mdb");
    {
        JetFile file(beyond);
        const std::uint32_t pgRow = Get32(file.Bytes(), file.At(file.UserTdef()) + 55);
        const std::size_t map = file.At(pgRow >> 8) + file.RowStart(pgRow >> 8, pgRow & 0xFF);
        if (file.Bytes()[map] == 0) {  // a start page and a bitmap: move the start
            Put32(file.Bytes(), map + 1, Get32(file.Bytes(), map + 1) + 100000);
        } else {  // bitmap pages: mark a page past the end in the first
            const std::uint32_t bitmap = Get32(file.Bytes(), map + 1);
            ASSERT_NE(bitmap, 0u);
            const std::size_t bit = file.PageCount() + 40;
            file.Bytes()[file.At(bitmap) + 4 + bit / 8] |= static_cast<char>(1 << (bit % 8));
        }
        file.Save();
    }
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(beyond); }), {beyond, "damaged or unreadable", "cut short"}));

    // Every data page of the table filled with noise after its header.
    const std::string noise = Listing("rauschen.mdb");
    {
        JetFile file(noise);
        std::mt19937 random(3);
        for (std::uint32_t page : file.DataPagesOf(file.UserTdef()))
            for (std::size_t i = 8; i < kPage; ++i) file.Bytes()[file.At(page) + i] = static_cast<char>(random());
        file.Save();
    }
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(noise); }), {noise, "damaged or unreadable"}));

    // A data page overwritten whole, its header too.
    const std::string overwritten = Listing("ueberschrieben.mdb");
    {
        JetFile file(overwritten);
        const std::uint32_t page = file.DataPagesOf(file.UserTdef()).back();
        std::memset(&file.Bytes()[file.At(page)], 0xEE, kPage);
        file.Save();
    }
    EXPECT_TRUE(
        Says(FailureOf([&] { OpenListing(overwritten); }), {overwritten, "damaged or unreadable", "no database page"}));

    // Memo pointers changed to point at a page that holds no such row.
    const std::string memo = Listing("memo.mdb");
    {
        JetFile file(memo);
        std::string& b = file.Bytes();
        const std::uint32_t page = file.DataPagesOf(file.UserTdef()).front();
        // The first row's memo is its last variable column; make it point to page 1, row 200.
        const std::size_t start = file.At(page) + file.RowStart(page, 0), end = file.At(page) + file.RowEnd(page, 0);
        const std::string row = b.substr(start, end - start);
        const std::size_t nullBytes = (Get16(row, 0) + 7) / 8;
        const unsigned vars = Get16(row, row.size() - nullBytes - 2);
        const unsigned memoAt = Get16(row, row.size() - nullBytes - 4 - 2 * (vars - 1));
        ASSERT_EQ(static_cast<unsigned char>(row[memoAt + 3]), 0x40) << "the first memo is not in one LVAL row";
        Put32(b, start + memoAt + 4, (1u << 8) | 200);
        file.Save();
    }
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(memo); }), {memo, "damaged or unreadable", "memo"}));
}

TEST_F(DaoFailure, AnEmptyUsageMapRow) {
    // libmdb crashes on it; for the table itself the reader sees it coming.
    const std::string table = Listing("tabelle.mdb");
    {
        JetFile file(table);
        file.EmptyUsageMap(file.UserTdef());
        file.Save();
    }
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(table); }), {table, "damaged or unreadable", "page map"}));

    // For the catalog libmdb itself crashes: the reader process dies of it.
    const std::string catalog = Listing("katalog.mdb");
    {
        JetFile file(catalog);
        file.EmptyUsageMap(2);
        file.Save();
    }
    EXPECT_TRUE(Says(FailureOf([&] { OpenListing(catalog); }), {catalog, "damaged or unreadable", "crashed"}));
}

TEST_F(DaoFailure, ALibmdbLoopEndsAtTheWatchdog) {
    const std::string path = Listing();
    {
        JetFile file(path);
        file.LoopingProperties();
        file.Save();
    }
    dao::SetReaderTimeout(std::chrono::milliseconds(800));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(
        Says(FailureOf([&] { OpenListing(path); }), {path, "damaged or unreadable", "no progress for 0.8 seconds"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(DaoFailure, AGoodReadIgnoresLibmdbsEnvironmentPrintsNothingAndLeavesNothing) {
    const std::string path = Listing();
    // MDBOPTS=debug_row makes libmdb dump every row to standard output, and
    // an MDBPATH with an empty component makes it loop on a missing file.
    ::setenv("MDBOPTS", "debug_row:debug_props", 1);
    ::setenv("MDBPATH", ":/nirgends:", 1);
    const std::size_t fds = OpenDescriptors();
    std::fflush(stdout);
    char capture[] = "/tmp/brevan-stdout-XXXXXX";
    const int out = ::mkstemp(capture);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(out, STDOUT_FILENO);
    std::int32_t count = -1;
    try {
        count = OpenListing(path)->RecordCount();
    } catch (const brevan::Error& e) {
        ADD_FAILURE() << e.Description();
    }
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::unsetenv("MDBOPTS");
    ::unsetenv("MDBPATH");
    EXPECT_EQ(count, 300);
    int status;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a child process is left";
    struct stat st {};
    ::fstat(out, &st);
    ::close(out);
    ::unlink(capture);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(OpenDescriptors(), fds) << "descriptors leaked";
}

}  // namespace
