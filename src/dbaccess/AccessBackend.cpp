// The Access back end: reads .mdb/.accdb files read-only with the reader in
// AccessPages/AccessTable (pages, table definitions, usage maps, rows) and
// decodes every value here, with each offset checked against the row.
//
// Damage is never hidden: a rowset delivers every row it could read and
// then fails with the damaged-database error when a page the table needs
// was missing, unreadable or not the table's, or a row could not be
// cracked. A catalog or table definition that cannot be read fails at once.

#include "AccessFile.h"
#include "AccessPages.h"
#include "AccessTable.h"
#include "AccessText.h"
#include "Backends.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
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

// The result types of calculated columns (the "ResultType" column
// property), numbered as the column types are.
namespace result {
constexpr int None = -1, YesNo = coltype::Bool, Byte = coltype::Byte, Integer = coltype::Int, Long = coltype::Long,
              Currency = coltype::Money, Single = coltype::Float, Double = coltype::Double, Date = coltype::DateTime,
              Text = coltype::Text, Memo = coltype::Memo, Guid = coltype::Guid, Decimal = coltype::Numeric,
              BigInt = coltype::BigInt;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

[[noreturn]] void fail(const std::string& text) { throw DbError(errnum::Generic, text); }

// What the back end and its rowsets share about the file.
struct FileContext {
    std::string path;
    AccessHeader header;
    const Layout& layout;
    CodePage codePage;
    PageSource pages;

