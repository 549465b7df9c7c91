#include "dao/reader/table_scan.h"

#include "dao/reader/damage.h"
#include "dao/reader/jet_page.h"
#include "dao/reader/table_shape.h"
#include "dao/reader/usage_map.h"

#include <algorithm>
#include <chrono>

namespace brevan::dao::reader {
namespace {

// How often a scan says how far it has come (the engine's watchdog waits 20 s).
constexpr std::chrono::milliseconds kProgressInterval{1000};

// Access moves a row again by rewriting the pointer in its first slot, so
// the chains it leaves are one pointer long; one far longer is damage even
// without a loop, and the bound keeps a damaged file from costing time.
constexpr std::size_t kMaxChain = 64;

}  // namespace

TableScan::TableScan(MdbSession& session, MdbTableDef& table, std::uint32_t tablePage, PageSource& pages,
                     PageSource& targets, RowCells& cells)
    : session_(session),
      table_(table),
      tablePage_(tablePage),
      pages_(pages),
      targets_(targets),
      cells_(cells),
      owner_("table \"" + std::string(table.name) + "\""),
      shape_(ShapeOfTable(table, session.Jet3())),
      scanPage_(pages.PageSize()),
      targetPage_(pages.PageSize()) {}

const unsigned char* TableScan::TargetPage(std::uint32_t page) {
    if (page != targetNumber_) {
        targetNumber_ = 0;
        targets_.Read(page, targetPage_.data(), owner_);
        targetNumber_ = page;
    }
    return targetPage_.data();
}

const unsigned char* TableScan::Follow(RowSlot& slot, RowPlace& place) {
    const std::size_t pageSize = pages_.PageSize();
    const unsigned rowCountOffset = session_.RowCountOffset();
    // The pointer being followed: the scan's slot, then each further one.
    std::pair<std::uint32_t, unsigned> here{place.page, place.row};
    auto pointer = [&] {
        std::string text = "the overflow pointer in " + place.Text();
        if (here.first != place.page || here.second != place.row)
            text += " (by way of row " + std::to_string(here.second) + " on page " + std::to_string(here.first) + ")";
        return text;
    };
    chain_.assign(1, here);
    const unsigned char* page = scanPage_.data();
    for (;;) {
        if (slot.Size() < kOverflowPointerSize) throw Damage{pointer() + " is cut short"};
        const unsigned char* at = page + slot.start;
        const std::uint32_t next = Get24(at + 1);
        const unsigned row = at[0];
        auto target = [&] { return "row " + std::to_string(row) + " on page " + std::to_string(next); };
        if (std::find(chain_.begin(), chain_.end(), std::pair{next, row}) != chain_.end())
            throw Damage{pointer() + " leads round in a loop (back to " + target() + ")"};
        if (chain_.size() > kMaxChain)
            throw Damage{pointer() + " leads through more than " + std::to_string(kMaxChain) + " pointers"};
        chain_.emplace_back(next, row);
        if (next >= pages_.PageCount())
            throw Damage{pointer() + " leads beyond the end of the file (to " + target() + ")"};
        page = TargetPage(next);
        if (page[0] != MDB_PAGE_DATA || Get32(page + 4) != tablePage_)
            throw Damage{pointer() + " leads to " + target() + ", a page that holds no rows of " + *place.owner};
        const RowSlots slots(page, pageSize, rowCountOffset);
        if (!slots.Fits() || row >= slots.Count())
            throw Damage{pointer() + " leads to " + target() + ", which does not exist"};
        slot = slots.At(row);
        if (!slots.Sound(slot))
            throw Damage{pointer() + " leads to " + target() + ", which has an impossible position"};
        if (slot.Size() == 0) throw Damage{pointer() + " leads to " + target() + ", whose bytes are gone"};
        // A further pointer, whatever its deleted flag; else the row, whatever its flags.
        if (!(slot.flags & kRowOverflow)) {
            place.moved = true;
            place.movedPage = next;
            place.movedRow = row;
            return page;
        }
        here = {next, row};
    }
}

std::optional<std::uint64_t> TableScan::Stream(StreamWriter& out) {
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
    // Pages without live rows send nothing: a table of mostly deleted rows
    // on a slow share would look hung to the engine's watchdog. So the scan
    // says how many pages it has read, at least every second.
    auto lastReport = std::chrono::steady_clock::now();
    auto reportProgress = [&]() -> bool {
        if (std::chrono::steady_clock::now() - lastReport < kProgressInterval) return true;
        if (inMessage > 0) {
            if (!endMessage()) return false;
        } else {
            buf.clear();  // the rows message just begun, empty
        }
        out.Begin(protocol::MessageKind::Progress);
        protocol::PutU64(buf, pages_.PagesRead() + targets_.PagesRead());
        out.End();
        if (!out.Flush()) return false;
        lastReport = std::chrono::steady_clock::now();
        beginMessage();
        return true;
    };

    // Map pages are read through `targets_`, which leaves the scan's window where it is.
    UsageMap map(table_.usage_map, table_.map_sz, targets_, owner_);
    while (const std::optional<std::uint32_t> found = map.Next()) {
        const std::uint32_t next = *found;
        // The scan page has a buffer of its own: memos and overflow pointers
        // read other pages meanwhile.
        pages_.Read(next, scanPage_.data(), owner_);
        const unsigned char* page = scanPage_.data();
        // libmdb passes over pages a map marks wrongly (another table's
        // page, a freed one), which happens in files Access wrote; a page
        // that is no kind of page at all is damage.
        if (page[0] > MDB_PAGE_MAP)
            throw Damage{"page " + std::to_string(next) + " of " + owner_ + " is no database page"};
        if (page[0] != MDB_PAGE_DATA || Get32(page + 4) != tablePage_) continue;
        const RowSlots slots(page, pageSize, rowCountOffset);
        if (!slots.Fits()) throw Damage{"data page " + std::to_string(next) + " of " + owner_ + " is broken"};
        for (unsigned r = 0; r < slots.Count(); ++r) {
            RowSlot slot = slots.At(r);
            // Deleted rows, rows moved here from a pointer, reclaimed slots.
            if (slot.flags & kRowDeleted) continue;
            RowPlace place{&owner_, next, r};
            if (!slots.Sound(slot)) throw Damage{place.Text() + " has an impossible position"};
            if (slot.Size() == 0) continue;
            const unsigned char* holder = (slot.flags & kRowOverflow) ? Follow(slot, place) : page;
            const unsigned char* row = holder + slot.start;
            if (!CrackRow(shape_, row, slot.Size(), fields_)) throw Damage{place.Text() + " is broken"};
            cells_.Append(buf, fields_, row, slot.Size(), place);
            ++inMessage;
            ++total;
            if (out.Full()) {
                if (!endMessage()) return std::nullopt;
                beginMessage();
            }
        }
        if (!reportProgress()) return std::nullopt;
    }
    // Access counts a table's rows in its definition; a count whose rows
    // are nowhere is a file that lost them, not an empty table.
    if (total == 0 && table_.num_rows > 0)
        throw Damage{owner_ + " counts " + std::to_string(table_.num_rows) + " rows, but none of its pages holds one"};
    if (inMessage > 0 && !endMessage()) return std::nullopt;
    if (inMessage == 0) buf.clear();
    return total;
}

}  // namespace brevan::dao::reader
