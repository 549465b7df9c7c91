// MSysObjects, the catalog: its layout (TDEF on page 2) and its rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet4/bytes.h"
#include "jet4/table_layout.h"

namespace jet4::detail {

constexpr std::uint32_t kCatalogPage = 2;

struct UserTable {
    std::u16string name;
    std::uint32_t tdefPage;
};

const TableLayout& CatalogLayout();

// The catalog rows: Access's three containers, MSysObjects itself, then one
// row per user table.
std::vector<Bytes> CatalogRows(const std::vector<UserTable>& tables);

}  // namespace jet4::detail
