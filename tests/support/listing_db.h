// Listing databases for tests: a `TVDaten` table with the six fields the
// conversion reads, written by the project's Jet 4 writer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet4/jet4_writer.h"

namespace testsupport {

// One broadcast. Any value may be jet4::Null{} (or of a wrong kind, which
// WriteListingDb refuses with jet4::WriteError).
struct ListingRow {
    jet4::Value senderkennung, datum, uhrzeit, sendung, genre, beschreibung;
};

// A row from UTF-8 texts; `datum` at midnight (jet4::Date), `uhrzeit` a time
// of day on day 0 (jet4::TimeOfDay), as the guide product stores them.
ListingRow Listing(std::string_view senderkennung, jet4::DateTime datum, jet4::DateTime uhrzeit,
                   std::string_view sendung, std::string_view genre, std::string_view beschreibung);

// Columns of `TVDaten`: Senderkennung Text(255), Datum DateTime, Uhrzeit
// DateTime, Sendung Text(255), Genre Text(255), Beschreibung Memo.
std::vector<jet4::Column> ListingColumns();

// A day far ahead of any run of the tests, 01.06.2099 at midnight: rows on
// it are still to come whenever the tests run and however long they take.
jet4::DateTime FutureDay();

// Writes `path` with one table `TVDaten` holding `rows` in the given order.
void WriteListingDb(const std::string& path, const std::vector<ListingRow>& rows,
                    jet4::Layout layout = jet4::Layout::CatalogLast);

// One slot of an aged listing: a row as the updater leaves it (deleted,
// compacted, moved behind overflow pointers), or a damaged pointer.
struct AgedSlot {
    ListingRow row;
    jet4::RowOptions options;
    std::optional<jet4::BrokenPointer> broken;  // set: this slot is that pointer, `row` unused
};

// Writes `path` with `TVDaten` holding `slots` in the given order; with
// `channelTable`, a second table `Sender` (one Text column, Senderkennung)
// follows, with one row per slot.
void WriteAgedListingDb(const std::string& path, const std::vector<AgedSlot>& slots, bool channelTable = false);

}  // namespace testsupport
