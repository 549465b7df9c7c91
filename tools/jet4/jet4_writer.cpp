// The writer: turns values into cells, rows onto data pages, long memos onto
// LVAL pages, and at the end writes catalog, usage maps, definitions and header.
#include "jet4/jet4_writer.h"

#include <algorithm>
#include <optional>

#include "jet4/catalog.h"
#include "jet4/data_page.h"
#include "jet4/header_page.h"
#include "jet4/page_file.h"
#include "jet4/row_encoder.h"
#include "jet4/table_layout.h"
#include "jet4/usage_map.h"
#include "jet4/value_encoding.h"

namespace jet4 {

using namespace detail;

namespace {

constexpr std::size_t kMemoSingleRowMax = 4076;   // one LVAL row
constexpr std::size_t kMemoPiece = 4072;          // per page of an LVAL chain
constexpr std::size_t kMaxNameChars = 64;
constexpr std::uint8_t kMemoInline = 0x80;
constexpr std::uint8_t kMemoSingle = 0x40;
constexpr std::uint8_t kMemoChain = 0x00;
constexpr int kMaxHops = 8;

TypeCode CodeOf(ColumnType t) {
  switch (t) {
    case ColumnType::Text: return kText;
    case ColumnType::Memo: return kMemo;
    case ColumnType::DateTime: return kDate;
    case ColumnType::Long: return kInt32;
    case ColumnType::Integer: return kInt16;
    case ColumnType::Double: return kDouble;
    case ColumnType::YesNo: return kBool;
  }
  return kText;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::u16string FoldCase(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return s;
}

// A name for a table or column: checked, as UTF-16.
std::u16string CheckName(const std::string& name, const std::string& what) {
  std::u16string wide;
  try {
    wide = Utf16(name);
  } catch (const WriteError& e) {
    throw WriteError(what + " " + Quoted(name) + ": " + e.what());
  }
  if (wide.empty()) throw WriteError(what + " name is empty");
  if (wide.size() > kMaxNameChars)
    throw WriteError(what + " " + Quoted(name) + ": name longer than " + std::to_string(kMaxNameChars) +
                     " characters");
  for (char16_t c : wide)
    if (c < 0x20) throw WriteError(what + " " + Quoted(name) + ": name holds a control character");
  return wide;
}

struct Table {
  std::string name;
  std::u16string wideName;
  std::vector<Column> columns;
  TableLayout layout;
  std::uint32_t tdefPage = 0;
  std::uint32_t rowCount = 0;
  std::uint64_t rowsOffered = 0;
  std::vector<std::uint32_t> dataPages;  // ascending: numbered as they open
};

// A data page being filled, and its number.
struct OpenPage {
  DataPage page;
  std::uint32_t number = 0;
  bool open = false;
};

struct Slot {
  std::uint32_t page;
  int row;
};

// An overflow pointer's bytes.
Bytes PointerTo(Slot s) {
  Bytes b;
  Put32(b, PageRow(s.page, static_cast<std::uint32_t>(s.row)));
  return b;
}

// A broken pointer whose target is known only when the file is complete.
struct PendingPointer {
  std::size_t table;   // index in the finished tables
  BrokenPointer kind;
  Slot at;
  std::size_t offset;  // of the pointer's bytes in its page
  int pageRows = -1;   // rows on its page, once the page is written
};

}  // namespace

struct Writer::Impl {
  explicit Impl(std::string path) : file(std::move(path)) {
    // Pages 0 (header), 1 (global map) and 2 (catalog definition) come first.
    file.Allocate(3);
  }

  void BeginTable(std::string name, std::vector<Column> cols);
  void AddRow(const std::vector<Value>& row, const RowOptions& options);
  void AddBrokenPointer(BrokenPointer kind);
  void EndTable();
  void Finish();

  // Refuses bad row options; returns how many columns the row holds.
  std::size_t CheckOptions(const RowOptions& options, const std::string& where) const;
  Bytes BuildRow(std::vector<EncodedValue>& cells, std::size_t held);
  std::uint32_t StoreLongValue(const Bytes& data, std::uint8_t& flag);
  // Adds a slot to a data page of the open table: to `p`, or to a new page
  // when `p` is full or `freshPage` asks for one.
  Slot Place(OpenPage& p, const Bytes& bytes, std::uint16_t flags, bool freshPage = false);
  void Flush(OpenPage& p);
  void FlushLval();
  void SettlePointers(const std::vector<TdefFacts>& facts);
  void CheckUsable() const;

