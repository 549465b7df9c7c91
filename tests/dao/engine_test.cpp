// Reading tables through the engine: every column type, Null against empty
// text, long memos, text exactly as stored, field lookup and navigation.
// Files come from the project's Jet 4 writer and, where present, from
// Access itself (../shared/testdata/access).
#include "base/error.h"
#include "dao/dao.h"
#include "support/reader/open_recordset.h"
#include "support/temp_folder.h"

#include "jet4/jet4_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dao = brevan::dao;
using jet4::ColumnType;

namespace {

template <typename T>
const T& As(const dao::Variant& v) {
    const T* p = std::get_if<T>(&v.value());
    if (!p) throw std::runtime_error("value of another type (index " + std::to_string(v.value().index()) + ")");
    return *p;
}

void WriteTable(const std::string& path, const std::string& table, const std::vector<jet4::Column>& columns,
                const std::vector<std::vector<jet4::Value>>& rows) {
    jet4::Writer writer(path);
    writer.BeginTable(table, columns);
    for (const auto& row : rows) writer.AddRow(row);
    writer.Finish();
}

std::string SharedFile(const char* name) {
    const std::filesystem::path p = std::filesystem::path(BREVAN_SHARED_TESTDATA) / "access" / name;
    return std::filesystem::exists(p) ? p.string() : std::string();
}

// UTF-8 with a lone surrogate as its three-byte form.
std::string Wtf8(char16_t unit) {
    return {static_cast<char>(0xE0 | (unit >> 12)), static_cast<char>(0x80 | ((unit >> 6) & 0x3F)),
            static_cast<char>(0x80 | (unit & 0x3F))};
}

class DaoRead : public ::testing::Test {
protected:
    testsupport::TempFolder folder_;
    std::string db_ = folder_ / "werte.mdb";
};

TEST_F(DaoRead, EveryColumnTypeAndNullApartFromEmptyText) {
    WriteTable(
        db_, "Werte",
        {{"Nr", ColumnType::Long},
         {"Kurz", ColumnType::Integer},
         {"Text", ColumnType::Text, 50},
         {"Notiz", ColumnType::Memo},
         {"Wann", ColumnType::DateTime},
         {"Wert", ColumnType::Double},
         {"Ja", ColumnType::YesNo},
         {"Kennung", ColumnType::Guid}},
        {{std::int64_t{1}, std::int64_t{-7}, jet4::Text("Tagesschau"), jet4::Text("kurz"),
          jet4::DateAndTime(2024, 2, 29, 20, 15, 0), 2.5, true,
          jet4::Guid{{0x6A, 0x27, 0x39, 0x8E, 0xA8, 0xBC, 0xC4, 0x4A, 0x89, 0x1E, 0x49, 0x91, 0x1D, 0x84, 0x38, 0xDD}}},
         {std::int64_t{2}, jet4::Null{}, jet4::Text(""), jet4::Text(""), jet4::Null{}, jet4::Null{}, false,
          jet4::Null{}},
         {std::int64_t{-2147483648LL}, std::int64_t{32767}, jet4::Null{}, jet4::Null{}, jet4::TimeOfDay(6, 0, 0),
          -0.125, false, jet4::Guid{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}}});
    auto rs = testsupport::OpenRecordset(db_, "SELECT * FROM Werte");
    ASSERT_EQ(rs->RecordCount(), 3);

    EXPECT_EQ(As<std::int64_t>(rs->Fields("Nr")), 1);
    EXPECT_EQ(As<std::int64_t>(rs->Fields("Kurz")), -7);
    EXPECT_EQ(As<std::string>(rs->Fields("Text")), "Tagesschau");
    EXPECT_EQ(As<std::string>(rs->Fields("Notiz")), "kurz");
    EXPECT_EQ(dao::CStr(rs->Fields("Wann"), "Wann"), "29.02.2024 20:15:00");
    EXPECT_DOUBLE_EQ(As<dao::Date>(rs->Fields("Wann")).days, jet4::DateAndTime(2024, 2, 29, 20, 15, 0).days);
    EXPECT_EQ(As<double>(rs->Fields("Wert")), 2.5);
    EXPECT_TRUE(As<bool>(rs->Fields("Ja")));
    EXPECT_EQ(As<std::string>(rs->Fields("Kennung")), "{8E39276A-BCA8-4AC4-891E-49911D8438DD}");

    rs->MoveNext();
    EXPECT_TRUE(rs->Fields("Kurz").IsNull());
    EXPECT_FALSE(rs->Fields("Text").IsNull());  // "" is a value, not Null
    EXPECT_EQ(As<std::string>(rs->Fields("Text")), "");
    EXPECT_EQ(As<std::string>(rs->Fields("Notiz")), "");
    EXPECT_EQ(dao::CStr(rs->Fields("Notiz"), "Notiz"), "");
    EXPECT_TRUE(rs->Fields("Wann").IsNull());
    EXPECT_TRUE(rs->Fields("Wert").IsNull());
    EXPECT_FALSE(As<bool>(rs->Fields("Ja")));
    EXPECT_TRUE(rs->Fields("Kennung").IsNull());

    rs->MoveNext();
    EXPECT_EQ(As<std::int64_t>(rs->Fields("Nr")), -2147483648LL);
    EXPECT_EQ(As<std::int64_t>(rs->Fields("Kurz")), 32767);
    EXPECT_TRUE(rs->Fields("Text").IsNull());
    EXPECT_TRUE(rs->Fields("Notiz").IsNull());
    EXPECT_EQ(dao::CStr(rs->Fields("Wann"), "Wann"), "06:00:00");
    EXPECT_EQ(dao::CStr(rs->Fields("Wert"), "Wert"), "-0.125");
    EXPECT_EQ(As<std::string>(rs->Fields("Kennung")), "{03020100-0504-0706-0809-0A0B0C0D0E0F}");
    try {
        dao::CStr(rs->Fields("Text"), "Text");
        FAIL() << "Null converted";
    } catch (const brevan::Error& e) {
        EXPECT_EQ(e.Description(), "Invalid use of Null (field Text)");
    }
}

TEST_F(DaoRead, MemosComeBackWholeWhateverTheirLength) {
    std::string ascii, umlauts, emoji;
    for (int i = 0; i < 25000; ++i) ascii.push_back(static_cast<char>('a' + i % 26));
    for (int i = 0; i < 9000; ++i) umlauts += "äöü ";  // beyond one page, compressed
    for (int i = 0; i < 12000; ++i) emoji += "x😀";     // beyond one page, plain UTF-16
    const std::vector<std::string> memos = {"",      "kurz", std::string(1000, 'm'), std::string(2100, 'n'), ascii,
                                            umlauts, emoji};
    std::vector<std::vector<jet4::Value>> rows;
    for (std::size_t i = 0; i < memos.size(); ++i) rows.push_back({std::int64_t(i), jet4::Text(memos[i])});
    WriteTable(db_, "Memos", {{"Nr", ColumnType::Long}, {"Beschreibung", ColumnType::Memo}}, rows);

    auto rs = testsupport::OpenRecordset(db_, "SELECT * FROM Memos");
    for (const std::string& memo : memos) {
        ASSERT_FALSE(rs->Eof());
        const std::string& got = As<std::string>(rs->Fields("Beschreibung"));
        EXPECT_EQ(got.size(), memo.size());
        EXPECT_TRUE(got == memo) << "memo of " << memo.size() << " bytes differs";
        rs->MoveNext();
    }
    EXPECT_TRUE(rs->Eof());
}

TEST_F(DaoRead, TextComesBackExactlyAsStored) {
    std::u16string lone = u"a";
    lone += char16_t(0xD83D);  // a high surrogate alone
    lone += u"b";
    lone += char16_t(0xDE00);  // a low surrogate alone
    std::u16string reversed;
    reversed += char16_t(0xDE00);
    reversed += char16_t(0xD83D);
    const std::vector<std::u16string> texts = {
        u"Tagesschau",                // compressed
        u"Ärger über Öl, Maß & Co.",  // compressed, Latin-1 range
        u"Emoji 😀 and 𝄞 in text",     // surrogate pairs
        u"Ā ĀĀ 一 UTF-16 only",       // units with a zero low byte cannot be compressed
        u"\uFEFFstarts with a byte order mark",
        u"Tabs\tand\r\nnew lines",
        lone,
        reversed,
    };
    std::vector<std::vector<jet4::Value>> rows;
    for (const auto& t : texts) rows.push_back({t, t});
    WriteTable(db_, "Texte", {{"Kurz", ColumnType::Text, 100}, {"Lang", ColumnType::Memo}}, rows);

    const std::vector<std::string> expected = {
        "Tagesschau",
        "Ärger über Öl, Maß & Co.",
        "Emoji 😀 and 𝄞 in text",
        "Ā ĀĀ 一 UTF-16 only",
        "\xEF\xBB\xBFstarts with a byte order mark",
        "Tabs\tand\r\nnew lines",
        "a" + Wtf8(0xD83D) + "b" + Wtf8(0xDE00),
        Wtf8(0xDE00) + Wtf8(0xD83D),
    };
    auto rs = testsupport::OpenRecordset(db_, "SELECT * FROM Texte");
    for (const std::string& e : expected) {
        ASSERT_FALSE(rs->Eof());
        EXPECT_EQ(As<std::string>(rs->Fields("Kurz")), e);
        EXPECT_EQ(As<std::string>(rs->Fields("Lang")), e);
        rs->MoveNext();
    }
}

TEST_F(DaoRead, FieldNamesMatchWithoutRegardToCase) {
    WriteTable(db_, "TVDaten", {{"SenderKennung", ColumnType::Text, 20}, {"Überschrift", ColumnType::Text, 20}},
               {{jet4::Text("ARD"), jet4::Text("x")}});
    auto rs = testsupport::OpenRecordset(db_, "select * from tvdaten");
    EXPECT_EQ(As<std::string>(rs->Fields("Senderkennung")), "ARD");
    EXPECT_EQ(As<std::string>(rs->Fields("SENDERKENNUNG")), "ARD");
    EXPECT_EQ(As<std::string>(rs->Fields("überschrift")), "x");
    EXPECT_EQ(As<std::string>(rs->Fields("ÜBERSCHRIFT")), "x");
    // The same object while the row stays, and it follows the recordset.
    const dao::Variant* first = &rs->Fields("senderkennung");
    EXPECT_EQ(first, &rs->Fields("SenderKennung"));
    try {
        rs->Fields("Sendung");
        FAIL() << "an unknown field was found";
    } catch (const brevan::Error& e) {
        const std::string d = e.Description();
        EXPECT_NE(d.find("\"Sendung\""), std::string::npos) << d;
        EXPECT_NE(d.find("TVDaten"), std::string::npos) << d;
        EXPECT_NE(d.find(db_), std::string::npos) << d;
    }
    // Named read fields match the same way; a field not named is refused.
    auto db = dao::DBEngine::Instance().Workspaces(0).OpenDatabase(db_, false, false);
    rs = db->OpenRecordset("select * from tvdaten", dao::dbOpenSnapshot, {"senderKENNUNG", "Genre"});
    EXPECT_EQ(As<std::string>(rs->Fields("Senderkennung")), "ARD");
    EXPECT_THROW(rs->Fields("Überschrift"), brevan::Error);
}

TEST_F(DaoRead, NavigationCountAndClose) {
    WriteTable(db_, "Leer", {{"A", ColumnType::Long}}, {});
    auto empty = testsupport::OpenRecordset(db_, "SELECT * FROM Leer");
    EXPECT_EQ(empty->RecordCount(), 0);
    EXPECT_TRUE(empty->Eof());
    EXPECT_THROW(empty->Fields("A"), brevan::Error);
    EXPECT_THROW(empty->MoveNext(), brevan::Error);
    empty->Close();

    std::vector<std::vector<jet4::Value>> rows;
    for (int i = 0; i < 1000; ++i) rows.push_back({std::int64_t{i}});
    WriteTable(db_, "Zahlen", {{"A", ColumnType::Long}}, rows);
    auto rs = testsupport::OpenRecordset(db_, "SELECT * FROM Zahlen");
    EXPECT_EQ(rs->RecordCount(), 1000);
    std::int64_t expected = 0;
    for (; !rs->Eof(); rs->MoveNext()) EXPECT_EQ(As<std::int64_t>(rs->Fields("a")), expected++);
    EXPECT_EQ(expected, 1000);
    EXPECT_THROW(rs->MoveNext(), brevan::Error);
    rs->MoveFirst();
    EXPECT_EQ(As<std::int64_t>(rs->Fields("A")), 0);
    rs->MoveNext();
    EXPECT_EQ(As<std::int64_t>(rs->Fields("A")), 1);
    rs->Close();
    EXPECT_THROW(rs->Eof(), brevan::Error);
}

TEST(DaoReadAccessFiles, NorthwindJet3WithCodePageTextMemosAndNulls) {
    const std::string nwind = SharedFile("nwind.mdb");
    if (nwind.empty()) GTEST_SKIP() << "../shared/testdata/access/nwind.mdb is absent";
    auto rs = testsupport::OpenRecordset(nwind, "SELECT * FROM Employees ORDER BY EmployeeID");
    ASSERT_EQ(rs->RecordCount(), 9);
    EXPECT_EQ(As<std::string>(rs->Fields("LastName")), "Davolio");
    EXPECT_EQ(dao::CStr(rs->Fields("BirthDate"), "BirthDate"), "08.12.1948");
    EXPECT_EQ(As<std::string>(rs->Fields("Region")), "WA");
    EXPECT_EQ(As<std::string>(rs->Fields("Notes")).size(), 175u);
    EXPECT_EQ(As<std::string>(rs->Fields("Notes")).rfind("Education includes a BA in psychology", 0), 0u);
    EXPECT_TRUE(rs->Fields("Photo").IsNull());  // OLE data is not read
    rs->MoveNext();
    EXPECT_EQ(As<std::string>(rs->Fields("LastName")), "Fuller");
    EXPECT_TRUE(rs->Fields("ReportsTo").IsNull());
    EXPECT_EQ(As<std::string>(rs->Fields("Notes")).size(), 448u);

    // A table name with an umlaut, matched without regard to case; Windows-1252 text.
    auto sales = testsupport::OpenRecordset(nwind, "SELECT * FROM [UMSÄTZE] ORDER BY OrderID");
    EXPECT_EQ(sales->RecordCount(), 830);
    EXPECT_EQ(As<std::int64_t>(sales->Fields("OrderID")), 10248);
    bool sawAccent = false;
    for (; !sales->Eof(); sales->MoveNext()) {
        if (As<std::int64_t>(sales->Fields("OrderID")) == 10330) {
            EXPECT_EQ(As<std::string>(sales->Fields("ShipAddress")), "Carrera 52 con Ave. Bolívar #65-98 Llano Largo");
            EXPECT_EQ(dao::CStr(sales->Fields("Freight"), "Freight"), "12.75");  // Currency
            EXPECT_EQ(dao::CStr(sales->Fields("OrderDate"), "OrderDate"), "16.11.1994");
            sawAccent = true;
        }
    }
    EXPECT_TRUE(sawAccent);
}

// RC4 over `data`, as Access masks the header block of page 0.
void Rc4(const unsigned char* key, std::size_t keySize, unsigned char* data, std::size_t size) {
    unsigned char box[256];
    for (int i = 0; i < 256; ++i) box[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + box[i] + key[i % keySize]) & 0xFF;
        std::swap(box[i], box[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < size; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + box[i]) & 0xFF;
        std::swap(box[i], box[j]);
        data[n] ^= box[(box[i] + box[j]) & 0xFF];
    }
}

TEST(DaoReadAccessFiles, Jet3TextInTheFilesCodePage) {
    const std::string nwind = SharedFile("nwind.mdb");
    if (nwind.empty()) GTEST_SKIP() << "../shared/testdata/access/nwind.mdb is absent";
    // The same file claiming code page 437 (DOS): its byte 0xED is U+03C6.
    testsupport::TempFolder folder;
    const std::string dos = folder / "dos.mdb";
    std::string bytes = testsupport::ReadFile(nwind);
    const unsigned char key[] = {0xC7, 0xDA, 0x39, 0x6B};
    auto* block = reinterpret_cast<unsigned char*>(bytes.data()) + 0x18;
    Rc4(key, sizeof key, block, 126);
    ASSERT_EQ(block[0x3C - 0x18] | (block[0x3D - 0x18] << 8), 1252);
    block[0x3C - 0x18] = 437 & 0xFF;
    block[0x3D - 0x18] = 437 >> 8;
    Rc4(key, sizeof key, block, 126);
    testsupport::WriteFile(dos, bytes);

    auto rs = testsupport::OpenRecordset(dos, "SELECT * FROM Orders ORDER BY OrderID");
    for (; !rs->Eof(); rs->MoveNext())
        if (As<std::int64_t>(rs->Fields("OrderID")) == 10330) break;
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(As<std::string>(rs->Fields("ShipAddress")), "Carrera 52 con Ave. Bol\u03C6var #65-98 Llano Largo");
}

TEST(DaoReadAccessFiles, DatesAccessStoredOutsideLibmdbsRange) {
    const std::string file = SharedFile("DateTestDatabase.mdb");
    if (file.empty()) GTEST_SKIP() << "../shared/testdata/access/DateTestDatabase.mdb is absent";
    auto rs = testsupport::OpenRecordset(file, "SELECT * FROM DateTest ORDER BY IDCol");
    ASSERT_EQ(rs->RecordCount(), 6);
    std::vector<std::string> dates;
    for (; !rs->Eof(); rs->MoveNext())
        dates.push_back(dao::CStr(rs->Fields("DateTimeCol"), "DateTimeCol") + "|" +
                        dao::CStr(rs->Fields("TimeCol"), "TimeCol") + "|" + As<std::string>(rs->Fields("LongTextCol")));
    EXPECT_EQ(dates[0], "02.12.2021|02.12.2021|Hello");
    EXPECT_EQ(dates[1], "01.01.9999|01.01.9999|Year 9999");
    EXPECT_EQ(dates[2], "01.01.1898|01.01.1900|Pre-1900 years");
    EXPECT_EQ(dates[3], "01.01.0632|01.01.0634|Pre-1000 years");
    EXPECT_EQ(dates[5], "02.12.2021|02.12.2021|New line\r\nin field");
}

}  // namespace
