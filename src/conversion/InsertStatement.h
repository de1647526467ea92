#pragma once
// One source row as an INSERT statement: every transferred value a quoted
// text literal or NULL, long binary fields passed over.
//
// The conversion run traps each step by itself (a failing value must not
// lose the rest of the row), so the statement is built through the small
// steps below; renderInsert chains them for callers that need no trap.
// Value texts are written as they are apart from doubling "'" and dropping
// NUL characters: numbers already carry a decimal point, and text is never
// reinterpreted as a number.

#include "ValueText.h"
#include "dbaccess/Connection.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// What a table's rows share, prepared once before the first row.
struct InsertPlan {
    std::string head;                // INSERT INTO "t" VALUES('
    std::vector<int> types;          // ADO type per field
    std::vector<char> passedOver;    // per field: long binary, no column
};

InsertPlan makeInsertPlan(std::string_view table, const std::vector<FieldInfo>& fields);

// [320] Starts the statement; it ends in a quote that waits for a value.
void beginInsert(std::string& statement, const InsertPlan& plan);
// [330] to [344]: NULL for an empty value text, the quoted text otherwise.
void appendInsertValue(std::string& statement, std::string_view valueText);
// [332], [334] Replaces the waiting quote by NULL.
void appendInsertNull(std::string& statement);
// [336] to [344] The text with "'" doubled and NUL characters removed,
// closing its literal and opening the next one.
void appendInsertText(std::string& statement, std::string_view valueText);
// Values for a host that binds them instead of reading literals.
using BoundValues = std::vector<std::optional<std::string>>;
// A BLOB field's value: its bytes bound when `bound` is given, otherwise an
// X'…' literal in place of the waiting quote; NULL for anything but bytes.
void appendInsertBytes(std::string& statement, BoundValues* bound, const Variant& value);
// A non-empty value text, bound as what its quoted literal stands for (NUL
// characters left out as there).
void bindValueText(BoundValues& bound, std::string&& text);
// How a binding host binds each value the run hands it (one per field
// that is not passed over): `blob` marks fields whose bytes are bound,
// numeric columns may take their values as numbers.
std::vector<char> bindKinds(const InsertPlan& plan, const std::vector<char>& blob);
// [348], [350] Drops the separator after the last value and closes the list.
void finishInsert(std::string& statement);

// The whole statement for one row (one value per field of the plan).
// A value without a text form throws; the statement is then incomplete.
std::string renderInsert(const InsertPlan& plan, const std::vector<Variant>& row, const ValueFormat& format);
// The same into caller-owned buffers, for loops over many rows.
void renderInsert(std::string& statement, std::string& scratch, const InsertPlan& plan,
                  const std::vector<Variant>& row, const ValueFormat& format);

}  // namespace qb
