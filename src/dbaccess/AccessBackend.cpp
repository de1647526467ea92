// The Access back end: reads .mdb/.accdb files through libmdb, read-only.
//
// libmdb is used for what it does reliably (opening, decrypting pages,
// parsing table definitions, walking a table's data pages), but never for
// turning values into text: its string binding loses the difference
// between NULL and "", truncates long values and formats numbers and dates
// lossily. Each row is cracked again and its bytes decoded here, with every
// offset checked against the row before it is read. Its catalog reader is
// not used either (it loops forever on some damaged files); MSysObjects is
// read like any other table.

#include "AccessFile.h"
#include "AccessText.h"
#include "Backends.h"
#include "MdbQuiet.h"

// glib first: mdbtools.h includes it inside extern "C", which C++ rejects.
#include <glib.h>
#include <mdbtools.h>

#include <QString>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace qb {

namespace {

using namespace qb::access;

// ADO DataTypeEnum codes reported for Access columns.
namespace ado {
constexpr int SmallInt = 2, Integer = 3, Single = 4, Double = 5, Currency = 6, Date = 7, Boolean = 11,
              UnsignedTinyInt = 17, BigInt = 20, Guid = 72, Binary = 128, WChar = 130, Numeric = 131,
              Chapter = 136, VarWChar = 202, LongVarWChar = 203, VarBinary = 204, LongVarBinary = 205;
}

// Jet column types libmdb has no name for.
constexpr int kTypeBigInt = 0x13;
constexpr int kTypeExtDateTime = 0x14;

constexpr int kOffsetMask = 0x1FFF;
// Calculated columns (ACE 2010+) wrap their value: 16 bytes, a 32-bit
// length, then the value in the column's own type.
constexpr unsigned char kCalculatedFlags = 0xC0;
constexpr std::size_t kCalcLengthOffset = 16;
constexpr std::size_t kCalcDataOffset = 20;

std::uint64_t u64(const unsigned char* p) { return u32(p) | (static_cast<std::uint64_t>(u32(p + 4)) << 32); }

bool equalsNoCase(const std::string& a, const std::string& b) {
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

[[noreturn]] void fail(const std::string& text) { throw DbError(errnum::Generic, text); }

struct HandleCloser {
    void operator()(MdbHandle* h) const {
        QuietLibmdb quiet;
        mdb_close(h);
    }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;

// What the back end and its rowsets share about the file.
struct FileContext {
    std::string path;
    AccessHeader header;
    CodePage codePage;

    FileContext(std::string p, AccessHeader h) : path(std::move(p)), header(std::move(h)), codePage(header.codePage) {}
    bool jet3() const { return header.version == 0; }
    std::string damaged() const { return "The database '" + path + "' is damaged and cannot be read completely."; }
};

Handle openHandle(const FileContext& ctx) {
    QuietLibmdb quiet;
    MdbHandle* h = mdb_open(ctx.path.c_str(), MDB_NOFLAGS);
    if (!h) {
        const std::string why = quiet.firstLine();
        fail("Unrecognized database format '" + ctx.path + "'." + (why.empty() ? "" : " (" + why + ")"));
    }
    Handle handle(h);
    if (h->fmt->pg_size != ctx.header.pageSize || static_cast<int>(h->f->jet_version) != ctx.header.version)
        fail("Unrecognized database format '" + ctx.path + "'.");
    return handle;
}

// Reads a page into the handle's second buffer, leaving the first (the
// data page of the current row) untouched.
const unsigned char* readAltPage(MdbHandle* h, const FileContext& ctx, std::uint32_t pg) {
    if (pg == 0 || static_cast<long long>(pg) >= ctx.header.pageCount) return nullptr;
    if (mdb_read_alt_pg(h, pg) != h->fmt->pg_size) return nullptr;
    return h->alt_pg_buf;
}

// Start and end of row `row` of a data page, from its offset table.
bool rowBounds(const unsigned char* page, int pgSize, int rowCountOffset, int row, int& start, int& end) {
    const int count = u16(page + rowCountOffset);
    const int tableEnd = rowCountOffset + 2 + 2 * count;
    if (row < 0 || row >= count || tableEnd > pgSize) return false;
    start = u16(page + rowCountOffset + 2 + 2 * row) & kOffsetMask;
    end = row == 0 ? pgSize : (u16(page + rowCountOffset + 2 * row) & kOffsetMask);
    return start >= tableEnd && start <= end && end <= pgSize;
}

// One table definition, read from its page and ready for a table scan.
class ScanTable {
public:
    ScanTable(MdbHandle* h, const FileContext& ctx, std::uint32_t tablePage, const std::string& name)
        : h_(h), ctx_(ctx) {
        QuietLibmdb quiet;
        validate(tablePage);
        entry_ = static_cast<MdbCatalogEntry*>(g_malloc0(sizeof(MdbCatalogEntry)));
        entry_->mdb = h;
        entry_->object_type = MDB_TABLE;
        entry_->table_pg = tablePage;
        g_strlcpy(entry_->object_name, name.c_str(), sizeof entry_->object_name);
        def_ = mdb_read_table(entry_);
        if (!def_ || !mdb_read_columns(def_) || !def_->columns || def_->columns->len != def_->num_cols) {
            const std::string why = quiet.firstLine();
            release();
            fail(ctx.damaged() + (why.empty() ? "" : " (" + why + ")"));
        }
        sanitizeUsageMap();
        // libmdb stops at once when the stored row count is 0, and that
        // count is not always right; the pages decide.
        if (def_->num_rows == 0) def_->num_rows = 1;
        fields_.resize(def_->num_cols);
        mdb_rewind_table(def_);
    }
    ~ScanTable() { release(); }
    ScanTable(const ScanTable&) = delete;
    ScanTable& operator=(const ScanTable&) = delete;

    MdbTableDef* def() const { return def_; }
    MdbColumn* column(unsigned i) const { return static_cast<MdbColumn*>(g_ptr_array_index(def_->columns, i)); }
    unsigned columnCount() const { return def_->num_cols; }
    const std::vector<unsigned char>& extFlagsByColNum() const { return extFlags_; }

    // Call inside a QuietLibmdb scope.
    bool fetch() { return mdb_fetch_row(def_) != 0; }
    void rewind() { mdb_rewind_table(def_); }

    // Cracks the row the last fetch() stopped on; false when it cannot be
    // located again (the values are then left null).
    bool crack(int& rowStart, int& rowEnd) {
        if (def_->cur_row == 0) return false;
        int start = 0;
        std::size_t len = 0;
        if (mdb_find_row(h_, static_cast<int>(def_->cur_row) - 1, &start, &len) != 0) return false;
        start &= kOffsetMask;
        if (start + static_cast<long long>(len) > h_->fmt->pg_size) return false;
        if (mdb_crack_row(def_, start, len, fields_.data()) < 0) return false;
        rowStart = start;
        rowEnd = start + static_cast<int>(len);
        return true;
    }
    const MdbField& field(unsigned i) const { return fields_[i]; }

private:
    void release() {
        if (def_) mdb_free_tabledef(def_);
        def_ = nullptr;
        g_free(entry_);
        entry_ = nullptr;
    }

    // Checks what libmdb would otherwise trust blindly: the page type,
    // column and index counts, and the rows holding the usage maps.
    void validate(std::uint32_t tablePage) {
        const MdbFormatConstants* fmt = h_->fmt;
        const unsigned char* p = readAltPage(h_, ctx_, tablePage);
        if (!p || p[0] != 0x02) fail(ctx_.damaged());
        const unsigned numCols = u16(p + fmt->tab_num_cols_offset);
        const std::uint32_t numIdx = u32(p + fmt->tab_num_idxs_offset);
        const std::uint32_t numRealIdx = u32(p + fmt->tab_num_ridxs_offset);
        // (The count of variable columns may exceed the column count: deleted
        // columns keep their slots.)
        if (numCols == 0 || numCols > 255 || numIdx > 1000 || numRealIdx > 1000)
            fail(ctx_.damaged());
        readExtFlags(p, numCols, numRealIdx);
        const std::uint32_t maps[2] = {u32(p + fmt->tab_usage_map_offset), u32(p + fmt->tab_free_map_offset)};
        for (std::uint32_t pgRow : maps) {
            const unsigned char* m = readAltPage(h_, ctx_, pgRow >> 8);
            int start = 0, end = 0;
            if (!m || !rowBounds(m, fmt->pg_size, fmt->row_count_offset, pgRow & 0xFF, start, end) || end - start < 1)
                fail(ctx_.damaged());
        }
    }

    // The extended column flags (calculated columns) that libmdb does not
    // keep, for the column entries found on the definition's first page.
    void readExtFlags(const unsigned char* p, unsigned numCols, std::uint32_t numRealIdx) {
        if (ctx_.jet3()) return;
        const MdbFormatConstants* fmt = h_->fmt;
        extFlags_.assign(256, 0);
        const long long first = fmt->tab_cols_start_offset + static_cast<long long>(numRealIdx) * fmt->tab_ridx_entry_size;
        for (unsigned i = 0; i < numCols; ++i) {
            const long long e = first + static_cast<long long>(i) * fmt->tab_col_entry_size;
            if (e + fmt->tab_col_entry_size > fmt->pg_size) break;
            extFlags_[p[e + fmt->col_num_offset]] = p[e + fmt->col_flags_offset + 1];
        }
    }

    // A usage map of type 1 lists map pages; libmdb exits the process when
    // one of them cannot be read, so pointers past the end are dropped.
    void sanitizeUsageMap() {
        if (!def_->usage_map || def_->map_sz < 1 || def_->usage_map[0] != 1) return;
        for (std::size_t off = 1; off + 4 <= def_->map_sz; off += 4) {
            const std::uint32_t pg = u32(def_->usage_map + off);
            if (pg != 0 && static_cast<long long>(pg) >= ctx_.header.pageCount)
                std::memset(def_->usage_map + off, 0, 4);
        }
    }

    MdbHandle* h_;
    const FileContext& ctx_;
    MdbCatalogEntry* entry_ = nullptr;
    MdbTableDef* def_ = nullptr;
    std::vector<MdbField> fields_;
    std::vector<unsigned char> extFlags_;
};

struct ColumnPlan {
    int jetType = 0;
    int scale = 0;
    bool calculated = false;
};

// ADO type of a Jet column, as the Jet/ACE OLE DB providers report it.
int adoTypeOf(const MdbColumn& c) {
    switch (c.col_type) {
    case MDB_BOOL: return ado::Boolean;
    case MDB_BYTE: return ado::UnsignedTinyInt;
    case MDB_INT: return ado::SmallInt;
    case MDB_LONGINT: return ado::Integer;
    case MDB_MONEY: return ado::Currency;
    case MDB_FLOAT: return ado::Single;
    case MDB_DOUBLE: return ado::Double;
    case MDB_DATETIME: return ado::Date;
    case MDB_BINARY: return c.is_fixed ? ado::Binary : ado::VarBinary;
    case MDB_TEXT: return c.is_fixed ? ado::WChar : ado::VarWChar;
    case MDB_OLE: return ado::LongVarBinary;
    case MDB_MEMO: return ado::LongVarWChar;
    case MDB_REPID: return ado::Guid;
    case MDB_NUMERIC: return ado::Numeric;
    case kTypeBigInt: return ado::BigInt;
    // Attachment and multi-value columns hold only a key into hidden system
    // tables; the providers expose them as chapters (nested rowsets). They
    // are reported as such, with NULL values.
    case MDB_COMPLEX: return ado::Chapter;
    // Date/Time Extended is stored as 42 ASCII characters; it is handed on
    // as text in ISO form, which older providers also do.
    case kTypeExtDateTime: return ado::VarWChar;
    // Unknown column types: their bytes, unchanged.
    default: return ado::VarBinary;
    }
}

// Decodes the values of cracked rows straight from the page buffer.
class RowDecoder {
public:
    RowDecoder(MdbHandle* h, const FileContext& ctx, ScanTable& table) : h_(h), ctx_(ctx), table_(table) {
        const auto& ext = table.extFlagsByColNum();
        for (unsigned i = 0; i < table.columnCount(); ++i) {
            const MdbColumn* c = table.column(i);
            ColumnPlan plan;
            plan.jetType = c->col_type;
            // libmdb reads the precision and scale bytes the other way round.
            plan.scale = c->col_prec;
            plan.calculated = !ext.empty() && c->col_num >= 0 && c->col_num < 256 &&
                              (ext[c->col_num] & kCalculatedFlags) == kCalculatedFlags;
            plans_.push_back(plan);
            fields_.push_back(FieldInfo{c->name, adoTypeOf(*c)});
        }
    }

    const std::vector<FieldInfo>& fields() const { return fields_; }

    // Decodes the current row into `row` (resized to the column count).
    void decode(std::vector<Variant>& row) {
        row.resize(plans_.size());
        int rowStart = 0, rowEnd = 0;
        if (!table_.crack(rowStart, rowEnd)) {
            for (std::size_t i = 0; i < plans_.size(); ++i)
                row[i] = plans_[i].jetType == MDB_BOOL ? Variant(false) : Variant(Null{});
            return;
        }
        for (std::size_t i = 0; i < plans_.size(); ++i)
            decodeField(plans_[i], table_.field(static_cast<unsigned>(i)), rowStart, rowEnd, row[i]);
    }

    // Decodes one column of the current row (used for the catalog).
    Variant decodeColumn(unsigned i) {
        int rowStart = 0, rowEnd = 0;
        Variant v;
        if (table_.crack(rowStart, rowEnd)) decodeField(plans_[i], table_.field(i), rowStart, rowEnd, v);
        return v;
    }

private:
    static std::string& textSlot(Variant& v) {
        if (!std::holds_alternative<std::string>(v)) v = std::string();
        auto& s = std::get<std::string>(v);
        s.clear();
        return s;
    }
    static Bytes& bytesSlot(Variant& v) {
        if (!std::holds_alternative<Bytes>(v)) v = Bytes();
        auto& b = std::get<Bytes>(v);
        b.clear();
        return b;
    }

    void appendText(std::string& out, const unsigned char* p, std::size_t n) const {
        if (ctx_.jet3())
            ctx_.codePage.append(out, p, n);
        else
            appendJet4Text(out, p, n);
    }

    void decodeField(const ColumnPlan& plan, const MdbField& f, int rowStart, int rowEnd, Variant& out) {
        // Yes/No lives in the null bit alone, so it is never NULL.
        if (plan.jetType == MDB_BOOL) {
            out = !f.is_null;
            return;
        }
        if (f.is_null || f.siz < 0 || f.start < rowStart || f.start > rowEnd || f.siz > rowEnd - f.start) {
            out = Null{};
            return;
        }
        const unsigned char* p = h_->pg_buf + f.start;
        std::size_t n = static_cast<std::size_t>(f.siz);
        if (plan.calculated) {
            // A long calculated text keeps its wrapped value in an LVAL row.
            if (n == 12 && plan.jetType == MDB_TEXT) {
                const unsigned char* data = nullptr;
                std::size_t len = 0;
                if (readLongValue(p, n, data, len) && len >= kCalcDataOffset) {
                    longCalc_.assign(data, data + len);
                    p = longCalc_.data();
                    n = longCalc_.size();
                }
            }
            if (n < kCalcDataOffset) {
                out = Null{};
                return;
            }
            const std::size_t len = u32(p + kCalcLengthOffset);
            p += kCalcDataOffset;
            n = std::min(n - kCalcDataOffset, len);
            if (decodeCalculated(plan, p, n, out)) return;
        }
        switch (plan.jetType) {
        case MDB_BYTE:
            if (n < 1) break;
            out = static_cast<std::int64_t>(p[0]);
            return;
        case MDB_INT:
            if (n < 2) break;
            out = static_cast<std::int64_t>(static_cast<std::int16_t>(u16(p)));
            return;
        case MDB_LONGINT:
            if (n < 4) break;
            out = static_cast<std::int64_t>(static_cast<std::int32_t>(u32(p)));
            return;
        case kTypeBigInt:
            if (n < 8) break;
            out = static_cast<std::int64_t>(u64(p));
            return;
        case MDB_MONEY:
            if (n < 8) break;
            out = Currency{static_cast<std::int64_t>(u64(p))};
            return;
        case MDB_FLOAT: {
            if (n < 4) break;
            float v;
            std::memcpy(&v, p, 4);
            out = v;
            return;
        }
        case MDB_DOUBLE:
        case MDB_DATETIME: {
            if (n < 8) break;
            double v;
            std::memcpy(&v, p, 8);
            if (plan.jetType == MDB_DATETIME)
                out = OleDate{v};
            else
                out = v;
            return;
        }
        case MDB_REPID: {
            if (n < 16) break;
            Guid g;
            std::memcpy(g.bytes.data(), p, 16);
            out = g;
            return;
        }
        case MDB_NUMERIC: {
            if (n < 17) break;
            Decimal d;
            d.negative = (p[0] & 0x80) != 0;
            for (int w = 0; w < 4; ++w) d.mantissa = (d.mantissa << 32) | u32(p + 1 + 4 * w);
            d.scale = plan.scale;
            out = d;
            return;
        }
        case MDB_TEXT:
            appendText(textSlot(out), p, n);
            return;
        case MDB_MEMO:
        case MDB_OLE: {
            if (n == 0) {
                // Nothing stored but not NULL: a zero-length value.
                if (plan.jetType == MDB_MEMO)
                    textSlot(out);
                else
                    bytesSlot(out);
                return;
            }
            const unsigned char* data = nullptr;
            std::size_t len = 0;
            if (!readLongValue(p, n, data, len)) break;
            if (plan.jetType == MDB_MEMO)
                appendText(textSlot(out), data, len);
            else
                bytesSlot(out).assign(data, data + len);
            return;
        }
        case MDB_COMPLEX:
            break;
        case kTypeExtDateTime:
            decodeExtendedDate(textSlot(out), p, n);
            return;
        default:  // Binary, and unknown types: their bytes, unchanged
            bytesSlot(out).assign(p, p + n);
            return;
        }
        out = Null{};
    }

    // Calculated results that are not stored in the declared type's own
    // form: a Yes/No result is one byte (0 or FF) even in an integer
    // column, a Decimal result is an OLE DECIMAL (reserved word, scale,
    // sign, high 32 bits, low 64 bits).
    static bool decodeCalculated(const ColumnPlan& plan, const unsigned char* p, std::size_t n, Variant& out) {
        if (n == 1 && (plan.jetType == MDB_INT || plan.jetType == MDB_LONGINT || plan.jetType == kTypeBigInt)) {
            out = static_cast<std::int64_t>(static_cast<std::int8_t>(p[0]));
            return true;
        }
        if (plan.jetType == MDB_DOUBLE && n == 16 && p[2] <= 28) {
            const unsigned __int128 m = (static_cast<unsigned __int128>(u32(p + 4)) << 64) | u64(p + 8);
            double v = static_cast<double>(m);
            for (int i = 0; i < p[2]; ++i) v /= 10.0;
            out = (p[3] & 0x80) ? -v : v;
            return true;
        }
        if (plan.jetType == MDB_NUMERIC) {
            if (n != 16 || p[2] > 28) {
                out = Null{};
                return true;
            }
            Decimal d;
            d.scale = p[2];
            d.negative = (p[3] & 0x80) != 0;
            d.mantissa = (static_cast<unsigned __int128>(u32(p + 4)) << 64) | u64(p + 8);
            out = d;
            return true;
        }
        return false;
    }

    // Date/Time Extended: "<19 digits days since 0001-01-01>:<19 digits
    // hundred-nanosecond ticks of the day>:<precision>"; written out as
    // "YYYY-MM-DD HH:MM:SS.fffffff", or as stored when it does not parse.
    void decodeExtendedDate(std::string& out, const unsigned char* p, std::size_t n) const {
        std::string raw(reinterpret_cast<const char*>(p), n);
        unsigned long long days = 0, ticks = 0;
        const auto colon1 = raw.find(':');
        const auto colon2 = colon1 == std::string::npos ? std::string::npos : raw.find(':', colon1 + 1);
        bool ok = colon1 != std::string::npos && colon2 != std::string::npos && colon1 > 0 && colon2 > colon1 + 1;
        for (std::size_t i = 0; ok && i < colon2; ++i) {
            if (i == colon1) continue;
            if (raw[i] < '0' || raw[i] > '9') ok = false;
            unsigned long long& target = i < colon1 ? days : ticks;
            if (ok) target = target * 10 + static_cast<unsigned>(raw[i] - '0');
            if (target > 1'000'000'000'000'000ULL) ok = false;
        }
        if (!ok || days > 3652058 || ticks >= 864'000'000'000ULL) {
            for (unsigned char c : raw)
                if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
            return;
        }
        // Civil date from the day count (days since 0001-01-01, proleptic Gregorian).
        const long long z = static_cast<long long>(days) - 719162 + 719468;  // to days since 1970, then shift
        const long long era = (z >= 0 ? z : z - 146096) / 146097;
        const unsigned doe = static_cast<unsigned>(z - era * 146097);
        const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        long long y = static_cast<long long>(yoe) + era * 400;
        const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const unsigned mp = (5 * doy + 2) / 153;
        const unsigned d = doy - (153 * mp + 2) / 5 + 1;
        const unsigned m = mp < 10 ? mp + 3 : mp - 9;
        if (m <= 2) ++y;
        const unsigned long long secs = ticks / 10'000'000ULL, frac = ticks % 10'000'000ULL;
        char buf[64];
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02llu:%02llu:%02llu.%07llu", y, m, d, secs / 3600,
                      (secs / 60) % 60, secs % 60, frac);
        out += buf;
    }

    // Memo and OLE values: a 12-byte header in the row (length with two
    // flag bits, then the page and row of the data), the data inline, in
    // one row of an LVAL page, or in a chain of such rows. Points `data`
    // at the bytes; false when nothing usable is there.
    bool readLongValue(const unsigned char* p, std::size_t n, const unsigned char*& data, std::size_t& len) {
        if (n < 12) return false;
        const std::uint32_t head = u32(p);
        const std::size_t want = head & 0x3FFFFFFFu;
        const std::uint32_t kind = head & 0xC0000000u;
        if (kind == 0x80000000u) {  // inline
            data = p + 12;
            len = std::min(want, n - 12);
            return true;
        }
        const MdbFormatConstants* fmt = h_->fmt;
        std::uint32_t pgRow = u32(p + 4);
        if (kind == 0x40000000u) {  // one LVAL row
            const unsigned char* page = readAltPage(h_, ctx_, pgRow >> 8);
            int start = 0, end = 0;
            if (!page || !rowBounds(page, fmt->pg_size, fmt->row_count_offset, pgRow & 0xFF, start, end))
                return false;
            data = page + start;
            len = std::min(want, static_cast<std::size_t>(end - start));
            return true;
        }
        if (kind != 0) return false;
        // A chain: each row starts with the page and row of the next one.
        chain_.clear();
        chain_.reserve(std::min<std::size_t>(want, static_cast<std::size_t>(ctx_.header.pageCount) * fmt->pg_size));
        visited_.clear();
        while (pgRow != 0 && chain_.size() < want) {
            if (!visited_.insert(pgRow).second) break;  // a cycle in a damaged file
            const unsigned char* page = readAltPage(h_, ctx_, pgRow >> 8);
            int start = 0, end = 0;
            if (!page || !rowBounds(page, fmt->pg_size, fmt->row_count_offset, pgRow & 0xFF, start, end) ||
                end - start < 4)
                break;
            pgRow = u32(page + start);
            const std::size_t take = std::min(static_cast<std::size_t>(end - start - 4), want - chain_.size());
            chain_.insert(chain_.end(), page + start + 4, page + start + 4 + take);
        }
        data = chain_.data();
        len = chain_.size();
        return !chain_.empty() || want == 0;
    }

    MdbHandle* h_;
    const FileContext& ctx_;
    ScanTable& table_;
    std::vector<ColumnPlan> plans_;
    std::vector<FieldInfo> fields_;
    std::vector<unsigned char> chain_;
    std::vector<unsigned char> longCalc_;
    std::unordered_set<std::uint32_t> visited_;
};

// Rows of one table, on a handle of its own so that several rowsets can be
// open at once. Rows are decoded in batches, each under one redirection of
// libmdb's output, and handed out by swapping vectors.
class TableRows : public RowSource {
public:
    TableRows(std::shared_ptr<const FileContext> ctx, std::uint32_t tablePage, const std::string& name)
        : ctx_(std::move(ctx)), handle_(openHandle(*ctx_)), table_(handle_.get(), *ctx_, tablePage, name),
          decoder_(handle_.get(), *ctx_, table_) {
        QuietLibmdb quiet;
        while (table_.fetch()) ++count_;
        table_.rewind();
    }

    const std::vector<FieldInfo>& fields() const override { return decoder_.fields(); }
    long long rowCount() override { return count_; }

    bool next(std::vector<Variant>& row) override {
        if (pos_ >= filled_) {
            if (done_) return false;
            refill();
            if (filled_ == 0) return false;
        }
        row.swap(batch_[pos_++]);
        return true;
    }

private:
    static constexpr std::size_t kBatchRows = 256;
    static constexpr std::size_t kBatchBytes = 8u << 20;

    void refill() {
        pos_ = 0;
        filled_ = 0;
        if (batch_.size() < kBatchRows) batch_.resize(kBatchRows);
        QuietLibmdb quiet;
        std::size_t bytes = 0;
        while (filled_ < kBatchRows && bytes < kBatchBytes) {
            if (delivered_ >= count_ || !table_.fetch()) {
                done_ = true;
                break;
            }
            auto& row = batch_[filled_++];
            decoder_.decode(row);
            ++delivered_;
            for (const auto& v : row) {
                if (const auto* s = std::get_if<std::string>(&v)) bytes += s->size();
                if (const auto* b = std::get_if<Bytes>(&v)) bytes += b->size();
            }
        }
    }

    std::shared_ptr<const FileContext> ctx_;
    Handle handle_;
    ScanTable table_;
    RowDecoder decoder_;
    long long count_ = 0;
    long long delivered_ = 0;
    std::vector<std::vector<Variant>> batch_;
    std::size_t pos_ = 0;
    std::size_t filled_ = 0;
    bool done_ = false;
};

struct CatalogObject {
    std::string name;
    int type = 0;
    std::uint32_t flags = 0;
    std::uint32_t page = 0;
};

constexpr std::uint32_t kSystemObject = 0x80000000u;
constexpr std::uint32_t kAccessObject = 0x00000002u;
constexpr int kObjTable = 1, kObjOdbcLink = 4, kObjQuery = 5, kObjLink = 6;

// MSysObjects, whose definition always sits on page 2.
std::vector<CatalogObject> readCatalog(MdbHandle* h, const FileContext& ctx) {
    ScanTable table(h, ctx, 2, "MSysObjects");
    RowDecoder decoder(h, ctx, table);
    int idCol = -1, nameCol = -1, typeCol = -1, flagsCol = -1;
    for (unsigned i = 0; i < table.columnCount(); ++i) {
        const std::string name = table.column(i)->name;
        const int type = table.column(i)->col_type;
        if (equalsNoCase(name, "Id") && type == MDB_LONGINT) idCol = static_cast<int>(i);
        if (equalsNoCase(name, "Name") && type == MDB_TEXT) nameCol = static_cast<int>(i);
        if (equalsNoCase(name, "Type") && type == MDB_INT) typeCol = static_cast<int>(i);
        if (equalsNoCase(name, "Flags") && type == MDB_LONGINT) flagsCol = static_cast<int>(i);
    }
    if (idCol < 0 || nameCol < 0 || typeCol < 0 || flagsCol < 0) fail(ctx.damaged());

    std::vector<CatalogObject> objects;
    QuietLibmdb quiet;
    while (table.fetch()) {
        const Variant id = decoder.decodeColumn(static_cast<unsigned>(idCol));
        const Variant name = decoder.decodeColumn(static_cast<unsigned>(nameCol));
        const Variant type = decoder.decodeColumn(static_cast<unsigned>(typeCol));
        const Variant flags = decoder.decodeColumn(static_cast<unsigned>(flagsCol));
        if (!std::holds_alternative<std::int64_t>(id) || !std::holds_alternative<std::string>(name) ||
            !std::holds_alternative<std::int64_t>(type))
            continue;
        CatalogObject o;
        o.name = std::get<std::string>(name);
        o.type = static_cast<int>(std::get<std::int64_t>(type) & 0x7FFF);
        o.flags = std::holds_alternative<std::int64_t>(flags) ? static_cast<std::uint32_t>(std::get<std::int64_t>(flags)) : 0;
        o.page = static_cast<std::uint32_t>(std::get<std::int64_t>(id)) & 0x00FFFFFFu;
        if (o.name.empty()) continue;
        objects.push_back(std::move(o));
    }
    return objects;
}

// The TABLE_TYPE the providers report, or "" for objects not in the
// tables rowset (forms, reports, action queries and the like).
std::string tableTypeOf(const CatalogObject& o) {
    switch (o.type) {
    case kObjTable:
        if (o.flags & kSystemObject) return "SYSTEM TABLE";
        if (o.flags & kAccessObject) return "ACCESS TABLE";
        return "TABLE";
    case kObjLink: return "LINK";
    case kObjOdbcLink: return "PASS-THROUGH";
    case kObjQuery:
        // The high nibble of the low byte tells the query kind; 0 is select.
        return (o.flags & 0xF0) == 0 ? "VIEW" : "";
    default: return "";
    }
}

class AccessBackend : public Backend {
public:
    AccessBackend(std::shared_ptr<const FileContext> ctx, std::vector<CatalogObject> catalog)
        : ctx_(std::move(ctx)), catalog_(std::move(catalog)) {}

    void execute(const std::string&) override {
        fail("Cannot update. Database or object is read-only.");
    }

    std::unique_ptr<RowSource> openSchemaTables() override {
        struct Entry {
            QString type, name;
            const CatalogObject* object;
        };
        std::vector<Entry> entries;
        for (const auto& o : catalog_) {
            const std::string type = tableTypeOf(o);
            if (!type.empty()) entries.push_back({QString::fromStdString(type), QString::fromUtf8(o.name), &o});
        }
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            if (const int c = a.type.compare(b.type); c != 0) return c < 0;
            return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
        });
        std::vector<std::vector<Variant>> rows;
        rows.reserve(entries.size());
        for (const auto& e : entries)
            rows.push_back({Null{}, Null{}, e.object->name, e.type.toStdString(), Null{}});
        std::vector<FieldInfo> fields = {{"TABLE_CATALOG", ado::VarWChar},
                                         {"TABLE_SCHEMA", ado::VarWChar},
                                         {"TABLE_NAME", ado::VarWChar},
                                         {"TABLE_TYPE", ado::VarWChar},
                                         {"DESCRIPTION", ado::VarWChar}};
        return std::make_unique<MaterializedRows>(std::move(fields), std::move(rows));
    }

    std::unique_ptr<RowSource> openRowset(const std::string& source) override {
        static const std::string prefix = "SELECT * FROM `";
        const bool shaped = source.size() > prefix.size() + 1 &&
                            equalsNoCase(source.substr(0, prefix.size()), prefix) && source.back() == '`' &&
                            source.find('`', prefix.size()) == source.size() - 1;
        if (!shaped)
            fail("The statement '" + source + "' cannot be run on an Access source: only SELECT * FROM `table` is supported.");
        const std::string name = source.substr(prefix.size(), source.size() - prefix.size() - 1);
        const CatalogObject* found = nullptr;
        for (const auto& o : catalog_)
            if ((o.type == kObjTable || o.type == kObjLink || o.type == kObjOdbcLink || o.type == kObjQuery) &&
                equalsNoCase(o.name, name)) {
                found = &o;
                if (o.type == kObjTable) break;
            }
        if (!found)
            fail("The Microsoft Jet database engine cannot find the input table or query '" + name +
                 "'.  Make sure it exists and that its name is spelled correctly.");
        if (found->type != kObjTable)
            fail("'" + name + "' is a linked table or a query; only local tables can be read from '" + ctx_->path + "'.");
        return std::make_unique<TableRows>(ctx_, found->page, found->name);
    }

private:
    std::shared_ptr<const FileContext> ctx_;
    std::vector<CatalogObject> catalog_;
};

}  // namespace

std::unique_ptr<Backend> openAccessBackend(const ConnectionPairs& pairs) {
    const std::string path = connectionValue(pairs, "Data Source").value_or("");
    const std::string password = connectionValue(pairs, "JET OLEDB:Database Password").value_or("");
    if (path.empty()) fail("Could not find file ''.");

    AccessHeader header = inspectAccessFile(path);
    checkAccessPassword(header, password);
    // The password is right, but libmdb cannot decrypt the pages.
    if (header.officeEncrypted)
        fail("The file '" + path +
             "' is encrypted with a database password and cannot be read. "
             "Remove the password in Microsoft Access and try again.");

    clearLibmdbEnvironment();
    auto ctx = std::make_shared<const FileContext>(path, std::move(header));
    Handle handle = openHandle(*ctx);
    std::vector<CatalogObject> catalog = readCatalog(handle.get(), *ctx);
    return std::make_unique<AccessBackend>(std::move(ctx), std::move(catalog));
}

}  // namespace qb
