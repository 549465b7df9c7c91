// The conversion in this process: real listing databases made by the Jet 4
// writer, read through the engine, and the bytes of tvdata.xml. Today is
// fixed at 10.05.2024 (summer time, +0200), so that a midnight during the
// run changes nothing.
#include "convert/conversion.h"

#include "base/error.h"
#include "os/clock.h"
#include "support/listing_db.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <sys/wait.h>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

namespace fs = std::filesystem;
using brevan::ConversionResult;
using brevan::ConvertListing;
using namespace testsupport;
using jet4::TimeOfDay;

namespace {

// Today's date and the day `offset` days from it.
constexpr brevan::CivilDate kToday{2024, 5, 10};
jet4::DateTime Day(int offset) {
    return jet4::DateTime{jet4::Date(kToday.year, kToday.month, kToday.day).days + offset};
}

ListingRow Row(const char* channel, int day, jet4::DateTime time, const char* title, const char* desc = "",
               const char* genre = "") {
    return Listing(channel, Day(day), time, title, genre, desc);
}

std::string ChannelXml(const std::string& id) {
    return "\t<channel id=\"" + id + "\">\r\n\t<display-name lang=\"de\">" + id + "</display-name>\r\n\t</channel>\r\n";
}

std::string ProgrammeXml(const std::string& start, const std::string& stop, const std::string& channel,
                         const std::string& title, const std::string& desc, const std::string& category) {
    return "\t<programme start=\"" + start + "\" stop=\"" + stop + "\" channel=\"" + channel + "\">\r\n" +
           "\t<title lang=\"de\">" + title + "</title>\r\n" + "\t<desc lang=\"de\">" + desc + "</desc>\r\n" +
           "\t<category lang=\"de\">" + category + "</category>\r\n\t</programme>\r\n";
}

std::string GuideXml(const std::string& body) {
    return "<?xml version='1.0'?>\r\n<tv generator-info-name=\"Kolvenar\">\r\n" + body + "\t\r\n</tv>";
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ListingConversion : public ::testing::Test {
protected:
    void SetUp() override {
        brevan::SetTodaySource([] { return kToday; });
        fs::create_directory(out.path() / "guide");
        outputFolder = (out.path() / "guide").string();
        database = out / "tvdaten.mdb";
    }
    void TearDown() override { brevan::SetTodaySource({}); }

    std::string guide() const { return ReadFile(fs::path(outputFolder) / "tvdata.xml"); }
    bool guideExists() const { return fs::exists(fs::path(outputFolder) / "tvdata.xml"); }

    // Converts `database`; a failure fails the test with its description.
    void Convert() const {
        try {
            EXPECT_EQ(ConvertListing(database, outputFolder), ConversionResult::GuideWritten);
        } catch (const brevan::Error& e) {
            ADD_FAILURE() << e.Description();
        }
    }
    // Converts `database`, expecting one brevan::Error; returns its description.
    std::string Failure() const {
        try {
            ConvertListing(database, outputFolder);
            ADD_FAILURE() << "no error";
        } catch (const brevan::Error& e) {
            return e.Description();
        }
        return "";
    }

    TempFolder out;
    std::string outputFolder;
    std::string database;
};

}  // namespace

TEST_F(ListingConversion, OneRowGivesOneChannelAndNoProgramme) {
    WriteListingDb(database, {Row("ARD", 0, TimeOfDay(20, 15, 0), "Tagesschau")});
    Convert();
    EXPECT_EQ(guide(), GuideXml(ChannelXml("ARD")));
}

TEST_F(ListingConversion, WritesTheWholeGuideByteForByte) {
    // Stored out of order: the query sorts by channel, date and time.
    WriteListingDb(database, {
                                 Row("ZDF", 0, TimeOfDay(1, 0, 0), "U"),
                                 Row("ARD", 0, TimeOfDay(8, 0, 0), "C", "drei", "Show"),
                                 Row("ARD", 0, TimeOfDay(6, 0, 0), "A", "  eins<br>zwei  ", "Nachrichten"),
                                 Row("ZDF", -1, TimeOfDay(23, 50, 0), "Y"),
                                 Row("ARD", 0, TimeOfDay(7, 0, 0), "B", "", "Krimi"),
                                 Row("ZDF", 0, TimeOfDay(0, 30, 0), "T", "Nacht", "Film"),
                             });
    Convert();
    EXPECT_EQ(
        guide(),
        GuideXml(ChannelXml("ARD") + ChannelXml("ZDF") +
                 ProgrammeXml("20240510060000 +0200", "20240510070000 +0200", "ARD", "A", "eins zwei", "Nachrichten") +
                 ProgrammeXml("20240510070000 +0200", "20240510080000 +0200", "ARD", "B", "", "Krimi") +
                 ProgrammeXml("20240510003000 +0200", "20240510010000 +0200", "ZDF", "T", "Nacht", "Film")));
}

TEST_F(ListingConversion, PairsOnlyRowsOfOneChannelWithDifferentTimes) {
    WriteListingDb(database, {
                                 // Same clock time on two days: the first of them is dropped.
                                 Row("K1", 0, TimeOfDay(23, 0, 0), "Late"),
                                 Row("K1", 1, TimeOfDay(23, 0, 0), "Next late"),
                                 Row("K1", 1, TimeOfDay(23, 30, 0), "After"),
                                 // Equal date and time: the first is dropped.
                                 Row("K2", 2, TimeOfDay(10, 0, 0), "Twin"),
                                 Row("K2", 2, TimeOfDay(10, 0, 0), "Twin"),
                                 Row("K2", 2, TimeOfDay(11, 0, 0), "End"),
                                 // All in the past: a channel element, no programme.
                                 Row("K3", -3, TimeOfDay(10, 0, 0), "Old"),
                                 Row("K3", -2, TimeOfDay(10, 0, 0), "Older"),
                             });
    Convert();
    EXPECT_EQ(guide(),
              GuideXml(ChannelXml("K1") + ChannelXml("K2") + ChannelXml("K3") +
                       ProgrammeXml("20240511230000 +0200", "20240511233000 +0200", "K1", "Next late", "", "") +
                       ProgrammeXml("20240512100000 +0200", "20240512110000 +0200", "K2", "Twin", "", "")));
}

TEST_F(ListingConversion, ChannelIdsKeepCaseAndAreEscaped) {
    // The sort ignores case, so the rows come as arte, ARTE, arte: each id
    // still gives one channel, in the order of first appearance.
    WriteListingDb(database, {
                                 Row("arte", 0, TimeOfDay(9, 0, 0), "a"),
                                 Row("ARTE", 0, TimeOfDay(10, 0, 0), "b"),
                                 Row("arte", 1, TimeOfDay(9, 0, 0), "d"),
                                 Row("R&B <\"live\">", -5, TimeOfDay(9, 0, 0), "c"),
                             });
    Convert();
    const std::string xml = guide();
    const std::size_t lower = xml.find("<channel id=\"arte\">");
    ASSERT_NE(lower, std::string::npos) << xml;
    EXPECT_EQ(xml.find("<channel id=\"arte\">", lower + 1), std::string::npos) << xml;
    EXPECT_GT(xml.find("<channel id=\"ARTE\">"), lower) << xml;
    EXPECT_NE(xml.find("<channel id=\"ARTE\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<channel id=\"R&amp;B &lt;&quot;live&quot;>\">\r\n\t<display-name lang=\"de\">R&amp;B "
                       "&lt;\"live\"&gt;</display-name>"),
              std::string::npos)
        << xml;
}

TEST_F(ListingConversion, NullsFailOnlyWhereTheyAreRead) {
    // A Null title on a past row is never read.
    auto past = Row("ARD", -1, TimeOfDay(9, 0, 0), "x");
    past.sendung = jet4::Null{};
    WriteListingDb(database, {past, Row("ARD", 0, TimeOfDay(9, 0, 0), "a"), Row("ARD", 0, TimeOfDay(10, 0, 0), "b")});
    Convert();
    EXPECT_TRUE(guideExists());

    // The same on a row from today fails the conversion and keeps the older guide.
    for (auto field : {&ListingRow::sendung, &ListingRow::genre, &ListingRow::beschreibung, &ListingRow::uhrzeit,
                       &ListingRow::senderkennung, &ListingRow::datum}) {
        WriteFile(fs::path(outputFolder) / "tvdata.xml", "older guide");
        auto today = Row("ARD", 0, TimeOfDay(9, 0, 0), "x");
        today.*field = jet4::Null{};
        fs::remove(database);
        WriteListingDb(database,
                       {today, Row("ARD", 0, TimeOfDay(10, 0, 0), "b"), Row("ARD", 0, TimeOfDay(11, 0, 0), "c")});
        const std::string failure = Failure();
        EXPECT_NE(failure.find("Null"), std::string::npos) << failure;
        EXPECT_EQ(guide(), "older guide");
    }
}

TEST_F(ListingConversion, ASampleGuideIsValidXmltvAndHoldsTogether) {
    ASSERT_EQ(Shell(std::string(BREVAN_MDBWRITE_EXE) + " " + database +
                    " --sample --channels 6 --days 2 --past-days 1 --first-day 2024-05-10"),
              0);
    Convert();
    const std::string path = fs::path(outputFolder) / "tvdata.xml";

    if (fs::exists("/usr/share/xmltv/xmltv.dtd")) {
        EXPECT_EQ(Shell("xmllint --noout --dtdvalid /usr/share/xmltv/xmltv.dtd " + path), 0);
    }

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.c_str(), pugi::parse_default | pugi::parse_ws_pcdata));
    std::set<std::string> channels;
    for (pugi::xml_node channel : doc.child("tv").children("channel")) channels.insert(channel.attribute("id").value());
    EXPECT_EQ(channels.size(), 6u);

    std::map<std::string, std::string> lastStart;
    std::size_t programmes = 0;
    const std::string today = "20240510000000";
    for (pugi::xml_node programme : doc.child("tv").children("programme")) {
        ++programmes;
        const std::string channel = programme.attribute("channel").value();
        const std::string start = programme.attribute("start").value();
        const std::string stop = programme.attribute("stop").value();
        EXPECT_TRUE(channels.count(channel)) << channel;
        EXPECT_LT(start.substr(0, 14), stop.substr(0, 14)) << channel << " " << start;
        EXPECT_GE(start.substr(0, 14), today) << "a programme from before today";
        EXPECT_GT(start.substr(0, 14), lastStart[channel]) << "programmes of a channel in time order";
        lastStart[channel] = start.substr(0, 14);
        EXPECT_LE(std::string(programme.child_value("desc")).size(), 2000u * 3);
    }
    // Two days of 40 to 60 broadcasts for 6 channels, less the last of each.
    EXPECT_GT(programmes, 6u * 2 * 40 - 6);
}