  PageFile file;
  std::optional<Table> open;
  std::vector<Table> done;
  OpenPage rows;   // the open table's rows in scan order
  OpenPage moved;  // rows moved behind overflow pointers, and chain links
  std::vector<PendingPointer> pending;
  DataPage lvalPage{kLvalOwner};
  std::uint32_t lvalPageNo = 0;
  bool lvalPageOpen = false;
  bool finished = false;
  bool broken = false;
};

void Writer::Impl::CheckUsable() const {
  if (finished) throw WriteError("the database is already finished");
  if (broken) throw WriteError("the database was abandoned after an earlier failure");
}

void Writer::Impl::BeginTable(std::string name, std::vector<Column> cols) {
  CheckUsable();
  if (open) throw WriteError("table " + Quoted(open->name) + " is still open");
  Table t;
  t.wideName = CheckName(name, "table");
  const std::string where = "table " + Quoted(name);
  if (FoldCase(t.wideName).rfind(u"MSYS", 0) == 0) throw WriteError(where + ": the name is reserved");
  for (const Table& d : done)
    if (FoldCase(d.wideName) == FoldCase(t.wideName)) throw WriteError(where + ": a table of that name exists");
  if (std::none_of(cols.begin(), cols.end(), [](const Column& c) { return !c.deleted; }))
    throw WriteError(where + ": no columns");
  // Deleted columns count: rows are numbered and laid out by them.
  if (cols.size() > 255) throw WriteError(where + ": more than 255 columns");
  std::vector<ColumnSpec> specs;
  std::vector<std::u16string> seen;
  for (const Column& c : cols) {
    std::u16string wide = CheckName(c.name, where + ", column");
    const std::string at = where + ", column " + Quoted(c.name);
    // A deleted column's name may come back on a live one.
    if (!c.deleted) {
      if (std::find(seen.begin(), seen.end(), FoldCase(wide)) != seen.end())
        throw WriteError(at + ": a column of that name exists");
      seen.push_back(FoldCase(wide));
    }
    if (c.type == ColumnType::Text && (c.maxChars < 1 || c.maxChars > 255))
      throw WriteError(at + ": Text size must be 1 to 255, not " + std::to_string(c.maxChars));
    specs.push_back({wide, CodeOf(c.type), static_cast<std::uint16_t>(c.type == ColumnType::Text ? 2 * c.maxChars : 0),
                     c.deleted});
  }
  t.name = std::move(name);
  t.columns = std::move(cols);
  t.layout = MakeLayout(specs);
  if (RowLength(t.layout, 0) > kMaxRecordSize) throw WriteError(where + ": the fixed columns alone exceed a record");
  t.tdefPage = file.Allocate(TdefPageCount(t.layout));
  open = std::move(t);
}

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
      if (p.memo && p.inlineMemo && !p.memoText.empty() && (!largest || p.memoText.size() > largest->memoText.size()))
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
      case RowState::Live:
        Place(rows, BuildRow(cells, held), 0);
        break;
      case RowState::Deleted:
        Place(rows, BuildRow(cells, held), kRowDeleted);
        break;
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
      case BrokenPointer::Loop:
        pointTo(at);
        break;
      case BrokenPointer::Cycle:
        pointTo(Place(moved, PointerTo(at), kRowDeleted | kRowOverflow));
        break;
      case BrokenPointer::DefinitionPage:
        pointTo({t.tdefPage, 0});
        break;
      case BrokenPointer::BeyondFile:
      case BrokenPointer::UsageMapPage:
      case BrokenPointer::OtherTable:
      case BrokenPointer::MissingRow:
        pending.push_back({done.size(), kind, at, rows.page.RowStart(at.row)});
        break;
    }
    ++t.rowCount;
  } catch (...) {
    broken = true;
    file.Abandon();
    throw;
  }
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

void Writer::Impl::EndTable() {
  CheckUsable();
  if (!open) throw WriteError("EndTable without an open table");
  try {
    Flush(rows);
    Flush(moved);
    FlushLval();
  } catch (...) {
    broken = true;
    file.Abandon();
    throw;
  }
  done.push_back(std::move(*open));
  open.reset();
}

void Writer::Impl::Finish() {
  CheckUsable();
  if (open) EndTable();
  for (const PendingPointer& b : pending) {
    if (b.kind != BrokenPointer::OtherTable) continue;
    if (std::none_of(done.begin(), done.end(), [&](const Table& t) { return &t != &done[b.table] && !t.dataPages.empty(); }))
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
        pageNo = file.Allocate();
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
    TdefFacts catalogFacts{0x53, static_cast<std::uint32_t>(catalogRows.size()), 0, 0};
    catalogFacts.usageMap = addMap(BuildUsageMap(catalogPages, file));
    catalogFacts.freeMap = addMap(EmptyUsageMap());
    std::vector<TdefFacts> facts;
    for (const Table& t : done) {
      TdefFacts f{0x4E, t.rowCount, 0, 0};
      f.usageMap = addMap(BuildUsageMap(t.dataPages, file));
      f.freeMap = addMap(EmptyUsageMap());
      facts.push_back(f);
    }
    file.Write(mapPageNo, mapPage.Data());

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
      case BrokenPointer::BeyondFile:
        target = {file.PageCount(), 0};
        break;
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
      case BrokenPointer::MissingRow:
        target = {b.at.page, b.pageRows};
        break;
      case BrokenPointer::DefinitionPage:
      case BrokenPointer::Loop:
      case BrokenPointer::Cycle:
        continue;  // aimed when added
    }
    const Bytes bytes = PointerTo(target);
    file.Patch(b.at.page, b.offset, bytes.data(), bytes.size());
  }
}

Writer::Writer(std::string path) : impl_(std::make_unique<Impl>(std::move(path))) {}
Writer::~Writer() = default;
void Writer::BeginTable(std::string name, std::vector<Column> cols) { impl_->BeginTable(std::move(name), std::move(cols)); }
void Writer::AddRow(const std::vector<Value>& row, const RowOptions& options) { impl_->AddRow(row, options); }
void Writer::AddBrokenPointer(BrokenPointer kind) { impl_->AddBrokenPointer(kind); }
void Writer::EndTable() { impl_->EndTable(); }
void Writer::Finish() { impl_->Finish(); }

}  // namespace jet4
