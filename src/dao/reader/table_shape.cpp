#include "dao/reader/table_shape.h"

namespace brevan::dao::reader {

RowShape ShapeOfTable(const MdbTableDef& table, bool jet3) {
    RowShape shape;
    shape.jet3 = jet3;
    // The definition's count of variable columns includes deleted ones: rows
    // written while one existed keep their offset table.
    shape.varTable = table.num_var_cols > 0;
    shape.columns.reserve(table.num_cols);
    for (unsigned i = 0; i < table.num_cols; ++i) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table.columns, i));
        ColumnPlace place;
        place.number = static_cast<unsigned>(col->col_num);
        // A Yes/No value is its null-mask bit alone, whatever the flags say.
        const bool yesNo = col->col_type == MDB_BOOL;
        place.fixed = yesNo || col->is_fixed != 0;
        place.fixedOffset = yesNo ? 0 : static_cast<unsigned>(col->fixed_offset);
        place.size = yesNo ? 0 : static_cast<unsigned>(col->col_size);
        place.varIndex = col->var_col_num;
        shape.columns.push_back(place);
    }
    return shape;
}

}  // namespace brevan::dao::reader
