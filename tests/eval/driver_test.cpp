// The driver: truth values of leaves, columns in every place a row can hold them, reference
// leaves, the logical operators and null tests, work areas and the instance lock.
#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

TEST_F(EvalTest, ColumnsCompareWithConstants) {
    Row row;
    row.x = 7;
    EXPECT_EQ(truth("x > 5 and x < 10", row), 1);
    row.x = 10;
    EXPECT_EQ(truth("x > 5 and x < 10", row), 0);
}

}  // namespace
}  // namespace evaltest
