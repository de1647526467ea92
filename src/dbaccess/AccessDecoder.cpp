#include "AccessDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qb::access {

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

void RowDecoder::decodeField(const ColumnPlan& plan, const unsigned char* row, const FieldSpan& f, Variant& out) {
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
bool RowDecoder::decodeCalculated(const ColumnPlan& plan, const unsigned char* p, std::size_t n, Variant& out) {
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
double RowDecoder::decimalToDouble(const Decimal& d) {
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
void RowDecoder::decodeExtendedDate(std::string& out, const unsigned char* p, std::size_t n) const {
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
bool RowDecoder::readLongValue(const unsigned char* p, std::size_t n, const unsigned char*& data, std::size_t& len) {
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
bool RowDecoder::longValueRow(std::uint32_t pgRow, int& start, int& end) {
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

}  // namespace qb::access
