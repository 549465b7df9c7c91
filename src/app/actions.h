#pragma once
// The two actions that the main window's buttons and the switches /W and /U
// start. Each reads AppSettings when it starts, shows every failure in one
// message box (its own trap) and lets nothing escape.
namespace brevan {

// Converts the listing database AppSettings.DatabasePath into
// AppSettings.OutputFolder/tvdata.xml. True when the guide was written or the
// listing table is empty (then no file is written); false after a message.
bool CreateXmltvFile();

// Runs AppSettings.UpdaterPath and waits for it (its exit code says nothing
// we use), then CreateXmltvFile, also when the updater could not be started.
// True when the updater ran and the conversion succeeded.
bool UpdateAndCreateXmltv();

}  // namespace brevan
