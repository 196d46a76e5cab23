// What inverse iteration (inverse_iteration.cpp) and its cluster refinement
// (cluster_refinement.cpp) share: the solves with T - lambda I, on W's
// columns 3..7 and IW as pictured in inverse_iteration.cpp, and the
// refinement itself.
#pragma once

#include "eigch_phases.hpp"
#include "workspace.hpp"

namespace geneig::detail {

// T - lambda I = P L U with row interchanges, every pivot of magnitude
// below 1e-30 raised to it: U in columns 3..5, L's multipliers in column
// 6, the interchanges in IW.
void factor_shifted_tridiagonal(const RMat& W, int* IW, int n, double lambda);

// x := U^-1 x, x in column 7.
void solve_upper(const RMat& W, int n);

// x := L^-1 P x, x in column 7: the interchanges and multipliers of the
// factorization applied to it.
void apply_elimination(const RMat& W, int* IW, int n);

// Vector m+1 of a cluster whose first m vectors are the columns of
// work.cluster_basis, as the two solves left it in column 7, refined
// against them with shift (lambda its eigenvalue); on return column 7 holds
// it and column m+1 of the basis its orthonormal direction (or zeros).
// False when it could not be told from the others.
bool refine_in_cluster(const RMat& W, int* IW, int n, int m, double lambda, double shift,
                       const SpectrumScale& scale, Workspace& work);

}  // namespace geneig::detail
