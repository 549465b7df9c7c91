#include "mdbwrite/table_input.h"

#include <charconv>
#include <stdexcept>

namespace mdbwrite {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

jet4::Column ParseColumn(std::string_view item) {
    const auto colon = item.rfind(':');
    if (colon == std::string_view::npos)
        throw std::runtime_error("column \"" + std::string(item) + "\": expected NAME:TYPE");
    const std::string name(Trim(item.substr(0, colon)));
    std::string_view type = Trim(item.substr(colon + 1));
    jet4::Column c{name, jet4::ColumnType::Text, 255};
    if (type.rfind("Text", 0) == 0) {
        std::string_view size = type.substr(4);
        if (!size.empty()) {
            if (size.size() < 3 || size.front() != '(' || size.back() != ')')
                throw std::runtime_error("column \"" + name + "\": expected Text or Text(N)");
            size = size.substr(1, size.size() - 2);
            const auto r = std::from_chars(size.data(), size.data() + size.size(), c.maxChars);
            if (r.ec != std::errc() || r.ptr != size.data() + size.size())
                throw std::runtime_error("column \"" + name + "\": bad Text size");
        }
        return c;
    }
    static const std::pair<std::string_view, jet4::ColumnType> kTypes[] = {
        {"Memo", jet4::ColumnType::Memo},     {"DateTime", jet4::ColumnType::DateTime},
        {"Long", jet4::ColumnType::Long},     {"Integer", jet4::ColumnType::Integer},
        {"Double", jet4::ColumnType::Double}, {"YesNo", jet4::ColumnType::YesNo},
    };
    for (const auto& [word, t] : kTypes)
        if (type == word) {
            c.type = t;
            return c;
        }
    throw std::runtime_error("column \"" + name + "\": unknown type \"" + std::string(type) +
                             "\" (Text(N), Memo, DateTime, Long, Integer, Double, YesNo)");
}

int Digits(std::string_view s, std::size_t at, std::size_t count, std::string_view whole) {
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9')
            throw std::runtime_error("bad date/time \"" + std::string(whole) + "\"");
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

}  // namespace

std::vector<jet4::Column> ParseColumns(std::string_view list) {
    std::vector<jet4::Column> cols;
    while (!list.empty()) {
        const auto comma = list.find(',');
        cols.push_back(ParseColumn(list.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    if (cols.empty()) throw std::runtime_error("no columns given");
    return cols;
}

jet4::DateTime ParseDateTime(std::string_view text) {
    auto bad = [&]() { return std::runtime_error("bad date/time \"" + std::string(text) + "\""); };
    try {
        if (text.size() == 8 && text[2] == ':' && text[5] == ':')
            return jet4::TimeOfDay(Digits(text, 0, 2, text), Digits(text, 3, 2, text), Digits(text, 6, 2, text));
        if (text.size() < 10 || text[4] != '-' || text[7] != '-') throw bad();
        const int y = Digits(text, 0, 4, text), m = Digits(text, 5, 2, text), d = Digits(text, 8, 2, text);
        if (text.size() == 10) return jet4::Date(y, m, d);
        if (text.size() != 19 || (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':')
            throw bad();
        return jet4::DateAndTime(y, m, d, Digits(text, 11, 2, text), Digits(text, 14, 2, text),
                                 Digits(text, 17, 2, text));
    } catch (const jet4::WriteError&) {
        throw bad();
    }
}

jet4::Value ToValue(const JsonScalar& json, const jet4::Column& column) {
    if (std::holds_alternative<JsonNull>(json)) return jet4::Null{};
    auto expected = [&](const char* what) { return std::runtime_error(std::string("expected ") + what); };
    switch (column.type) {
    case jet4::ColumnType::Text:
    case jet4::ColumnType::Memo:
        if (const auto* s = std::get_if<std::u16string>(&json)) return *s;
        throw expected("a string");
    case jet4::ColumnType::DateTime: {
        const auto* s = std::get_if<std::u16string>(&json);
        if (!s) throw expected("a date/time string");
        std::string ascii;
        for (char16_t c : *s) {
            if (c > 0x7F) throw std::runtime_error("bad date/time string");
            ascii.push_back(static_cast<char>(c));
        }
        return ParseDateTime(ascii);
    }
    case jet4::ColumnType::Long:
    case jet4::ColumnType::Integer:
        if (const auto* n = std::get_if<std::int64_t>(&json)) return *n;
        throw expected("an integer");
    case jet4::ColumnType::Double:
        if (const auto* n = std::get_if<std::int64_t>(&json)) return static_cast<double>(*n);
        if (const auto* d = std::get_if<double>(&json)) return *d;
        throw expected("a number");
    case jet4::ColumnType::YesNo:
        if (const auto* b = std::get_if<bool>(&json)) return *b;
        throw expected("true or false");
    case jet4::ColumnType::Guid: break;  // not among mdbwrite's column types
    }
    throw expected("a value");
}

}  // namespace mdbwrite
