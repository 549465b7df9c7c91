// The engine's objects: DBEngine, the default workspace, an open database.
#include "dao/dao.h"

#include "base/case_fold.h"
#include "base/error.h"
#include "dao/query.h"
#include "dao/reader_process.h"
#include "dao/recordset.h"
#include "dao/snapshot.h"
#include "dao/sort.h"

#include <filesystem>
#include <new>
#include <optional>

namespace brevan::dao {
namespace {

using protocol::MessageKind;
using protocol::StreamFault;

class DatabaseImpl final : public Database {
public:
    DatabaseImpl(detail::Naming naming, std::string absolute, FileIdentity file)
        : naming_(std::move(naming)), absolute_(std::move(absolute)), file_(file) {}

    FileIdentity File() const override { return file_; }

    std::unique_ptr<Recordset> OpenRecordset(std::string_view sql, int type) override {
        return Open(sql, type, std::nullopt);
    }
    std::unique_ptr<Recordset> OpenRecordset(std::string_view sql, int type,
                                             const std::vector<std::string>& readFields) override {
        return Open(sql, type, readFields);
    }

    void Close() override { closed_ = true; }

private:
    // `readFields` nothing: every field.
    std::unique_ptr<Recordset> Open(std::string_view sql, int type,
                                    const std::optional<std::vector<std::string>>& readFields) {
        if (closed_) throw Error("The " + naming_.Label() + " is closed.");
        detail::SelectQuery query = detail::ParseSelect(sql);
        if (type != dbOpenSnapshot)
            throw Error("The database engine opens only snapshot recordsets (type 4), not type " +
                        std::to_string(type) + ".");

        try {
            detail::ReaderRequest request{absolute_, query.table, {}};
            if (readFields) {
                request.columns = *readFields;
                for (const detail::OrderField& field : query.orderBy) request.columns.push_back(field.name);
                // No names would ask the reader for every column; a name no
                // column has asks it for none.
                if (request.columns.empty()) request.columns.emplace_back();
            }
            SnapshotBuilder builder(*this, query);
            detail::RunReader(request, naming_, builder);
            std::vector<std::uint32_t> order =
                builder.sorter ? builder.sorter->Order() : detail::SortedRows(builder.snapshot, {});
            std::vector<bool> readable(builder.snapshot.Columns().size(), !readFields);
            if (readFields) {
                for (std::size_t c = 0; c < readable.size(); ++c)
                    for (const std::string& name : request.columns)
                        if (SameNameFolded(builder.snapshot.Columns()[c].name, name)) readable[c] = true;
            }
            return std::make_unique<detail::SnapshotRecordset>(std::move(builder.snapshot), std::move(order),
                                                               std::move(readable), naming_.Label());
        } catch (const std::bad_alloc&) {
            throw Error("There is not enough memory to read the table \"" + query.table + "\" of the " +
                        naming_.Label() + ".");
        }
    }

    // Fills a snapshot from the reader's messages as they arrive.
    struct SnapshotBuilder final : detail::MessageSink {
        SnapshotBuilder(const DatabaseImpl& db, const detail::SelectQuery& q) : database(db), query(q) {}
        char* RowStorage(std::uint32_t size) override { return snapshot.RowStorage(size); }
        StreamFault Receive(MessageKind kind, const char* payload, std::uint32_t size) override {
            if (kind == MessageKind::Header) {
                const StreamFault fault = snapshot.SetHeader(payload, size);
                if (fault == StreamFault::None)  // an unknown field stops the reader at once
                    sorter.emplace(database.SortKeys(snapshot, query));
                return fault;
            }
            if (kind == MessageKind::Rows) {
                const StreamFault fault = snapshot.AddRows(payload, size);
                // The rows' keys are read while the reader reads on.
                if (fault == StreamFault::None && sorter) sorter->Take(snapshot);
                return fault;
            }
            return StreamFault::None;
        }
        const DatabaseImpl& database;
        const detail::SelectQuery& query;
        detail::Snapshot snapshot;
        std::optional<detail::RowSorter> sorter;  // once the header is known
    };

    std::vector<detail::SortKey> SortKeys(const detail::Snapshot& snapshot, const detail::SelectQuery& query) const {
        std::vector<detail::SortKey> keys;
        const auto& columns = snapshot.Columns();
        for (const detail::OrderField& field : query.orderBy) {
            std::size_t c = 0;
            while (c < columns.size() && !SameNameFolded(columns[c].name, field.name)) ++c;
            if (c == columns.size())
                throw Error("The field \"" + field.name + "\" in the ORDER BY clause does not exist in table \"" +
                            snapshot.TableName() + "\" of the " + naming_.Label() + ".");
            keys.push_back({c, field.descending});
        }
        return keys;
    }

    detail::Naming naming_;
    std::string absolute_;
    FileIdentity file_;
    bool closed_ = false;
};

class WorkspaceImpl final : public Workspace {
public:
    std::unique_ptr<Database> OpenDatabase(const std::string& name, bool /*exclusive*/, bool /*readOnly*/,
                                           const DatabaseName& named) override {
        if (name.empty()) throw Error("No " + named.noun + " is set: the database path is empty.");
        detail::Naming naming{named.noun, named.shown.empty() ? name : named.shown};
        std::error_code ec;
        std::string absolute = std::filesystem::absolute(name, ec).string();
        if (ec) throw Error("The " + naming.Label() + " cannot be read: " + ec.message() + ".");
        // Reading the list of tables proves the file is a database libmdb can read.
        struct Ignore final : detail::MessageSink {
            std::string storage;
            char* RowStorage(std::uint32_t size) override {
                storage.resize(size);
                return storage.data();
            }
            StreamFault Receive(MessageKind, const char*, std::uint32_t) override { return StreamFault::None; }
        } ignore;
        const FileIdentity file = detail::RunReader({absolute, std::string(), {}}, naming, ignore);
        return std::make_unique<DatabaseImpl>(std::move(naming), std::move(absolute), file);
    }
};

class EngineImpl final : public DBEngine {
public:
    Workspace& Workspaces(std::int16_t index) override {
        if (index != 0)
            throw Error("Item not found in this collection: there is no workspace " + std::to_string(index) +
                        ", only the default workspace 0.");
        return workspace_;
    }

private:
    WorkspaceImpl workspace_;
};

}  // namespace

DBEngine& DBEngine::Instance() {
    static EngineImpl engine;
    return engine;
}

}  // namespace brevan::dao
