// Writes small Access 2000 (Jet 4) databases: user tables without indexes,
// readable by libmdb. Test and demo tooling; the converter never links it.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace jet4 {

// Any refusal: a value that does not fit its column, a bad table or column
// definition, a call out of order, or a failed file operation. The message
// names table, row (1-based) and column where one is involved.
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class ColumnType { Text, Memo, DateTime, Long, Integer, Double, YesNo };

struct Column {
  std::string name;
  ColumnType type;
  int maxChars = 255;  // Text only: 1..255 UTF-16 code units
};

struct Null {};

// Days since 1899-12-30 00:00 plus the elapsed fraction of the day.
struct DateTime {
  double days;
};

// Text and Memo take std::u16string (stored as given, lone surrogates too),
// Long and Integer take std::int64_t, Double takes double (or std::int64_t),
// DateTime takes DateTime, Yes/No takes bool. Null is Null; Yes/No columns
// cannot hold Null.
using Value = std::variant<Null, std::u16string, DateTime, std::int64_t, double, bool>;

// UTF-8 to UTF-16 (throws WriteError on malformed UTF-8).
Value Text(std::string_view utf8);
std::u16string Utf16(std::string_view utf8);

// Calendar date at midnight (proleptic Gregorian calendar).
DateTime Date(int year, int month, int day);
// A time of day alone, on day 0 (1899-12-30), as Access stores it.
DateTime TimeOfDay(int hour, int minute, int second);
DateTime DateAndTime(int year, int month, int day, int hour, int minute, int second);

// Streams rows to pages as they come, so memory stays small whatever the
// row count. The file is written under a temporary name beside `path` and
// renamed by Finish(); a Writer destroyed without Finish() leaves nothing.
// The same calls give the same bytes (fixed creation date, no randomness).
// A row refused by AddRow() is not written and the writer stays usable;
// rows are numbered by AddRow() calls, refused ones included. After a failed
// file operation the writer is abandoned and its temporary file removed.
class Writer {
 public:
  explicit Writer(std::string path);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void BeginTable(std::string name, std::vector<Column> cols);
  void AddRow(const std::vector<Value>& row);
  void EndTable();
  // Ends an open table, writes catalog and maps, renames onto `path`.
  void Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace jet4
