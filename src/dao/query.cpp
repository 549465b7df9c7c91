#include "dao/query.h"

#include "base/error.h"

#include <cctype>

namespace brevan::dao::detail {
namespace {

class Scanner {
public:
    explicit Scanner(std::string_view sql) : s_(sql) {}

    void SkipSpace() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    bool AtEnd() {
        SkipSpace();
        return i_ == s_.size();
    }
    bool Symbol(char c) {
        SkipSpace();
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    // A keyword, matched without regard to case and followed by a non-word.
    bool Keyword(std::string_view word) {
        SkipSpace();
        if (s_.size() - i_ < word.size()) return false;
        for (std::size_t k = 0; k < word.size(); ++k)
            if (std::toupper(static_cast<unsigned char>(s_[i_ + k])) != word[k]) return false;
        const std::size_t after = i_ + word.size();
        if (after < s_.size() && IsWordByte(s_[after])) return false;
        i_ = after;
        return true;
    }
    // A bare name (letters, digits, "_", any non-ASCII byte) or a [bracketed] one.
    bool Name(std::string& out) {
        SkipSpace();
        if (i_ < s_.size() && s_[i_] == '[') {
            const std::size_t close = s_.find(']', i_ + 1);
            if (close == std::string_view::npos || close == i_ + 1) return false;
            out.assign(s_.substr(i_ + 1, close - i_ - 1));
            i_ = close + 1;
            return true;
        }
        const std::size_t start = i_;
        while (i_ < s_.size() && IsWordByte(s_[i_])) ++i_;
        if (i_ == start) return false;
        out.assign(s_.substr(start, i_ - start));
        return !IsReserved(out);
    }

private:
    static bool IsWordByte(char c) {
        const auto u = static_cast<unsigned char>(c);
        return std::isalnum(u) || u == '_' || u >= 0x80;
    }
    static bool IsReserved(const std::string& name) {
        std::string upper;
        for (char c : name) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        return upper == "SELECT" || upper == "FROM" || upper == "ORDER" || upper == "BY" || upper == "WHERE" ||
               upper == "ASC" || upper == "DESC";
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

[[noreturn]] void Refuse(std::string_view sql) {
    throw Error("The database engine cannot run the SQL statement \"" + std::string(sql) +
                "\". It runs only \"SELECT * FROM <table>\", optionally followed by \"ORDER BY <field>, ...\".");
}

}  // namespace

SelectQuery ParseSelect(std::string_view sql) {
    Scanner in(sql);
    SelectQuery query;
    if (!in.Keyword("SELECT") || !in.Symbol('*') || !in.Keyword("FROM") || !in.Name(query.table)) Refuse(sql);
    if (in.Keyword("ORDER")) {
        if (!in.Keyword("BY")) Refuse(sql);
        do {
            OrderField field;
            if (!in.Name(field.name)) Refuse(sql);
            if (in.Keyword("DESC"))
                field.descending = true;
            else
                in.Keyword("ASC");
            query.orderBy.push_back(std::move(field));
        } while (in.Symbol(','));
    }
    in.Symbol(';');
    if (!in.AtEnd()) Refuse(sql);
    return query;
}

}  // namespace brevan::dao::detail
