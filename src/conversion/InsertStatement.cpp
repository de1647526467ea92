#include "InsertStatement.h"

#include "ColumnType.h"
#include "dbaccess/BoundNumber.h"

#include <algorithm>
#include <stdexcept>

namespace qb {

InsertPlan makeInsertPlan(std::string_view table, const std::vector<FieldInfo>& fields) {
    InsertPlan plan;
    plan.head = "INSERT INTO " + quoteTableName(table) + " VALUES('";
    plan.types.reserve(fields.size());
    plan.passedOver.reserve(fields.size());
    for (const FieldInfo& f : fields) {
        plan.types.push_back(f.type);
        plan.passedOver.push_back(isLongBinary(f.type) ? 1 : 0);
    }
    return plan;
}

std::vector<char> bindKinds(const InsertPlan& plan, const std::vector<char>& blob) {
    std::vector<char> kinds;
    for (std::size_t f = 0; f < plan.types.size(); ++f) {
        if (f < blob.size() && blob[f]) {
            kinds.push_back(kBindBytes);
            continue;
        }
        if (plan.passedOver[f]) continue;
        const std::string_view declared = columnTypeFor(plan.types[f]).declaredType;
        kinds.push_back(declared == "INTEGER" || declared == "NUMERIC" ? kBindNumber : kBindText);
    }
    return kinds;
}

void beginInsert(std::string& statement, const InsertPlan& plan) { statement.assign(plan.head); }

void appendInsertValue(std::string& statement, std::string_view valueText) {
    if (valueText.empty()) appendInsertNull(statement);
    else appendInsertText(statement, valueText);
}

void appendInsertNull(std::string& statement) {
    if (!statement.empty()) statement.pop_back();
    statement += "NULL, '";
}

void appendInsertText(std::string& statement, std::string_view valueText) {
    statement.reserve(statement.size() + valueText.size() + 8);
    // Copies the spans between quotes and NULs whole: a quote is doubled, a
    // NUL left out.
    std::size_t from = 0;
    for (std::size_t at = valueText.find_first_of(std::string_view("'\0", 2)); at != std::string_view::npos;
         at = valueText.find_first_of(std::string_view("'\0", 2), from)) {
        statement.append(valueText, from, at - from);
        if (valueText[at] == '\'') statement += "''";
        from = at + 1;
    }
    statement.append(valueText, from);
    statement += "', '";
}

void appendInsertBytes(std::string& statement, BoundValues* bound, const Variant& value) {
    const auto* bytes = std::get_if<Bytes>(&value);
    if (bound) {
        if (bytes) bound->emplace_back(std::string(bytes->begin(), bytes->end()));
        else bound->emplace_back();
        return;
    }
    if (!bytes) {
        appendInsertNull(statement);
        return;
    }
    if (!statement.empty()) statement.pop_back();
    statement += "X'";
    appendHex(statement, *bytes);
    statement += "', '";
}

void bindValueText(BoundValues& bound, std::string&& text) {
    if (text.find('\0') != std::string::npos) text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    bound.emplace_back(std::move(text));
}

void finishInsert(std::string& statement) {
    statement.erase(statement.size() - std::min<std::size_t>(3, statement.size()));
    statement += ')';
}

void renderInsert(std::string& statement, std::string& scratch, const InsertPlan& plan,
                  const std::vector<Variant>& row, const ValueFormat& format) {
    if (row.size() != plan.types.size()) throw std::invalid_argument("Row does not match the table's fields");
    beginInsert(statement, plan);
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (plan.passedOver[i]) continue;
        scratch.clear();
        appendValueText(scratch, row[i], plan.types[i], format);
        appendInsertValue(statement, scratch);
    }
    finishInsert(statement);
}

std::string renderInsert(const InsertPlan& plan, const std::vector<Variant>& row, const ValueFormat& format) {
    std::string statement;
    std::string scratch;
    renderInsert(statement, scratch, plan, row, format);
    return statement;
}

}  // namespace qb
