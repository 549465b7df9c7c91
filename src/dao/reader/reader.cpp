#include "dao/reader/reader.h"

#include "dao/protocol/stream.h"
#include "dao/reader/jet_text.h"

// libmdb's header includes glib inside extern "C", which C++ cannot take;
// glib first makes that inner include a no-op.
#include <glib.h>
#include <mdbtools.h>

#include <cerrno>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brevan::dao::detail {
namespace {

constexpr std::size_t kFlushSize = 256 * 1024;
constexpr int kRowOffsetMask = 0x1FFF;
constexpr int kRowDeleted = 0x4000;
constexpr int kRowOverflow = 0x8000;

std::uint16_t Get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

// Writes messages to the pipe in large chunks.
class StreamWriter {
public:
    explicit StreamWriter(int fd) : fd_(fd) { buf_.reserve(kFlushSize + 64 * 1024); }

    std::string& Buffer() { return buf_; }

    void Begin(MessageKind kind) {
        start_ = buf_.size();
        buf_.push_back(static_cast<char>(kind));
        buf_.append(4, '\0');
    }
    void End() {
        const std::uint32_t size = static_cast<std::uint32_t>(buf_.size() - start_ - kMessageHeaderSize);
        for (int i = 0; i < 4; ++i) buf_[start_ + 1 + i] = static_cast<char>(size >> (8 * i));
    }
    // Patches a u32 at `offset` (a count written before it was known).
    void Patch32(std::size_t offset, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) buf_[offset + i] = static_cast<char>(v >> (8 * i));
    }
    bool Flush() {
        const char* p = buf_.data();
        std::size_t left = buf_.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        buf_.clear();
        return true;
    }
    bool Error(ReaderFailure failure, std::string_view detail) {
        Begin(MessageKind::Error);
        buf_.push_back(static_cast<char>(failure));
        PutText(buf_, detail);
        End();
        return Flush();
    }

private:
    int fd_;
    std::string buf_;
    std::size_t start_ = 0;
};

// Thrown inside the reader when the file's structure is found broken.
struct Damage {
    std::string detail;
};

class MdbSession {
public:
    ~MdbSession() {
        if (fields_) g_free(fields_);
        if (table_) mdb_free_tabledef(table_);
        if (cp_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cp_);
        if (fd_ >= 0) ::close(fd_);
        if (mdb_) mdb_close(mdb_);
    }

