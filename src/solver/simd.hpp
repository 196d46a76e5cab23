// The solver's register plumbing: the vector types, the always-inline
// helpers on them, and the attributes that build the heavy loops for
// several instruction sets. The files of the phases use these and read as
// mathematics; nothing here changes an operation, only how many go at once.
//
// Why the results stay the same bits on every CPU:
//  - No fused multiply-add. The solver's target switches contraction off,
//    and builds the plain code and the AVX2 clones without FMA, even where
//    the build asks for it (-mfma, -march=native): the vectorizer rewrites
//    complex products into fused multiply-add/subtract even when
//    contraction is switched off, which would change the last bits from one
//    CPU to another.
//  - 256-bit vectorizer width. AVX-512 always has fused forms of its own, so
//    its clones keep the vectorizer to 256 bits (the target sets
//    -mprefer-vector-width=256), where it has none without FMA.
//  - Explicit 512-bit vectors. The AVX-512 clones are 512 bits wide only
//    where the code spells out 512-bit vectors (Quad, Lanes8), whose
//    operations the compiler leaves as they are written.
// Every clone therefore performs the same IEEE operations in the same
// order, and the loader picks the widest the CPU has.
//
// The helpers are always inlined: a clone passes vectors in registers that a
// baseline function would take from memory, so a call between the two, as
// an unoptimized build would make, cannot be allowed.
#pragma once

#include <cstring>

#include "colmajor.hpp"
#include "complex_ops.hpp"

// GENEIG_WIDE: baseline and AVX2 clones; GENEIG_WIDEST: AVX-512 as well.
// flatten inlines the helpers a phase calls into each of its clones.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(GENEIG_NO_CLONES)
#define GENEIG_WIDE __attribute__((target_clones("avx2", "default"), flatten))
#define GENEIG_WIDEST __attribute__((target_clones("avx512f", "avx2", "default"), flatten))
#else
#define GENEIG_WIDE
#define GENEIG_WIDEST
#endif

// The helpers take and return vectors by value, which gcc notes as an ABI
// change in every file that includes them without AVX enabled (the
// workspace's users among them). They are always inlined and never called
// across an ABI boundary, so the note does not apply.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace geneig::simd {

// Eight doubles and eight 64-bit masks: the lanes of the Sturm counts.
using Lanes8 = double __attribute__((vector_size(8 * sizeof(double))));
using Mask8 = long long __attribute__((vector_size(8 * sizeof(long long))));

// The sign bit of a double, as the bits of a mask lane.
constexpr long long kSignBit = static_cast<long long>(1ULL << 63);

// Two complex numbers in one vector: (re, im) of one column, then of
// another.
using Pair = double __attribute__((vector_size(4 * sizeof(double))));

[[gnu::always_inline]] inline Pair load_pair(const cplx* a, const cplx* b) {
  return Pair{a->real(), a->imag(), b->real(), b->imag()};
}

// (im, re) of both numbers.
[[gnu::always_inline]] inline Pair swap_parts(Pair x) { return __builtin_shufflevector(x, x, 1, 0, 3, 2); }

// (a0 - b0, a1 + b1, a2 - b2, a3 + b3), one instruction where the machine
// has it.
[[gnu::always_inline]] inline Pair addsub(Pair a, Pair b) { return __builtin_shufflevector(a - b, a + b, 0, 5, 2, 7); }

// w * x for both numbers of x: (wr xr - wi xi, wr xi + wi xr), the very
// operations of cmul.
[[gnu::always_inline]] inline Pair cmul_pair(cplx w, Pair x) {
  return addsub(w.real() * x, w.imag() * swap_parts(x));
}

// Four complex numbers in one vector: row i of four vectors.
using Quad = double __attribute__((vector_size(8 * sizeof(double))));

// (im, re) of each number.
[[gnu::always_inline]] inline Quad swap_parts(Quad x) { return __builtin_shufflevector(x, x, 1, 0, 3, 2, 5, 4, 7, 6); }