    FileContext(std::string p, AccessHeader h, std::unique_ptr<PageCodec> codec)
        : path(std::move(p)), header(std::move(h)), layout(layoutFor(header.version)), codePage(header.codePage),
          pages(path, header.pageSize, header.pageCount, std::move(codec)) {}
    bool jet3() const { return header.version == 0; }
    std::string damaged() const { return "The database '" + path + "' is damaged and cannot be read completely."; }
};

TableDef readDefinition(const FileContext& ctx, std::uint32_t page) {
    auto def = readTableDef(ctx.pages, ctx.layout, ctx.codePage, page);
    if (!def) fail(ctx.damaged());
    return std::move(*def);
}

// ADO type of a Jet column, as the Jet/ACE OLE DB providers report it.
int adoTypeOf(const ColumnDef& c, int resultType) {
    if (resultType == result::YesNo) return ado::Boolean;
    switch (c.type) {
    case coltype::Bool: return ado::Boolean;
    case coltype::Byte: return ado::UnsignedTinyInt;
    case coltype::Int: return ado::SmallInt;
    case coltype::Long: return ado::Integer;
    case coltype::Money: return ado::Currency;
    case coltype::Float: return ado::Single;
    case coltype::Double: return ado::Double;
    case coltype::DateTime: return ado::Date;
    case coltype::Binary: return c.fixed() ? ado::Binary : ado::VarBinary;
    case coltype::Text: return c.fixed() ? ado::WChar : ado::VarWChar;
    case coltype::Ole: return ado::LongVarBinary;
    case coltype::Memo: return ado::LongVarWChar;
    case coltype::Guid: return ado::Guid;
    case coltype::Numeric: return ado::Numeric;
    case coltype::BigInt: return ado::BigInt;
    // Attachment and multi-value columns hold only a key into hidden system
    // tables; the providers expose them as chapters (nested rowsets). They
    // are reported as such, with NULL values.
    case coltype::Complex: return ado::Chapter;
    // Date/Time Extended is stored as 42 ASCII characters; it is handed on
    // as text in ISO form, which older providers also do.
    case coltype::ExtDateTime: return ado::VarWChar;
    // Unknown column types: their bytes, unchanged.
    default: return ado::VarBinary;
    }
}

// Column properties kept in MSysObjects.LvProp: a signature ("KKD\0" in
// Jet 3, "MR2\0" later), then chunks of a 32-bit length and a 16-bit kind:
// kind 0x80 lists the property names; kinds 0 and 1 hold the properties of
// the object (empty name) or of one column: 32-bit length, the column name,
// then entries of a 16-bit length, a flag byte, a data type byte, a 16-bit
// index into the names and a 16-bit value size, then the value.
struct ColumnProperties {
    int resultType = 0;     // "ResultType" of a calculated column
    bool required = false;  // "Required"
};

std::map<std::string, ColumnProperties> columnProperties(const std::vector<unsigned char>& blob,
                                                         const FileContext& ctx) {
    std::map<std::string, ColumnProperties> out;
    const std::size_t n = blob.size();
    if (n < 4 || (std::memcmp(blob.data(), "MR2", 4) != 0 && std::memcmp(blob.data(), "KKD", 4) != 0)) return out;
    auto text = [&ctx](const unsigned char* p, std::size_t len) {
        std::string s;
        if (ctx.jet3())
            ctx.codePage.append(s, p, len);
        else
            appendJet4Text(s, p, len);
        return s;
    };
    std::vector<std::string> names;
    for (std::size_t pos = 4; pos + 6 <= n;) {
        const std::size_t len = u32(blob.data() + pos);
        const int kind = u16(blob.data() + pos + 4);
        if (len < 6 || len > n - pos) break;
        const std::size_t end = pos + len;
        std::size_t p = pos + 6;
        if (kind == 0x80) {
            while (p + 2 <= end) {
                const std::size_t k = u16(blob.data() + p);
                p += 2;
                if (k > end - p) break;
                names.push_back(text(blob.data() + p, k));
                p += k;
            }
        } else if (kind == 0 || kind == 1) {
            if (p + 6 <= end) {
                const std::size_t k = u16(blob.data() + p + 4);
                p += 6;
                if (k <= end - p) {
                    const std::string column = text(blob.data() + p, k);
                    p += k;
                    while (p + 8 <= end) {
                        const std::size_t entry = u16(blob.data() + p);
                        const std::size_t nameIndex = u16(blob.data() + p + 4);
                        const std::size_t size = u16(blob.data() + p + 6);
                        if (entry < 8 || entry > end - p || size > entry - 8) break;
                        if (nameIndex < names.size() && size >= 1) {
                            if (equalsNoCase(names[nameIndex], "ResultType")) out[column].resultType = blob[p + 8];
                            if (equalsNoCase(names[nameIndex], "Required")) out[column].required = blob[p + 8] != 0;
                        }
                        p += entry;
                    }
                }
            }
        }
        pos = end;
    }
    return out;
}

// Column name -> "ResultType" value.
std::map<std::string, int> calculatedResultTypes(const std::vector<unsigned char>& blob, const FileContext& ctx) {
    std::map<std::string, int> out;
    for (const auto& [column, props] : columnProperties(blob, ctx))
        if (props.resultType != 0) out[column] = props.resultType;
    return out;
}

struct ColumnPlan {
    int jetType = 0;
    int scale = 0;
    bool calculated = false;
    bool longCalculated = false;  // a calculated text kept as a long value
    int resultType = result::None;
};

// Decodes the values of a table's rows from their bytes.
class RowDecoder {
public:
    // With `complexKeys`, attachment and multi-value columns give the key
    // of their entries instead of NULL.
    RowDecoder(const FileContext& ctx, const TableDef& def, const std::map<std::string, int>& resultTypes,
               bool complexKeys = false)
        : ctx_(ctx), def_(def), complexKeys_(complexKeys) {
        for (const ColumnDef& c : def.columns) {
            ColumnPlan plan;
            plan.jetType = c.type;
            plan.scale = c.scale;
            plan.calculated = c.calculated() && !ctx.jet3();
            if (plan.calculated) {
                const auto it = resultTypes.find(c.name);
                if (it != resultTypes.end() && it->second != 0) plan.resultType = it->second;
                // Without a size of its own, a calculated text is a long value.
                plan.longCalculated = c.type == coltype::Text && (c.size == 0 || plan.resultType == result::Memo);
            }
            plans_.push_back(plan);
            const bool key = complexKeys && c.type == coltype::Complex;
            fields_.push_back(FieldInfo{c.name, key ? ado::Integer : adoTypeOf(c, plan.resultType)});
        }
    }

    const std::vector<FieldInfo>& fields() const { return fields_; }

