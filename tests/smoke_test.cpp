#include <gtest/gtest.h>

#include "complex_ops.hpp"

using geneig::cdiv;
using geneig::cplx;

// Smith's quotient picks its branch by the larger part of the denominator;
// both branches must give the exact quotient for exactly representable data.
TEST(ComplexOps, SmithQuotientBothBranches) {
  EXPECT_EQ(cdiv(cplx(4, 2), cplx(2, 0)), cplx(2, 1));
  EXPECT_EQ(cdiv(cplx(4, 2), cplx(0, 2)), cplx(1, -2));
  EXPECT_EQ(cdiv(cplx(1, 0), cplx(1, 1)), cplx(0.5, -0.5));
}
