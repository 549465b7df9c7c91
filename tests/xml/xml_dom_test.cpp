// The XML document: bytes as written, characters XML forbids, and saves that
// either replace the file whole or leave it as it was.
#include "xml/xml_dom.h"
#include "base/error.h"
#include "support/temp_folder.h"
#include "xml/xml_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using brevan::xml::DOMDocument;
using brevan::xml::Node;
using brevan::xml::XmlSafeText;
using testsupport::ReadFile;
using testsupport::TempFolder;

namespace {

// A small document: declaration, <tv a="..."> with an indented child.
void Build(DOMDocument& doc, const std::string& value) {
    doc.appendChild(doc.createProcessingInstruction("xml", "version='1.0'"));
    Node root = doc.createElement("tv");
    auto attribute = doc.createAttribute("a");
    attribute.Value = value;
    root.setAttributeNode(attribute);
    doc.appendChild(root);
    Node fragment = doc.createDocumentFragment();
    fragment.appendChild(doc.createTextNode("\r\n\t"));
    Node child = doc.createElement("desc");
    child.setText(value);
    fragment.appendChild(child);
    root.appendChild(fragment);
    root.appendChild(doc.createTextNode("\r\n"));
}

}  // namespace

TEST(XmlDocument, WritesLayoutNodesAndEscapesAsGiven) {
    DOMDocument doc;
    Build(doc, "R&B <live> \"x\"");
    EXPECT_EQ(doc.xml(),
              "<?xml version='1.0'?>\r\n"
              "<tv a=\"R&amp;B &lt;live> &quot;x&quot;\">\r\n"
              "\t<desc>R&amp;B &lt;live&gt; \"x\"</desc>\r\n"
              "</tv>");

    DOMDocument empty;
    Build(empty, "");
    EXPECT_NE(empty.xml().find("<desc></desc>"), std::string::npos) << "empty elements keep an end tag";
}

TEST(XmlDocument, DropsCharactersXmlForbids) {
    EXPECT_EQ(XmlSafeText("a\x01"
                          "b\x0B\x0C"
                          "c\x1F"
                          "d"),
              "abcd");
    EXPECT_EQ(XmlSafeText("tab\tlf\ncr\r"), "tab\tlf\ncr\r");
    EXPECT_EQ(XmlSafeText("x\xEF\xBF\xBEy\xEF\xBF\xBFz"), "xyz");  // U+FFFE, U+FFFF
    EXPECT_EQ(XmlSafeText("x\xED\xA0\xBDy\xED\xB8\x80z"), "xyz");  // lone surrogates
    EXPECT_EQ(XmlSafeText("\xC3\xA4\xF0\x9F\x98\x80\xEF\xBF\xBD"), "\xC3\xA4\xF0\x9F\x98\x80\xEF\xBF\xBD");
    EXPECT_EQ(XmlSafeText("a\xFF\xC3"
                          "b\xE2\x82"),
              "ab");  // not UTF-8
    EXPECT_EQ(XmlSafeText(std::string("a\0b", 3)), "ab");

    DOMDocument doc;
    Build(doc, std::string("x\0\x02y", 4));
    EXPECT_NE(doc.xml().find("<desc>xy</desc>"), std::string::npos);
    EXPECT_NE(doc.xml().find("a=\"xy\""), std::string::npos);
}

TEST(XmlDocument, MarkupWritesTheBytesOfTheSameNodes) {
    // Every byte, long runs on both sides of the escapes, forbidden and
    // broken characters: the markup's bytes are the tree's, byte for byte.
    std::string value = "R&B <live> \"x\" 'y'\t\r\n " + std::string(40, 'a') + "&" + std::string(17, 'b') + ">";
    for (int c = 1; c < 256; ++c) value.push_back(static_cast<char>(c));
    value += "\xC3\xA4\xEF\xBF\xBE\xED\xA0\xBD\xF0\x9F\x98\x80" + std::string(33, 'z') + "<";
    // Umlauts, dashes and escapes at every offset of a block, then a
    // character to drop.
    std::string german;
    for (int shift = 0; shift < 20; ++shift)
        german += std::string(static_cast<std::size_t>(shift), 'x') + "Grüße – 5 € & <mehr>\tö";
    german += "\xEF\xBF\xBF" + german;
    for (const std::string& text : {value, german, std::string()}) {
        DOMDocument tree, markup;
        Node root = tree.createElement("tv");
        tree.appendChild(root);
        markup.appendChild(markup.createElement("tv"));
        Node element = tree.createElement("programme");
        auto attribute = tree.createAttribute("start");
        attribute.Value = text;
        element.setAttributeNode(attribute);
        Node desc = tree.createElement("desc");
        desc.setText(text);
        element.appendChild(desc);
        root.appendChild(element);
        root.appendChild(tree.createTextNode(text));

        brevan::xml::Markup bytes;
        bytes.startTag("programme");
        bytes.attribute("start", text);
        bytes.startTagEnd();
        bytes.startTag("desc");
        bytes.startTagEnd();
        bytes.text(text);
        bytes.endTag("desc");
        bytes.endTag("programme");
        bytes.text(text);
        markup.appendToRoot(bytes);
        EXPECT_EQ(markup.xml(), tree.xml());
    }
}

TEST(XmlDocument, SaveReplacesTheFileWhole) {
    TempFolder folder;
    const fs::path target = folder.path() / "tvdata.xml";
    { std::ofstream(target) << "old guide"; }
    DOMDocument doc;
    Build(doc, "neu");
    doc.save(target.string());
    EXPECT_EQ(ReadFile(target), doc.xml());
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "no stray temporary file";
}

TEST(XmlDocument, FailedSaveKeepsTheOldFileAndLeavesNothingBehind) {
    DOMDocument doc;
    Build(doc, "neu");

    TempFolder folder;
    EXPECT_THROW(doc.save((folder.path() / "missing" / "tvdata.xml").string()), brevan::Error);

    if (::geteuid() != 0) {  // root writes into read-only folders anyway
        const fs::path target = folder.path() / "tvdata.xml";
        { std::ofstream(target) << "old guide"; }
        fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(doc.save(target.string()), brevan::Error);
        fs::permissions(folder.path(), fs::perms::owner_all);
        EXPECT_EQ(ReadFile(target), "old guide");
    }

    // A folder standing where the file should go.
    fs::create_directory(folder.path() / "tvdata.xml.d");
    try {
        doc.save((folder.path() / "tvdata.xml.d").string());
        ADD_FAILURE() << "saved over a folder";
    } catch (const brevan::Error& e) {
        EXPECT_NE(e.Description().find("tvdata.xml.d"), std::string::npos) << e.Description();
    }
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().filename().string().rfind(".tvdata", 0), std::string::npos) << entry.path();
}