    // Decodes the row of `len` bytes at `row` into `out` (resized to the
    // column count); false when the row cannot be cracked.
    bool decode(const unsigned char* row, int len, std::vector<Variant>& out) {
        if (!crackRow(def_, ctx_.layout, row, len, spans_)) return false;
        out.resize(plans_.size());
        for (std::size_t i = 0; i < plans_.size(); ++i) decodeField(plans_[i], row, spans_[i], out[i]);
        return true;
    }

    // Decodes one column (used for the catalog); false when the row cannot
    // be cracked.
    bool decodeColumn(const unsigned char* row, int len, std::size_t i, Variant& out) {
        if (!crackRow(def_, ctx_.layout, row, len, spans_)) return false;
        decodeField(plans_[i], row, spans_[i], out);
        return true;
    }

    // True once a long value could not be read whole.
    bool damaged() const { return damaged_; }

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

    // A two-byte text cut short is damage, not a character less: its
    // units would be read off by one byte.
    void setText(Variant& out, const unsigned char* p, std::size_t n) {
        if (ctx_.jet3()) {
            ctx_.codePage.append(textSlot(out), p, n);
        } else if (isWholeJet4Text(p, n)) {
            appendJet4Text(textSlot(out), p, n);
        } else {
            damaged_ = true;
            out = Null{};
        }
    }

    void decodeField(const ColumnPlan& plan, const unsigned char* row, const FieldSpan& f, Variant& out) {
        // Yes/No lives in the null bit alone, so it is never NULL.
        if (plan.jetType == coltype::Bool) {
            out = f.present;
            return;
        }
        if (!f.present) {
            out = Null{};
            return;
        }
        const unsigned char* p = row + f.start;
        std::size_t n = static_cast<std::size_t>(f.size);
        if (plan.calculated) {
            if (plan.longCalculated && n >= kLongValueHeader) {
                const unsigned char* data = nullptr;
                std::size_t len = 0;
                if (!readLongValue(p, n, data, len)) {
                    damaged_ = true;
                    out = Null{};
                    return;
                }
                longCalc_.assign(data, data + len);
                p = longCalc_.data();
                n = longCalc_.size();
            }
            if (n < kCalcHeader) {
                out = Null{};
                return;
            }
            const std::size_t len = u32(p + kCalcLengthOffset);
            p += kCalcHeader;
            n = std::min(n - kCalcHeader, len);
            if (decodeCalculated(plan, p, n, out)) return;
        }
        switch (plan.jetType) {
        case coltype::Byte:
            if (n < 1) break;
            out = static_cast<std::int64_t>(p[0]);
            return;
        case coltype::Int:
            if (n < 2) break;
            out = static_cast<std::int64_t>(static_cast<std::int16_t>(u16(p)));
            return;
        case coltype::Long:
            if (n < 4) break;
            out = static_cast<std::int64_t>(static_cast<std::int32_t>(u32(p)));
            return;
        case coltype::BigInt:
            if (n < 8) break;
            out = static_cast<std::int64_t>(u64(p));
            return;
        case coltype::Money:
            if (n < 8) break;
            out = Currency{static_cast<std::int64_t>(u64(p))};
            return;
        case coltype::Float: {
            if (n < 4) break;
            float v;
            std::memcpy(&v, p, 4);
            out = v;
            return;
        }
        case coltype::Double:
        case coltype::DateTime: {
            if (n < 8) break;
            double v;
            std::memcpy(&v, p, 8);
            if (plan.jetType == coltype::DateTime)
                out = OleDate{v};
            else
                out = v;
            return;
        }
        case coltype::Guid: {
            if (n < 16) break;
            Guid g;
            std::memcpy(g.bytes.data(), p, 16);
            out = g;
            return;
        }
        case coltype::Numeric: {
            if (n < 17) break;
            Decimal d;
            d.negative = (p[0] & 0x80) != 0;
            for (int w = 0; w < 4; ++w) d.mantissa = (d.mantissa << 32) | u32(p + 1 + 4 * w);
            d.scale = plan.scale;
            out = d;
            return;
        }
        case coltype::Text:
            setText(out, p, n);
            return;
        case coltype::Memo:
        case coltype::Ole: {
            if (n == 0) {
                // Nothing stored but not NULL: a zero-length value.
                if (plan.jetType == coltype::Memo)
                    textSlot(out);
                else
                    bytesSlot(out);
                return;
            }
            const unsigned char* data = nullptr;
            std::size_t len = 0;
            if (!readLongValue(p, n, data, len)) {
                damaged_ = true;
                break;
            }
            if (plan.jetType == coltype::Memo)
                setText(out, data, len);
            else
                bytesSlot(out).assign(data, data + len);
            return;
        }
        case coltype::Complex:
            if (!complexKeys_ || n < 4) break;
            out = static_cast<std::int64_t>(static_cast<std::int32_t>(u32(p)));
            return;
        case coltype::ExtDateTime:
            decodeExtendedDate(textSlot(out), p, n);
            return;
        default:  // Binary, and unknown types: their bytes, unchanged
            bytesSlot(out).assign(p, p + n);
            return;
        }
        out = Null{};
    }

