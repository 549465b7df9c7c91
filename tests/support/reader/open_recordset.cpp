#include "support/reader/open_recordset.h"

namespace testsupport {

std::unique_ptr<brevan::dao::Recordset> OpenRecordset(const std::string& path, const std::string& sql) {
    namespace dao = brevan::dao;
    auto db = dao::DBEngine::Instance().Workspaces(0).OpenDatabase(path, false, false);
    return db->OpenRecordset(sql, dao::dbOpenSnapshot);
}

}  // namespace testsupport
