#pragma once
// Attachment, multi-value and version-history columns. The parent row holds
// only a key (Backend::openTableWithComplexKeys gives it); the entries are
// rows of a hidden table of the file, one per attachment, value or version,
// whose key column holds the parent row's key.

#include "Connection.h"

#include <optional>
#include <string>
#include <vector>

namespace qb {

enum class ComplexKind { Attachment, MultiValue, VersionHistory };

struct ComplexColumn {
    std::string column;     // in the parent table; for a version history the memo column it belongs to
    // Field of the parent's rowset (openTableWithComplexKeys) holding the
    // key: the complex column's own, which for a version history is a
    // hidden column, not `column`.
    int parentField = -1;
    ComplexKind kind = ComplexKind::MultiValue;
    std::string flatTable;  // the hidden table, read with openRowset("SELECT * FROM `flatTable`")
    int keyField = -1;      // field of the hidden table that holds the parent row's key
    // Fields of the hidden table to keep, in the order the child table
    // lists them, with their names there. Attachments: file name, file
    // type, time stamp, then the data (decode it with attachmentFileBytes);
    // multi-value: the value; version history: the text and its date.
    std::vector<int> valueFields;
    std::vector<std::string> valueNames;
    int dataField = -1;     // the attachment's data among valueFields' fields, else -1
                            // (a field number of the hidden table, like keyField)
};

// The complex columns of `table`, in the parent's column order, found through
// MSysComplexColumns and MSysObjects. Throws DbError when those cannot be read.
std::vector<ComplexColumn> complexColumnsOf(Backend& access, const std::string& table);

// The bytes of the attached file from an attachment's stored data (its
// header removed, inflated when stored compressed); no value when the
// stored data is damaged.
std::optional<Bytes> attachmentFileBytes(const Bytes& stored);

}  // namespace qb
