#include "jet4/catalog.h"

#include "jet4/header_page.h"
#include "jet4/row_encoder.h"

namespace jet4::detail {
namespace {

constexpr std::uint32_t kTablesContainer = 0x0F000001;
constexpr std::uint32_t kContainerParent = 0x0F000000;
constexpr std::uint32_t kSystemFlags = 0x80000000;
constexpr std::uint16_t kTypeTable = 1;
constexpr std::uint16_t kTypeContainer = 3;

// Column positions, as Access numbers them.
enum { kId, kParentId, kName, kType, kDateCreate, kDateUpdate, kOwner, kFlags, kColumnCount = 17 };

Bytes Le32(std::uint32_t v) {
    Bytes b;
    Put32(b, v);
    return b;
}

Bytes Le16(std::uint32_t v) {
    Bytes b;
    Put16(b, v);
    return b;
}

Bytes Date(double v) {
    Bytes b;
    PutDouble(b, v);
    return b;
}

Bytes Row(std::uint32_t id, std::uint32_t parent, const std::u16string& name, std::uint16_t type, std::uint32_t flags) {
    std::vector<Cell> cells(kColumnCount);
    cells[kId] = {true, Le32(id)};
    cells[kParentId] = {true, Le32(parent)};
    Bytes nameBytes;
    PutUtf16(nameBytes, name);
    cells[kName] = {true, nameBytes};
    cells[kType] = {true, Le16(type)};
    cells[kDateCreate] = {true, Date(kCreationDate)};
    cells[kDateUpdate] = {true, Date(kCreationDate)};
    cells[kFlags] = {true, Le32(flags)};
    return EncodeRow(CatalogLayout(), cells);
}

}  // namespace

const TableLayout& CatalogLayout() {
    static const TableLayout layout = MakeLayout({
        {u"Id", kInt32},
        {u"ParentId", kInt32},
        {u"Name", kText, 510},
        {u"Type", kInt16},
        {u"DateCreate", kDate},
        {u"DateUpdate", kDate},
        {u"Owner", kBinary, 255},
        {u"Flags", kInt32},
        {u"Database", kMemo},
        {u"Connect", kMemo},
        {u"ForeignName", kText, 510},
        {u"RmtInfoShort", kBinary, 255},
        {u"RmtInfoLong", kOle},
        {u"Lv", kOle},
        {u"LvProp", kOle},
        {u"LvModule", kOle},
        {u"LvExtra", kOle},
    });
    return layout;
}

std::vector<Bytes> CatalogRows(const std::vector<UserTable>& tables) {
    std::vector<Bytes> rows;
    rows.push_back(Row(kTablesContainer, kContainerParent, u"Tables", kTypeContainer, kSystemFlags));
    rows.push_back(Row(0x0F000002, kContainerParent, u"Databases", kTypeContainer, kSystemFlags));
    rows.push_back(Row(0x0F000003, kContainerParent, u"Relationships", kTypeContainer, kSystemFlags));
    rows.push_back(Row(kCatalogPage, kTablesContainer, u"MSysObjects", kTypeTable, kSystemFlags));
    for (const UserTable& t : tables) rows.push_back(Row(t.tdefPage, kTablesContainer, t.name, kTypeTable, 0));
    return rows;
}

}  // namespace jet4::detail
