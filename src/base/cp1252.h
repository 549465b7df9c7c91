#pragma once
// Windows-1252, the one 8-bit code page the program reads: Jet 3 databases
// and INI files copied from a Western European Windows machine.
#include <cstddef>
#include <string>

namespace brevan {

// Appends Windows-1252 bytes as UTF-8. The five unassigned bytes map to the
// C1 controls of the same value, as Windows' own conversion does.
void AppendCp1252(const unsigned char* bytes, std::size_t size, std::string& out);

}  // namespace brevan
