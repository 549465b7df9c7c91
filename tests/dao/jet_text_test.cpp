// Decoding of stored text: the byte-level cases that files from the writer
// do not reach (odd lengths, switches at the very end, Windows-1252).
#include "dao/reader/jet_text.h"
#include "base/cp1252.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace brevan::dao::reader;

namespace {

std::string Jet4(const std::vector<unsigned char>& bytes) {
    std::string out = "<";
    AppendJet4Text(bytes.data(), bytes.size(), out);  // appends, keeps what was there
    return out;
}

TEST(DaoText, PlainUtf16WithPairsLoneSurrogatesAndAnOddByte) {
    EXPECT_EQ(Jet4({'A', 0, 0xE4, 0, 0xAC, 0x20}), "<Aä€");
    EXPECT_EQ(Jet4({0x3D, 0xD8, 0x00, 0xDE}), "<😀");
    EXPECT_EQ(Jet4({0x3D, 0xD8, 'x', 0}), "<\xED\xA0\xBDx");                        // high surrogate alone
    EXPECT_EQ(Jet4({0x00, 0xDE}), "<\xED\xB8\x80");                                 // low surrogate alone
    EXPECT_EQ(Jet4({0x3D, 0xD8}), "<\xED\xA0\xBD");                                 // high surrogate at the end
    EXPECT_EQ(Jet4({'a', 0, 'b', 0, 'c', 0, 'd', 0, 0xE9, 0, 'e', 0}), "<abcdée");  // fast path, then not
    EXPECT_EQ(Jet4({'a', 0, 'b'}), "<a\xEF\xBF\xBD");                               // odd last byte: U+FFFD
    EXPECT_EQ(Jet4({}), "<");
}

TEST(DaoText, CompressedRunsSwitchOnZeroBytes) {
    EXPECT_EQ(Jet4({0xFF, 0xFE, 'A', 0xE4}), "<Aä");
    EXPECT_EQ(Jet4({0xFF, 0xFE, 'x', 0, 0x3D, 0xD8, 0x01, 0xDE, 0, 'y'}), "<x😁y");
    EXPECT_EQ(Jet4({0xFF, 0xFE, 'x', 0, 0xAC, 0x20}), "<x€");       // ends in two-byte mode
    EXPECT_EQ(Jet4({0xFF, 0xFE, 'x', 0, 0xAC, 0x20, 0}), "<x€");    // a switch as last byte
    EXPECT_EQ(Jet4({0xFF, 0xFE, 'x', 0, 0xAC}), "<x\xEF\xBF\xBD");  // odd tail
    EXPECT_EQ(Jet4({0xFF, 0xFE}), "<");
    EXPECT_EQ(Jet4({0xFF, 0xFE, 0, 0xFF, 0xFE, 'a', 0}),
              "<\xEF\xBB\xBF"
              "a");  // a BOM stored compressed
}

TEST(DaoText, Windows1252) {
    const std::vector<unsigned char> bytes = {'W', 0xE4, 'h', 'l', 0x80, 0x84, 0x93, 0x81, 0xFF};
    std::string out;
    brevan::AppendCp1252(bytes.data(), bytes.size(), out);
    EXPECT_EQ(out, "Wähl€„“\xC2\x81ÿ");
}

}  // namespace