    // Returns 0 or the failure to report.
    int Open(const std::string& path, std::string& detail) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            detail = std::strerror(errno);
            return static_cast<int>(ReaderFailure::Unreadable);
        }
        struct stat st {};
        if (::fstat(fd_, &st) != 0) {
            detail = std::strerror(errno);
            return static_cast<int>(ReaderFailure::Unreadable);
        }
        fileSize_ = static_cast<std::uint64_t>(st.st_size);
        mdb_ = mdb_open(path.c_str(), MDB_NOFLAGS);
        if (!mdb_) return static_cast<int>(ReaderFailure::NotAccess);
        pageSize_ = static_cast<std::size_t>(mdb_->fmt->pg_size);
        rowCountOffset_ = mdb_->fmt->row_count_offset;
        jet3_ = mdb_->f->jet_version == MDB_VER_JET3;
        encrypted_ = mdb_->f->db_key != 0;
        if (jet3_) {
            const unsigned cp = mdb_->f->code_page;
            if (cp != 0 && cp != 1252) {
                const std::string name = "CP" + std::to_string(cp);
                cp_ = iconv_open("UTF-8", name.c_str());
            }
        }
        lval_.resize(pageSize_);
        return 0;
    }

    MdbHandle* Handle() { return mdb_; }

    // The catalog's table entries, or null when the catalog cannot be read.
    GPtrArray* Catalog() { return mdb_read_catalog(mdb_, MDB_TABLE); }

    static bool IsUserTable(const MdbCatalogEntry* e) {
        return e->object_type == MDB_TABLE && !(static_cast<unsigned>(e->flags) & 0x80000002u);
    }

    MdbCatalogEntry* FindTable(GPtrArray* catalog, const std::string& name) {
        for (guint i = 0; i < catalog->len; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (e->object_type == MDB_TABLE && name == e->object_name) return e;
        }
        gchar* wanted = g_utf8_casefold(name.c_str(), -1);
        MdbCatalogEntry* found = nullptr;
        for (guint i = 0; i < catalog->len && !found; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (e->object_type != MDB_TABLE) continue;
            gchar* have = g_utf8_casefold(e->object_name, -1);
            if (std::strcmp(have, wanted) == 0) found = e;
            g_free(have);
        }
        g_free(wanted);
        return found;
    }

    void OpenTable(MdbCatalogEntry* entry) {
        table_ = mdb_read_table(entry);
        if (!table_) throw Damage{"the definition of table \"" + std::string(entry->object_name) + "\" cannot be read"};
        tableName_ = entry->object_name;
        tablePage_ = static_cast<std::uint32_t>(entry->table_pg);
        // libmdb takes the map on trust and crashes on one that is too short.
        if (!table_->usage_map || table_->map_sz < 5)
            throw Damage{"the page map of table \"" + tableName_ + "\" is broken"};
        if (!mdb_read_columns(table_) || table_->columns->len != table_->num_cols)
            throw Damage{"the columns of table \"" + tableName_ + "\" cannot be read"};
        if (table_->num_cols == 0 || table_->num_cols > MDB_MAX_COLS)
            throw Damage{"table \"" + tableName_ + "\" has an impossible number of columns"};
        fields_ = static_cast<MdbField*>(g_malloc0(sizeof(MdbField) * table_->num_cols));
    }

    const std::string& TableName() const { return tableName_; }
    MdbTableDef* Table() { return table_; }

    static ColumnKind KindOf(int type) {
        switch (type) {
        case MDB_BOOL: return ColumnKind::YesNo;
        case MDB_BYTE:
        case MDB_INT:
        case MDB_LONGINT:
        case MDB_COMPLEX: return ColumnKind::Integer;
        case MDB_MONEY:
        case MDB_FLOAT:
        case MDB_DOUBLE:
        case MDB_NUMERIC: return ColumnKind::Floating;
        case MDB_DATETIME: return ColumnKind::Date;
        case MDB_TEXT:
        case MDB_MEMO:
        case MDB_REPID: return ColumnKind::Text;
        default: return ColumnKind::Unread;
        }
    }

    // Walks the table's data pages and writes every row; returns the count.
    // Throws Damage, or returns false through `writeFailed`.
    std::uint64_t StreamRows(StreamWriter& out, bool& writeFailed) {
        std::string& buf = out.Buffer();
        std::uint64_t total = 0;
        std::uint32_t inMessage = 0;
        std::size_t countAt = 0;
        auto beginMessage = [&] {
            out.Begin(MessageKind::Rows);
            countAt = buf.size();
            PutU32(buf, 0);
            inMessage = 0;
        };
        auto endMessage = [&]() -> bool {
            out.Patch32(countAt, inMessage);
            out.End();
            return out.Flush();
        };
        beginMessage();

        const unsigned char* map = table_->usage_map;
        const bool knownMap = map[0] == 0 || map[0] == 1;
        const std::uint64_t pageCount = fileSize_ / pageSize_;
        std::uint32_t current = 0;
        for (;;) {
            std::uint32_t next;
            if (knownMap) {
                const gint32 found = mdb_map_find_next(mdb_, table_->usage_map, static_cast<unsigned>(table_->map_sz), current);
                if (found < 0) throw Damage{"a page map of table \"" + tableName_ + "\" cannot be read"};
                if (found == 0 || static_cast<std::uint32_t>(found) <= current) break;
                next = static_cast<std::uint32_t>(found);
            } else {
                // An unknown map type: look at every page, as libmdb does.
                next = current + 1;
                if (next >= pageCount) break;
            }
            ReadPage(next, mdb_->pg_buf);
            mdb_->cur_pg = next;
            current = next;
            const unsigned char* page = mdb_->pg_buf;
            // libmdb passes over pages a map marks wrongly (another table's
            // page, a freed one), which happens in files Access wrote; a page
            // that is no kind of page at all is damage.
            if (page[0] > MDB_PAGE_MAP)
                throw Damage{"page " + std::to_string(next) + " of table \"" + tableName_ + "\" is no database page"};
            if (page[0] != MDB_PAGE_DATA || Get32(page + 4) != tablePage_) continue;
            const unsigned rows = Get16(page + rowCountOffset_);
            if (rowCountOffset_ + 2 + 2 * std::size_t(rows) > pageSize_)
                throw Damage{"data page " + std::to_string(next) + " of table \"" + tableName_ + "\" is broken"};
            for (unsigned r = 0; r < rows; ++r) {
                const unsigned raw = Get16(page + rowCountOffset_ + 2 + 2 * r);
                if (raw & kRowDeleted) continue;
                const unsigned start = raw & kRowOffsetMask;
                const unsigned end = r == 0 ? pageSize_ : (Get16(page + rowCountOffset_ + 2 * r) & kRowOffsetMask);
                if (start >= pageSize_ || start > end || end > pageSize_) {
                    if (raw & kRowOverflow) continue;
                    throw Damage{RowPlace(next, r) + " has an impossible position"};
                }
                if (start == end) continue;
                if (mdb_crack_row(table_, static_cast<int>(start), end - start, fields_) < 0) {
                    // An overflow pointer is no row; libmdb passes over it.
                    if (raw & kRowOverflow) continue;
                    throw Damage{RowPlace(next, r) + " is broken"};
                }
                WriteRow(buf, start, end, next, r);
                ++inMessage;
                ++total;
                if (buf.size() >= kFlushSize) {
                    if (!endMessage()) {
                        writeFailed = true;
                        return total;
                    }
                    beginMessage();
                }
            }
        }
        if (inMessage > 0 && !endMessage()) {
            writeFailed = true;
            return total;
        }
        if (inMessage == 0) buf.clear();
        return total;
    }

