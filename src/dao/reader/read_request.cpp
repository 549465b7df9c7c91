#include "dao/reader/read_request.h"

#include "base/case_fold.h"
#include "dao/reader/damage.h"
#include "dao/reader/mdb_session.h"
#include "dao/reader/memo_reader.h"
#include "dao/reader/page_source.h"
#include "dao/reader/row_cells.h"
#include "dao/reader/stream_writer.h"
#include "dao/reader/table_scan.h"
#include "dao/reader/text_decoder.h"

#include <new>

namespace brevan::dao::reader {
namespace {

using protocol::MessageKind;
using protocol::ReaderExit;
using protocol::ReaderFailure;

ReaderExit Sent(bool flushed) { return flushed ? ReaderExit::Completed : ReaderExit::WriteFailed; }

ReaderExit ListTables(GPtrArray* catalog, StreamWriter& out) {
    std::string& buf = out.Buffer();
    out.Begin(MessageKind::Tables);
    const std::size_t countAt = buf.size();
    protocol::PutU32(buf, 0);
    std::uint32_t n = 0;
    for (guint i = 0; i < catalog->len; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (!MdbSession::IsUserTable(e)) continue;
        protocol::PutText(buf, e->object_name);
        ++n;
    }
    out.Patch32(countAt, n);
    out.End();
    out.Begin(MessageKind::End);
    protocol::PutU64(buf, 0);
    out.End();
    return Sent(out.Flush());
}

// Which columns of `table` the request wants sent.
std::vector<bool> SentColumns(const MdbTableDef& table, const std::vector<std::string>& wanted) {
    std::vector<bool> sent(table.num_cols, wanted.empty());
    for (unsigned i = 0; i < table.num_cols; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table.columns, i));
        for (const std::string& name : wanted)
            if (SameNameFolded(col->name, name)) sent[i] = true;
    }
    return sent;
}

ReaderExit ReadTable(MdbSession& session, MdbCatalogEntry* entry, const std::vector<std::string>& wanted,
                     StreamWriter& out) {
    MdbHandle* cipher = session.Encrypted() ? session.Handle() : nullptr;
    PageSource pages(session.Descriptor(), session.FileSize(), session.PageSize(), cipher);
    MdbTableDef& table = session.OpenTable(entry, pages);
    std::vector<bool> sent = SentColumns(table, wanted);
    std::string& buf = out.Buffer();
    out.Begin(MessageKind::Header);
    protocol::PutText(buf, entry->object_name);
    protocol::PutU32(buf, table.num_cols);
    for (unsigned i = 0; i < table.num_cols; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table.columns, i));
        buf.push_back(static_cast<char>(sent[i] ? KindOf(col->col_type) : protocol::ColumnKind::Unread));
        protocol::PutText(buf, col->name);
    }
    out.End();
    if (!out.Flush()) return ReaderExit::WriteFailed;

    const std::string owner = "table \"" + std::string(entry->object_name) + "\"";
    PageSource targets(session.Descriptor(), session.FileSize(), session.PageSize(), cipher);
    TextDecoder text(session.Jet3(), session.CodePage());
    MemoReader memos(pages, text, session.RowCountOffset(), owner);
    RowCells cells(table, std::move(sent), text, memos);
    TableScan scan(session, table, static_cast<std::uint32_t>(entry->table_pg), pages, targets, cells);
    const std::optional<std::uint64_t> total = scan.Stream(out);
    if (!total) return ReaderExit::WriteFailed;
    out.Begin(MessageKind::End);
    protocol::PutU64(buf, *total);
    out.End();
    return Sent(out.Flush());
}

ReaderExit Serve(const ReadRequest& request, StreamWriter& out) {
    MdbSession session;
    std::string detail;
    if (const auto failure = session.Open(request.path, detail)) return Sent(out.Error(*failure, detail));
    out.Begin(MessageKind::File);
    protocol::PutU64(out.Buffer(), session.Device());
    protocol::PutU64(out.Buffer(), session.Inode());
    out.End();
    try {
        // libmdb would read a catalog cut short as one without the table.
        MdbHandle* cipher = session.Encrypted() ? session.Handle() : nullptr;
        PageSource pages(session.Descriptor(), session.FileSize(), session.PageSize(), cipher);
        session.CheckInFile(MdbSession::kCatalogDefinition, "the list of tables", pages, true);
        GPtrArray* catalog = session.Catalog();
        if (!catalog) return Sent(out.Error(ReaderFailure::NoCatalog, ""));
        if (request.table.empty()) return ListTables(catalog, out);

        MdbCatalogEntry* entry = MdbSession::FindTable(catalog, request.table);
        if (!entry) return Sent(out.Error(ReaderFailure::NoTable, MdbSession::UserTableNames(catalog)));
        return ReadTable(session, entry, request.columns, out);
    } catch (const Damage& damage) {
        return Sent(out.Error(ReaderFailure::Damaged, damage.detail));
    }
}

}  // namespace

ReaderExit Read(const ReadRequest& request, int fd) {
    try {
        StreamWriter out(fd);
        return Serve(request, out);
    } catch (const std::bad_alloc&) {
        return ReaderExit::OutOfMemory;
    } catch (...) {
        return ReaderExit::Failed;
    }
}

}  // namespace brevan::dao::reader
