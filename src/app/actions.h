#pragma once
// The two actions that the main window's buttons and the switches /W and /U
// start. Each reads AppSettings when it starts, shows every failure in one
// message box (its own trap) and lets nothing escape.
namespace brevan {

// Converts the listing database AppSettings.DatabasePath into
// AppSettings.OutputFolder/tvdata.xml. True when the guide was written or the
// listing table is empty (then no file is written); false after a message,
// at once when no output folder is set. While another run has the folder's
// turn (at most two minutes), the window's events run.
bool CreateXmltvFile();

// Takes the output folder's turn as CreateXmltvFile does (on failure: one
// message, false, no updater), runs AppSettings.UpdaterPath and waits for it
// (its exit code says nothing we use), then converts as CreateXmltvFile,
// also when the updater could not be started, and only then gives the turn
// up. The conversion uses the database and the folder set when the run
// started (the turn is that folder's). True when the updater ran and the
// conversion succeeded.
bool UpdateAndCreateXmltv();

}  // namespace brevan