private:
    std::string RowPlace(std::uint32_t page, unsigned row) const {
        return "row " + std::to_string(row) + " on page " + std::to_string(page) + " of table \"" + tableName_ + "\"";
    }

    void ReadPage(std::uint32_t page, unsigned char* dst) {
        if ((std::uint64_t(page) + 1) * pageSize_ > fileSize_)
            throw Damage{"page " + std::to_string(page) + " of table \"" + tableName_ +
                         "\" lies beyond the end of the file (the file is cut short)"};
        if (encrypted_) {
            // libmdb knows the page cipher.
            if (mdb_read_alt_pg(mdb_, page) != static_cast<ssize_t>(pageSize_))
                throw Damage{"page " + std::to_string(page) + " cannot be read"};
            std::memcpy(dst, mdb_->alt_pg_buf, pageSize_);
            return;
        }
        if (page < windowFirst_ || page >= windowFirst_ + windowPages_) FillWindow(page);
        std::memcpy(dst, window_.data() + (page - windowFirst_) * pageSize_, pageSize_);
    }

    // Reads the pages from `page` on in one go: a table's data and memo
    // pages lie mostly in file order, so most reads are served from here.
    void FillWindow(std::uint32_t page) {
        constexpr std::size_t kWindowPages = 64;
        window_.resize(kWindowPages * pageSize_);
        const std::uint64_t available = fileSize_ / pageSize_ - page;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kWindowPages, available)) * pageSize_;
        windowPages_ = 0;
        std::size_t got = 0;
        while (got < want) {
            const ssize_t n = ::pread(fd_, window_.data() + got, want - got, static_cast<off_t>(page) * pageSize_ + got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw Damage{"page " + std::to_string(page) + " cannot be read: " + std::strerror(errno)};
            if (n == 0) break;  // the file shrank meanwhile
            got += static_cast<std::size_t>(n);
        }
        if (got < pageSize_) throw Damage{"page " + std::to_string(page) + " cannot be read (the file is cut short)"};
        windowFirst_ = page;
        windowPages_ = static_cast<std::uint32_t>(got / pageSize_);
    }

    // One row of an LVAL (long value) page, through a one-page cache: short
    // memos share their pages, so neighbouring rows hit the same page.
    void LvalRow(std::uint32_t pgRow, const unsigned char*& data, std::size_t& size) {
        const std::uint32_t page = pgRow >> 8;
        const unsigned row = pgRow & 0xFF;
        if (page == 0) throw Damage{"a memo of table \"" + tableName_ + "\" points nowhere"};
        if (page != lvalPage_) {
            lvalPage_ = 0;
            ReadPage(page, lval_.data());
            lvalPage_ = page;
        }
        const unsigned char* p = lval_.data();
        const unsigned rows = Get16(p + rowCountOffset_);
        if (p[0] != MDB_PAGE_DATA || row >= rows || rowCountOffset_ + 2 + 2 * std::size_t(rows) > pageSize_)
            throw Damage{"a memo of table \"" + tableName_ + "\" points to a missing row (page " + std::to_string(page) + ")"};
        const unsigned start = Get16(p + rowCountOffset_ + 2 + 2 * row) & kRowOffsetMask;
        const unsigned end = row == 0 ? pageSize_ : (Get16(p + rowCountOffset_ + 2 * row) & kRowOffsetMask);
        if (start > end || end > pageSize_)
            throw Damage{"a memo row on page " + std::to_string(page) + " has an impossible position"};
        data = p + start;
        size = end - start;
    }

    void AppendText(const unsigned char* bytes, std::size_t size, std::string& out) {
        if (!jet3_) {
            AppendJet4Text(bytes, size, out);
        } else if (cp_ == reinterpret_cast<iconv_t>(-1)) {
            AppendCp1252(bytes, size, out);
        } else {
            AppendCodePageText(bytes, size, out);
        }
    }

    void AppendCodePageText(const unsigned char* bytes, std::size_t size, std::string& out) {
        iconv(cp_, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
        std::size_t inLeft = size;
        char chunk[1024];
        while (inLeft > 0) {
            char* o = chunk;
            std::size_t oLeft = sizeof chunk;
            const std::size_t r = iconv(cp_, &in, &inLeft, &o, &oLeft);
            out.append(chunk, static_cast<std::size_t>(o - chunk));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                AppendCodePoint(0xFFFD, out);  // a byte the code page does not define
                ++in;
                --inLeft;
            }
        }
    }

    void AppendMemo(const unsigned char* f, std::size_t size, std::string& out) {
        if (size == 0) return;  // an empty memo without its 12-byte field
        if (size < MDB_MEMO_OVERHEAD) throw Damage{"a memo of table \"" + tableName_ + "\" is broken"};
        const std::uint32_t word = Get32(f);
        const std::uint32_t length = word & 0x00FFFFFF;
        if (word & 0x80000000u) {  // inline, in the row
            AppendText(f + MDB_MEMO_OVERHEAD, size - MDB_MEMO_OVERHEAD, out);
        } else if (word & 0x40000000u) {  // one LVAL row
            const unsigned char* data;
            std::size_t n;
            LvalRow(Get32(f + 4), data, n);
            AppendText(data, n, out);
        } else if ((word & 0xFF000000u) == 0) {  // a chain of LVAL rows
            memo_.clear();
            std::uint32_t pgRow = Get32(f + 4);
            std::uint32_t pieces = 0;
            while (pgRow != 0) {
                const unsigned char* data;
                std::size_t n;
                LvalRow(pgRow, data, n);
                if (n < 4 || memo_.size() + (n - 4) > length || ++pieces > length + 1)
                    throw Damage{"a long memo of table \"" + tableName_ + "\" is broken"};
                pgRow = Get32(data);
                memo_.insert(memo_.end(), data + 4, data + n);
            }
            if (memo_.size() != length) throw Damage{"a long memo of table \"" + tableName_ + "\" is cut short"};
            AppendText(memo_.data(), memo_.size(), out);
        } else {
            throw Damage{"a memo of table \"" + tableName_ + "\" has unknown flags"};
        }
    }

    static double NumericValue(const unsigned char* p, int scale) {
        // Sign byte, then four 32-bit little-endian words, most significant first.
        unsigned __int128 v = 0;
        for (int word = 0; word < 4; ++word) v = (v << 32) | Get32(p + 1 + 4 * word);
        long double d = static_cast<long double>(v);
        for (int i = 0; i < scale && i < 38; ++i) d /= 10;
        return static_cast<double>((p[0] & 0x80) ? -d : d);
    }

    void WriteRow(std::string& buf, unsigned rowStart, unsigned rowEnd, std::uint32_t page, unsigned r) {
        const unsigned char* pg = mdb_->pg_buf;
        for (unsigned i = 0; i < table_->num_cols; ++i) {
            const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table_->columns, i));
            const MdbField& f = fields_[i];
            if (col->col_type == MDB_BOOL) {
                // A Yes/No value is its null-mask bit.
                buf.push_back(static_cast<char>(f.is_null ? CellTag::False : CellTag::True));
                continue;
            }
            if (f.is_null || KindOf(col->col_type) == ColumnKind::Unread) {
                buf.push_back(static_cast<char>(CellTag::Null));
                continue;
            }
            if (f.siz < 0 || f.start < static_cast<int>(rowStart) || static_cast<unsigned>(f.start) + unsigned(f.siz) > rowEnd)
                throw Damage{RowPlace(page, r) + " has a field outside the row"};
            const unsigned char* v = pg + f.start;
            const std::size_t size = static_cast<std::size_t>(f.siz);
            auto need = [&](std::size_t n) {
                if (size < n) throw Damage{RowPlace(page, r) + " has a field that is too short"};
            };
            switch (col->col_type) {
            case MDB_BYTE:
                need(1);
                PutInteger(buf, v[0]);
                break;
            case MDB_INT:
                need(2);
                PutInteger(buf, static_cast<std::int16_t>(Get16(v)));
                break;
            case MDB_LONGINT:
            case MDB_COMPLEX:
                need(4);
                PutInteger(buf, static_cast<std::int32_t>(Get32(v)));
                break;
            case MDB_MONEY: {
                need(8);
                const std::int64_t units = static_cast<std::int64_t>(Get32(v) | (std::uint64_t(Get32(v + 4)) << 32));
                PutFloating(buf, static_cast<double>(units) / 10000.0);
                break;
            }
            case MDB_FLOAT: {
                need(4);
                float fl;
                std::memcpy(&fl, v, 4);
                // The double that prints like the Single: 0.1f reads as 0.1.
                char text[32];
                const auto res = std::to_chars(text, text + sizeof text, fl);
                double d = fl;
                std::from_chars(text, res.ptr, d);
                PutFloating(buf, d);
                break;
            }
            case MDB_DOUBLE: {
                need(8);
                double d;
                std::memcpy(&d, v, 8);
                PutFloating(buf, d);
                break;
            }
            case MDB_NUMERIC:
                need(17);
                PutFloating(buf, NumericValue(v, col->col_prec));
                break;
            case MDB_DATETIME: {
                need(8);
                double d;
                std::memcpy(&d, v, 8);
                buf.push_back(static_cast<char>(CellTag::Date));
                PutDouble(buf, d);
                break;
            }
            case MDB_TEXT:
                text_.clear();
                AppendText(v, size, text_);
                PutTextCell(buf);
                break;
            case MDB_MEMO:
                text_.clear();
                AppendMemo(v, size, text_);
                PutTextCell(buf);
                break;
            case MDB_REPID: {
                need(16);
                char* s = mdb_uuid_to_string(pg, f.start);
                text_.assign(s);
                g_free(s);
                PutTextCell(buf);
                break;
            }
            default:
                buf.push_back(static_cast<char>(CellTag::Null));
                break;
            }
        }
    }

    static void PutInteger(std::string& buf, std::int64_t v) {
        buf.push_back(static_cast<char>(CellTag::Integer));
        PutU64(buf, static_cast<std::uint64_t>(v));
    }
    static void PutFloating(std::string& buf, double d) {
        buf.push_back(static_cast<char>(CellTag::Floating));
        PutDouble(buf, d);
    }
    void PutTextCell(std::string& buf) {
        buf.push_back(static_cast<char>(CellTag::Text));
        PutText(buf, text_);
    }

    MdbHandle* mdb_ = nullptr;
    MdbTableDef* table_ = nullptr;
    MdbField* fields_ = nullptr;
    int fd_ = -1;
    iconv_t cp_ = reinterpret_cast<iconv_t>(-1);
    std::uint64_t fileSize_ = 0;
    std::size_t pageSize_ = 0;
    unsigned rowCountOffset_ = 0;
    bool jet3_ = false;
    bool encrypted_ = false;
    std::string tableName_;
    std::uint32_t tablePage_ = 0;
    std::vector<unsigned char> window_;
    std::uint32_t windowFirst_ = 0;
    std::uint32_t windowPages_ = 0;
    std::vector<unsigned char> lval_;
    std::uint32_t lvalPage_ = 0;
    std::vector<unsigned char> memo_;
    std::string text_;
};

