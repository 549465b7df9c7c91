// Every kind of value the writer stores reads back exactly through libmdb.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "jet4/jet4_writer.h"
#include "mdb_readback.h"
#include "support/temp_folder.h"

namespace {

using jet4::ColumnType;
using jet4::Value;

std::u16string Repeat(std::u16string_view unit, std::size_t count) {
    std::u16string s;
    while (s.size() < count) s += unit;
    s.resize(count);
    return s;
}

// Writes one table and reads it back whole.
readback::Table RoundTrip(const testsupport::TempFolder& dir, const std::vector<jet4::Column>& cols,
                          const std::vector<std::vector<Value>>& rows) {
    const std::string path = dir / "values.mdb";
    jet4::Writer w(path);
    w.BeginTable("Werte", cols);
    for (const auto& r : rows) w.AddRow(r);
    w.Finish();
    return readback::ReadTable(path, "Werte");
}

TEST(WriterValues, TextReadsBackUnitForUnit) {
    testsupport::TempFolder dir;
    const std::vector<std::u16string> texts = {
        u"",
        u"A",
        u"Tagesschau",
        u"Grüße aus Köln – schön, daß Sie da sind €",
        u"中文节目 Ελληνικά русский",    // no unit with a 00 low byte: compressible but wider
        u"\u4E00\u0100 low bytes zero",  // cannot be compressed
        u"\uFEFFstarts with a byte order mark",
        u"\uFFFE reversed mark",
        std::u16string(u"lone high \xD83D here"),
        std::u16string(u"lone low \xDE00 here"),
        Repeat(u"x", 255),
        Repeat(u"ü€", 255),
    };
    std::vector<std::vector<Value>> rows;
    for (const auto& t : texts) rows.push_back({t});
    const auto table = RoundTrip(dir, {{"Titel", ColumnType::Text, 255}}, rows);
    ASSERT_EQ(table.rows.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(table.rows[i][0].isNull);
        EXPECT_EQ(table.rows[i][0].units, texts[i]);
    }
    // libmdb's own conversion to UTF-8 agrees where it can convert at all.
    EXPECT_EQ(table.rows[2][0].text, "Tagesschau");
    EXPECT_EQ(table.rows[3][0].text, "Grüße aus Köln – schön, daß Sie da sind €");
    EXPECT_EQ(table.rows[4][0].text, "中文节目 Ελληνικά русский");
    EXPECT_EQ(table.rows[6][0].text, "\xEF\xBB\xBFstarts with a byte order mark");
}

TEST(WriterValues, TextIsCompressedOnlyWhereShorterAndLegal) {
    testsupport::TempFolder dir;
    const auto table = RoundTrip(dir, {{"T", ColumnType::Text, 50}},
                                 {{u"Grüße"}, {u"中文"}, {u"\u0100\u0101"}, {u"a"}, {u"\uFEFF\u4E2D"}});
    auto raw = [&](std::size_t row) { return table.rows[row][0].raw; };
    EXPECT_EQ(raw(0), std::string("\xFF\xFEGr\xFC\xDF"
                                  "e",
                                  7));
    EXPECT_EQ(raw(1).size(), 4u);                                    // plain: compression would be longer
    EXPECT_EQ(raw(2), std::string("\x00\x01\x01\x01", 4));           // plain: 00 low byte
    EXPECT_EQ(raw(3), std::string("a\x00", 2));                      // plain: one character is shorter so
    EXPECT_EQ(raw(4).substr(0, 3), std::string("\xFF\xFE\x00", 3));  // a leading FEFF must be marked
    EXPECT_EQ(table.rows[4][0].units, u"\uFEFF\u4E2D");
}

TEST(WriterValues, NumbersDatesAndYesNoReadBackExactly) {
    testsupport::TempFolder dir;
    const std::vector<jet4::Column> cols = {{"L", ColumnType::Long},
                                            {"I", ColumnType::Integer},
                                            {"D", ColumnType::Double},
                                            {"W", ColumnType::DateTime},
                                            {"F", ColumnType::YesNo}};
    const double tiny = std::numeric_limits<double>::denorm_min();
    const std::vector<std::vector<Value>> rows = {
        {std::int64_t{0}, std::int64_t{0}, 0.0, jet4::Date(1899, 12, 30), false},
        {std::int64_t{INT32_MIN}, std::int64_t{INT16_MIN}, -1e300, jet4::TimeOfDay(6, 0, 0), true},
        {std::int64_t{INT32_MAX}, std::int64_t{INT16_MAX}, 3.141592653589793, jet4::Date(2024, 2, 29), true},
        {std::int64_t{-1}, std::int64_t{-1}, tiny, jet4::DateAndTime(2024, 5, 1, 20, 15, 0), false},
        {std::int64_t{123456}, std::int64_t{4711}, std::int64_t{-42}, jet4::DateAndTime(9999, 12, 31, 23, 59, 59),
         true},
    };
    const auto table = RoundTrip(dir, cols, rows);
    ASSERT_EQ(table.rows.size(), rows.size());
    const double expectedDouble[] = {0.0, -1e300, 3.141592653589793, tiny, -42.0};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& r = table.rows[i];
        EXPECT_EQ(readback::RawInt(r[0].raw), std::get<std::int64_t>(rows[i][0]));
        EXPECT_EQ(readback::RawInt(r[1].raw), std::get<std::int64_t>(rows[i][1]));
        EXPECT_EQ(readback::RawDouble(r[2].raw), expectedDouble[i]);
        EXPECT_EQ(readback::RawDouble(r[3].raw), std::get<jet4::DateTime>(rows[i][3]).days);
        EXPECT_EQ(r[4].isNull, !std::get<bool>(rows[i][4]));  // a Yes/No value is its null-mask bit
        for (int c = 0; c < 4; ++c) EXPECT_FALSE(r[c].isNull);
    }
    EXPECT_EQ(table.rows[1][0].text, "-2147483648");
    EXPECT_EQ(table.rows[2][1].text, "32767");
    EXPECT_EQ(table.rows[1][3].text, "1899-12-30 06:00:00");
    EXPECT_EQ(table.rows[2][3].text, "2024-02-29 00:00:00");
    EXPECT_EQ(table.rows[3][3].text, "2024-05-01 20:15:00");
    // libmdb prints days past 1,000,000 (the year 4637) as "1900-01-00"; the stored value is exact.
    EXPECT_EQ(table.rows[4][3].text, "1900-01-00 00:00:00");
    EXPECT_EQ(readback::RawDouble(table.rows[1][3].raw), 0.25);
}

