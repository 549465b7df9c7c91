// The XML document written while it is built (spoolTo): the same bytes as a
// document kept in memory, and saves that still replace the file whole or
// leave it as it was.
#include "base/error.h"
#include "support/temp_folder.h"
#include "xml/xml_dom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;
using brevan::xml::Attribute;
using brevan::xml::DOMDocument;
using brevan::xml::Node;
using testsupport::ReadFile;

namespace {

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class XmlSpool : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "brevan-spool-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data());
        target_ = folder_ / "tvdata.xml";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    fs::path folder_;
    fs::path target_;
};

void AddAttribute(DOMDocument& doc, Node node, const char* name, const std::string& value) {
    Attribute attribute = doc.createAttribute(name);
    attribute.Value = value;
    node.setAttributeNode(attribute);
}

// Shaped like a guide: declaration, root, then `count` children laid out by
// text nodes, with texts that need escaping and one that XML forbids, and
// enough bytes to pass through the writer's buffer several times.
Node BuildHead(DOMDocument& doc) {
    doc.appendChild(doc.createProcessingInstruction("xml", "version='1.0'"));
    Node root = doc.createElement("tv");
    AddAttribute(doc, root, "generator-info-name", "R&D \"x\"");
    doc.appendChild(root);
    root.appendChild(doc.createTextNode("\r\n\t"));
    return root;
}

void AddChildren(DOMDocument& doc, Node root, int from, int to) {
    for (int i = from; i < to; ++i) {
        Node programme = doc.createElement("programme");
        AddAttribute(doc, programme, "start", std::to_string(20260101000000LL + i) + " +0100");
        AddAttribute(doc, programme, "channel", "A&B<" + std::to_string(i % 7));
        Node fragment = doc.createDocumentFragment();
        fragment.appendChild(doc.createTextNode("\r\n\t"));
        Node title = doc.createElement("title");
        title.setText("Folge " + std::to_string(i) + " <Teil> & mehr\x01");
        fragment.appendChild(title);
        fragment.appendChild(doc.createTextNode("\r\n\t"));
        Node desc = doc.createElement("desc");
        desc.setText(std::string(static_cast<std::size_t>(100 + (i * 37) % 3000), static_cast<char>('a' + i % 26)));
        fragment.appendChild(desc);
        programme.appendChild(fragment);
        programme.appendChild(doc.createTextNode("\r\n\t"));
        root.appendChild(programme);
        root.appendChild(doc.createTextNode("\r\n\t"));
    }
}

void Build(DOMDocument& doc, int count) {
    Node root = BuildHead(doc);
    AddChildren(doc, root, 0, count);
    root.appendChild(doc.createTextNode("\r\n"));
}

}  // namespace

TEST_F(XmlSpool, WritesWhatADocumentInMemoryWrites) {
    DOMDocument memory;
    Build(memory, 2000);
    const std::string expected = memory.xml();
    ASSERT_GT(expected.size(), 3u << 20) << "large enough to pass the writer's buffer";
    EXPECT_EQ(expected.rfind(
                  "<?xml version='1.0'?>\r\n<tv generator-info-name=\"R&amp;D &quot;x&quot;\">\r\n\t<programme", 0),
              0u);
    EXPECT_EQ(expected.substr(expected.size() - 7), "\r\n</tv>");

    { std::ofstream(target_) << "old guide"; }
    DOMDocument spooled;
    spooled.spoolTo(target_.string());
    Node root = BuildHead(spooled);
    AddChildren(spooled, root, 0, 1000);
    EXPECT_EQ(ReadFile(target_), "old guide") << "the guide is only replaced by the save";
    EXPECT_EQ(Entries(folder_).size(), 2u) << "the temporary file beside it";
    AddChildren(spooled, root, 1000, 2000);
    root.appendChild(spooled.createTextNode("\r\n"));
    EXPECT_EQ(spooled.xml(), expected);
    spooled.save(target_.string());
    EXPECT_EQ(ReadFile(target_), expected);
    EXPECT_EQ(Entries(folder_), std::vector<std::string>{"tvdata.xml"});
    EXPECT_EQ(spooled.xml(), expected) << "still readable after the save";
}

