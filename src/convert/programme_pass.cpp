#include "convert/programme_list.h"

#include "convert/listing_database.h"
#include "convert/xmltv_document.h"
#include "os/clock.h"
#include "base/digits.h"
#include "base/error.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>

namespace brevan {
namespace {

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;  // a time alone lies on the zero date
    int hour = 0, minute = 0, second = 0;
    bool hasDate = false;
    bool hasTime = false;
};

// Reads 1 to maxDigits digits at text[i]; advances i.
std::optional<int> Number(std::string_view text, std::size_t& i, std::size_t maxDigits) {
    std::size_t start = i;
    int value = 0;
    while (i < text.size() && i - start < maxDigits && text[i] >= '0' && text[i] <= '9') value = value * 10 + (text[i++] - '0');
    if (i == start) return std::nullopt;
    return value;
}

bool Expect(std::string_view text, std::size_t& i, char c) {
    if (i < text.size() && text[i] == c) {
        ++i;
        return true;
    }
    return false;
}

bool ValidDate(int y, int m, int d) {
    using namespace std::chrono;
    return y >= 1 && y <= 9999 && year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}.ok();
}

// "DD.MM.YYYY", "YYYY-MM-DD", "HH:MM:SS", "HH:MM", or a date, a blank and a time.
std::optional<DateTimeParts> ParseDateTime(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    DateTimeParts parts;
    std::size_t i = 0;
    const std::size_t firstStop = text.find_first_of(".-:");
    if (firstStop == std::string_view::npos) return std::nullopt;
    if (text[firstStop] == '.') {
        auto d = Number(text, i, 2);
        if (!d || !Expect(text, i, '.')) return std::nullopt;
        auto m = Number(text, i, 2);
        if (!m || !Expect(text, i, '.')) return std::nullopt;
        auto y = Number(text, i, 4);
        if (!y) return std::nullopt;
        parts.day = *d, parts.month = *m, parts.year = *y;
        parts.hasDate = true;
    } else if (text[firstStop] == '-') {
        auto y = Number(text, i, 4);
        if (!y || !Expect(text, i, '-')) return std::nullopt;
        auto m = Number(text, i, 2);
        if (!m || !Expect(text, i, '-')) return std::nullopt;
        auto d = Number(text, i, 2);
        if (!d) return std::nullopt;
        parts.day = *d, parts.month = *m, parts.year = *y;
        parts.hasDate = true;
    }
    if (parts.hasDate) {
        if (!ValidDate(parts.year, parts.month, parts.day)) return std::nullopt;
        if (i == text.size()) return parts;
        if (!Expect(text, i, ' ')) return std::nullopt;
        while (i < text.size() && text[i] == ' ') ++i;
    }
    auto h = Number(text, i, 2);
    if (!h || !Expect(text, i, ':')) return std::nullopt;
    auto mi = Number(text, i, 2);
    if (!mi) return std::nullopt;
    int s = 0;
    if (Expect(text, i, ':')) {
        auto sec = Number(text, i, 2);
        if (!sec) return std::nullopt;
        s = *sec;
    }
    if (i != text.size() || *h > 23 || *mi > 59 || s > 59) return std::nullopt;
    parts.hour = *h, parts.minute = *mi, parts.second = s;
    parts.hasTime = true;
    return parts;
}

DateTimeParts Read(const std::string& text) {
    std::optional<DateTimeParts> parts = ParseDateTime(text);
    if (!parts) throw Error("The listing database holds \"" + text + "\" where a date or a time is expected.");
    return *parts;
}

// Day of the month of the last Sunday of `month` in `year`.
int LastSunday(int y, unsigned m) {
    using namespace std::chrono;
    const sys_days last{year{y} / month{m} / std::chrono::last};
    const weekday wd{last};
    return static_cast<int>(static_cast<unsigned>(year_month_day{last}.day())) - static_cast<int>(wd.c_encoding());
}

