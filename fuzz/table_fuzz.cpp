// libFuzzer target for the reader's walk over a table, where the bytes of a
// hostile or damaged file arrive. A listing table is written once by the
// project's Jet 4 writer and its definition read with libmdb; each input
// then changes bytes of the table's data and memo pages in that file, and
// the table scan reads them as brevan-reader does: the pages in map order,
// overflow pointers, row cracking, the cells with their text and memos.
// Damage is an answer; a crash, a read outside a page or a hang is a
// finding. libmdb reads only the intact catalog and definition.
//
// An input is a list of changes, four bytes each: the page (its index among
// the table's pages, modulo their number), the offset on it (16 bits, modulo
// the page size) and the new byte. An empty input reads the intact table.
#include "dao/reader/damage.h"
#include "dao/reader/jet_page.h"
#include "dao/reader/mdb_session.h"
#include "dao/reader/memo_reader.h"
#include "dao/reader/page_source.h"
#include "dao/reader/row_cells.h"
#include "dao/reader/stream_writer.h"
#include "dao/reader/table_scan.h"
#include "dao/reader/text_decoder.h"

#include "jet4/jet4_writer.h"

#include <fcntl.h>
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace brevan::dao::reader;

namespace {

struct Table {
    MdbSession session;
    MdbCatalogEntry* entry = nullptr;
    MdbTableDef* definition = nullptr;
    int writeFd = -1;
    int sinkFd = -1;
    std::vector<std::uint32_t> pages;                // the table's data and memo pages
    std::vector<std::vector<unsigned char>> intact;  // their bytes as written
};

Table* table = nullptr;

// Rows of every kind a listing holds: in-row and long memos, Nulls, rows
// moved behind pointers (one and three hops), deleted and compacted slots.
void WriteListing(const std::string& path) {
    using jet4::ColumnType;
    jet4::Writer writer(path);
    writer.BeginTable("TVDaten", {{"SendungID", ColumnType::Long},
                                  {"SenderKennung", ColumnType::Text, 20},
                                  {"Datum", ColumnType::DateTime},
                                  {"Titel", ColumnType::Text},
                                  {"Beschreibung", ColumnType::Memo},
                                  {"Wiederholung", ColumnType::YesNo}});
    const std::u16string longText(3000, u'x');
    for (int i = 0; i < 40; ++i) {
        jet4::RowOptions options;
        if (i % 7 == 3) options.state = jet4::RowState::Moved;
        if (i == 10) options.hops = 3;
        if (i % 11 == 5) options.state = jet4::RowState::Deleted;
        if (i == 20) options.state = jet4::RowState::Compacted;
        writer.AddRow({std::int64_t{i}, jet4::Text(i % 2 ? "ARD" : "ZDF \xe2\x80\x93 HD"),
                       jet4::Date(2024, 5, 10 + i % 3), jet4::Text("Tagesschau"),
                       i % 5 == 0   ? jet4::Value{longText}
                       : i % 5 == 1 ? jet4::Value{jet4::Null{}}
                                    : jet4::Text("kurz"),
                       i % 2 == 0},
                      options);
    }
    writer.Finish();
}

Table* Open() {
    char path[] = "/tmp/brevan-table-fuzz-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) std::abort();
    ::close(fd);
    WriteListing(path);
    auto* t = new Table;
    std::string detail;
    if (t->session.Open(path, detail)) std::abort();
    GPtrArray* catalog = t->session.Catalog();
    t->entry = catalog ? MdbSession::FindTable(catalog, "TVDaten") : nullptr;
    if (!t->entry) std::abort();
    // The definition is read once, from the file as written; only its data
    // and memo pages are changed by the inputs.
    PageSource definitionPages(t->session.Descriptor(), t->session.FileSize(), t->session.PageSize(), nullptr);
    t->definition = &t->session.OpenTable(t->entry, definitionPages);
    t->writeFd = ::open(path, O_RDWR | O_CLOEXEC);
    t->sinkFd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::unlink(path);  // the two descriptors keep it
    if (t->writeFd < 0 || t->sinkFd < 0) std::abort();
    const std::size_t pageSize = t->session.PageSize();
    std::vector<unsigned char> page(pageSize);
    for (std::uint32_t n = 1; n < t->session.FileSize() / pageSize; ++n) {
        if (::pread(t->writeFd, page.data(), pageSize, static_cast<off_t>(n) * pageSize) !=
            static_cast<ssize_t>(pageSize))
            std::abort();
        if (page[0] == MDB_PAGE_DATA && Get32(page.data() + 4) == static_cast<std::uint32_t>(t->entry->table_pg)) {
            t->pages.push_back(n);
            t->intact.push_back(page);
        }
    }
    if (t->pages.empty()) std::abort();
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!table) table = Open();
    Table& t = *table;
    const std::size_t pageSize = t.session.PageSize();
    std::vector<std::vector<unsigned char>> pages = t.intact;
    for (std::size_t at = 0; at + 4 <= size; at += 4) {
        const std::size_t offset = (data[at + 1] | (data[at + 2] << 8)) % pageSize;
        pages[data[at] % pages.size()][offset] = data[at + 3];
    }
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (::pwrite(t.writeFd, pages[i].data(), pageSize, static_cast<off_t>(t.pages[i]) * pageSize) !=
            static_cast<ssize_t>(pageSize))
            std::abort();

    const std::string owner = "table \"TVDaten\"";
    PageSource scanPages(t.session.Descriptor(), t.session.FileSize(), pageSize, nullptr);
    PageSource targets(t.session.Descriptor(), t.session.FileSize(), pageSize, nullptr);
    TextDecoder text(t.session.Jet3(), t.session.CodePage());
    MemoReader memos(scanPages, text, t.session.RowCountOffset(), owner);
    // Every column, as for a caller that asks for all of them.
    RowCells cells(*t.definition, std::vector<bool>(t.definition->num_cols, true), text, memos);
    TableScan scan(t.session, *t.definition, static_cast<std::uint32_t>(t.entry->table_pg), scanPages, targets, cells);
    StreamWriter out(t.sinkFd);
    try {
        (void)scan.Stream(out);
    } catch (const Damage&) {}
    return 0;
}
