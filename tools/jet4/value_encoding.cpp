#include "jet4/value_encoding.h"

#include <cmath>
#include <cstdint>

#include "jet4/text_codec.h"

namespace jet4::detail {
namespace {

constexpr std::size_t kMemoCompressMaxChars = 1024;  // Access compresses memos only up to this
constexpr std::size_t kMemoMaxBytes = 0xFFFFFF;      // the length field has 3 bytes
// Date/Time values from 0100-01-01 to 9999-12-31 23:59:59.
constexpr double kMinDate = -657434.0 - 0.99999;
constexpr double kMaxDate = 2958465.0 + 0.99999;

const char* ValueKind(const Value& v) {
    static const char* const kNames[] = {
        "Null", "text", "a date/time", "an integer", "a floating-point number", "a Yes/No value", "a GUID"};
    return kNames[v.index()];
}

}  // namespace

const char* TypeName(ColumnType t) {
    switch (t) {
    case ColumnType::Text: return "Text";
    case ColumnType::Memo: return "Memo";
    case ColumnType::DateTime: return "Date/Time";
    case ColumnType::Long: return "Long";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Double: return "Double";
    case ColumnType::YesNo: return "Yes/No";
    case ColumnType::Guid: return "GUID";
    }
    return "?";
}

EncodedValue EncodeValue(const Column& col, const Value& v, const std::string& where) {
    const std::string at = where + ", column \"" + col.name + "\" (" + TypeName(col.type) + ")";
    EncodedValue p;
    if (std::holds_alternative<Null>(v)) {
        if (col.type == ColumnType::YesNo) throw WriteError(at + ": a Yes/No column cannot hold Null");
        return p;
    }
    auto wrongType = [&]() { return WriteError(at + ": expects " + TypeName(col.type) + ", got " + ValueKind(v)); };
    p.cell.present = true;
    switch (col.type) {
    case ColumnType::Text: {
        const auto* s = std::get_if<std::u16string>(&v);
        if (!s) throw wrongType();
        if (s->size() > static_cast<std::size_t>(col.maxChars))
            throw WriteError(at + ": text of " + std::to_string(s->size()) +
                             " characters is longer than the column's " + std::to_string(col.maxChars));
        auto bytes = EncodeText(*s, true);
        if (!bytes)
            throw WriteError(at +
                             ": text starting with U+FEFF and holding a character ending in byte 00 cannot be stored");
        p.cell.bytes = std::move(*bytes);
        break;
    }
    case ColumnType::Memo: {
        const auto* s = std::get_if<std::u16string>(&v);
        if (!s) throw wrongType();
        auto bytes = EncodeText(*s, s->size() <= kMemoCompressMaxChars);
        if (!bytes)
            throw WriteError(at +
                             ": text starting with U+FEFF and holding a character ending in byte 00 cannot be stored");
        if (bytes->size() > kMemoMaxBytes) throw WriteError(at + ": memo longer than 16 MB");
        p.memo = true;
        p.memoText = std::move(*bytes);
        p.inlineMemo = p.memoText.size() <= kMemoInlineMax;
        break;
    }
    case ColumnType::DateTime: {
        const auto* d = std::get_if<DateTime>(&v);
        if (!d) throw wrongType();
        if (!std::isfinite(d->days) || d->days < kMinDate || d->days > kMaxDate)
            throw WriteError(at + ": date/time outside the years 100 to 9999");
        PutDouble(p.cell.bytes, d->days);
        break;
    }
    case ColumnType::Long:
    case ColumnType::Integer: {
        const auto* n = std::get_if<std::int64_t>(&v);
        if (!n) throw wrongType();
        const bool isLong = col.type == ColumnType::Long;
        const std::int64_t lo = isLong ? INT32_MIN : INT16_MIN;
        const std::int64_t hi = isLong ? INT32_MAX : INT16_MAX;
        if (*n < lo || *n > hi)
            throw WriteError(at + ": " + std::to_string(*n) + " is outside " + std::to_string(lo) + " to " +
                             std::to_string(hi));
        const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(*n));
        if (isLong)
            Put32(p.cell.bytes, bits);
        else
            Put16(p.cell.bytes, bits);
        break;
    }
    case ColumnType::Double: {
        double d;
        if (const auto* x = std::get_if<double>(&v))
            d = *x;
        else if (const auto* n = std::get_if<std::int64_t>(&v))
            d = static_cast<double>(*n);
        else
            throw wrongType();
        if (!std::isfinite(d)) throw WriteError(at + ": not a finite number");
        PutDouble(p.cell.bytes, d);
        break;
    }
    case ColumnType::YesNo: {
        const auto* b = std::get_if<bool>(&v);
        if (!b) throw wrongType();
        p.cell.present = *b;
        break;
    }
    case ColumnType::Guid: {
        const auto* g = std::get_if<Guid>(&v);
        if (!g) throw wrongType();
        p.cell.bytes.assign(g->stored.begin(), g->stored.end());
        break;
    }
    }
    return p;
}

}  // namespace jet4::detail