// Central European time: summer time from the last Sunday of March 02:00 to
// the last Sunday of October 03:00 (local wall clock).
const char* CentralEuropeanOffset(const DateTimeParts& p) {
    if (p.month < 3 || p.month > 10) return "+0100";
    if (p.month > 3 && p.month < 10) return "+0200";
    const long minuteOfMonth = (p.day * 24L + p.hour) * 60 + p.minute;
    if (p.month == 3) return minuteOfMonth >= (LastSunday(p.year, 3) * 24L + 2) * 60 ? "+0200" : "+0100";
    return minuteOfMonth < (LastSunday(p.year, 10) * 24L + 3) * 60 ? "+0200" : "+0100";
}

std::string Stamp(const DateTimeParts& p) {
    char buffer[20];
    char* w = WriteDigits(buffer, p.year, 4);  // the parser reads at most four digits
    w = WriteDigits(w, p.month, 2);
    w = WriteDigits(w, p.day, 2);
    w = WriteDigits(w, p.hour, 2);
    w = WriteDigits(w, p.minute, 2);
    w = WriteDigits(w, p.second, 2);
    *w++ = ' ';
    std::memcpy(w, CentralEuropeanOffset(p), 5);
    return std::string(buffer, 20);
}

void TrimBlanks(std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text.erase(text.find_last_not_of(' ') + 1);
    text.erase(0, first);
}

// UTF-16 code units of the UTF-8 character that starts with byte `lead`
// (a lone surrogate kept as three bytes counts one, like any 3-byte form).
std::size_t Utf16Units(unsigned char lead) { return lead >= 0xF0 ? 2 : 1; }
bool IsLeadByte(unsigned char c) { return (c & 0xC0) != 0x80; }

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

// Today as the value-to-text conversion writes a date, read anew each time;
// its key is only recomputed when the date has changed.
class TodayKey {
public:
    const std::string& get() {
        const CivilDate today = Today();
        if (key_.empty() || today.year != date_.year || today.month != date_.month || today.day != date_.day) {
            date_ = today;
            const dao::Variant value(dao::Variant::Value{dao::Date{DaysSinceZeroDate(today)}});
            key_ = FilterKey(dao::CStr(value, kFieldDate));
        }
        return key_;
    }

private:
    CivilDate date_;
    std::string key_;
};

struct PreviousRow {
    std::string date, time, channel, title, genre, description;
    // Its time stamp when it was made as the stop of the programme before
    // it; empty otherwise (a stamp is never empty).
    std::string stamp;
};

void AppendProgramme(xml::DOMDocument& document, xml::Node root, PreviousRow& previous, const std::string& stop) {
    xml::Node programme = document.createElement("programme");
    xml::Attribute start = document.createAttribute("start");
    start.Value = previous.stamp.empty() ? FormatXmltvTime(previous.date, previous.time) : std::move(previous.stamp);
    programme.setAttributeNode(start);
    xml::Attribute stopAttribute = document.createAttribute("stop");
    stopAttribute.Value = stop;
    programme.setAttributeNode(stopAttribute);
    xml::Attribute channel = document.createAttribute("channel");
    channel.Value = previous.channel;
    programme.setAttributeNode(channel);

    xml::Node fragment = document.createDocumentFragment();
    fragment.appendChild(document.createTextNode(kIndent));
    AppendLangElement(document, fragment, "title", previous.title);
    fragment.appendChild(document.createTextNode(kIndent));
    AppendLangElement(document, fragment, "desc", previous.description);
    fragment.appendChild(document.createTextNode(kIndent));
    AppendLangElement(document, fragment, "category", previous.genre);
    programme.appendChild(fragment);
    programme.appendChild(document.createTextNode(kIndent));

    root.appendChild(programme);
    root.appendChild(document.createTextNode(kIndent));
}

} // namespace

std::string FormatXmltvTime(std::string dateText, std::string timeText) {
    if (!timeText.empty()) {
        DateTimeParts date = Read(dateText);
        const DateTimeParts time = Read(timeText);
        date.hour = time.hasTime ? time.hour : 0;
        date.minute = time.hasTime ? time.minute : 0;
        date.second = time.hasTime ? time.second : 0;
        return Stamp(date);
    }
    if (!dateText.empty()) return Stamp(Read(dateText));
    return {};
}