    // A calculated value is stored in the bytes of its result type, which
    // may differ from the column's type; it is handed on in the column's
    // kind where that loses nothing (a Currency or Decimal result in a
    // Double column becomes the nearest double, a Yes/No result in an
    // integer column -1 or 0, reported as Boolean). Without a known result
    // type the size decides: one byte is Yes/No, sixteen a Decimal.
    bool decodeCalculated(const ColumnPlan& plan, const unsigned char* p, std::size_t n, Variant& out) {
        int rt = plan.resultType;
        if (rt == result::None) {
            if (n == 1 && plan.jetType != coltype::Byte) rt = result::YesNo;
            else if (n == 16 && (plan.jetType == coltype::Double || plan.jetType == coltype::Numeric)) rt = result::Decimal;
            else return false;
        }
        switch (rt) {
        case result::YesNo:
            if (n < 1) break;
            out = static_cast<std::int64_t>(p[0] != 0 ? -1 : 0);
            return true;
        case result::Byte:
            if (n < 1) break;
            out = static_cast<std::int64_t>(p[0]);
            return true;
        case result::Integer:
            if (n < 2) break;
            out = static_cast<std::int64_t>(static_cast<std::int16_t>(u16(p)));
            return true;
        case result::Long:
            if (n < 4) break;
            out = static_cast<std::int64_t>(static_cast<std::int32_t>(u32(p)));
            return true;
        case result::BigInt:
            if (n < 8) break;
            out = static_cast<std::int64_t>(u64(p));
            return true;
        case result::Currency: {
            if (n < 8) break;
            const Currency c{static_cast<std::int64_t>(u64(p))};
            if (plan.jetType == coltype::Double || plan.jetType == coltype::Float)
                out = static_cast<double>(c.scaled) / 10000.0;
            else
                out = c;
            return true;
        }
        case result::Single: {
            if (n < 4) break;
            float v;
            std::memcpy(&v, p, 4);
            out = v;
            return true;
        }
        case result::Double:
        case result::Date: {
            if (n < 8) break;
            double v;
            std::memcpy(&v, p, 8);
            if (rt == result::Date || plan.jetType == coltype::DateTime)
                out = OleDate{v};
            else
                out = v;
            return true;
        }
        case result::Decimal: {
            // OLE DECIMAL: reserved 16 bits, scale, sign, high 32 bits, low 64.
            if (n < 16 || p[2] > 28) break;
            Decimal d;
            d.scale = p[2];
            d.negative = (p[3] & 0x80) != 0;
            d.mantissa = (static_cast<unsigned __int128>(u32(p + 4)) << 64) | u64(p + 8);
            if (plan.jetType == coltype::Double || plan.jetType == coltype::Float)
                out = decimalToDouble(d);
            else
                out = d;
            return true;
        }
        case result::Text:
        case result::Memo:
            setText(out, p, n);
            return true;
        case result::Guid: {
            if (n < 16) break;
            Guid g;
            std::memcpy(g.bytes.data(), p, 16);
            out = g;
            return true;
        }
        default:
            return false;
        }
        out = Null{};
        return true;
    }

