// Opens a table through the engine as the conversion does: the database at
// `path`, then `sql` as a snapshot. Errors are brevan::Error, as the
// engine raises them.
#pragma once

#include "dao/dao.h"

#include <memory>
#include <string>

namespace testsupport {

std::unique_ptr<brevan::dao::Recordset> OpenRecordset(const std::string& path, const std::string& sql);

}  // namespace testsupport
