#pragma once
// Where things sit in the pages of an Access file, one layout per format
// version. Nothing else in the reader names a raw offset of a page or a
// table definition; everything it reads through these numbers is checked
// against the size of what holds it before it is read.
//
// The file is a sequence of pages (2048 bytes in Jet 3, 4096 in Jet 4 and
// ACE). The first byte of a page tells its kind: 0x00 the header (page 0),
// 0x01 data, 0x02 table definition, 0x03/0x04 index, 0x05 usage map.
// Integers are little-endian. A "row pointer" is a 32-bit value: the page
// number in the upper 24 bits, the row number on that page in the low 8.
//
// Data page:  0 kind (0x01) | 2 free space (16) | 4 owner: the first
//   definition page of the table (32; "LVAL" on long-value pages) | Jet 4
//   only: 4 unknown bytes | row count (16) | row offsets (16 each).
//   An offset's low 13 bits give where the row starts; the row ends where
//   the previous row starts (the first row at the page's end). 0x8000 marks
//   a deleted row, 0x4000 a row that holds only a row pointer to where the
//   row now lives (the copy there is marked deleted).
//
// Row:  column count (Jet 3: 1 byte, Jet 4: 2) | fixed-size columns at their
//   definition's offset | variable-size columns | end-of-data offset |
//   offsets of the variable columns, last first (Jet 3: 1 byte each, with a
//   jump table adding 256 for every entry it passes; Jet 4: 2 bytes) |
//   count of variable columns (1 or 2 bytes) | null mask, one bit per
//   column number, set when the value is present. Yes/No values are their
//   bit. The variable part is absent when the definition has no variable
//   columns.
//
// Table definition: a chain of pages of kind 0x02 (4: next page, 0 at the
// end); the pages after the first add their bytes from offset 8. Then: the
// header fields below, one entry per real index, one entry per column, the
// column names (Jet 3: 1-byte length and code-page bytes; Jet 4: 2-byte
// length and UTF-16LE, possibly compressed), the real index definitions
// (up to ten column numbers with their order, flags), the logical index
// entries (number, real index, relationship data, kind: 1 primary key,
// 2 foreign key) and the logical index names.
//
// Usage map: a row named by a row pointer in the definition. Type 0: a
// 32-bit first page, then a bitmap (bit n: page first + n belongs to the
// table). Type 1: 32-bit numbers of pages of kind 0x05, whose bytes from
// offset 4 are a bitmap of (page size - 4) * 8 pages each, the k-th map
// page covering the k-th such stretch of the file.
//
// Long values (memo, OLE): a 12-byte field: length (30 bits) with 0x80 in
// the top byte for "inline after this header", 0x40 for "in one row",
// neither for "a chain of rows, each starting with the row pointer of the
// next"; then the row pointer; then 4 unused bytes.
//
// Calculated columns (ACE 2010 and later, extended flags 0xC0): the stored
// value is wrapped in 16 reserved bytes and a 32-bit length; its bytes are
// those of the expression's result type (a column property), which need not
// be the column's own type.

#include <cstddef>
#include <cstdint>

namespace qb::access {

inline std::uint16_t u16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t u24(const unsigned char* p) { return p[0] | (p[1] << 8) | (static_cast<std::uint32_t>(p[2]) << 16); }
inline std::uint32_t u32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t u64(const unsigned char* p) { return u32(p) | (static_cast<std::uint64_t>(u32(p + 4)) << 32); }

namespace page {
constexpr unsigned char Header = 0x00, Data = 0x01, TableDef = 0x02, UsageMap = 0x05;
}

namespace rowflag {
constexpr std::uint16_t OffsetMask = 0x1FFF, Deleted = 0x8000, Pointer = 0x4000;
}

namespace colflag {
constexpr unsigned char Fixed = 0x01;
constexpr unsigned char AutoLong = 0x04;  // a Long AutoNumber
constexpr unsigned char Calculated = 0xC0;  // in the extended flags
}

// Jet column types.
namespace coltype {
constexpr int Bool = 0x01, Byte = 0x02, Int = 0x03, Long = 0x04, Money = 0x05, Float = 0x06, Double = 0x07,
              DateTime = 0x08, Binary = 0x09, Text = 0x0A, Ole = 0x0B, Memo = 0x0C, Guid = 0x0F, Numeric = 0x10,
              Complex = 0x12, BigInt = 0x13, ExtDateTime = 0x14;
}

constexpr std::size_t kCalcHeader = 20;       // reserved bytes and the length
constexpr std::size_t kCalcLengthOffset = 16;
constexpr std::size_t kLongValueHeader = 12;

struct Layout {
    int pageSize;
    // data pages
    int dataOwner;
    int dataRowCount;  // row offsets follow
    // rows
    int rowCountBytes;  // column count and variable-column count
    // table definition header
    int tdefNext, tdefRows, tdefVarCols, tdefCols, tdefLogicalIdx, tdefRealIdx, tdefUsageMap, tdefFreeMap;
    int tdefRealIdxStart, realIdxEntry;
    // column entry
    int colEntry, colType, colNumber, colVarIndex, colPrecision, colScale, colFlags, colExtFlags, colFixedOffset,
        colSize;
    int nameLengthBytes;  // 1: code-page bytes, 2: UTF-16LE bytes
    // real index definition: reserved bytes, ten (column, order) pairs, then
    // used-pages map, first page, flags (Jet 4 has 4 more bytes before them)
    int realIdxDef, realIdxColumns, realIdxFlags;
    // logical index entry
    int logicalIdxEntry, lixNumber, lixRealIndex, lixRelTableType, lixRelIndex, lixRelTablePage, lixCascadeUpdates,
        lixCascadeDeletes, lixType;
    int tdefContinuation;  // bytes skipped at the start of each later definition page
};

constexpr Layout kJet3 = {
    2048,
    4, 8,
    1,
    4, 12, 23, 25, 27, 31, 35, 39,
    43, 8,
    18, 0, 1, 3, 9, 10, 13, -1, 14, 16,
    1,
    39, 0, 38,
    20, 0, 4, 8, 9, 13, 17, 18, 19,
    8,
};

constexpr Layout kJet4 = {
    4096,
    4, 12,
    2,
    4, 16, 43, 45, 47, 51, 55, 59,
    63, 12,
    25, 0, 5, 7, 11, 12, 15, 16, 21, 23,
    2,
    52, 4, 46,
    28, 4, 8, 12, 13, 17, 21, 22, 23,
    8,
};

inline const Layout& layoutFor(int version) { return version == 0 ? kJet3 : kJet4; }

}  // namespace qb::access
