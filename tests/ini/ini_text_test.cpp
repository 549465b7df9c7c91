// The INI format as text: what a lookup finds, what an edit changes, how
// foreign encodings decode and where long values are cut.
#include "ini/ini_text.h"
#include "base/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using brevan::ini::DecodeIniBytes;
using brevan::ini::EncodeIniText;
using brevan::ini::FindValue;
using brevan::ini::SetValue;

namespace {

std::string Value(std::string_view text, std::string_view section, std::string_view key) {
    return FindValue(text, section, key).value_or("<missing>");
}

}  // namespace

TEST(IniLookup, SectionAndKeyIgnoreCaseAndBlanks) {
    const std::string text = "  [ Default ]  \n  tvmovietvdatapath   =   /data/tvdaten.mdb   \nmyHTPCPath=/out\n";
    EXPECT_EQ(Value(text, "Default", "TVMovieTvDataPath"), "/data/tvdaten.mdb");
    EXPECT_EQ(Value(text, "DEFAULT", "MYHTPCPATH"), "/out");
    EXPECT_EQ(Value(text, " default ", " myhtpcpath "), "/out");
    EXPECT_EQ(Value("[Wählen]\nSchlüssel=1\n", "WÄHLEN", "SCHLÜSSEL"), "1");
}

TEST(IniLookup, MissingSectionOrKeyIsNothing) {
    const std::string text = "[Default]\nA=1\n[Other]\nB=2\n";
    EXPECT_FALSE(FindValue(text, "None", "A"));
    EXPECT_FALSE(FindValue(text, "Default", "B"));
    EXPECT_FALSE(FindValue("", "Default", "A"));
    EXPECT_FALSE(FindValue("A=1\n[Default]\n", "Default", "A"));  // a key above every section belongs to none
    EXPECT_EQ(Value("[Default]\nA=\n", "Default", "A"), "");      // present but empty is not missing
}

TEST(IniLookup, FirstDuplicateWins) {
    EXPECT_EQ(Value("[Default]\nA=first\nA=second\n", "Default", "A"), "first");
    EXPECT_EQ(Value("[Default]\nA=first\n[default]\nA=second\n", "Default", "A"), "first");
    // Only the first of duplicate sections counts, as on Windows.
    EXPECT_FALSE(FindValue("[Default]\nA=1\n[Default]\nB=2\n", "Default", "B"));
}

TEST(IniLookup, CommentsAndOddLines) {
    const std::string text =
        "; A=comment\n[Default]\n;A=commented out\n  ; B=also\nnonsense line\n[broken header\nA=real ; not a comment\n";
    EXPECT_EQ(Value(text, "Default", "A"), "real ; not a comment");
    EXPECT_FALSE(FindValue(text, "Default", "B"));
    EXPECT_EQ(Value("[Default]\nA=x=y\n", "Default", "A"), "x=y");
}

TEST(IniLookup, OnePairOfMatchingQuotesIsDropped) {
    EXPECT_EQ(Value("[S]\nA=\"C:\\Program Files\\x\"\n", "S", "A"), "C:\\Program Files\\x");
    EXPECT_EQ(Value("[S]\nA= \"  padded  \" \n", "S", "A"), "  padded  ");
    EXPECT_EQ(Value("[S]\nA='single'\n", "S", "A"), "single");
    EXPECT_EQ(Value("[S]\nA=\"\"twice\"\"\n", "S", "A"), "\"twice\"");
    EXPECT_EQ(Value("[S]\nA=\"open\n", "S", "A"), "\"open");
    EXPECT_EQ(Value("[S]\nA=\"mixed'\n", "S", "A"), "\"mixed'");
    EXPECT_EQ(Value("[S]\nA=\"\n", "S", "A"), "\"");
}

TEST(IniLookup, LineEndingsOfAnyKind) {
    EXPECT_EQ(Value("[S]\r\nA=1\r\nB=2\r\n", "S", "A"), "1");
    EXPECT_EQ(Value("[S]\r\nA=1\r\nB=2\r\n", "S", "B"), "2");
    EXPECT_EQ(Value("[S]\rA=1\rB=2", "S", "B"), "2");
    EXPECT_EQ(Value("[S]\nA=no newline at the end", "S", "A"), "no newline at the end");
}

