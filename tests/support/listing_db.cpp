#include "support/listing_db.h"

namespace testsupport {

ListingRow Listing(std::string_view senderkennung, jet4::DateTime datum, jet4::DateTime uhrzeit,
                   std::string_view sendung, std::string_view genre, std::string_view beschreibung) {
    return {jet4::Text(senderkennung), datum, uhrzeit, jet4::Text(sendung), jet4::Text(genre),
            jet4::Text(beschreibung)};
}

std::vector<jet4::Column> ListingColumns() {
    using T = jet4::ColumnType;
    return {{"Senderkennung", T::Text, 255}, {"Datum", T::DateTime},  {"Uhrzeit", T::DateTime},
            {"Sendung", T::Text, 255},       {"Genre", T::Text, 255}, {"Beschreibung", T::Memo}};
}

jet4::DateTime FutureDay() { return jet4::Date(2099, 6, 1); }

void WriteListingDb(const std::string& path, const std::vector<ListingRow>& rows, jet4::Layout layout) {
    jet4::Writer writer(path, layout);
    writer.BeginTable("TVDaten", ListingColumns());
    for (const ListingRow& r : rows)
        writer.AddRow({r.senderkennung, r.datum, r.uhrzeit, r.sendung, r.genre, r.beschreibung});
    writer.Finish();
}

void WriteAgedListingDb(const std::string& path, const std::vector<AgedSlot>& slots, bool channelTable) {
    jet4::Writer writer(path);
    writer.BeginTable("TVDaten", ListingColumns());
    for (const AgedSlot& s : slots) {
        const ListingRow& r = s.row;
        if (s.broken)
            writer.AddBrokenPointer(*s.broken);
        else
            writer.AddRow({r.senderkennung, r.datum, r.uhrzeit, r.sendung, r.genre, r.beschreibung}, s.options);
    }
    if (channelTable) {
        writer.EndTable();
        writer.BeginTable("Sender", {{"Senderkennung", jet4::ColumnType::Text, 255}});
        for (const AgedSlot& s : slots) writer.AddRow({s.broken ? jet4::Text("") : s.row.senderkennung});
    }
    writer.Finish();
}

}  // namespace testsupport
