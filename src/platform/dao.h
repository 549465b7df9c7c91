#pragma once
// The database engine: a small data-access object model over libmdb.
//
//   DBEngine (one per process, made on first use)
//     -> Workspaces(0)
//       -> OpenDatabase(path, exclusive=false, readOnly=false)   -> Database
//         -> OpenRecordset("SELECT * FROM T ORDER BY a, b", dbOpenSnapshot) -> Recordset
//
// A snapshot is a static copy of the query's rows, taken when the recordset
// opens; reading it afterwards never touches the file again. libmdb is not
// safe on damaged files, so the file is read in a child process and every
// failure of that reader becomes a brevan::Error.
//
// Every failure raises brevan::Error with a description that names the path,
// table or field concerned.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

namespace brevan::dao {

constexpr int dbOpenSnapshot = 4;

// An Access date/time: days since 1899-12-30 00:00 plus the fraction of the day.
struct Date {
    double days = 0;
};

// A field value as the engine hands it out. Text is UTF-8.
class Variant {
public:
    using Value = std::variant<std::monostate, std::string, Date, std::int64_t, double, bool>;
    Variant() = default;
    explicit Variant(Value v) : value_(std::move(v)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    const Value& value() const { return value_; }

private:
    Value value_;
};

// The standard conversion of a value to text, with the regional settings
// short date "DD.MM.YYYY" and long time "HH:MM:SS":
//   text -> unchanged; date -> "DD.MM.YYYY", plus " HH:MM:SS" when the time
//   of day is not midnight; a value on the zero date 1899-12-30 -> the time
//   alone; integer -> decimal; double -> shortest decimal that reads back;
//   Yes/No -> "True"/"False".
// Null raises brevan::Error "Invalid use of Null" with the field's name added.
std::string CStr(const Variant& value, std::string_view fieldName);

class Recordset {
public:
    virtual ~Recordset() = default;
    // Rows reached so far: 0 for an empty result, at least 1 otherwise.
    virtual std::int32_t RecordCount() const = 0;
    // True once the position has moved past the last row (at once when empty).
    // Named Eof because EOF is a macro of the C library.
    virtual bool Eof() const = 0;
    virtual void MoveNext() = 0;
    virtual void MoveFirst() = 0;
    // The current row's value of the field, the name matched without regard
    // to case. Raises brevan::Error for an unknown field or when at EOF.
    virtual const Variant& Fields(std::string_view name) const = 0;
    virtual void Close() = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // Understands "SELECT * FROM <table> [ORDER BY <col>[, <col>...]]" only
    // (keywords and names without regard to case) and refuses other SQL.
    // Order: text case-insensitively and locale-aware (ICU, "de", secondary
    // strength), dates and numbers by value, Nulls first, ties keep the
    // stored order. Only type dbOpenSnapshot is supported.
    virtual std::unique_ptr<Recordset> OpenRecordset(std::string_view sql, int type) = 0;
    virtual void Close() = 0;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens the Access file at `name` (shared, not read-only; the engine only
    // reads). Raises brevan::Error for a missing file, a directory, an
    // unreadable file or one that is not an Access database.
    virtual std::unique_ptr<Database> OpenDatabase(const std::string& name, bool exclusive, bool readOnly) = 0;
};

class DBEngine {
public:
    virtual ~DBEngine() = default;
    // The process's engine, created on first call and kept until the end.
    static DBEngine& Instance();
    // Workspace 0 is the default workspace; other indices raise brevan::Error.
    virtual Workspace& Workspaces(std::int16_t index) = 0;
};

} // namespace brevan::dao
