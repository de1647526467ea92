#pragma once
// What an Access table's definition says beyond its rows: which columns are
// AutoNumbers or required, and its indexes (the primary key among them).

#include <string>
#include <vector>

namespace qb {

struct TableSchema {
    struct Column {
        std::string name;
        int jetType = 0;          // the column type byte of the file
        bool autoNumber = false;
        bool required = false;    // the "Required" column property
    };
    struct Index {
        struct Part {
            int column = 0;  // position in `columns` (and in the rowset's fields)
            bool ascending = true;
        };
        std::string name;
        std::vector<Part> parts;
        bool primary = false;     // the table's primary key, whatever its name
        bool unique = false;
        bool foreignKey = false;  // made by Access for a relationship
    };
    std::vector<Column> columns;  // in the order of the rowset's fields
    std::vector<Index> indexes;   // logical indexes in the definition's order
};

}  // namespace qb
