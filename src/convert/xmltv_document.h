#pragma once
// The conversion run: reads the listing table and writes tvdata.xml into the
// output folder in one save at the end.
namespace brevan {

// Reads AppSettings.DatabasePath and AppSettings.OutputFolder. Never lets an
// error escape: any failure ends in one message box with its description,
// and an existing tvdata.xml stays as it was.
void CreateXmltvFile();

} // namespace brevan
