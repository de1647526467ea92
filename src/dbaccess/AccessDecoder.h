#pragma once
// The values of an Access table's rows, decoded from their bytes with each
// offset checked against the row, and the ADO types they are reported as.

#include "AccessContext.h"
#include "Connection.h"

#include <map>
#include <string>
#include <unordered_set>
#include <vector>

namespace qb::access {

// ADO type of a Jet column, as the Jet/ACE OLE DB providers report it.
int adoTypeOf(const ColumnDef& c, int resultType);

// The properties of a column kept in MSysObjects.LvProp that the reader uses.
struct ColumnProperties {
    int resultType = 0;     // "ResultType" of a calculated column
    bool required = false;  // "Required"
};

// Column name -> its properties, from an LvProp value.
std::map<std::string, ColumnProperties> columnProperties(const std::vector<unsigned char>& blob,
                                                         const FileContext& ctx);

// Column name -> "ResultType" value.
std::map<std::string, int> calculatedResultTypes(const std::vector<unsigned char>& blob, const FileContext& ctx);

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
    // Salvaging judges each row on its own.
    void clearDamage() { damaged_ = false; }

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


    void decodeField(const ColumnPlan& plan, const unsigned char* row, const FieldSpan& f, Variant& out);
    bool decodeCalculated(const ColumnPlan& plan, const unsigned char* p, std::size_t n, Variant& out);
    static double decimalToDouble(const Decimal& d);
    void decodeExtendedDate(std::string& out, const unsigned char* p, std::size_t n) const;
    bool readLongValue(const unsigned char* p, std::size_t n, const unsigned char*& data, std::size_t& len);
    bool longValueRow(std::uint32_t pgRow, int& start, int& end);

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

}  // namespace qb::access
