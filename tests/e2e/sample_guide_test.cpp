// A realistic listing converted end to end: the guide is valid against the
// XMLTV DTD and holds together when read back.
#include "e2e_support.h"
#include "support/listing_db.h"
#include "support/run_brevan.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(SampleGuide, IsValidXmltvAndHoldsTogether) {
    Installation app;
    TempFolder data;
    const std::string database = data / "tvdaten.mdb";
    ASSERT_EQ(Shell(std::string(BREVAN_MDBWRITE_EXE) + " " + database + " --sample --channels 6 --days 2 --past-days 1"), 0);
    app.WriteIni(database, "", data.path().string());
    const RunResult run = app.Run({"/W"});
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string guide = data / "tvdata.xml";

    if (fs::exists("/usr/share/xmltv/xmltv.dtd")) {
        EXPECT_EQ(Shell("xmllint --noout --dtdvalid /usr/share/xmltv/xmltv.dtd " + guide), 0);
    }

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(guide.c_str(), pugi::parse_default | pugi::parse_ws_pcdata));
    std::set<std::string> channels;
    for (pugi::xml_node channel : doc.child("tv").children("channel")) channels.insert(channel.attribute("id").value());
    EXPECT_EQ(channels.size(), 6u);

    std::map<std::string, std::string> lastStart;
    std::size_t programmes = 0;
    const std::string today = e2e::Stamp(0, "00:00:00").substr(0, 14);
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

TEST(SampleGuide, ReadsDatesAndTimesFromTextColumns) {
    // Some listings keep date and time as text: "YYYY-MM-DD" and "HH:MM".
    Installation app;
    TempFolder data;
    const std::string database = data / "tvdaten.mdb";
    const std::string day = e2e::DateText(1);  // DD.MM.YYYY
    const std::string iso = day.substr(6, 4) + "-" + day.substr(3, 2) + "-" + day.substr(0, 2);
    {
        using jet4::ColumnType;
        jet4::Writer writer(database);
        writer.BeginTable("TVDaten", {{"Senderkennung", ColumnType::Text}, {"Datum", ColumnType::Text}, {"Uhrzeit", ColumnType::Text},
                                      {"Sendung", ColumnType::Text}, {"Genre", ColumnType::Text}, {"Beschreibung", ColumnType::Memo}});
        writer.AddRow({jet4::Text("ARD"), jet4::Text(iso), jet4::Text("20:15"), jet4::Text("Film"), jet4::Text("Drama"), jet4::Text("")});
        writer.AddRow({jet4::Text("ARD"), jet4::Text(iso), jet4::Text("21:45"), jet4::Text("News"), jet4::Text(""), jet4::Text("")});
        writer.Finish();
    }
    app.WriteIni(database, "", data.path().string());
    RunResult run = app.Run({"/W"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(ReadFile(data / "tvdata.xml").find("start=\"" + e2e::Stamp(1, "20:15:00") + "\" stop=\"" + e2e::Stamp(1, "21:45:00") + "\""),
              std::string::npos);

    // A text that is no date fails the run and names the text.
    fs::remove(database);
    {
        using jet4::ColumnType;
        jet4::Writer writer(database);
        writer.BeginTable("TVDaten", {{"Senderkennung", ColumnType::Text}, {"Datum", ColumnType::Text}, {"Uhrzeit", ColumnType::Text},
                                      {"Sendung", ColumnType::Text}, {"Genre", ColumnType::Text}, {"Beschreibung", ColumnType::Memo}});
        writer.AddRow({jet4::Text("ARD"), jet4::Text("übermorgen"), jet4::Text("20:15"), jet4::Text("Film"), jet4::Text(""), jet4::Text("")});
        writer.Finish();
    }
    const std::string before = ReadFile(data / "tvdata.xml");
    run = app.Run({"/W"});
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.messages().size(), 1u) << run.errors;
    EXPECT_NE(run.messages()[0].find("übermorgen"), std::string::npos) << run.errors;
    EXPECT_EQ(ReadFile(data / "tvdata.xml"), before);
}
