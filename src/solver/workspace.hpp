// Workspace: every piece of mutable storage that a solve by eigcab or eigch
// uses beyond the caller's arguments (A, B, D, E, V, IW, W), in one place.
//
// A solve keeps nothing else between its phases, and nothing at all between
// solves: two threads that each pass their own Workspace (and their own
// arguments) can solve different pencils at the same time. eigcab and eigch
// without a Workspace argument use one static instance, shared_workspace(),
// and are therefore not reentrant.
//
// Buffers are fixed arrays sized for the largest order NMAX; nothing is
// allocated. Vectors are 1-based (entry 0 unused) unless said otherwise;
// matrices are column-major with leading dimension NMAX, whatever NA is.
// sizeof(Workspace) is about 1.6 MB: give it static storage (or the heap),
// not a thread's stack.
#pragma once

#include "complex_ops.hpp"
#include "eigcab.hpp"
#include "simd.hpp"

namespace geneig {

// A reflection I - u u^H / gamma of the tridiagonal reduction, u in column
// k of the reduced matrix, r = 1/gamma.
struct Reflection {
  int k;
  cplx r;
};

// 64-byte aligned: the AVX-512 kernels move rows of block with aligned
// 512-bit loads and stores.
struct alignas(64) Workspace {
  // Reduction of A (factor L of B): while step k reads the old row and
  // column k, t1(k, j), j < k, holds the new row k and t2(j, k), j > k, the
  // new column k. NMAX x NMAX each.
  cplx t1[NMAX * NMAX];
  cplx t2[NMAX * NMAX];
  // Vectors of one step, entries 1..n: a column's multipliers or their
  // conjugates (factorization of B, reduction of A), and the sums formed
  // from them; in the tridiagonal reduction the two halves of A' u, and
  // sums then also holds q; in the back-transformation weights holds the
  // products of phase factors pi_k.
  cplx weights[NMAX + 1];
  cplx sums[NMAX + 1];
  // (-Im, Re) of the reflection vector u and of q in a tridiagonalization
  // step, entries k+1..n; u_turned also holds (-Im, Re) of the weights in a
  // reduction step of A.
  cplx u_turned[NMAX + 1];
  cplx q_turned[NMAX + 1];
  // Inverse iteration, the other vectors of a group of up to four that go
  // side by side: each one's factorization of T - lambda I and its iterate,
  // shaped like columns 3 to 7 of W (pivots, first and second superdiagonal
  // of U, multipliers, iterate; entries 1..n), and its interchange flags
  // like IW (0-based, entries 0..n-2).
  double lanes[3][5][NMAX + 1];
  int lane_flags[3][NMAX];
  // Cluster refinement: an orthonormal basis q_1..q_m of the eigenvectors
  // of T computed so far for the current cluster (column l, rows 1..n,
  // NMAX x NMAX), and the vector being refined as the two solves gave it
  // (entries 1..n).
  double cluster_basis[NMAX * NMAX];
  double original[NMAX + 1];
  // Back-transformation: the reflections that are not the identity, in the
  // order they are applied (entries 0..n-3), and four eigenvectors at a
  // time, row i of all four in block[i] (entries 1..n; also used by the
  // pencil's back-transformation).
  Reflection reflections[NMAX];
  simd::QuadRow block[NMAX + 1];
};

// The one static workspace of eigcab and eigch without a Workspace
// argument. It lives for the life of the process.
Workspace& shared_workspace();

// The claim of one call on the static workspace, for as long as it lives:
// an atomic flag, set on entry, cleared on exit. A second claim while the
// first is held fails (held() false), and the call is refused rather than
// let two solves write the same storage.
class SharedWorkspaceClaim {
 public:
  SharedWorkspaceClaim();
  ~SharedWorkspaceClaim();
  SharedWorkspaceClaim(const SharedWorkspaceClaim&) = delete;
  SharedWorkspaceClaim& operator=(const SharedWorkspaceClaim&) = delete;
  bool held() const { return held_; }

 private:
  bool held_;
};

}  // namespace geneig
