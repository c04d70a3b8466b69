// Filling row records. Only the columns a read needs are visited at all; a plain number is
// converted straight away and anything else goes the slow way through check_cell, which
// also words the message, so the two paths cannot disagree on what a cell holds.
#include "table/records.h"

#include <cstring>

#include "table/cells.h"
#include "table/schema.h"

namespace zorv::table {

RecordWriter::RecordWriter(const std::vector<Column>& columns, const std::vector<uint8_t>& decode,
                           bool check_all)
    : columns_(columns) {
    for (size_t i = 0; i < columns.size(); ++i) {
        const bool d = decode[i] != 0 && columns[i].learnt;  // an unlearnt kind is no kind
        if (!d && !check_all) continue;
        const Column& c = columns[i];
        visits_.push_back(
            {static_cast<int32_t>(i), c.offset, c.width, c.kind == Kind::kNumeric, d, check_all});
    }
}

bool RecordWriter::fill(const char* data, const RowCells& row, std::byte* record, int32_t* bad,
                        std::string* message) {
    for (const Visit& v : visits_) {
        const Cell& cell = row.cells[static_cast<size_t>(v.column)];
        const std::string_view text = cell_text(data, cell, &scratch_);
        if (v.numeric) {
            double value;
            const bool valid = v.decode                            ? read_number(text, &value)
                               : cell.quoting == Quoting::kDoubled ? is_number(text)
                                                                   : is_number_in_block(text);
            if (valid) {
                if (v.decode) std::memcpy(record + v.offset, &value, sizeof value);
                continue;
            }
        } else if (!v.check || cell.chars <= v.width) {
            if (v.decode) put_chars(text, cell.chars, v.width, record + v.offset);
            continue;
        }
        double unused;
        *bad = v.column;
        *message = check_cell(columns_[static_cast<size_t>(v.column)], text, cell.chars, &unused);
        return false;
    }
    return true;
}

std::string cell_count_message(size_t cells, size_t header) {
    return "row has " + std::to_string(cells) + " cell" + (cells == 1 ? "" : "s") +
           ", the header has " + std::to_string(header);
}

}  // namespace zorv::table
