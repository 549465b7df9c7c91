#include "dao/reader/table_scan.h"

#include "dao/reader/damage.h"
#include "dao/reader/jet_page.h"

namespace brevan::dao::reader {
namespace {

constexpr unsigned kRowDeleted = 0x4000;
constexpr unsigned kRowOverflow = 0x8000;

} // namespace

TableScan::TableScan(MdbSession& session, MdbTableDef& table, std::uint32_t tablePage, PageSource& pages,
                     RowCells& cells)
    : session_(session),
      table_(table),
      tablePage_(tablePage),
      pages_(pages),
      cells_(cells),
      owner_("table \"" + std::string(table.name) + "\""),
      fields_(static_cast<MdbField*>(g_malloc0(sizeof(MdbField) * table.num_cols))) {}

TableScan::~TableScan() { g_free(fields_); }

std::string TableScan::RowPlace(std::uint32_t page, unsigned row) const {
    return "row " + std::to_string(row) + " on page " + std::to_string(page) + " of " + owner_;
}

std::optional<std::uint64_t> TableScan::Stream(StreamWriter& out) {
    MdbHandle* mdb = session_.Handle();
    const std::size_t pageSize = pages_.PageSize();
    const unsigned rowCountOffset = session_.RowCountOffset();
    std::string& buf = out.Buffer();
    std::uint64_t total = 0;
    std::uint32_t inMessage = 0;
    std::size_t countAt = 0;
    auto beginMessage = [&] {
        out.Begin(protocol::MessageKind::Rows);
        countAt = buf.size();
        protocol::PutU32(buf, 0);
        inMessage = 0;
    };
    auto endMessage = [&]() -> bool {
        out.Patch32(countAt, inMessage);
        out.End();
        return out.Flush();
    };
    beginMessage();

    const unsigned char* map = table_.usage_map;
    const bool knownMap = map[0] == 0 || map[0] == 1;
    const std::uint64_t pageCount = pages_.PageCount();
    std::uint32_t current = 0;
    for (;;) {
        std::uint32_t next;
        if (knownMap) {
            const gint32 found = mdb_map_find_next(mdb, table_.usage_map, static_cast<unsigned>(table_.map_sz), current);
            if (found < 0) throw Damage{"a page map of " + owner_ + " cannot be read"};
            if (found == 0 || static_cast<std::uint32_t>(found) <= current) break;
            next = static_cast<std::uint32_t>(found);
        } else {
            // An unknown map type: look at every page, as libmdb does.
            next = current + 1;
            if (next >= pageCount) break;
        }
        // mdb_crack_row reads the row from libmdb's page buffer.
        pages_.Read(next, mdb->pg_buf, owner_);
        mdb->cur_pg = next;
        current = next;
        const unsigned char* page = mdb->pg_buf;
        // libmdb passes over pages a map marks wrongly (another table's
        // page, a freed one), which happens in files Access wrote; a page
        // that is no kind of page at all is damage.
        if (page[0] > MDB_PAGE_MAP)
            throw Damage{"page " + std::to_string(next) + " of " + owner_ + " is no database page"};
        if (page[0] != MDB_PAGE_DATA || Get32(page + 4) != tablePage_) continue;
        const unsigned rows = Get16(page + rowCountOffset);
        if (rowCountOffset + 2 + 2 * std::size_t(rows) > pageSize)
            throw Damage{"data page " + std::to_string(next) + " of " + owner_ + " is broken"};
        for (unsigned r = 0; r < rows; ++r) {
            const unsigned raw = Get16(page + rowCountOffset + 2 + 2 * r);
            if (raw & kRowDeleted) continue;
            const unsigned start = raw & kRowOffsetMask;
            const unsigned end = r == 0 ? pageSize : (Get16(page + rowCountOffset + 2 * r) & kRowOffsetMask);
            if (start >= pageSize || start > end || end > pageSize) {
                if (raw & kRowOverflow) continue;
                throw Damage{RowPlace(next, r) + " has an impossible position"};
            }
            if (start == end) continue;
            if (mdb_crack_row(&table_, static_cast<int>(start), end - start, fields_) < 0) {
                // An overflow pointer is no row; libmdb passes over it.
                if (raw & kRowOverflow) continue;
                throw Damage{RowPlace(next, r) + " is broken"};
            }
            cells_.Append(buf, fields_, page, start, end, RowPlace(next, r));
            ++inMessage;
            ++total;
            if (out.Full()) {
                if (!endMessage()) return std::nullopt;
                beginMessage();
            }
        }
    }
    if (inMessage > 0 && !endMessage()) return std::nullopt;
    if (inMessage == 0) buf.clear();
    return total;
}

} // namespace brevan::dao::reader