    // The double nearest to a decimal, rounded once (from its digits).
    static double decimalToDouble(const Decimal& d) {
        char digits[64];
        int k = 0;
        unsigned __int128 m = d.mantissa;
        do {
            digits[k++] = static_cast<char>('0' + static_cast<int>(m % 10));
            m /= 10;
        } while (m != 0);
        std::string text = d.negative ? "-" : "";
        while (k > 0) text += digits[--k];
        text += "e-" + std::to_string(d.scale);
        return std::strtod(text.c_str(), nullptr);
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
    // flag bits, then the row pointer of the data), the data inline, in one
    // row of a long-value page, or in a chain of such rows. Points `data`
    // at the bytes; false when they cannot be read whole.
    bool readLongValue(const unsigned char* p, std::size_t n, const unsigned char*& data, std::size_t& len) {
        if (n < kLongValueHeader) return false;
        const std::uint32_t head = u32(p);
        const std::size_t want = head & 0x3FFFFFFFu;
        const std::uint32_t kind = head & 0xC0000000u;
        if (kind == 0x80000000u) {  // inline
            if (want > n - kLongValueHeader) return false;
            data = p + kLongValueHeader;
            len = want;
            return true;
        }
        std::uint32_t pgRow = u32(p + 4);
        if (kind == 0x40000000u) {  // one row
            int start = 0, end = 0;
            if (!longValueRow(pgRow, start, end)) return false;
            if (want > static_cast<std::size_t>(end - start)) return false;
            data = lval_.data() + start;
            len = want;
            return true;
        }
        if (kind != 0) return false;
        // A chain: each row starts with the row pointer of the next one.
        chain_.clear();
        const std::size_t fileBytes = static_cast<std::size_t>(ctx_.header.pageCount) * ctx_.layout.pageSize;
        if (want > fileBytes) return false;
        chain_.reserve(want);
        visited_.clear();
        while (chain_.size() < want) {
            if (pgRow == 0 || !visited_.insert(pgRow).second) return false;  // cut short, or a cycle
            int start = 0, end = 0;
            if (!longValueRow(pgRow, start, end) || end - start < 4) return false;
            pgRow = u32(lval_.data() + start);
            const std::size_t take = std::min(static_cast<std::size_t>(end - start - 4), want - chain_.size());
            chain_.insert(chain_.end(), lval_.data() + start + 4, lval_.data() + start + 4 + take);
        }
        data = chain_.data();
        len = chain_.size();
        return true;
    }

    // Reads the page of a long-value row into lval_ and finds the row.
    bool longValueRow(std::uint32_t pgRow, int& start, int& end) {
        const std::uint32_t pg = pgRow >> 8;
        // Page 0 is never a long-value page; it is also what lvalPage_ holds
        // before the first read.
        if (pg == 0 || pg != lvalPage_) {
            lvalPage_ = 0;
            if (!ctx_.pages.read(pg, lval_) || lval_[0] != page::Data) return false;
            lvalPage_ = pg;
        }
        return rowBounds(lval_.data(), ctx_.layout, static_cast<int>(pgRow & 0xFF), start, end);
    }

    const FileContext& ctx_;
    const TableDef& def_;
    bool complexKeys_ = false;
    std::vector<ColumnPlan> plans_;
    std::vector<FieldInfo> fields_;
    std::vector<FieldSpan> spans_;
    std::vector<unsigned char> lval_;
    std::uint32_t lvalPage_ = 0;
    std::vector<unsigned char> chain_;
    std::vector<unsigned char> longCalc_;
    std::unordered_set<std::uint32_t> visited_;
    bool damaged_ = false;
};

// Rows of one table. The table is walked once when the rowset opens, so
// that the row count is exact before the first row; rows are then decoded
// in batches and handed out by swapping vectors. After the last row that
// could be read, damage found on the way fails the rowset.
class TableRows : public RowSource {
public:
    TableRows(std::shared_ptr<const FileContext> ctx, TableDef def, const std::map<std::string, int>& resultTypes,
              bool complexKeys = false)
        : ctx_(std::move(ctx)), def_(std::move(def)), decoder_(*ctx_, def_, resultTypes, complexKeys),
          scan_(scanTable(ctx_->pages, ctx_->layout, def_)) {}

    const std::vector<FieldInfo>& fields() const override { return decoder_.fields(); }
    long long rowCount() override { return static_cast<long long>(scan_.rows.size()); }