// The real parts negated (exactly: only the sign bits change).
[[gnu::always_inline]] inline Quad negate_real_parts(Quad x) {
  return reinterpret_cast<Quad>(reinterpret_cast<Mask8>(x) ^
                                Mask8{kSignBit, 0, kSignBit, 0, kSignBit, 0, kSignBit, 0});
}

// The products with a block's rows, each two multiplications and one
// addition per register:
//   cmul(u, f) = ur f + ui gs with gs = negate_real_parts(swap_parts(f)),
//     that is (ur fr - ui fi, ur fi + ui fr), as ui (-fi) = -(ui fi);
//   conj(u) x, its parts swapped, = ur swap_parts(x) + ui negate_real_parts(x)
//     = (ur xi - ui xr, ur xr + ui xi): the operations of cmul(conj(u), x),
//     as (-ui) y = -(ui y) and a - (-b) = a + b.
[[gnu::always_inline]] inline Quad times(cplx u, Quad f, Quad gs) { return u.real() * f + u.imag() * gs; }
[[gnu::always_inline]] inline Quad conj_times_swapped(cplx u, Quad x) {
  return u.real() * swap_parts(x) + u.imag() * negate_real_parts(x);
}

// One complex number as a vector, and back; with its parts swapped.
using Half = double __attribute__((vector_size(2 * sizeof(double))));
[[gnu::always_inline]] inline Half swapped(cplx z) { return Half{z.imag(), z.real()}; }
[[gnu::always_inline]] inline cplx unswapped(Half h) { return cplx(h[1], h[0]); }

// Four consecutive complex numbers as one vector, and back; four numbers
// from four places.
[[gnu::always_inline]] inline Quad load4(const cplx* p) {
  Quad x;
  std::memcpy(&x, p, sizeof x);
  return x;
}
[[gnu::always_inline]] inline void store4(cplx* p, Quad x) { std::memcpy(static_cast<void*>(p), &x, sizeof x); }
[[gnu::always_inline]] inline Quad gather4(const cplx* a, const cplx* b, const cplx* c, const cplx* d) {
  return Quad{a->real(), a->imag(), b->real(), b->imag(), c->real(), c->imag(), d->real(), d->imag()};
}

// (re, re) and (im, im) of each number.
[[gnu::always_inline]] inline Quad real_parts_twice(Quad x) { return __builtin_shufflevector(x, x, 0, 0, 2, 2, 4, 4, 6, 6); }
[[gnu::always_inline]] inline Quad imag_parts_twice(Quad x) { return __builtin_shufflevector(x, x, 1, 1, 3, 3, 5, 5, 7, 7); }

// Number c of a vector of four.
[[gnu::always_inline]] inline Half part(Quad x, int c) { return Half{x[2 * c], x[2 * c + 1]}; }

// conj(a) u for each number, a and u both varying, with the parts
// swapped: (ar ui - ai ur, ar ur + ai ui), given as = (-ai, ar) of each
// number of a (negate_real_parts(swap_parts(a))), ur2 = (ur, ur) and
// ui2 = (ui, ui) of each number of u. These are the operations of
// cmul(conj(a), u): (-ai) y = -(ai y) and x - (-y) = x + y exactly.
[[gnu::always_inline]] inline Quad conj_product_swapped(Quad a, Quad as, Quad ur2, Quad ui2) {
  return a * ui2 + as * ur2;
}

// Four vectors of length n in one block, row by row: block[i] (1-based)
// holds row i of all four, so that one load gives a whole row. A block of
// fewer vectors is padded with zeros.
inline void load_block(Quad* block, const ColMajor<const cplx>& V, int j, int width, int n) {
  for (int i = 1; i <= n; ++i)
    for (int c = 0; c < 4; ++c) {
      const cplx z = c < width ? V(i, j + c) : cplx(0.0, 0.0);
      block[i][2 * c] = z.real();
      block[i][2 * c + 1] = z.imag();
    }
}

inline void store_block(Quad* block, const ColMajor<cplx>& V, int j, int width, int n) {
  for (int i = 1; i <= n; ++i)
    for (int c = 0; c < width; ++c) V(i, j + c) = cplx(block[i][2 * c], block[i][2 * c + 1]);
}

}  // namespace geneig::simd

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