int Read(const ReaderRequest& request, StreamWriter& out) {
    MdbSession session;
    std::string detail;
    if (const int failure = session.Open(request.path, detail))
        return out.Error(static_cast<ReaderFailure>(failure), detail) ? 0 : 3;
    GPtrArray* catalog = session.Catalog();
    if (!catalog) return out.Error(ReaderFailure::NoCatalog, "") ? 0 : 3;

    std::string& buf = out.Buffer();
    if (request.table.empty()) {
        out.Begin(MessageKind::Tables);
        const std::size_t countAt = buf.size();
        PutU32(buf, 0);
        std::uint32_t n = 0;
        for (guint i = 0; i < catalog->len; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (!MdbSession::IsUserTable(e)) continue;
            PutText(buf, e->object_name);
            ++n;
        }
        out.Patch32(countAt, n);
        out.End();
        out.Begin(MessageKind::End);
        PutU64(buf, 0);
        out.End();
        return out.Flush() ? 0 : 3;
    }

    MdbCatalogEntry* entry = session.FindTable(catalog, request.table);
    if (!entry) {
        std::string names;
        for (guint i = 0; i < catalog->len; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
            if (!MdbSession::IsUserTable(e)) continue;
            if (!names.empty()) names += ", ";
            names += e->object_name;
        }
        return out.Error(ReaderFailure::NoTable, names) ? 0 : 3;
    }
    try {
        session.OpenTable(entry);
        MdbTableDef* table = session.Table();
        out.Begin(MessageKind::Header);
        PutText(buf, session.TableName());
        PutU32(buf, table->num_cols);
        for (unsigned i = 0; i < table->num_cols; ++i) {
            const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
            buf.push_back(static_cast<char>(MdbSession::KindOf(col->col_type)));
            PutText(buf, col->name);
        }
        out.End();
        if (!out.Flush()) return 3;
        bool writeFailed = false;
        const std::uint64_t total = session.StreamRows(out, writeFailed);
        if (writeFailed) return 3;
        out.Begin(MessageKind::End);
        PutU64(buf, total);
        out.End();
        return out.Flush() ? 0 : 3;
    } catch (const Damage& damage) {
        buf.clear();  // drop rows of an unfinished message
        return out.Error(ReaderFailure::Damaged, damage.detail) ? 0 : 3;
    }
}

} // namespace

int ReadIntoStream(const ReaderRequest& request, int fd) {
    try {
        StreamWriter out(fd);
        return Read(request, out);
    } catch (const std::bad_alloc&) {
        return 5;
    } catch (...) {
        return 4;
    }
}

} // namespace brevan::dao::detail
