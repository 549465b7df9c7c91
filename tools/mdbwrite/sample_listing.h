// A generated listing table `TVDaten` that looks like the guide product's.
#pragma once

#include <cstdint>
#include <string>

#include "jet4/jet4_writer.h"

namespace mdbwrite {

struct CalendarDay {
    int year, month, day;
};

struct SampleOptions {
    long channels = 8;
    long days = -1;                 // -1: 3, or as many as --rows-total needs
    CalendarDay firstDay{0, 0, 0};  // year 0: today, local time
    long perDayMin = 40;
    long perDayMax = 60;
    long pastDays = 1;
    std::uint64_t seed = 1;
    long longSharePercent = 20;  // descriptions over 1,500 characters
    long maxDescription = 2500;  // characters
    long rowsTotal = 0;          // 0: no limit (counts live rows)
    // Aging, as the guide's updater leaves a listing: extra deleted rows (old
    // versions of live programmes, withdrawn ones) and live rows moved behind
    // overflow pointers, each about this share of the live rows. The live rows
    // and their scan order stay those of the same options without aging.
    long deletedSharePercent = 0;
    long movedSharePercent = 0;
    // 24 further columns after the sample's own (mdbwrite/wide_columns.h),
    // whose values leave those of the sample's own columns as they are.
    bool wide = false;
};

CalendarDay ParseDate(const std::string& text);  // YYYY-MM-DD; throws std::runtime_error

// Begins, fills and ends the table; Finish() is the caller's.
void WriteSampleListing(jet4::Writer& writer, const SampleOptions& options);

}  // namespace mdbwrite
