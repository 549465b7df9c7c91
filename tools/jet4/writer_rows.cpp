// Rows onto data pages (live, deleted, compacted or moved behind overflow
// pointers) and long memos onto LVAL pages.
#include <algorithm>

#include "jet4/row_encoder.h"
#include "jet4/writer_impl.h"

namespace jet4 {

std::size_t Writer::Impl::CheckOptions(const RowOptions& options, const std::string& where) const {
    const auto all = static_cast<int>(open->columns.size());
    if (options.columns < 0 || options.columns > all)
        throw WriteError(where + ": a row holds 1 to " + std::to_string(all) + " columns, not " +
                         std::to_string(options.columns));
    if (options.hops < 1 || options.hops > kMaxHops)
        throw WriteError(where + ": a moved row takes 1 to " + std::to_string(kMaxHops) + " hops, not " +
                         std::to_string(options.hops));
    return static_cast<std::size_t>(options.columns == 0 ? all : options.columns);
}

void Writer::Impl::AddRow(const std::vector<Value>& row, const RowOptions& options) {
    CheckUsable();
    if (!open) throw WriteError("AddRow without an open table");
    Table& t = *open;
    ++t.rowsOffered;
    const std::string where = "table " + Quoted(t.name) + ", row " + std::to_string(t.rowsOffered);
    if (row.size() != t.columns.size())
        throw WriteError(where + ": " + std::to_string(row.size()) + " values for " + std::to_string(t.columns.size()) +
                         " columns");
    const std::size_t held = CheckOptions(options, where);
    const bool counted = options.state == RowState::Live || options.state == RowState::Moved;
    if (counted && t.rowCount == UINT32_MAX) throw WriteError(where + ": too many rows");

    // Everything that can refuse the row happens before anything is written.
    std::vector<EncodedValue> cells;
    cells.reserve(row.size());
    for (std::size_t i = 0; i < row.size(); ++i) {
        const bool isNull = std::holds_alternative<Null>(row[i]);
        if (i >= held && !isNull)
            throw WriteError(where + ", column " + Quoted(t.columns[i].name) + ": the row holds only its first " +
                             std::to_string(held) + " columns, so this one must be Null");
        // Null in a deleted column (or one the row lacks) means no bytes, even for Yes/No.
        if (isNull && (i >= held || t.columns[i].deleted)) {
            cells.emplace_back();
            continue;
        }
        cells.push_back(EncodeValue(t.columns[i], row[i], where));
    }

    auto variableBytes = [&]() {
        std::size_t n = 0;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const EncodedValue& p = cells[i];
            if (!p.cell.present || t.layout.columns[i].fixed) continue;
            n += p.memo ? kMemoHeader + (p.inlineMemo ? p.memoText.size() : 0) : p.cell.bytes.size();
        }
        return n;
    };
    // Too long for a record: move inline memos out, largest first.
    while (RowLength(t.layout, variableBytes(), held) > kMaxRecordSize) {
        EncodedValue* largest = nullptr;
        for (EncodedValue& p : cells)
            if (p.memo && p.inlineMemo && !p.memoText.empty() &&
                (!largest || p.memoText.size() > largest->memoText.size()))
                largest = &p;
        if (!largest) {
            std::size_t widest = 0;
            for (std::size_t i = 1; i < cells.size(); ++i)
                if (cells[i].cell.bytes.size() > cells[widest].cell.bytes.size()) widest = i;
            throw WriteError(where + ", column " + Quoted(t.columns[widest].name) + ": the record needs " +
                             std::to_string(RowLength(t.layout, variableBytes(), held)) + " bytes, more than " +
                             std::to_string(kMaxRecordSize));
        }
        largest->inlineMemo = false;
    }