TEST(WriterValues, NullIsTellableFromEmpty) {
    testsupport::TempFolder dir;
    const std::vector<jet4::Column> cols = {
        {"T", ColumnType::Text, 10}, {"M", ColumnType::Memo}, {"L", ColumnType::Long}, {"W", ColumnType::DateTime}};
    const auto table = RoundTrip(dir, cols,
                                 {{jet4::Null{}, jet4::Null{}, jet4::Null{}, jet4::Null{}},
                                  {u"", u"", std::int64_t{0}, jet4::DateTime{0}},
                                  {u"x", jet4::Null{}, jet4::Null{}, jet4::Date(2000, 1, 1)}});
    ASSERT_EQ(table.rows.size(), 3u);
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(c);
        EXPECT_TRUE(table.rows[0][c].isNull);
        EXPECT_FALSE(table.rows[1][c].isNull);
    }
    // The bound texts alone look the same for Null and "".
    EXPECT_EQ(table.rows[0][0].text, table.rows[1][0].text);
    EXPECT_EQ(table.rows[0][1].text, table.rows[1][1].text);
    EXPECT_TRUE(table.rows[1][1].units.empty());
    EXPECT_EQ(table.rows[2][0].text, "x");
    EXPECT_TRUE(table.rows[2][1].isNull);
    EXPECT_TRUE(table.rows[2][2].isNull);
    EXPECT_FALSE(table.rows[2][3].isNull);
}