TEST_F(ListingConversion, ReadsDatesAndTimesFromTextColumns) {
    // Some listings keep date and time as text: "YYYY-MM-DD" and "HH:MM".
    using jet4::ColumnType;
    const std::vector<jet4::Column> columns = {{"Senderkennung", ColumnType::Text}, {"Datum", ColumnType::Text},
                                               {"Uhrzeit", ColumnType::Text},       {"Sendung", ColumnType::Text},
                                               {"Genre", ColumnType::Text},         {"Beschreibung", ColumnType::Memo}};
    {
        jet4::Writer writer(database);
        writer.BeginTable("TVDaten", columns);
        writer.AddRow({jet4::Text("ARD"), jet4::Text("2024-05-11"), jet4::Text("20:15"), jet4::Text("Film"),
                       jet4::Text("Drama"), jet4::Text("")});
        writer.AddRow({jet4::Text("ARD"), jet4::Text("2024-05-11"), jet4::Text("21:45"), jet4::Text("News"),
                       jet4::Text(""), jet4::Text("")});
        writer.Finish();
    }
    Convert();
    EXPECT_NE(guide().find("start=\"20240511201500 +0200\" stop=\"20240511214500 +0200\""), std::string::npos)
        << guide();

    // A text that is no date fails the conversion and names the text.
    fs::remove(database);
    {
        jet4::Writer writer(database);
        writer.BeginTable("TVDaten", columns);
        writer.AddRow({jet4::Text("ARD"), jet4::Text("übermorgen"), jet4::Text("20:15"), jet4::Text("Film"),
                       jet4::Text(""), jet4::Text("")});
        writer.Finish();
    }
    const std::string before = guide();
    const std::string failure = Failure();
    EXPECT_NE(failure.find("übermorgen"), std::string::npos) << failure;
    EXPECT_EQ(guide(), before);
}