    bool next(std::vector<Variant>& row) override {
        if (pos_ >= filled_) {
            if (done_)
                filled_ = pos_ = 0;
            else
                refill();
            if (filled_ == 0) {
                if (scan_.damaged || decoder_.damaged()) fail(ctx_->damaged());
                return false;
            }
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
        std::size_t bytes = 0;
        while (filled_ < kBatchRows && bytes < kBatchBytes) {
            if (next_ >= scan_.rows.size()) {
                done_ = true;
                break;
            }
            const RowLocator at = scan_.rows[next_++];
            int start = 0, end = 0;
            if (at.page != page_) {
                page_ = 0;
                if (!ctx_->pages.read(at.page, buf_)) {
                    scan_.damaged = true;
                    continue;
                }
                page_ = at.page;
            }
            auto& row = batch_[filled_];
            if (!rowBounds(buf_.data(), ctx_->layout, static_cast<int>(at.row), start, end) ||
                !decoder_.decode(buf_.data() + start, end - start, row)) {
                scan_.damaged = true;
                continue;
            }
            ++filled_;
            for (const auto& v : row) {
                if (const auto* s = std::get_if<std::string>(&v)) bytes += s->size();
                if (const auto* b = std::get_if<Bytes>(&v)) bytes += b->size();
            }
        }
    }

    std::shared_ptr<const FileContext> ctx_;
    TableDef def_;
    RowDecoder decoder_;
    TableScan scan_;
    std::size_t next_ = 0;
    std::uint32_t page_ = 0;
    std::vector<unsigned char> buf_;
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
    std::vector<unsigned char> properties;  // LvProp of tables
};

constexpr std::uint32_t kSystemObject = 0x80000000u;
constexpr std::uint32_t kAccessObject = 0x00000002u;
constexpr int kObjTable = 1, kObjOdbcLink = 4, kObjQuery = 5, kObjLink = 6;

// MSysObjects, whose definition always sits on page 2. Read whole or not
// at all: a catalog with rows missing would hide tables.
std::vector<CatalogObject> readCatalog(const FileContext& ctx) {
    const TableDef def = readDefinition(ctx, 2);
    RowDecoder decoder(ctx, def, {});
    int idCol = -1, nameCol = -1, typeCol = -1, flagsCol = -1, propCol = -1;
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        const std::string& name = def.columns[i].name;
        const int type = def.columns[i].type;
        const int at = static_cast<int>(i);
        if (equalsNoCase(name, "Id") && type == coltype::Long) idCol = at;
        if (equalsNoCase(name, "Name") && type == coltype::Text) nameCol = at;
        if (equalsNoCase(name, "Type") && type == coltype::Int) typeCol = at;
        if (equalsNoCase(name, "Flags") && type == coltype::Long) flagsCol = at;
        if (equalsNoCase(name, "LvProp") && type == coltype::Ole) propCol = at;
    }
    if (idCol < 0 || nameCol < 0 || typeCol < 0 || flagsCol < 0) fail(ctx.damaged());

