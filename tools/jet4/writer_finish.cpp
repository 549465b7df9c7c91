// The finished file: catalog, usage maps, definitions, header; and broken
// overflow pointers, some aimed only once the file is complete.
#include <algorithm>

#include "jet4/catalog.h"
#include "jet4/header_page.h"
#include "jet4/usage_map.h"
#include "jet4/writer_impl.h"

namespace jet4 {
namespace {

// Layout::CatalogFirst's pages.
constexpr std::uint32_t kFirstCatalogPage = 3;
constexpr std::uint32_t kCatalogMapPage = 4;

}  // namespace

void Writer::Impl::AddBrokenPointer(BrokenPointer kind) {
    CheckUsable();
    if (!open) throw WriteError("AddBrokenPointer without an open table");
    Table& t = *open;
    if (t.rowCount == UINT32_MAX) throw WriteError("table " + Quoted(t.name) + ": too many rows");
    try {
        const Slot at = Place(rows, Bytes(kOverflowPointerSize, 0), kRowOverflow);
        auto pointTo = [&](Slot target) {
            const Bytes b = PointerTo(target);
            rows.page.Overwrite(at.row, b.data(), b.size());
        };
        switch (kind) {
        case BrokenPointer::Loop: pointTo(at); break;
        case BrokenPointer::Cycle: pointTo(Place(moved, PointerTo(at), kRowDeleted | kRowOverflow)); break;
        case BrokenPointer::DefinitionPage: pointTo({t.tdefPage, 0}); break;
        case BrokenPointer::BeyondFile:
        case BrokenPointer::UsageMapPage:
        case BrokenPointer::OtherTable:
        case BrokenPointer::MissingRow: pending.push_back({done.size(), kind, at, rows.page.RowStart(at.row)}); break;
        }
        ++t.rowCount;
    } catch (...) {
        broken = true;
        file.Abandon();
        throw;
    }
}

void Writer::Impl::Finish() {
    CheckUsable();
    if (open) EndTable();
    for (const PendingPointer& b : pending) {
        if (b.kind != BrokenPointer::OtherTable) continue;
        if (std::none_of(done.begin(), done.end(),
                         [&](const Table& t) { return &t != &done[b.table] && !t.dataPages.empty(); }))
            throw WriteError("table " + Quoted(done[b.table].name) +
                             ": a broken pointer to another table's data page needs another table with rows");
    }
    try {
        // Catalog rows.
        std::vector<UserTable> tables;
        for (const Table& t : done) tables.push_back({t.wideName, t.tdefPage});
        const std::vector<Bytes> catalogRows = CatalogRows(tables);
        std::vector<std::uint32_t> catalogPages;
        DataPage page(kCatalogPage);
        std::uint32_t pageNo = 0;
        for (const Bytes& r : catalogRows) {
            if (catalogPages.empty() || !page.Fits(r.size())) {
                if (!catalogPages.empty()) file.Write(pageNo, page.Data());
                pageNo = catalogFirst && catalogPages.empty() ? kFirstCatalogPage : file.Allocate();
                page.Reset(kCatalogPage);
                catalogPages.push_back(pageNo);
            }
            page.Add(r.data(), r.size());
        }
        file.Write(pageNo, page.Data());

        // Usage and free-space maps, as rows of data pages owned by no table.
        DataPage mapPage(0);
        std::uint32_t mapPageNo = 0;
        bool mapOpen = false;
        auto addMap = [&](const Bytes& r) {
            if (!mapOpen || !mapPage.Fits(r.size())) {
                if (mapOpen) file.Write(mapPageNo, mapPage.Data());
                mapPageNo = file.Allocate();
                mapPage.Reset(0);
                mapOpen = true;
            }
            return PageRow(mapPageNo, static_cast<std::uint32_t>(mapPage.Add(r.data(), r.size())));
        };
        // A table's maps on the page reserved for them, or on the shared map pages.
        auto putMaps = [&](TdefFacts& f, const Bytes& usage, std::uint32_t reserved) {
            if (reserved == 0) {
                f.usageMap = addMap(usage);
                f.freeMap = addMap(EmptyUsageMap());
                return;
            }
            DataPage maps(0);
            const Bytes free = EmptyUsageMap();
            f.usageMap = PageRow(reserved, static_cast<std::uint32_t>(maps.Add(usage.data(), usage.size())));
            f.freeMap = PageRow(reserved, static_cast<std::uint32_t>(maps.Add(free.data(), free.size())));
            file.Write(reserved, maps.Data());
        };
        TdefFacts catalogFacts{0x53, static_cast<std::uint32_t>(catalogRows.size()), 0, 0};
        putMaps(catalogFacts, BuildUsageMap(catalogPages, file), catalogFirst ? kCatalogMapPage : 0);
        std::vector<TdefFacts> facts;
        for (const Table& t : done) {
            TdefFacts f{0x4E, t.rowCount, 0, 0};
            putMaps(f, BuildUsageMap(t.dataPages, file), t.mapPage);
            facts.push_back(f);
        }
        if (mapOpen) file.Write(mapPageNo, mapPage.Data());

        // Definitions.
        const Bytes catalogTdef = BuildTdef(CatalogLayout(), catalogFacts, kCatalogPage);
        if (catalogTdef.size() != kPageSize) throw WriteError("internal error: catalog definition spans pages");
        file.Write(kCatalogPage, catalogTdef.data());
        for (std::size_t i = 0; i < done.size(); ++i) {
            const Bytes tdef = BuildTdef(done[i].layout, facts[i], done[i].tdefPage);
            for (std::size_t p = 0; p * kPageSize < tdef.size(); ++p)
                file.Write(done[i].tdefPage + static_cast<std::uint32_t>(p), tdef.data() + p * kPageSize);
        }
        SettlePointers(facts);

        // Page 1, the global map (readers ignore it), and the header.
        DataPage global(0);
        const Bytes empty = EmptyUsageMap();
        global.Add(empty.data(), empty.size());
        global.Add(empty.data(), empty.size());
        file.Write(1, global.Data());
        file.Write(0, BuildHeaderPage().data());
        file.Commit();
        finished = true;
    } catch (...) {
        broken = true;
        file.Abandon();
        throw;
    }
}

// Aims the broken pointers that needed the finished file.
void Writer::Impl::SettlePointers(const std::vector<TdefFacts>& facts) {
    for (const PendingPointer& b : pending) {
        Slot target{};
        switch (b.kind) {
        case BrokenPointer::BeyondFile: target = {file.PageCount(), 0}; break;
        case BrokenPointer::UsageMapPage:
            target = {facts[b.table].usageMap >> 8, static_cast<int>(facts[b.table].usageMap & 0xFF)};
            break;
        case BrokenPointer::OtherTable:
            for (std::size_t i = 0; i < done.size(); ++i)
                if (i != b.table && !done[i].dataPages.empty()) {
                    target = {done[i].dataPages.front(), 0};
                    break;
                }
            break;
        case BrokenPointer::MissingRow: target = {b.at.page, b.pageRows}; break;
        case BrokenPointer::DefinitionPage:
        case BrokenPointer::Loop:
        case BrokenPointer::Cycle: continue;  // aimed when added
        }
        const Bytes bytes = PointerTo(target);
        file.Patch(b.at.page, b.offset, bytes.data(), bytes.size());
    }
}

}  // namespace jet4
