#include "dao/recordset.h"

#include "base/error.h"

#include "base/case_fold.h"

#include <algorithm>
#include <climits>

namespace brevan::dao::detail {
SnapshotRecordset::SnapshotRecordset(Snapshot snapshot, std::vector<std::uint32_t> order, std::vector<bool> readable,
                                     std::string label)
    : snapshot_(std::move(snapshot)),
      order_(std::move(order)),
      readable_(std::move(readable)),
      label_(std::move(label)),
      table_(snapshot_.TableName()) {
    const auto& columns = snapshot_.Columns();
    for (std::size_t c = 0; c < columns.size(); ++c) byName_.try_emplace(FoldCase(columns[c].name), c);
    cells_.resize(columns.size());
    values_.resize(columns.size());
    valueGeneration_.assign(columns.size(), 0);
}

void SnapshotRecordset::CheckOpen() const {
    if (closed_) throw Error("The recordset of table \"" + table_ + "\" is closed.");
}

std::int32_t SnapshotRecordset::RecordCount() const {
    CheckOpen();
    return static_cast<std::int32_t>(std::min<std::size_t>(order_.size(), INT32_MAX));
}

bool SnapshotRecordset::Eof() const {
    CheckOpen();
    return position_ >= order_.size();
}

void SnapshotRecordset::MoveNext() {
    CheckOpen();
    if (position_ >= order_.size())
        throw Error("No current record: the recordset of table \"" + table_ + "\" is past its last row.");
    ++position_;
    ++generation_;
    // Rows in query order lie anywhere in the snapshot: ask for a row's
    // first bytes a few moves before they are read.
    constexpr std::size_t kAhead = 4;
    if (position_ + kAhead < order_.size()) __builtin_prefetch(snapshot_.Row(order_[position_ + kAhead]));
}

void SnapshotRecordset::MoveFirst() {
    CheckOpen();
    if (order_.empty()) throw Error("No current record: the recordset of table \"" + table_ + "\" is empty.");
    position_ = 0;
    ++generation_;
}

std::size_t SnapshotRecordset::ColumnOf(std::string_view name) const {
    for (std::size_t i = 0; i < recentCount_; ++i)
        if (recent_[i].name == name) return recent_[i].column;
    FoldCaseInto(name, folded_);
    const auto it = byName_.find(folded_);
    if (it == byName_.end())
        throw Error("The field \"" + std::string(name) + "\" does not exist in table \"" + table_ + "\" of the " +
                    label_ + ".");
    if (!readable_[it->second])
        throw Error("The field \"" + std::string(name) + "\" of table \"" + table_ + "\" in the " + label_ +
                    " was not named among the fields to read when its recordset was opened.");
    RecentName& slot = recent_[recentNext_];
    recentNext_ = (recentNext_ + 1) % recent_.size();
    recentCount_ = std::max(recentCount_, recentNext_ == 0 ? recent_.size() : recentNext_);
    slot.name.assign(name);
    slot.column = it->second;
    return it->second;
}

const Variant& SnapshotRecordset::Fields(std::string_view name) const {
    CheckOpen();
    const std::size_t column = ColumnOf(name);
    if (position_ >= order_.size())
        throw Error("No current record: the recordset of table \"" + table_ +
                    "\" is past its last row (reading field " + std::string(name) + ").");
    if (valueGeneration_[column] != generation_) {
        // The row is walked only as far as asked: a long memo further on is
        // never touched for the fields before it.
        if (cellsGeneration_ != generation_) {
            cells_[0] = snapshot_.Row(order_[position_]);
            cellsKnown_ = 1;
            cellsGeneration_ = generation_;
        }
        for (; cellsKnown_ <= column; ++cellsKnown_) cells_[cellsKnown_] = Snapshot::Next(cells_[cellsKnown_ - 1]);
        Snapshot::Read(cells_[column], values_[column]);
        valueGeneration_[column] = generation_;
    }
    return values_[column];
}

void SnapshotRecordset::Close() {
    closed_ = true;
    order_ = {};
    snapshot_ = Snapshot();
    values_ = {};
}

}  // namespace brevan::dao::detail