    const TableScan scan = scanTable(ctx.pages, ctx.layout, def);
    if (scan.damaged) fail(ctx.damaged());
    std::vector<CatalogObject> objects;
    std::vector<unsigned char> page;
    std::uint32_t current = 0;
    Variant id, name, type, flags, props;
    for (const RowLocator& at : scan.rows) {
        if (at.page != current) {
            current = 0;
            if (!ctx.pages.read(at.page, page)) fail(ctx.damaged());
            current = at.page;
        }
        int start = 0, end = 0;
        if (!rowBounds(page.data(), ctx.layout, static_cast<int>(at.row), start, end)) fail(ctx.damaged());
        const unsigned char* row = page.data() + start;
        const int len = end - start;
        if (!decoder.decodeColumn(row, len, static_cast<std::size_t>(idCol), id) ||
            !decoder.decodeColumn(row, len, static_cast<std::size_t>(nameCol), name) ||
            !decoder.decodeColumn(row, len, static_cast<std::size_t>(typeCol), type) ||
            !decoder.decodeColumn(row, len, static_cast<std::size_t>(flagsCol), flags))
            fail(ctx.damaged());
        if (!std::holds_alternative<std::int64_t>(id) || !std::holds_alternative<std::string>(name) ||
            !std::holds_alternative<std::int64_t>(type))
            continue;
        CatalogObject o;
        o.name = std::get<std::string>(name);
        // Forms, reports, macros and modules have negative types; they are
        // not tables or queries of any kind.
        o.type = static_cast<int>(std::get<std::int64_t>(type));
        if (o.type < 0 || o.name.empty()) continue;
        o.flags = std::holds_alternative<std::int64_t>(flags) ? static_cast<std::uint32_t>(std::get<std::int64_t>(flags)) : 0;
        o.page = static_cast<std::uint32_t>(std::get<std::int64_t>(id)) & 0x00FFFFFFu;
        if (o.type == kObjTable && propCol >= 0) {
            if (!decoder.decodeColumn(row, len, static_cast<std::size_t>(propCol), props)) fail(ctx.damaged());
            if (const auto* b = std::get_if<Bytes>(&props)) o.properties.assign(b->begin(), b->end());
        }
        objects.push_back(std::move(o));
    }
    if (decoder.damaged()) fail(ctx.damaged());
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
        return openTable(source.substr(prefix.size(), source.size() - prefix.size() - 1), false);
    }

    std::unique_ptr<RowSource> openTableWithComplexKeys(const std::string& table) override {
        return openTable(table, true);
    }

    std::optional<TableSchema> tableSchema(const std::string& table) override {
        const CatalogObject& object = localTable(table);
        const TableDef def = readDefinition(*ctx_, object.page);
        const auto properties = columnProperties(object.properties, *ctx_);
        TableSchema schema;
        std::map<int, int> position;  // column number -> position
        for (const ColumnDef& c : def.columns) {
            position[c.number] = static_cast<int>(schema.columns.size());
            TableSchema::Column column;
            column.name = c.name;
            column.jetType = c.type;
            column.autoNumber = (c.flags & colflag::AutoLong) != 0;
            if (const auto it = properties.find(c.name); it != properties.end()) column.required = it->second.required;
            schema.columns.push_back(std::move(column));
        }
        for (const LogicalIndex& logical : def.indexes) {
            if (logical.realIndex >= def.realIndexes.size()) fail(ctx_->damaged());
            const RealIndex& real = def.realIndexes[logical.realIndex];
            TableSchema::Index index;
            index.name = logical.name;
            index.primary = logical.type == 1;
            index.foreignKey = logical.type == 2;
            index.unique = (real.flags & 0x01) != 0 || index.primary;
            for (const RealIndex::Column& c : real.columns) {
                const auto it = position.find(c.number);
                if (it == position.end()) fail(ctx_->damaged());
                index.parts.push_back({it->second, c.ascending});
            }
            schema.indexes.push_back(std::move(index));
        }
        return schema;
    }

private:
    const CatalogObject& localTable(const std::string& name) const {
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
        return *found;
    }

    std::unique_ptr<RowSource> openTable(const std::string& name, bool complexKeys) {
        const CatalogObject& found = localTable(name);
        TableDef def = readDefinition(*ctx_, found.page);
        return std::make_unique<TableRows>(ctx_, std::move(def), calculatedResultTypes(found.properties, *ctx_),
                                           complexKeys);
    }

    std::shared_ptr<const FileContext> ctx_;
    std::vector<CatalogObject> catalog_;
};

}  // namespace

std::unique_ptr<Backend> openAccessBackend(const ConnectionPairs& pairs) {
    const std::string path = connectionValue(pairs, "Data Source").value_or("");
    const std::string password = connectionValue(pairs, "JET OLEDB:Database Password").value_or("");
    if (path.empty()) fail("Could not find file ''.");

    AccessHeader header = inspectAccessFile(path);
    // The codec decodes every page after 0 before anything reads it.
    auto codec = checkAccessPassword(header, password);
    auto ctx = std::make_shared<const FileContext>(path, std::move(header), std::move(codec));
    std::vector<CatalogObject> catalog = readCatalog(*ctx);
    return std::make_unique<AccessBackend>(std::move(ctx), std::move(catalog));
}

}  // namespace qb