std::string CleanDescription(std::string text) {
    CleanDescriptionInPlace(text);
    return text;
}

void CleanDescriptionInPlace(std::string& text) {
    TrimBlanks(text);

    // Each "<br>" becomes one blank: the text only shrinks, so it is rewritten
    // in place.
    static constexpr std::string_view kBreak = "<br>";
    if (std::size_t at = text.find(kBreak); at != std::string::npos) {
        std::size_t to = at;
        std::size_t from = at;
        while (at != std::string::npos) {
            std::memmove(text.data() + to, text.data() + from, at - from);
            to += at - from;
            text[to++] = ' ';
            from = at + kBreak.size();
            at = text.find(kBreak, from);
        }
        std::memmove(text.data() + to, text.data() + from, text.size() - from);
        text.resize(to + text.size() - from);
    }

    // A UTF-16 text is never longer than its UTF-8 form, so shorter texts
    // cannot reach position 1500.
    constexpr std::size_t kFirstPosition = 1500;
    constexpr std::size_t kMaxLength = 2000;
    if (text.size() < kFirstPosition) return;

    std::size_t units = 0;          // code units before byte i
    std::size_t cutAtMax = std::string::npos;  // byte offset that ends the first 2000 units
    std::size_t i = 0;
    // Up to position 1500 only the units are counted, eight bytes at a time:
    // one unit per byte that is not a continuation byte, one more for the
    // lead byte of a four-byte character. A character cut by a word's end is
    // counted whole where it starts; the loop below passes over the rest.
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    while (i + 8 <= text.size() && units + 16 < kFirstPosition) {  // a word adds at most 16 units
        std::uint64_t x;
        std::memcpy(&x, text.data() + i, 8);
        const std::uint64_t continuation = x & ~(x << 1) & kHigh;
        const std::uint64_t fourByteLead = x & (x << 1) & (x << 2) & (x << 3) & kHigh;
        units += 8 - static_cast<std::size_t>(__builtin_popcountll(continuation)) +
                 static_cast<std::size_t>(__builtin_popcountll(fourByteLead));
        i += 8;
    }
    for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!IsLeadByte(c)) continue;
        const std::size_t n = Utf16Units(c);
        if (cutAtMax == std::string::npos && units + n > kMaxLength) cutAtMax = i;
        if (c == '.' && units + 1 >= kFirstPosition) {
            if (units + 1 > kMaxLength) {
                text.erase(cutAtMax);
            } else {
                text.erase(i + 1);
            }
            TrimBlanks(text);
            return;
        }
        units += n;
    }
}

void ProgrammePass(dao::Recordset& recordset, xml::DOMDocument& document, xml::Node root) {
    TodayKey today;
    DateTexts date;
    PreviousRow previous;
    bool havePrevious = false;  // the empty starting record is no broadcast
    // The current row's texts; their buffers are swapped with the previous
    // row's, so that no row allocates once they have grown.
    std::string time, channel;
    while (!recordset.Eof()) {
        date.read(recordset.Fields(kFieldDate));
        if (date.key() >= today.get()) {
            // A field is read once a row: reading it again gives the same
            // value, and a Null fails at the first read either way.
            TextInto(recordset.Fields(kFieldTime), kFieldTime, time);
            TextInto(recordset.Fields(kFieldChannel), kFieldChannel, channel);
            std::string stop;
            if (havePrevious && channel == previous.channel && time != previous.time) {
                stop = FormatXmltvTime(date.text(), time);
                AppendProgramme(document, root, previous, stop);
            }
            previous.date.assign(date.text());
            std::swap(previous.time, time);
            std::swap(previous.channel, channel);
            previous.stamp = std::move(stop);
            TextInto(recordset.Fields(kFieldTitle), kFieldTitle, previous.title);
            TextInto(recordset.Fields(kFieldGenre), kFieldGenre, previous.genre);
            TextInto(recordset.Fields(kFieldDescription), kFieldDescription, previous.description);
            CleanDescriptionInPlace(previous.description);
            havePrevious = true;
        }
        recordset.MoveNext();
    }
}

} // namespace brevan