TEST(WriterValues, MemosOfEveryLengthReadBackWhole) {
    testsupport::TempFolder dir;
    // Inline, one LVAL row, and chains; compressible, plain and not compressible.
    std::vector<std::u16string> memos;
    for (std::size_t n : {0, 1, 62, 63, 64, 65, 1024, 1025, 2000, 2038, 2039, 4100, 8144, 8145, 20000})
        memos.push_back(Repeat(u"Über Brücken. ", n));
    memos.push_back(Repeat(u"\u4E00\u0100", 3000));
    memos.push_back(Repeat(u"中文", 5000));
    std::vector<std::vector<Value>> rows;
    for (std::size_t i = 0; i < memos.size(); ++i) rows.push_back({std::int64_t(i), memos[i]});
    const auto table = RoundTrip(dir, {{"N", ColumnType::Long}, {"Beschreibung", ColumnType::Memo}}, rows);
    ASSERT_EQ(table.rows.size(), memos.size());
    for (std::size_t i = 0; i < memos.size(); ++i) {
        SCOPED_TRACE(memos[i].size());
        EXPECT_FALSE(table.rows[i][1].isNull);
        EXPECT_EQ(table.rows[i][1].units, memos[i]);
    }
    // libmdb's own reading of a 20,000-character chain.
    const std::string& long20000 = table.rows[14][1].text;
    EXPECT_EQ(long20000.size(), 20000u + 20000u / 14 * 2 + 2);  // Ü and ü take two bytes
    EXPECT_EQ(long20000.substr(0, 14), "Über Brücken");
}

TEST(WriterValues, EmojiIsStoredAsASurrogatePair) {
    testsupport::TempFolder dir;
    const std::u16string emoji = u"Film 😀 ab 20 Uhr";
    ASSERT_EQ(emoji.size(), 17u);
    const auto table = RoundTrip(dir, {{"T", ColumnType::Text, 17}, {"M", ColumnType::Memo}},
                                 {{emoji, emoji}, {jet4::Text("😀"), Repeat(u"😀", 3000)}});
    EXPECT_EQ(table.rows[0][0].units, emoji);
    EXPECT_EQ(table.rows[0][1].units, emoji);
    EXPECT_EQ(table.rows[1][0].raw, std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(table.rows[1][1].units, Repeat(u"😀", 3000));
    // libmdb's iconv turns each half of the pair into a question mark.
    EXPECT_EQ(table.rows[0][0].text, "Film ?? ab 20 Uhr");
}

TEST(WriterValues, TextHelpersConvert) {
    EXPECT_EQ(jet4::Utf16("Grüße 😀"), u"Grüße 😀");
    EXPECT_THROW(jet4::Utf16("\xC3"), jet4::WriteError);
    EXPECT_THROW(jet4::Utf16("\xED\xA0\x80"), jet4::WriteError);  // encoded surrogate
    EXPECT_THROW(jet4::Utf16("\xC0\xAF"), jet4::WriteError);      // overlong
    EXPECT_EQ(jet4::Date(1899, 12, 30).days, 0.0);
    EXPECT_EQ(jet4::Date(2000, 1, 1).days, 36526.0);
    EXPECT_EQ(jet4::Date(1899, 12, 29).days, -1.0);
    EXPECT_EQ(jet4::DateAndTime(1899, 12, 29, 6, 0, 0).days, -1.25);
    EXPECT_EQ(jet4::TimeOfDay(18, 0, 0).days, 0.75);
    EXPECT_THROW(jet4::Date(2023, 2, 29), jet4::WriteError);
    EXPECT_THROW(jet4::TimeOfDay(24, 0, 0), jet4::WriteError);
}

}  // namespace
