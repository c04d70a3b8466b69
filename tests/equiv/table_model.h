// The tables the equivalence test runs clauses over: a fixed set of columns held in every
// way a row can hold a value (in place, shortened, by pointer, length-prefixed, through a
// fetch callback), rows as plain values for the reference evaluator and as row records
// for the library, and the name-binding callback that ties a clause's names to them.
#ifndef ZORV_TESTS_EQUIV_TABLE_MODEL_H
#define ZORV_TESTS_EQUIV_TABLE_MODEL_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zorv/zorv.h"

namespace equiv {

// How a row holds a column's value.
enum class Holding {
    kInPlace,    // the value itself at the column's offset
    kShortened,  // a numeric value in its 4 most significant bytes
    kPointer,    // the address of a double
    kPrefix16,   // the address of a 16-bit byte length followed by the characters
    kPrefix32,   // the address of a 32-bit byte length followed by the characters
    kFetched,    // through the column's fetch callback
};

struct Column {
    const char* name;
    bool numeric;
    int width;  // characters of a text column (the longest value of a varying one)
    Holding holding;
    bool negative_offset;  // bound with a negative offset, which the evaluator corrects

    bool varying() const { return !numeric && holding != Holding::kInPlace; }
};

// The columns every clause may name. Text columns of fixed width hold their values padded
// with blanks; varying ones hold values of any length up to their width.
const std::vector<Column>& columns();
// Index of a column by its upper-case name, or -1.
int column_index(const std::string& name);

// One row as values: a double for a numeric column, the characters for a text column.
struct Row {
    std::vector<double> num;           // by column index (unused for text columns)
    std::vector<std::u32string> text;  // by column index (unused for numeric columns)
};

// The ordinary missing value and the missing value of a rank (1 underscore, 2 ordinary,
// 3..28 the letters A..Z), as bit patterns.
double missing(int rank);
int missing_rank(double v);

// Rows as the library reads them: one record per row, with the storage its pointers
// reach, kept alive and in place for as long as the table lives.
class RowRecords {
  public:
    explicit RowRecords(const std::vector<Row>& rows);
    const void* record(size_t i) const { return records_[i].get(); }
    size_t size() const { return records_.size(); }

  private:
    std::vector<std::unique_ptr<uint64_t[]>> records_;
    std::vector<std::unique_ptr<uint64_t[]>> storage_;  // what the records point at
};

// The name-binding callback: binds the leaf to the column of its name; an unknown name
// gets status 99.
int32_t bind_column(void* ctx, ZNode* leaf, NQJournal* jnl);

// A row as text for messages: X=1 Y=. A='ab' ...
std::string describe(const Row& row);
std::string quote(const std::u32string& s);

}  // namespace equiv

#endif
