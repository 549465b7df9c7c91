#pragma once
// The row layout of a table as libmdb read its definition.
#include "dao/reader/mdb.h"
#include "dao/reader/row_cracker.h"

namespace brevan::dao::reader {

// One ColumnPlace per column of `table`, in the order of table.columns (by
// column number); `jet3` says which row format the file uses.
RowShape ShapeOfTable(const MdbTableDef& table, bool jet3);

}  // namespace brevan::dao::reader
