#pragma once
// The Windows profile (INI) functions over files on disk: read or write one
// value of one section. The format is the one ini_text.h describes.
//
// Files are UTF-8. A file that is not (an INI copied from a Windows machine,
// in Windows-1252 or UTF-16) still reads correctly; the first write turns it
// into UTF-8, since the new value may hold characters the old encoding lacks.
// A UTF-8 byte-order mark is kept, and so is the file's line-ending style.
#include <string>

namespace brevan {

// The value of `keyName` in section `appName` of `fileName`, whole, or
// `defaultValue` when the file, the section or the key is missing or the file
// cannot be read (a directory, no permission, larger than 64 MiB). Unlike
// the Windows function there is no buffer to cut the value: a path of any
// length reads back as it was written.
std::string GetPrivateProfileString(const std::string& appName, const std::string& keyName,
                                    const std::string& defaultValue, const std::string& fileName);

// Sets `keyName` in section `appName` of `fileName` to `value`, keeping every
// other line as it was; creates the file and the section when missing. The
// new content goes to a temporary file in the same folder that then replaces
// the INI file in one rename (through a symbolic link to its target), so a
// failed write leaves the old file whole. The file keeps its permissions.
// Returns false, changing nothing, when the folder or file cannot be written
// (a read-only file stays read-only), an existing file cannot be read, or the names or value cannot be stored
// (see ini::SetValue).
bool WritePrivateProfileString(const std::string& appName, const std::string& keyName, const std::string& value,
                               const std::string& fileName);

}  // namespace brevan
