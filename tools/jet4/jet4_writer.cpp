// The writer: turns values into cells, rows onto data pages, long memos onto
// LVAL pages, and at the end writes catalog, usage maps, definitions and
// header. Rows and long values: writer_rows.cpp; the finished file and the
// pointers aimed at its end: writer_finish.cpp.
#include "jet4/jet4_writer.h"

#include <algorithm>

#include "jet4/row_encoder.h"
#include "jet4/writer_impl.h"

namespace jet4 {
namespace detail {

TypeCode CodeOf(ColumnType t) {
    switch (t) {
    case ColumnType::Text: return kText;
    case ColumnType::Memo: return kMemo;
    case ColumnType::DateTime: return kDate;
    case ColumnType::Long: return kInt32;
    case ColumnType::Integer: return kInt16;
    case ColumnType::Double: return kDouble;
    case ColumnType::YesNo: return kBool;
    case ColumnType::Guid: return kGuid;
    }
    return kText;
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::u16string FoldCase(std::u16string s) {
    for (char16_t& c : s)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return s;
}

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

Bytes PointerTo(Slot s) {
    Bytes b;
    Put32(b, PageRow(s.page, static_cast<std::uint32_t>(s.row)));
    return b;
}

}  // namespace detail

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
        specs.push_back({wide, CodeOf(c.type),
                         static_cast<std::uint16_t>(c.type == ColumnType::Text ? 2 * c.maxChars : 0), c.deleted});
    }
    t.name = std::move(name);
    t.columns = std::move(cols);
    t.layout = MakeLayout(specs);
    if (RowLength(t.layout, 0) > kMaxRecordSize) throw WriteError(where + ": the fixed columns alone exceed a record");
    t.tdefPage = file.Allocate(TdefPageCount(t.layout));
    if (catalogFirst) t.mapPage = file.Allocate();
    open = std::move(t);
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

Writer::Writer(std::string path, Layout layout) : impl_(std::make_unique<Impl>(std::move(path), layout)) {}
Writer::~Writer() = default;
void Writer::BeginTable(std::string name, std::vector<Column> cols) {
    impl_->BeginTable(std::move(name), std::move(cols));
}
void Writer::AddRow(const std::vector<Value>& row, const RowOptions& options) { impl_->AddRow(row, options); }
void Writer::AddBrokenPointer(BrokenPointer kind) { impl_->AddBrokenPointer(kind); }
void Writer::EndTable() { impl_->EndTable(); }
void Writer::Finish() { impl_->Finish(); }

}  // namespace jet4
