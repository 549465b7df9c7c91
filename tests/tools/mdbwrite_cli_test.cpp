// mdbwrite as a real child process, its files checked with mdbtools' own
// mdb-export and through libmdb.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "mdb_readback.h"
#include "page_walker.h"
#include "support/run_brevan.h"
#include "support/temp_folder.h"

namespace {

const std::string kMdbWrite = BREVAN_MDBWRITE_EXE;
const std::string kColumns = "S:Text(40),M:Memo,W:DateTime,L:Long,I:Integer,D:Double,F:YesNo";

testsupport::RunResult MdbWrite(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), kMdbWrite);
    return testsupport::RunProgram(args, 120, {}, input);
}

std::size_t FilesIn(const testsupport::TempFolder& dir) {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()));
}

TEST(MdbWriteCli, JsonLinesOfEveryTypeAsMdbExportPrintsThem) {
    testsupport::TempFolder dir;
    testsupport::WriteFile(
        dir / "rows.jsonl",
        "[\"Grüße \\\"zitiert\\\", mit Komma\", \"kurz\", \"2024-05-01T20:15:00\", 2147483647, -32768, "
        "0.1, true]\n"
        "\n"
        "  [\"\", \"\", \"00:00:01\", 0, 0, -2.5e-7, false]  \n"
        "[null, null, null, null, null, null, false]\r\n"
        "[\"tab\\tnew\\nline\\\\ \\u00e4\\u20AC\", \"Memo\\r\\nZeile\", \"1999-12-31\", -1, 1, 1e20, true]\n");
    const auto run = MdbWrite({dir / "out.mdb", "--table", "T", "--columns", kColumns, "--rows", dir / "rows.jsonl"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    const auto exported = testsupport::RunProgram({"mdb-export", "-T", "%Y-%m-%d %H:%M:%S", dir / "out.mdb", "T"});
    ASSERT_EQ(exported.status, 0) << exported.errors;
    EXPECT_EQ(exported.output,
              "S,M,W,L,I,D,F\n"
              "\"Grüße \"\"zitiert\"\", mit Komma\",\"kurz\",\"2024-05-01 20:15:00\",2147483647,-32768,0.1,1\n"
              ",,\"1899-12-30 00:00:01\",0,0,-2.5e-07,0\n"
              ",,,,,,0\n"
              "\"tab\tnew\nline\\ ä€\",\"Memo\r\nZeile\",\"1999-12-31 00:00:00\",-1,1,1e+20,1\n");
    // mdb-export prints Null and "" alike; the null mask keeps them apart.
    const auto table = readback::ReadTable(dir / "out.mdb", "T");
    ASSERT_EQ(table.rows.size(), 4u);
    EXPECT_FALSE(table.rows[1][0].isNull);
    EXPECT_FALSE(table.rows[1][1].isNull);
    EXPECT_TRUE(table.rows[2][0].isNull);
    EXPECT_TRUE(table.rows[2][1].isNull);
    EXPECT_EQ(readback::RawDouble(table.rows[0][5].raw), 0.1);
}

TEST(MdbWriteCli, StandardInputSeveralTablesAndLoneSurrogates) {
    testsupport::TempFolder dir;
    testsupport::WriteFile(dir / "b.jsonl", "[1]\n[2]\n");
    const auto run = MdbWrite({dir / "out.mdb", "--table", "Eins", "--columns", "T:Text,M:Memo", "--rows", "-",
                               "--table", "Zwei", "--rows", dir / "b.jsonl", "--columns", "N:Integer"},
                              "[\"\\ud83d\\ude00 \\ud800 \\udfff \\ufffe\", \"\\ud83d\"]\n");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(readback::TableNames(dir / "out.mdb"), (std::vector<std::string>{"Eins", "Zwei"}));
    const auto eins = readback::ReadTable(dir / "out.mdb", "Eins");
    ASSERT_EQ(eins.rows.size(), 1u);
    EXPECT_EQ(eins.rows[0][0].units, std::u16string(u"\xD83D\xDE00 \xD800 \xDFFF \xFFFE"));
    EXPECT_EQ(eins.rows[0][1].units, std::u16string(u"\xD83D"));
    EXPECT_EQ(readback::ReadTable(dir / "out.mdb", "Zwei").rowsRead, 2u);
}

TEST(MdbWriteCli, BadInputGivesOneMessageAndNoFile) {
    struct Case {
        std::string rows, columns, expected;
    };
    const std::vector<Case> cases = {
        {"[\"a\"]\n[\"b\"\n", "T:Text", "rows.jsonl:2: table \"T\", row 2: JSON error at character 5"},
        {"[\"a\"]\n\n[1]\n", "T:Text", "rows.jsonl:3: table \"T\", row 2, column \"T\": expected a string"},
        {"[\"abcd\"]\n", "T:Text(3)", "rows.jsonl:1: table \"T\", row 1, column \"T\" (Text): text of 4 characters"},
        {"[40000]\n", "N:Integer", "column \"N\" (Integer): 40000 is outside -32768 to 32767"},
        {"[1.5]\n", "N:Long", "column \"N\": expected an integer"},
        {"[\"2024-02-30\"]\n", "W:DateTime", "bad date/time \"2024-02-30\""},
        {"[1, 2]\n", "N:Long", "2 values for 1 columns"},
        {"[null]\n", "F:YesNo", "cannot hold Null"},
        {"[\"\\ud83d\\x\"]\n", "T:Text", "bad escape"},
        {"[1]\n", "N:Float", "unknown type \"Float\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        testsupport::TempFolder dir;
        testsupport::WriteFile(dir / "rows.jsonl", c.rows);
        const auto run =
            MdbWrite({dir / "out.mdb", "--table", "T", "--columns", c.columns, "--rows", dir / "rows.jsonl"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.errors.find(c.expected), std::string::npos) << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        EXPECT_EQ(FilesIn(dir), 1u);  // rows.jsonl only: no database, no temporary file
    }
    testsupport::TempFolder dir;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {dir / "o.mdb"},
             {dir / "o.mdb", "--table", "T", "--columns", "N:Long"},
             {dir / "o.mdb", "--table", "T", "--columns", "N:Long", "--rows", dir / "missing.jsonl"},
             {dir / "o.mdb", "--sample", "--per-day", "9-3"},
             {dir / "o.mdb", "--sample", "--bogus"}}) {
        const auto run = MdbWrite(args);
        EXPECT_EQ(run.status, 1) << args.back();
        EXPECT_NE(run.errors, "");
    }
    EXPECT_EQ(FilesIn(dir), 0u);
}

// The generated listing: what the converter and the benchmark rely on.
TEST(MdbWriteCli, SampleListingLooksLikeTheGuideProducts) {
    testsupport::TempFolder dir;
    const std::vector<std::string> args = {"--sample", "--channels",  "12",         "--days", "2", "--past-days",
                                           "1",        "--first-day", "2024-05-01", "--seed", "7"};
    auto withOut = [&](const std::string& out) {
        std::vector<std::string> a = args;
        a.insert(a.begin(), out);
        return a;
    };
    ASSERT_EQ(MdbWrite(withOut(dir / "a.mdb")).status, 0);
    ASSERT_EQ(MdbWrite(withOut(dir / "b.mdb")).status, 0);
    EXPECT_EQ(testsupport::ReadFile(dir / "a.mdb"), testsupport::ReadFile(dir / "b.mdb"));

    const auto table = readback::ReadTable(dir / "a.mdb", "TVDaten");
    auto column = [&](const std::string& name) {
        const auto at = std::find(table.columns.begin(), table.columns.end(), name);
        EXPECT_NE(at, table.columns.end()) << name;
        return static_cast<std::size_t>(at - table.columns.begin());
    };
    const std::size_t sender = column("Senderkennung"), datum = column("Datum"), uhrzeit = column("Uhrzeit"),
                      sendung = column("Sendung"), genre = column("Genre"), beschreibung = column("Beschreibung");
    EXPECT_EQ(table.definedRows, table.rowsRead);
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> days;
    std::size_t longOnes = 0, empty = 0, withBreaks = 0, umlauts = 0;
    bool sortedByChannel = true;
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const auto& r = table.rows[i];
        for (std::size_t c : {sender, datum, uhrzeit, sendung, genre, beschreibung}) ASSERT_FALSE(r[c].isNull);
        EXPECT_EQ(r[datum].text.substr(10), " 00:00:00");
        EXPECT_EQ(r[uhrzeit].text.substr(0, 10), "1899-12-30");
        days[{r[sender].text, r[datum].text}].push_back(r[uhrzeit].text);
        if (i > 0 && r[sender].text < table.rows[i - 1][sender].text) sortedByChannel = false;
        const std::u16string& d = r[beschreibung].units;
        longOnes += d.size() > 1500;
        empty += d.empty();
        withBreaks += d.find(u"<br>") != std::u16string::npos;
        umlauts += d.find_first_of(u"äöüßÄÖÜ") != std::u16string::npos;
        EXPECT_LE(d.size(), 2500u);
        if (!d.empty()) {
            EXPECT_EQ(d.back(), u'.');
        }
    }
    EXPECT_FALSE(sortedByChannel);
    EXPECT_EQ(days.size(), 12u * 3u);  // every channel on the past day and the two days
    EXPECT_EQ(days.begin()->first.second, "2024-04-30 00:00:00");
    for (const auto& [key, times] : days) {
        EXPECT_GE(times.size(), 40u);
        EXPECT_LE(times.size(), 60u);
        EXPECT_TRUE(std::is_sorted(times.begin(), times.end())) << key.first;
        EXPECT_EQ(std::adjacent_find(times.begin(), times.end()), times.end()) << key.first;
    }
    const std::size_t n = table.rows.size();
    EXPECT_GT(longOnes, n / 10);
    EXPECT_LT(longOnes, n * 3 / 10);
    EXPECT_GT(empty, 0u);
    EXPECT_GT(withBreaks, n / 10);
    EXPECT_GT(umlauts, n / 2);

    ASSERT_EQ(MdbWrite({dir / "c.mdb", "--sample", "--channels", "150", "--rows-total", "1234", "--seed", "3"}).status,
              0);
    const auto capped = readback::ReadTable(dir / "c.mdb", "TVDaten", 0);
    EXPECT_EQ(capped.definedRows, 1234u);
    EXPECT_EQ(capped.rowsRead, 1234u);
}

// An aged listing: extra deleted rows and moved live rows around exactly the
// live rows of the pristine sample, read by the reference page walker.
TEST(MdbWriteCli, AgedSampleKeepsThePristineLiveRowsInOrder) {
    testsupport::TempFolder dir;
    const std::vector<std::string> sample = {"--sample",    "--channels", "8",      "--days", "2",
                                             "--first-day", "2024-05-01", "--seed", "11"};
    auto write = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = sample;
        args.insert(args.begin(), out);
        args.insert(args.end(), extra.begin(), extra.end());
        return MdbWrite(args);
    };
    ASSERT_EQ(write(dir / "frisch.mdb", {}).status, 0);
    const auto aged = write(dir / "alt.mdb", {"--deleted-share", "10", "--moved-share", "10"});
    ASSERT_EQ(aged.status, 0) << aged.errors;

    const pagewalk::File pristineFile(dir / "frisch.mdb"), agedFile(dir / "alt.mdb");
    const auto pristine = pristineFile.Scan(readback::DefinitionPage(dir / "frisch.mdb", "TVDaten"));
    const auto scan = agedFile.Scan(readback::DefinitionPage(dir / "alt.mdb", "TVDaten"));
    ASSERT_EQ(scan.mapPages, scan.ownedPages);
    EXPECT_EQ(scan.definition.rows, pristine.definition.rows);

    // The walker reads the pristine file as libmdb does, value for value.
    const auto table = readback::ReadTable(dir / "frisch.mdb", "TVDaten");
    ASSERT_EQ(table.rows.size(), pristine.entries.size());
    std::vector<std::vector<std::optional<std::string>>> live;
    for (std::size_t r = 0; r < pristine.entries.size(); ++r) {
        live.push_back(pristineFile.Decode(pristine.definition, pristine.entries[r].row));
        for (std::size_t c = 0; c < live[r].size(); ++c) {
            if (table.columns[c] == "Live") continue;
            ASSERT_EQ(live[r][c].has_value(), !table.rows[r][c].isNull) << r << " " << c;
            if (live[r][c]) {
                ASSERT_EQ(*live[r][c], table.rows[r][c].raw) << r << " " << c;
            }
        }
    }
    // The aged file's live rows: the same, in the same order.
    ASSERT_EQ(scan.entries.size(), live.size());
    for (std::size_t r = 0; r < live.size(); ++r) {
        ASSERT_EQ(scan.entries[r].outcome, pagewalk::Outcome::Row);
        ASSERT_EQ(agedFile.Decode(scan.definition, scan.entries[r].row), live[r]) << "row " << r;
    }

    // The wide listing: 24 more columns after the sample's own, which keep
    // their values.
    ASSERT_EQ(write(dir / "breit.mdb", {"--wide"}).status, 0);
    const auto wide = readback::ReadTable(dir / "breit.mdb", "TVDaten");
    ASSERT_EQ(wide.columns.size(), table.columns.size() + 24);
    ASSERT_EQ(wide.rows.size(), table.rows.size());
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            ASSERT_EQ(wide.rows[r][c].raw, table.rows[r][c].raw) << r << " " << c;

    // Shares as asked: slots flagged deleted are old versions and moved rows'
    // new places; a fifth or so of the deleted ones are compacted.
    std::map<std::string, std::string> channelOf;  // by SendungID
    for (const auto& row : live) channelOf[*row[0]] = *row[1];
    std::size_t flaggedDeleted = 0, compacted = 0, pointers = 0, withdrawn = 0;
    for (const auto& [page, slots] : scan.slots) {
        for (std::size_t r = 0; r < slots.size(); ++r) {
            if (slots[r].flags == pagewalk::kOverflow) ++pointers;
            if (slots[r].flags == (pagewalk::kDeleted | pagewalk::kOverflow)) {
                EXPECT_EQ(slots[r].length, 0u);
                ++compacted;
            }
            if (slots[r].flags != pagewalk::kDeleted) continue;
            ++flaggedDeleted;
            const auto values = agedFile.Decode(scan.definition, agedFile.Row(page, static_cast<int>(r)));
            const auto id = channelOf.find(*values[0]);
            if (id == channelOf.end()) {
                ++withdrawn;
            } else {
                EXPECT_EQ(id->second, *values[1]);  // moved rows and old versions: the same channel
            }
        }
    }
    std::size_t moved = 0;
    for (const auto& e : scan.entries) moved += !e.hops.empty();
    EXPECT_EQ(moved, pointers);
    const std::size_t oldVersions = flaggedDeleted - moved - withdrawn;
    const std::size_t n = live.size(), deleted = flaggedDeleted - moved + compacted;
    EXPECT_GT(moved, n / 20);
    EXPECT_LT(moved, n * 3 / 20);
    EXPECT_GT(deleted, n / 20);
    EXPECT_LT(deleted, n * 3 / 20);
    EXPECT_GT(compacted, deleted / 10);
    EXPECT_LT(compacted, deleted / 3);
    EXPECT_GT(oldVersions, withdrawn);
    EXPECT_GT(withdrawn, 0u);

    const auto refused = write(dir / "x.mdb", {"--moved-share", "101"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.errors.find("--moved-share is a percentage"), std::string::npos) << refused.errors;
}

}  // namespace
