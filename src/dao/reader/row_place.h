#pragma once
// Where a row was found, for messages; the text is built only when one is
// needed, not for every row read.
#include <cstdint>
#include <string>

namespace brevan::dao::reader {

struct RowPlace {
    const std::string* owner;  // e.g. table "TVDaten"
    std::uint32_t page;        // the slot the page scan met
    unsigned row;
    bool moved = false;  // the slot is an overflow pointer; the row lies at:
    std::uint32_t movedPage = 0;
    unsigned movedRow = 0;

    // "row 3 on page 17 of table "TVDaten"", followed by " (moved to row 0
    // on page 40)" for a row read through an overflow pointer.
    std::string Text() const {
        std::string text = "row " + std::to_string(row) + " on page " + std::to_string(page) + " of " + *owner;
        if (moved) text += " (moved to row " + std::to_string(movedRow) + " on page " + std::to_string(movedPage) + ")";
        return text;
    }
};

}  // namespace brevan::dao::reader