TEST(IniLookup, NulEndsAValueAndBreaksNothingElse) {
    using namespace std::string_literals;
    const std::string text = "[S]\nA=before\0after\nB=2\n\0\0\n[T]\nC=3\n"s;
    EXPECT_EQ(Value(text, "S", "A"), "before");
    EXPECT_EQ(Value(text, "S", "B"), "2");
    EXPECT_EQ(Value(text, "T", "C"), "3");
}

TEST(IniDecode, Utf8AndByteOrderMark) {
    auto plain = DecodeIniBytes("[S]\nA=Wählen\n");
    EXPECT_EQ(plain.text, "[S]\nA=Wählen\n");
    EXPECT_FALSE(plain.bom);
    EXPECT_FALSE(plain.converted);

    auto marked = DecodeIniBytes("\xEF\xBB\xBF[S]\nA=1\n");
    EXPECT_EQ(marked.text, "[S]\nA=1\n");
    EXPECT_TRUE(marked.bom);
    EXPECT_EQ(Value(marked.text, "S", "A"), "1");
    EXPECT_EQ(EncodeIniText(marked), "\xEF\xBB\xBF[S]\nA=1\n");
}

TEST(IniDecode, Windows1252WhenNotUtf8) {
    auto text = DecodeIniBytes("[Default]\r\nmyHTPCPath=C:\\W\xE4hlen \x80 \x93q\x94\r\n");
    EXPECT_TRUE(text.converted);
    EXPECT_EQ(Value(text.text, "Default", "myHTPCPath"), "C:\\Wählen € “q”");
    // A UTF-8 mark followed by bytes that are not UTF-8: the rest is 1252.
    auto mixed = DecodeIniBytes("\xEF\xBB\xBF[S]\nA=\xE4\n");
    EXPECT_TRUE(mixed.converted);
    EXPECT_FALSE(mixed.bom);
    EXPECT_EQ(Value(mixed.text, "S", "A"), "ä");
}

TEST(IniDecode, Utf16WithMark) {
    const std::u16string source = u"[S]\r\nA=Wählen 😀\r\n";
    std::string le = "\xFF\xFE";
    std::string be = "\xFE\xFF";
    for (char16_t u : source) {
        le += static_cast<char>(u & 0xFF), le += static_cast<char>(u >> 8);
        be += static_cast<char>(u >> 8), be += static_cast<char>(u & 0xFF);
    }
    EXPECT_EQ(Value(DecodeIniBytes(le).text, "S", "A"), "Wählen 😀");
    EXPECT_EQ(Value(DecodeIniBytes(be).text, "S", "A"), "Wählen 😀");
    EXPECT_TRUE(DecodeIniBytes(le).converted);
    // A lone surrogate and an odd last byte decode to something harmless.
    EXPECT_EQ(DecodeIniBytes(std::string("\xFF\xFE\x00\xD8\x41\x00\x42", 7)).text,
              "\xEF\xBF\xBD"
              "A");
}

TEST(IniEdit, ReplacesTheValueInItsLineAndKeepsEverythingElse) {
    const std::string before =
        "; settings\n[Other]\nA=other\n\n[Default]\n  TVMovieTvDataPath = /old.mdb\n; note\nmyHTPCPath=/out\n";
    const auto after = SetValue(before, "default", "tvmovietvdatapath", "/new.mdb");
    ASSERT_TRUE(after);
    EXPECT_EQ(*after,
              "; settings\n[Other]\nA=other\n\n[Default]\n  TVMovieTvDataPath = /new.mdb\n; note\nmyHTPCPath=/out\n");
}

