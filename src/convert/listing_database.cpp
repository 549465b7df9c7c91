#include "convert/listing_database.h"

namespace brevan {

Listing OpenListing(const std::string& databasePath, const std::string& shown) {
    Listing listing;
    dao::Workspace& workspace = dao::DBEngine::Instance().Workspaces(0);
    listing.database = workspace.OpenDatabase(databasePath, false, false, dao::DatabaseName{"listing database", shown});
    // The table holds many more fields than these; only these are read.
    listing.recordset = listing.database->OpenRecordset(
        kListingQuery, dao::dbOpenSnapshot,
        {kFieldDate, kFieldTime, kFieldChannel, kFieldTitle, kFieldGenre, kFieldDescription});
    return listing;
}

void CloseListing(Listing& listing) {
    listing.recordset->Close();
    listing.database->Close();
    listing.recordset.reset();
    listing.database.reset();
}

std::string FieldText(const dao::Recordset& recordset, const char* field) {
    return dao::CStr(recordset.Fields(field), field);
}

}  // namespace brevan
