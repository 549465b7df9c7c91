#include "convert/xmltv_document.h"
namespace brevan {
void CreateXmltvFile() {}
} // namespace brevan
