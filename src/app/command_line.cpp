#include "app/command_line.h"

#include "base/utf8.h"
#include "convert/conversion.h"

namespace brevan {
namespace {

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string Hex(unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xF];
    return text;
}

// `text` as a terminal may show it: control characters (C0, DEL, C1) and
// bytes that are not UTF-8 written as escapes, so that an argument can
// neither break the one message line nor send the terminal a command.
// Backslash and quote are escaped too, so that the text stays unambiguous.
std::string Printable(const std::string& text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        const std::size_t length = NextCodePoint(text, i, c);
        if (length == 0) {
            shown += "\\x" + Hex(static_cast<unsigned char>(text[i]), 2);
            ++i;
            continue;
        }
        if (c == '\\' || c == '"') {
            shown += '\\';
            shown += static_cast<char>(c);
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            shown += "\\x" + Hex(c, 2);
        } else if (c >= 0x80 && c < 0xA0) {
            shown += "\\u" + Hex(c, 4);
        } else {
            shown.append(text, i, length);
        }
        i += length;
    }
    return shown;
}

}  // namespace

Command ParseCommand(const std::string& text) {
    if (text.empty()) return Command::Window;
    if (StartsWith(text, "/U")) return Command::Update;
    if (StartsWith(text, "/W")) return Command::Convert;
    if (text == "--help" || text == "-h") return Command::Help;
    if (text == "--version") return Command::Version;
    return Command::Unknown;
}

std::string UsageErrorLine(const std::string& argumentText) {
    return "brevan: unknown argument \"" + Printable(argumentText) +
           "\"; use /W to convert, /U to update and convert, or --help.";
}

std::string HelpText(const std::string& iniPath, const std::string& iniNote, const std::string& outputFolder) {
    std::string text =
        "Usage: brevan [/U | /W | --help | --version]\n"
        "Turns the TV listing database into the XMLTV guide tvdata.xml.\n"
        "\n"
        "  (no argument)  open the main window\n"
        "  /U             run the updater, wait for it to end, then write the guide\n"
        "  /W             write the guide\n"
        "  -h, --help     show this text\n"
        "  --version      show the version\n"
        "Only the first two characters of /U and /W count, and they are case-sensitive.\n"
        "Runs into one output folder take turns (its lock file .tvdata.xml.lock); a run\n"
        "waits at most " +
        std::to_string(kFolderTurnWait.count()) +
        " minutes for another one, then fails. /U keeps the turn\n"
        "from before it starts the updater until its guide is written.\n"
        "\n"
        "Exit status: 0 the guide was written (or the listing is empty), 1 the run\n"
        "failed (the message goes to standard error without a display), 2 an unknown\n"
        "argument.\n"
        "\n";
    text += "Settings: " + iniPath + (iniNote.empty() ? "" : " (" + iniNote + ")") + "\n";
    text +=
        "Guide:    " + (outputFolder.empty() ? std::string("(no output folder set)") : outputFolder + "/tvdata.xml") +
        "\n";
    return text;
}

}  // namespace brevan
