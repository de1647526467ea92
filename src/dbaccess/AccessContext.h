#pragma once
// What the Access back end's parts share about an open file: its header,
// layout, code page and pages, the damaged-database error and the ADO type
// codes the reader reports.

#include "AccessFile.h"
#include "AccessPages.h"
#include "AccessSalvage.h"
#include "AccessTable.h"
#include "AccessText.h"
#include "core/DbError.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace qb::access {


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

inline bool equalsNoCase(const std::string& a, const std::string& b) {
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

[[noreturn]] inline void fail(const std::string& text) { throw DbError(errnum::Generic, text); }

// What the back end and its rowsets share about the file.
struct FileContext {
    std::string path;
    AccessHeader header;
    const Layout& layout;
    CodePage codePage;
    PageSource pages;
    // Salvaging: what cannot be read is passed over and counted instead of
    // failing the read; `owners` finds a table's pages without its map.
    bool salvage = false;
    std::optional<PageOwners> owners;

    FileContext(std::string p, AccessHeader h, std::unique_ptr<PageCodec> codec, bool salvaging = false)
        : path(std::move(p)), header(std::move(h)), layout(layoutFor(header.version)), codePage(header.codePage),
          pages(path, header.pageSize, header.pageCount, std::move(codec), salvaging ? header.tailBytes : 0),
          salvage(salvaging) {
        if (salvage) owners.emplace(pages);
    }
    bool jet3() const { return header.version == 0; }
    std::string damaged() const { return damagedDatabaseText(path); }
};

// The definition starting at `page`; fails with the damaged-database error
// when it cannot be read whole.
TableDef readDefinition(const FileContext& ctx, std::uint32_t page);

}  // namespace qb::access