TEST(IniEdit, KeepsCrLfAndNoFinalNewline) {
    EXPECT_EQ(*SetValue("[S]\r\nA=1\r\n", "S", "A", "2"), "[S]\r\nA=2\r\n");
    EXPECT_EQ(*SetValue("[S]\r\nA=1\r\n", "S", "B", "2"), "[S]\r\nA=1\r\nB=2\r\n");
    EXPECT_EQ(*SetValue("[S]\r\nA=1\r\n", "T", "B", "2"), "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n");
    EXPECT_EQ(*SetValue("[S]\nA=1", "S", "A", "2"), "[S]\nA=2");
    EXPECT_EQ(*SetValue("[S]\nA=1", "S", "B", "2"), "[S]\nA=1\nB=2\n");
}

TEST(IniEdit, NewKeyGoesAfterTheSectionsLastKey) {
    const std::string before = "[Default]\nA=1\n; about B\n\n; next section\n[Other]\nX=1\n";
    EXPECT_EQ(*SetValue(before, "Default", "B", "2"),
              "[Default]\nA=1\nB=2\n; about B\n\n; next section\n[Other]\nX=1\n");
    EXPECT_EQ(*SetValue("[Default]\n\n[Other]\n", "Default", "B", "2"), "[Default]\nB=2\n\n[Other]\n");
    // Only the first of duplicate sections is written to.
    EXPECT_EQ(*SetValue("[S]\nA=1\n[S]\nB=1\n", "S", "B", "2"), "[S]\nA=1\nB=2\n[S]\nB=1\n");
}

TEST(IniEdit, CreatesTheSectionAndTheText) {
    EXPECT_EQ(*SetValue("", "Default", "myHTPCPath", "/out"), "[Default]\nmyHTPCPath=/out\n");
    EXPECT_EQ(*SetValue("[S]\nA=1\n", "Default", "B", "2"), "[S]\nA=1\n\n[Default]\nB=2\n");
    EXPECT_EQ(*SetValue("[S]\nA=1\n\n", "Default", "B", "2"), "[S]\nA=1\n\n[Default]\nB=2\n");
}

TEST(IniEdit, ValuesReadBackAsWritten) {
    for (const std::string value : {"", "  padded  ", "\"quoted\"", "'single'", "a;b=c", "Wählen 😀", "\"", "x\""}) {
        const auto text = SetValue("[S]\nA=old\n", "S", "A", value);
        ASSERT_TRUE(text) << value;
        EXPECT_EQ(Value(*text, "S", "A"), value);
    }
}

TEST(IniEdit, RefusesWhatCannotBeStored) {
    EXPECT_FALSE(SetValue("", "S", "A", "two\nlines"));
    EXPECT_FALSE(SetValue("", "S", "A", "cr\r"));
    EXPECT_FALSE(SetValue("", "S", "A", std::string("nul\0", 4)));
    EXPECT_FALSE(SetValue("", "S", "A", "\xE4"));  // not UTF-8
    EXPECT_FALSE(SetValue("", "S", "", "v"));
    EXPECT_FALSE(SetValue("", "", "A", "v"));
    EXPECT_FALSE(SetValue("", "S", "A=B", "v"));
    EXPECT_FALSE(SetValue("", "S", ";A", "v"));
    EXPECT_FALSE(SetValue("", "S", "[A", "v"));
    EXPECT_FALSE(SetValue("", "S]", "A", "v"));
}

TEST(IniHostile, HugeLinesAndRandomBytesDoNotCrash) {
    std::string text = "[S]\nA=" + std::string(1 << 20, 'v') + "\nB=2";
    EXPECT_EQ(FindValue(text, "S", "A")->size(), 1u << 20);
    EXPECT_EQ(Value(text, "S", "B"), "2");
    EXPECT_TRUE(SetValue(text, "S", "B", "3"));

    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 400), '\0');
        for (char& c : bytes) c = "[]=;\r\n \t\"'aS\0\xE4\xC3\xFF\xFE"[random() % 17];
        const auto decoded = DecodeIniBytes(bytes);
        EXPECT_TRUE(brevan::IsValidUtf8(decoded.text));
        (void)FindValue(decoded.text, "S", "a");
        if (auto edited = SetValue(decoded.text, "S", "a", "v")) {
            EXPECT_EQ(Value(*edited, "S", "a"), "v");
        }
    }
}
