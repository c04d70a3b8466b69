// Scanned rows into row records: the cells a read looks at (the ones it decodes, and every
// cell when no schema pass has checked them), checked against their columns and written
// at their columns' offsets.
#ifndef ZORV_TABLE_RECORDS_H
#define ZORV_TABLE_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "table/csv.h"
#include "table/table.h"

namespace zorv::table {

class RecordWriter {
  public:
    // decode: per column, whether its value goes into the record; check_all: whether every
    // cell is checked, decoded or not.
    RecordWriter(const std::vector<Column>& columns, const std::vector<uint8_t>& decode,
                 bool check_all);

    // Writes the row's decoded columns into record (the others are left as they are). A
    // row must have a cell for every column. On a bad cell returns false with the index of
    // its column and the message.
    bool fill(const char* data, const RowCells& row, std::byte* record, int32_t* bad,
              std::string* message);
    // The cells of a row that fill() looks at are among the first this many.
    size_t columns_needed() const {
        return visits_.empty() ? 0 : static_cast<size_t>(visits_.back().column) + 1;
    }

  private:
    struct Visit {
        int32_t column;
        int32_t offset;
        int32_t width;
        bool numeric;
        bool decode;
        bool check;
    };
    const std::vector<Column>& columns_;
    std::vector<Visit> visits_;
    std::string scratch_;
};

// The message for a row whose cell count differs from the header's.
std::string cell_count_message(size_t cells, size_t header);

}  // namespace zorv::table

#endif
