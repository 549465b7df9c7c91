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
// safe on damaged files, so the file is read by a program of its own,
// brevan-reader, and every failure of that reader becomes a brevan::Error.
//
// Every failure raises brevan::Error with a description that names the path,
// table or field concerned.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace brevan::dao {

constexpr int dbOpenSnapshot = 4;

// An Access date/time: days since 1899-12-30 00:00 plus the fraction of the day.
struct Date {
    double days = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

// A field value as the engine hands it out: Null (monostate), text, a
// date/time, an integer (Byte, Integer, Long), a floating number (Single,
// Double, Currency, Decimal) or Yes/No. Binary and OLE columns read as Null.
//
// Text is UTF-8, exactly as stored, characters outside the BMP included.
// A stored UTF-16 surrogate without its partner (not valid Unicode) is kept
// as the three-byte sequence ED A0 80..ED BF BF that UTF-8's scheme gives
// the code unit (generalized UTF-8, "WTF-8"); such text is then not valid
// UTF-8, and whoever needs valid Unicode drops those sequences.
class Variant {
public:
    using Value = std::variant<std::monostate, std::string, Date, std::int64_t, double, bool>;
    Variant() = default;
    explicit Variant(Value v) : value_(std::move(v)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    const Value& value() const { return value_; }
    // Lets the engine refill a value in place (keeping a string's buffer).
    Value& value() { return value_; }

private:
    Value value_;
};

// The standard conversion of a value to text, with the regional settings
// short date "DD.MM.YYYY" and long time "HH:MM:SS":
//   text -> unchanged; date -> "DD.MM.YYYY", plus " HH:MM:SS" when the time
//   of day is not midnight; a value on the zero date 1899-12-30 -> the time
//   alone "HH:MM:SS"; integer -> decimal; floating -> decimal with up to 15
//   significant digits and "." ("0.1", "2.5", "1e+20"); Yes/No ->
//   "True"/"False".
// Times round to whole seconds (23:59:59.6 becomes 00:00:00 of the next
// day). Before the zero date the stored value is the negative day minus the
// time: -1.25 is 29.12.1899 06:00:00.
// Null raises brevan::Error "Invalid use of Null (field <fieldName>)"; a date
// outside the years 1 to 9999 (or not a number) raises brevan::Error naming
// the field.
std::string CStr(const Variant& value, std::string_view fieldName);

class Recordset {
public:
    virtual ~Recordset() = default;
    // Rows reached so far: 0 for an empty result, at least 1 otherwise (a
    // snapshot has reached them all, so this is the number of rows).
    virtual std::int32_t RecordCount() const = 0;
    // True once the position has moved past the last row (at once when empty).
    // Named Eof because EOF is a macro of the C library.
    virtual bool Eof() const = 0;
    // MoveNext at EOF and MoveFirst on an empty result raise brevan::Error
    // ("No current record...").
    virtual void MoveNext() = 0;
    virtual void MoveFirst() = 0;
    // The current row's value of the field, the name matched without regard
    // to case. Raises brevan::Error for an unknown field or when at EOF. The
    // reference stays valid until the recordset moves or closes.
    virtual const Variant& Fields(std::string_view name) const = 0;
    // Frees the snapshot; any later call but Close raises brevan::Error.
    virtual void Close() = 0;
};

// Which file an open database is, as the reader found it when it opened it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // The file this database was opened from (not a DAO member: the caller
    // uses it to refuse writing over the database itself).
    virtual FileIdentity File() const = 0;
    // Understands "SELECT * FROM <table> [ORDER BY <col> [ASC|DESC][, ...]]"
    // only (keywords and names without regard to case, names optionally in
    // [brackets], an optional final ";") and refuses other SQL.
    // Order: text case-insensitively and locale-aware (ICU, "de", secondary
    // strength), dates by time (before 1899-12-30 too) and numbers by value,
    // Yes before No (Yes is -1), Nulls first (last with DESC), rows equal on
    // every key in the stored order. Only type dbOpenSnapshot is supported.
    // The whole table is read here, in a separate reader process; a reader
    // that crashes, stops making progress or sends nonsense raises
    // brevan::Error "The <noun> <shown> is damaged or unreadable...".
    virtual std::unique_ptr<Recordset> OpenRecordset(std::string_view sql, int type) = 0;
    // The same rows and order for a caller that reads only `readFields` (and
    // the ORDER BY fields), names matched without regard to case: only their
    // values are read from the file and kept, so a wide table costs what
    // these fields cost. Fields() of any other field of the table raises
    // brevan::Error; a name the table lacks raises nothing here and fails at
    // its first read, as any unknown field does.
    virtual std::unique_ptr<Recordset> OpenRecordset(std::string_view sql, int type,
                                                     const std::vector<std::string>& readFields) = 0;
    // Later OpenRecordset calls raise brevan::Error; snapshots already open
    // stay readable (they hold their own copy).
    virtual void Close() = 0;
};

// How the engine's messages name a database: "<noun> <shown>", as in "The
// listing database /srv/tv/tvdaten.mdb does not exist." The caller knows what
// the database is to the user; the engine only knows it is a database.
struct DatabaseName {
    std::string noun = "database";
    std::string shown;  // empty: the path as given to OpenDatabase
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // Opens the Access file at `name`. `exclusive` and `readOnly` are taken
    // as Access takes them; this engine only ever reads, in a process of its
    // own, so they change nothing. Raises brevan::Error for an empty
    // name, a missing file, a directory, an unreadable file, one that is not
    // an Access database, or one whose list of tables cannot be read. Every
    // look at the file happens in the watched reader, so a file on a share
    // that hangs cannot hang the caller.
    // Messages name the database as `naming` says.
    virtual std::unique_ptr<Database> OpenDatabase(const std::string& name, bool exclusive, bool readOnly,
                                                   const DatabaseName& naming = {}) = 0;
};

class DBEngine {
public:
    virtual ~DBEngine() = default;
    // The process's engine, created on first call and kept until the end.
    static DBEngine& Instance();
    // Workspace 0 is the default workspace; other indices raise brevan::Error.
    virtual Workspace& Workspaces(std::int16_t index) = 0;
};

// Test seam: how long the reader process may go without sending anything
// before it counts as hung (default 20 seconds). Returns the previous value.
std::chrono::milliseconds SetReaderTimeout(std::chrono::milliseconds timeout);

// Where the engine finds its reader program, brevan-reader. Unset, it is the
// running executable's companion program (os/executable_path.h,
// CompanionProgram: beside it, else the installed reader). Start-up sets it
// when it knows better, and tests set it to the one they built.
void SetReaderProgram(std::string path);

}  // namespace brevan::dao
