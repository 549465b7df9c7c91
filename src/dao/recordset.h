#pragma once
// The snapshot recordset: a Snapshot in query order, a position, and the
// current row's values read on demand.
#include "dao/dao.h"
#include "dao/snapshot.h"

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

namespace brevan::dao::detail {

class SnapshotRecordset final : public Recordset {
public:
    // `readable[c]` false: Fields() of column c raises brevan::Error (its
    // values were not read).
    SnapshotRecordset(Snapshot snapshot, std::vector<std::uint32_t> order, std::vector<bool> readable,
                      std::string label);

    std::int32_t RecordCount() const override;
    bool Eof() const override;
    void MoveNext() override;
    void MoveFirst() override;
    const Variant& Fields(std::string_view name) const override;
    void Close() override;

private:
    void CheckOpen() const;
    // The column of a field name; raises brevan::Error for an unknown one.
    std::size_t ColumnOf(std::string_view name) const;

    Snapshot snapshot_;
    std::vector<std::uint32_t> order_;
    std::vector<bool> readable_;
    std::string label_;  // how messages name the database
    std::string table_;
    std::unordered_map<std::string, std::size_t> byName_;
    std::size_t position_ = 0;
    std::uint64_t generation_ = 1;  // changes on every move
    bool closed_ = false;

    // The current row, read as far as asked for.
    mutable std::vector<const char*> cells_;
    mutable std::size_t cellsKnown_ = 0;  // cells_[0, cellsKnown_) are found
    mutable std::uint64_t cellsGeneration_ = 0;
    mutable std::vector<Variant> values_;
    mutable std::vector<std::uint64_t> valueGeneration_;
    mutable std::string folded_;
    // Names asked for lately, exactly as spelt, with their columns: callers
    // ask for the same few names on every row, and comparing a short name is
    // cheaper than folding and hashing it.
    struct RecentName {
        std::string name;
        std::size_t column = 0;
    };
    mutable std::array<RecentName, 8> recent_;
    mutable std::size_t recentCount_ = 0;
    mutable std::size_t recentNext_ = 0;
};

}  // namespace brevan::dao::detail
