// Placeholder until the update run lands.
#include "update/update_run.h"
#include "convert/xmltv_document.h"
#include "app/settings.h"

namespace brevan {
std::int32_t RunAndWait(const std::string&, std::int16_t, bool) { return 0; }
void UpdateAndCreateXmltv() { CreateXmltvFile(); }
} // namespace brevan
