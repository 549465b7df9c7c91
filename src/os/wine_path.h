#pragma once
// Windows paths in the settings, found where Wine keeps them. An INI file
// copied from a Windows machine names files as C:\Programme\...; under Wine
// those files lie in the Wine prefix, and are found the way Wine finds them.
#include <string>

namespace brevan {

// What decides where the Wine prefix lies. Read once, at start-up, and handed
// down, so that resolving a path reads no global state.
struct WineEnvironment {
    std::string winePrefix;  // $WINEPREFIX; empty when unset
    std::string home;        // the user's home folder; empty when unknown
};

// The process's own values: $WINEPREFIX, and $HOME or, when that is unset or
// empty, the user's home folder from the password database (as Wine does).
WineEnvironment ReadWineEnvironment();

// A setting value made ready for the system.
struct ResolvedPath {
    std::string path;   // what to open or start
    std::string shown;  // what to quote in messages
    bool windows;       // the value was a Windows drive path
};

// Maps a Windows drive path onto the Wine prefix; any other value is
// returned exactly as it stands, with shown == path == value and windows false.
//
// A Windows drive path is an ASCII letter, a colon, then '\' or '/', then the
// rest ("C:\Programme\TV\tvdaten.mdb", "c:/x"). Anything else is not one:
// "C:", "CC:\x", "1:\x", "/abs", "rel\x", "\\server\share", "".
//
// The prefix is env.winePrefix or, when that is empty, env.home + "/.wine";
// it must be an absolute path (Wine refuses any other). The drive is the
// folder <prefix>/dosdevices/<letter in lower case>: (in a normal prefix a
// link to ../drive_c or /). The rest is split at '\' and '/' (empty parts
// dropped, so repeated separators collapse); "." is dropped and ".." takes
// back the part before it, never rising above the drive, as on Windows. Each
// part is then looked up in the folder found so far: the entry of exactly
// that name if one exists, else the first entry in byte order of its name
// that equals it under Windows's case rule (each character mapped to upper
// case, one to one; so "PROGRAMME" finds "Programme" and "ÄNDERUNG" finds
// "änderung", but "STRASSE" does not find "Straße"). Names that are not valid
// UTF-8 match only exactly.
//
// Throws brevan::Error when the prefix exists and belongs to someone other
// than the real user (root included), as Wine refuses it: its programs and
// files are another user's to change. Otherwise never fails.
//
// Never blocks: only stat, lstat and opendir/readdir are used, so
// links are followed only as the system follows them for any path, and
// special files are never opened. When a part cannot be found (no such
// drive, no such entry, a file where a folder should be, an unreadable
// folder) the path is the part found so far with the remaining parts
// appended as written, so that whatever then uses it fails with its usual
// reason. Without a usable prefix the path is the value as written.
//
// shown is "<value> (in the Wine prefix: <path>)", or, without a usable
// prefix, "<value> (no Wine prefix: <why>)".
ResolvedPath ResolveSettingPath(const std::string& value, const WineEnvironment& env);

}  // namespace brevan
