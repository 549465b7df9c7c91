#pragma once
// The one form of SQL the engine runs:
//   SELECT * FROM <table> [ORDER BY <field> [ASC|DESC] [, ...]] [;]
// Keywords without regard to case; names bare or in [brackets].
#include <string>
#include <string_view>
#include <vector>

namespace brevan::dao::detail {

struct OrderField {
    std::string name;
    bool descending = false;
};

struct SelectQuery {
    std::string table;
    std::vector<OrderField> orderBy;
};

// Raises brevan::Error, quoting the statement, for anything else.
SelectQuery ParseSelect(std::string_view sql);

}  // namespace brevan::dao::detail
