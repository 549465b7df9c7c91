#include "convert/programme_pass.h"

#include "convert/description.h"
#include "convert/listing_database.h"
#include "convert/xmltv_elements.h"
#include "convert/xmltv_time.h"
#include "os/clock.h"

#include <optional>
#include <string>
#include <utility>

namespace brevan {
namespace {

// The part of the date filter that is compared: the stamp without its offset.
std::string FilterKey(const std::string& dateText) { return FormatXmltvTime(dateText, "").substr(0, 14); }

// A field's value as the value-to-text conversion gives it, into `out`,
// whose buffer serves the next row again.
void TextInto(const dao::Variant& value, const char* field, std::string& out) {
    if (const auto* text = std::get_if<std::string>(&value.value()))
        out.assign(*text);
    else
        out = dao::CStr(value, field);
}

// The date text of a row and its filter key, kept for the last value seen:
// the rows come by channel and date, so a date mostly follows itself.
class DateTexts {
public:
    void read(const dao::Variant& value) {
        if (valid_ && value.value() == last_) return;
        valid_ = false;
        TextInto(value, kFieldDate, text_);
        key_ = FilterKey(text_);
        last_ = value.value();
        valid_ = true;
    }
    const std::string& text() const { return text_; }
    const std::string& key() const { return key_; }

private:
    bool valid_ = false;
    dao::Variant::Value last_;
    std::string text_;
    std::string key_;
};

// A window's bound, today + `days`, as the value-to-text conversion writes a
// date, read anew each time; its key is only recomputed when the date has
// changed.
class DayKey {
public:
    explicit DayKey(int days) : days_(days) {}
    const std::string& get() {
        const CivilDate today = Today();
        if (key_.empty() || today.year != date_.year || today.month != date_.month || today.day != date_.day) {
            date_ = today;
            const dao::Variant value(dao::Variant::Value{dao::Date{DaysSinceZeroDate(today) + days_}});
            key_ = FilterKey(dao::CStr(value, kFieldDate));
        }
        return key_;
    }

private:
    int days_;
    CivilDate date_;
    std::string key_;
};

struct PreviousRow {
    std::string date, time, channel, title, genre, description;
    // Its time stamp when it was made as the stop of the programme before
    // it; empty otherwise (a stamp is never empty).
    std::string stamp;
    bool inWindow = false;  // its start date lies before the window's end
};

}  // namespace

void ProgrammePass(dao::Recordset& recordset, xml::DOMDocument& document, const GuideWindow& window) {
    DayKey first(window.offsetDays);
    std::optional<DayKey> end;
    if (window.days) end.emplace(window.offsetDays + *window.days);
    DateTexts date;
    PreviousRow previous;
    bool havePrevious = false;  // the empty starting record is no broadcast
    // The current row's texts; their buffers are swapped with the previous
    // row's, so that no row allocates once they have grown.
    std::string time, channel;
    xml::Markup markup;
    while (!recordset.Eof()) {
        date.read(recordset.Fields(kFieldDate));
        if (date.key() >= first.get()) {
            // A field is read once a row: reading it again gives the same
            // value, and a Null fails at the first read either way.
            TextInto(recordset.Fields(kFieldTime), kFieldTime, time);
            TextInto(recordset.Fields(kFieldChannel), kFieldChannel, channel);
            std::string stop;
            if (havePrevious && channel == previous.channel && time != previous.time) {
                stop = FormatXmltvTime(date.text(), time);
                const std::string start =
                    previous.stamp.empty() ? FormatXmltvTime(previous.date, previous.time) : std::move(previous.stamp);
                if (previous.inWindow)
                    AppendProgramme(
                        document, markup,
                        {start, stop, previous.channel, previous.title, previous.description, previous.genre});
            }
            previous.date.assign(date.text());
            previous.inWindow = !end || date.key() < end->get();
            std::swap(previous.time, time);
            std::swap(previous.channel, channel);
            previous.stamp = std::move(stop);
            // A row after the window only gives the stop of the one before it.
            if (previous.inWindow) {
                TextInto(recordset.Fields(kFieldTitle), kFieldTitle, previous.title);
                TextInto(recordset.Fields(kFieldGenre), kFieldGenre, previous.genre);
                TextInto(recordset.Fields(kFieldDescription), kFieldDescription, previous.description);
                CleanDescriptionInPlace(previous.description);
            }
            havePrevious = true;
        }
        recordset.MoveNext();
    }
}

}  // namespace brevan