    try {
        switch (options.state) {
        case RowState::Live: Place(rows, BuildRow(cells, held), 0); break;
        case RowState::Deleted: Place(rows, BuildRow(cells, held), kRowDeleted); break;
        case RowState::Compacted:
            // Nothing of the row is left, its long values neither.
            Place(rows, {}, kRowDeleted | kRowOverflow);
            break;
        case RowState::Moved: {
            Slot target = Place(moved, BuildRow(cells, held), kRowDeleted);
            for (int hop = 1; hop < options.hops; ++hop)
                target = Place(moved, PointerTo(target), kRowDeleted | kRowOverflow, true);
            Place(rows, PointerTo(target), kRowOverflow);
            break;
        }
        }
        if (counted) ++t.rowCount;
    } catch (...) {
        broken = true;
        file.Abandon();
        throw;
    }
}

// Stores long memos on LVAL pages and encodes the row.
Bytes Writer::Impl::BuildRow(std::vector<EncodedValue>& cells, std::size_t held) {
    std::vector<Cell> final;
    final.reserve(cells.size());
    for (EncodedValue& p : cells) {
        if (p.memo && p.cell.present) {
            Bytes field(kMemoHeader, 0);
            Set32(field.data(), static_cast<std::uint32_t>(p.memoText.size()));
            if (p.inlineMemo) {
                field[3] = kMemoInline;
                field.insert(field.end(), p.memoText.begin(), p.memoText.end());
            } else {
                std::uint8_t flag = 0;
                Set32(field.data() + 4, StoreLongValue(p.memoText, flag));
                field[3] = flag;
            }
            p.cell.bytes = std::move(field);
        }
        final.push_back(std::move(p.cell));
    }
    return EncodeRow(open->layout, final, held);
}

std::uint32_t Writer::Impl::StoreLongValue(const Bytes& data, std::uint8_t& flag) {
    if (data.size() <= kMemoSingleRowMax) {
        flag = kMemoSingle;
        if (!lvalPageOpen || !lvalPage.Fits(data.size())) {
            FlushLval();
            lvalPageNo = file.Allocate();
            lvalPage.Reset(kLvalOwner);
            lvalPageOpen = true;
        }
        return PageRow(lvalPageNo, static_cast<std::uint32_t>(lvalPage.Add(data.data(), data.size())));
    }
    // A chain: one row per page, each naming the next; the pieces add up exactly.
    flag = kMemoChain;
    const auto pieces = static_cast<std::uint32_t>((data.size() + kMemoPiece - 1) / kMemoPiece);
    const std::uint32_t first = file.Allocate(pieces);
    DataPage page(kLvalOwner);
    Bytes piece;
    for (std::uint32_t k = 0; k < pieces; ++k) {
        const std::size_t from = k * kMemoPiece;
        const std::size_t length = std::min(kMemoPiece, data.size() - from);
        piece.clear();
        Put32(piece, k + 1 < pieces ? PageRow(first + k + 1, 0) : 0);
        piece.insert(piece.end(), data.begin() + static_cast<std::ptrdiff_t>(from),
                     data.begin() + static_cast<std::ptrdiff_t>(from + length));
        page.Reset(kLvalOwner);
        page.Add(piece.data(), piece.size());
        file.Write(first + k, page.Data());
    }
    return PageRow(first, 0);
}

Slot Writer::Impl::Place(OpenPage& p, const Bytes& bytes, std::uint16_t flags, bool freshPage) {
    if (freshPage || !p.open || !p.page.Fits(bytes.size())) {
        Flush(p);
        p.number = file.Allocate();
        p.page.Reset(open->tdefPage);
        p.open = true;
        open->dataPages.push_back(p.number);
    }
    return {p.number, p.page.Add(bytes.data(), bytes.size(), flags)};
}

void Writer::Impl::Flush(OpenPage& p) {
    if (!p.open) return;
    for (PendingPointer& b : pending)
        if (b.at.page == p.number) b.pageRows = p.page.RowCount();
    file.Write(p.number, p.page.Data());
    p.open = false;
}

void Writer::Impl::FlushLval() {
    if (lvalPageOpen) file.Write(lvalPageNo, lvalPage.Data());
    lvalPageOpen = false;
}

}  // namespace jet4
