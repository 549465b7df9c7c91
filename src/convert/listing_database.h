#pragma once
// The listing table as the conversion reads it: the query, the six field
// names, and opening both through the database engine.
#include "dao/dao.h"

#include <memory>
#include <string>
#include <string_view>

namespace brevan {

// The channel id is spelt SenderKennung in the query and Senderkennung when
// read; the engine matches field names without regard to case.
inline constexpr const char* kListingQuery = "SELECT * FROM TVDaten ORDER BY SenderKennung, Datum, Uhrzeit";

inline constexpr const char* kFieldDate = "Datum";
inline constexpr const char* kFieldTime = "Uhrzeit";
inline constexpr const char* kFieldChannel = "Senderkennung";
inline constexpr const char* kFieldTitle = "Sendung";
inline constexpr const char* kFieldGenre = "Genre";
inline constexpr const char* kFieldDescription = "Beschreibung";

// One run's hold on the database: released (without an explicit Close) when
// a run ends early, closed by CloseListing when it ends normally.
struct Listing {
    std::unique_ptr<dao::Database> database;
    std::unique_ptr<dao::Recordset> recordset;
};

// Opens the database at `databasePath` (shared, not read-only) and the
// listing query as a snapshot of the six fields above. Raises brevan::Error, naming the database
// "listing database <shown>" (`shown` empty: the path).
Listing OpenListing(const std::string& databasePath, const std::string& shown = "");

// Closes the recordset, then the database.
void CloseListing(Listing& listing);

// The current row's field as text (the standard value-to-text conversion);
// a Null raises brevan::Error.
std::string FieldText(const dao::Recordset& recordset, const char* field);

}  // namespace brevan
