#pragma once
// Names of the ADO field type codes. They are the program's vocabulary for
// field types: the conversion chooses column types and value handling from
// the lower-cased name.

#include <QString>
#include <string_view>

namespace qb {

// The enumerator name for an ADO type code ("adVarWChar"), or the empty text
// for a code without a name (also any code that carries the adArray flag).
QString AdoTypeName(int code);

// The same name as ASCII, without allocating; empty for unnamed codes.
std::string_view adoTypeNameAscii(int code);

// The lower-cased name ("advarwchar"), without allocating; empty for
// unnamed codes. This is the form the conversion matches on.
std::string_view adoTypeNameLower(int code);

}  // namespace qb
