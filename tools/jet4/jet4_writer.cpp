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
  std::vector<std::uint32_t> dataPages;
};

}  // namespace

struct Writer::Impl {
  explicit Impl(std::string path) : file(std::move(path)) {
    // Pages 0 (header), 1 (global map) and 2 (catalog definition) come first.
    file.Allocate(3);
  }

  void BeginTable(std::string name, std::vector<Column> cols);
  void AddRow(const std::vector<Value>& row);
  void EndTable();
  void Finish();

  std::uint32_t StoreLongValue(const Bytes& data, std::uint8_t& flag);
  void PlaceRow(const Bytes& row);
  void FlushData();
  void FlushLval();
  void CheckUsable() const;

  PageFile file;
  std::optional<Table> open;
  std::vector<Table> done;
  DataPage dataPage;
  std::uint32_t dataPageNo = 0;
  bool dataPageOpen = false;
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
  if (cols.empty()) throw WriteError(where + ": no columns");
  if (cols.size() > 255) throw WriteError(where + ": more than 255 columns");
  std::vector<ColumnSpec> specs;
  std::vector<std::u16string> seen;
  for (const Column& c : cols) {
    std::u16string wide = CheckName(c.name, where + ", column");
    const std::string at = where + ", column " + Quoted(c.name);
    if (std::find(seen.begin(), seen.end(), FoldCase(wide)) != seen.end())
      throw WriteError(at + ": a column of that name exists");
    seen.push_back(FoldCase(wide));
    if (c.type == ColumnType::Text && (c.maxChars < 1 || c.maxChars > 255))
      throw WriteError(at + ": Text size must be 1 to 255, not " + std::to_string(c.maxChars));
    specs.push_back({wide, CodeOf(c.type), static_cast<std::uint16_t>(c.type == ColumnType::Text ? 2 * c.maxChars : 0)});
  }
  t.name = std::move(name);
  t.columns = std::move(cols);
  t.layout = MakeLayout(specs);
  if (RowLength(t.layout, 0) > kMaxRecordSize) throw WriteError(where + ": the fixed columns alone exceed a record");
  t.tdefPage = file.Allocate(TdefPageCount(t.layout));
  open = std::move(t);
}

void Writer::Impl::AddRow(const std::vector<Value>& row) {
  CheckUsable();
  if (!open) throw WriteError("AddRow without an open table");
  Table& t = *open;
  ++t.rowsOffered;
  const std::string where = "table " + Quoted(t.name) + ", row " + std::to_string(t.rowsOffered);
  if (row.size() != t.columns.size())
    throw WriteError(where + ": " + std::to_string(row.size()) + " values for " + std::to_string(t.columns.size()) +
                     " columns");
  if (t.rowCount == UINT32_MAX) throw WriteError(where + ": too many rows");

  // Everything that can refuse the row happens before anything is written.
  std::vector<EncodedValue> cells;
  cells.reserve(row.size());
  for (std::size_t i = 0; i < row.size(); ++i) cells.push_back(EncodeValue(t.columns[i], row[i], where));

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
  while (RowLength(t.layout, variableBytes()) > kMaxRecordSize) {
    EncodedValue* largest = nullptr;
    for (EncodedValue& p : cells)
      if (p.memo && p.inlineMemo && !p.memoText.empty() && (!largest || p.memoText.size() > largest->memoText.size()))
        largest = &p;
    if (!largest) {
      std::size_t widest = 0;
      for (std::size_t i = 1; i < cells.size(); ++i)
        if (cells[i].cell.bytes.size() > cells[widest].cell.bytes.size()) widest = i;
      throw WriteError(where + ", column " + Quoted(t.columns[widest].name) + ": the record needs " +
                       std::to_string(RowLength(t.layout, variableBytes())) + " bytes, more than " +
                       std::to_string(kMaxRecordSize));
    }
    largest->inlineMemo = false;
  }

  try {
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
    PlaceRow(EncodeRow(t.layout, final));
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

void Writer::Impl::PlaceRow(const Bytes& row) {
  if (!dataPageOpen || !dataPage.Fits(row.size())) {
    FlushData();
    dataPageNo = file.Allocate();
    dataPage.Reset(open->tdefPage);
    dataPageOpen = true;
    open->dataPages.push_back(dataPageNo);
  }
  dataPage.Add(row.data(), row.size());
}

void Writer::Impl::FlushData() {
  if (dataPageOpen) file.Write(dataPageNo, dataPage.Data());
  dataPageOpen = false;
}

void Writer::Impl::FlushLval() {
  if (lvalPageOpen) file.Write(lvalPageNo, lvalPage.Data());
  lvalPageOpen = false;
}

void Writer::Impl::EndTable() {
  CheckUsable();
  if (!open) throw WriteError("EndTable without an open table");
  try {
    FlushData();
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

Writer::Writer(std::string path) : impl_(std::make_unique<Impl>(std::move(path))) {}
Writer::~Writer() = default;
void Writer::BeginTable(std::string name, std::vector<Column> cols) { impl_->BeginTable(std::move(name), std::move(cols)); }
void Writer::AddRow(const std::vector<Value>& row) { impl_->AddRow(row); }
void Writer::EndTable() { impl_->EndTable(); }
void Writer::Finish() { impl_->Finish(); }

}  // namespace jet4
