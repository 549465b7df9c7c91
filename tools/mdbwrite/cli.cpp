// Command line: tables from JSON Lines files, or a generated sample listing.
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "jet4/jet4_writer.h"
#include "mdbwrite/json_row.h"
#include "mdbwrite/sample_listing.h"
#include "mdbwrite/table_input.h"

namespace mdbwrite {
namespace {

const char kUsage[] =
    "usage: mdbwrite OUT.mdb --table NAME --columns COLUMNS --rows FILE [--table ...]...\n"
    "       mdbwrite OUT.mdb --sample [--channels N] [--days N] [--first-day YYYY-MM-DD]\n"
    "                [--per-day MIN-MAX] [--past-days N] [--seed N] [--long-share PCT]\n"
    "                [--max-desc N] [--rows-total N] [--deleted-share PCT] [--moved-share PCT]\n"
    "                [--wide]\n"
    "       --catalog-first (either form) puts the catalog before the tables, as in a\n"
    "       file Access has grown, so that a copy cut short keeps it.\n"
    "COLUMNS is NAME:TYPE,... with TYPE one of Text(N), Memo, DateTime, Long, Integer,\n"
    "Double, YesNo. --sample writes a table TVDaten (defaults: 8 channels, 3 days\n"
    "from today, 1 past day, 40-60 per day, 20% of descriptions over 1,500 of at\n"
    "most 2500 characters; with --rows-total and no --days, days until N rows).\n"
    "--deleted-share and --moved-share (default 0) age the listing as the guide's\n"
    "updater leaves it: about PCT% of the live rows get an extra deleted row (an\n"
    "older version or a withdrawn programme, a fifth of them with their bytes\n"
    "reclaimed), and PCT% of the live rows are moved behind overflow pointers.\n"
    "The live rows and their order stay those of the sample without them.\n"
    "--wide adds 24 columns as the guide product keeps them (ids, end time, memos,\n"
    "a dozen Yes/No flags...); the sample's own columns keep their values.\n"
    "FILE holds one JSON array per line (- reads standard input):\n"
    "null, strings for Text and Memo, \"YYYY-MM-DD\", \"YYYY-MM-DDTHH:MM:SS\" or\n"
    "\"HH:MM:SS\" for DateTime, numbers, true/false for YesNo.\n";

struct TableGroup {
    std::string name;
    std::string columns;
    std::string rows;
};

void WriteTable(jet4::Writer& writer, const TableGroup& group) {
    const std::vector<jet4::Column> cols = ParseColumns(group.columns);
    std::ifstream file;
    std::istream* in = &std::cin;
    if (group.rows != "-") {
        file.open(group.rows, std::ios::binary);
        if (!file) throw std::runtime_error("cannot open " + group.rows);
        in = &file;
    }
    const std::string source = group.rows == "-" ? "<stdin>" : group.rows;
    writer.BeginTable(group.name, cols);
    std::string line;
    long lineNo = 0, rowNo = 0;
    std::vector<jet4::Value> values;
    while (std::getline(*in, line)) {
        ++lineNo;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        ++rowNo;
        const std::string where = source + ":" + std::to_string(lineNo) + ": ";
        const std::string rowAt = "table \"" + group.name + "\", row " + std::to_string(rowNo);
        std::vector<JsonScalar> json;
        try {
            json = ParseJsonRow(line);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(where + rowAt + ": " + e.what());
        }
        if (json.size() != cols.size())
            throw std::runtime_error(where + rowAt + ": " + std::to_string(json.size()) + " values for " +
                                     std::to_string(cols.size()) + " columns");
        values.clear();
        for (std::size_t i = 0; i < cols.size(); ++i) {
            try {
                values.push_back(ToValue(json[i], cols[i]));
            } catch (const std::runtime_error& e) {
                throw std::runtime_error(where + rowAt + ", column \"" + cols[i].name + "\": " + e.what());
            }
        }
        try {
            writer.AddRow(values);
        } catch (const jet4::WriteError& e) {
            throw std::runtime_error(where + e.what());
        }
    }
    if (in->bad()) throw std::runtime_error("cannot read " + source);
    writer.EndTable();
}

long Number(const std::string& option, const std::string& text) {
    std::size_t used = 0;
    long v = -1;
    try {
        v = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || v < 0) throw std::runtime_error(option + " needs a number, not \"" + text + "\"");
    return v;
}

}  // namespace
}  // namespace mdbwrite

int RunMdbWrite(int argc, char** argv) {
    using namespace mdbwrite;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cerr << kUsage;
        return args.empty() ? 1 : 0;
    }
    const std::string out = args[0];
    if (out.rfind("--", 0) == 0)
        throw std::runtime_error("the first argument is the output file\n" + std::string(kUsage));

    std::vector<TableGroup> groups;
    bool sample = false;
    jet4::Layout layout = jet4::Layout::CatalogLast;
    SampleOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw std::runtime_error(a + " needs a value");
            return args[++i];
        };
        if (a == "--table") {
            groups.push_back({value(), "", ""});
        } else if (a == "--columns" || a == "--rows") {
            if (groups.empty()) throw std::runtime_error(a + " before --table");
            (a == "--columns" ? groups.back().columns : groups.back().rows) = value();
        } else if (a == "--catalog-first") {
            layout = jet4::Layout::CatalogFirst;
        } else if (a == "--wide") {
            options.wide = true;
        } else if (a == "--sample") {
            sample = true;
        } else if (a == "--channels") {
            options.channels = Number(a, value());
        } else if (a == "--days") {
            options.days = Number(a, value());
        } else if (a == "--past-days") {
            options.pastDays = Number(a, value());
        } else if (a == "--seed") {
            options.seed = static_cast<std::uint64_t>(Number(a, value()));
        } else if (a == "--long-share") {
            options.longSharePercent = Number(a, value());
        } else if (a == "--max-desc") {
            options.maxDescription = Number(a, value());
        } else if (a == "--rows-total") {
            options.rowsTotal = Number(a, value());
        } else if (a == "--deleted-share") {
            options.deletedSharePercent = Number(a, value());
        } else if (a == "--moved-share") {
            options.movedSharePercent = Number(a, value());
        } else if (a == "--first-day") {
            options.firstDay = ParseDate(value());
        } else if (a == "--per-day") {
            const std::string& range = value();
            const auto dash = range.find('-');
            if (dash == std::string::npos) throw std::runtime_error("--per-day needs MIN-MAX");
            options.perDayMin = Number(a, range.substr(0, dash));
            options.perDayMax = Number(a, range.substr(dash + 1));
        } else {
            throw std::runtime_error("unknown argument \"" + a + "\"\n" + kUsage);
        }
    }
    if (sample == !groups.empty())
        throw std::runtime_error("give either --sample or --table groups\n" + std::string(kUsage));
    for (const TableGroup& g : groups)
        if (g.columns.empty() || g.rows.empty())
            throw std::runtime_error("table \"" + g.name + "\" needs --columns and --rows");

    jet4::Writer writer(out, layout);
    if (sample) {
        WriteSampleListing(writer, options);
    } else {
        for (const TableGroup& g : groups) WriteTable(writer, g);
    }
    writer.Finish();
    return 0;
}