TEST_F(XmlSpool, ChildrenGivenEarlierKeepTheirPlace) {
    // Children given to the root before it joins the document, and before the
    // spool begins, come first, in order.
    auto build = [](DOMDocument& doc, const std::string* spool) {
        doc.appendChild(doc.createProcessingInstruction("xml", "version='1.0'"));
        Node root = doc.createElement("tv");
        root.appendChild(doc.createTextNode("\r\n\t"));
        Node early = doc.createElement("channel");
        early.setText("früh");
        root.appendChild(early);
        doc.appendChild(root);
        AddChildren(doc, root, 0, 3);
        if (spool) doc.spoolTo(*spool);
        AddChildren(doc, root, 3, 6);
        root.appendChild(doc.createTextNode("\r\n"));
    };
    DOMDocument memory;
    build(memory, nullptr);
    DOMDocument spooled;
    const std::string target = target_.string();
    build(spooled, &target);
    spooled.save(target);
    EXPECT_EQ(ReadFile(target_), memory.xml());
    EXPECT_NE(memory.xml().find("<tv>\r\n\t<channel>früh</channel><programme"), std::string::npos) << memory.xml();

    // A document without children, and one without a root element.
    DOMDocument bare;
    bare.spoolTo(target);
    bare.appendChild(bare.createProcessingInstruction("xml", "version='1.0'"));
    bare.appendChild(bare.createElement("tv"));
    bare.save(target);
    EXPECT_EQ(ReadFile(target_), "<?xml version='1.0'?>\r\n<tv></tv>");
    DOMDocument rootless;
    rootless.spoolTo(target);
    rootless.appendChild(rootless.createProcessingInstruction("xml", "version='1.0'"));
    rootless.save(target);
    EXPECT_EQ(ReadFile(target_), "<?xml version='1.0'?>");
    EXPECT_EQ(Entries(folder_), std::vector<std::string>{"tvdata.xml"});
}

TEST_F(XmlSpool, ADocumentLeftUnsavedLeavesTheOldGuideAndNoFile) {
    { std::ofstream(target_) << "old guide"; }
    {
        DOMDocument doc;
        doc.spoolTo(target_.string());
        Build(doc, 500);
    }
    EXPECT_EQ(ReadFile(target_), "old guide");
    EXPECT_EQ(Entries(folder_), std::vector<std::string>{"tvdata.xml"});
}

TEST_F(XmlSpool, AFolderThatTakesNoFileFailsAtOnceWithTheSavesMessage) {
    const std::string missing = (folder_ / "missing" / "tvdata.xml").string();
    DOMDocument plain;
    Build(plain, 10);
    std::string expected;
    try {
        plain.save(missing);
    } catch (const brevan::Error& e) {
        expected = e.Description();
    }
    ASSERT_NE(expected.find(missing), std::string::npos) << expected;

    // Announcing the save fails at once, with the same message: nothing is
    // built for a folder that takes no file.
    DOMDocument spooled;
    try {
        spooled.spoolTo(missing);
        ADD_FAILURE() << "spooled into a missing folder";
    } catch (const brevan::Error& e) {
        EXPECT_EQ(e.Description(), expected);
    }
}

TEST_F(XmlSpool, AWriteThatFailsWhileBuildingFailsTheSaveAndKeepsTheOldGuide) {
    { std::ofstream(target_) << "old guide"; }
    // A file size limit makes the writes fail (EFBIG) once 1 MiB is written.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    {
        DOMDocument doc;
        doc.spoolTo(target_.string(), "the guide file " + target_.string());  // the caller names the file
        Build(doc, 3000);
        try {
            doc.save(target_.string());
        } catch (const brevan::Error& e) {
            message = e.Description();
        }
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(message.find("Cannot write the guide file " + target_.string()), std::string::npos) << message;
    EXPECT_EQ(ReadFile(target_), "old guide");
    EXPECT_EQ(Entries(folder_), std::vector<std::string>{"tvdata.xml"});
}

TEST_F(XmlSpool, TheRootAndWhatPrecedesItAreFixedOnceItHasChildren) {
    DOMDocument doc;
    doc.spoolTo(target_.string());
    Node root = BuildHead(doc);
    EXPECT_THROW(AddAttribute(doc, root, "late", "x"), std::logic_error);
    EXPECT_THROW(root.setText("x"), std::logic_error);
    Node other = doc.createElement("other");
    EXPECT_THROW(other.appendChild(root), std::logic_error);
    // A node added before the root after its first child cannot be written.
    doc.appendChild(root);  // moves the root behind nothing new: still fine
    doc.appendChild(doc.createProcessingInstruction("late", "x"));
    doc.appendChild(root);
    EXPECT_THROW(doc.save(target_.string()), std::logic_error);
    EXPECT_FALSE(fs::exists(target_));
    EXPECT_EQ(Entries(folder_), std::vector<std::string>{});
}
