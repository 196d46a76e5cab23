// The solver's register plumbing: the vector types, the always-inline
// helpers on them, and the attributes that build the heavy loops for
// several instruction sets. The files of the phases use these and read as
// mathematics; nothing here changes an operation, only how many go at once.
//
// Why the results stay the same bits on every CPU:
//  - No fused multiply-add. The solver's target switches contraction off,
//    and builds the plain code and the AVX2 kernels without FMA, even where
//    the build asks for it (-mfma, -march=native): the vectorizer rewrites
//    complex products into fused multiply-add/subtract even when
//    contraction is switched off, which would change the last bits from one
//    CPU to another.
//  - 256-bit vectorizer width. AVX-512 always has fused forms of its own, so
//    its kernels keep the vectorizer to 256 bits (the target sets
//    -mprefer-vector-width=256), where it has none without FMA.
//  - Explicit vectors. The vectors the code spells out (Quad, Lanes8, Pair)
//    are held in as many machine registers as they need: one 512-bit, two
//    256-bit or four 128-bit registers for eight doubles. The compiler
//    leaves their operations as they are written, lane by lane.
// Every build of a kernel therefore performs the same IEEE operations in
// the same order, and the widest one the CPU has is called.
//
// The register width is a template argument of each kernel (R doubles per
// register), fixed where the kernel is built: GENEIG_KERNEL builds it for
// AVX-512, AVX2 and the plain instruction set and calls the widest the CPU
// has; a build without those (another compiler or architecture,
// GENEIG_NO_CLONES) builds it once for the registers its own flags give.
// Written for one width, an eight-double vector would be split by the
// compiler into single doubles wherever the machine has no instruction of
// that width for an operation (comparisons, shuffles): on a CPU without
// AVX-512 that made the heavy loops scalar.
//
// The helpers are always inlined: a kernel passes vectors in registers that a
// baseline function would take from memory, so a call between the two, as
// an unoptimized build would make, cannot be allowed.
#pragma once

#include <cstring>

#include "colmajor.hpp"
#include "complex_ops.hpp"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(GENEIG_NO_CLONES)
#define GENEIG_KERNEL_CLONES 1
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

// Doubles in one register where the build's own flags fix the width.
#if defined(__AVX512F__)
inline constexpr int kBuildDoubles = 8;
#elif defined(__AVX__)
inline constexpr int kBuildDoubles = 4;
#else
inline constexpr int kBuildDoubles = 2;
#endif

// Doubles in the widest registers that the CPU running the program has and
// that a kernel is built for (8, 4 or 2).
#ifdef GENEIG_KERNEL_CLONES
inline int machine_doubles() {
  static const int doubles = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") ? 8 : __builtin_cpu_supports("avx2") ? 4 : 2;
  }();
  return doubles;
}
#endif

// Defines the kernel `ret name params`, whose body is the template
// name_kernel<R>(args) of R doubles per register: with the clones, built
// for AVX-512, AVX2 and the plain instruction set, the widest the CPU has
// called; without them, built once for the build's own registers. flatten
// inlines the helpers a kernel calls into each of its builds.
#ifdef GENEIG_KERNEL_CLONES
#define GENEIG_KERNEL(ret, name, params, args)                                                    \
  [[gnu::target("avx512f"), gnu::flatten]] static ret name##_512 params { return name##_kernel<8> args; } \
  [[gnu::target("avx2"), gnu::flatten]] static ret name##_256 params { return name##_kernel<4> args; }    \
  [[gnu::flatten]] static ret name##_128 params { return name##_kernel<2> args; }                         \
  ret name params {                                                                               \
    switch (::geneig::simd::machine_doubles()) {                                                  \
      case 8: return name##_512 args;                                                             \
      case 4: return name##_256 args;                                                             \
      default: return name##_128 args;                                                            \
    }                                                                                             \
  }
// GENEIG_KERNEL_256: the same with AVX2 as the widest build, for kernels
// whose vectors are no wider than 256 bits.
#define GENEIG_KERNEL_256(ret, name, params, args)                                                \
  [[gnu::target("avx2"), gnu::flatten]] static ret name##_256 params { return name##_kernel<4> args; }    \
  [[gnu::flatten]] static ret name##_128 params { return name##_kernel<2> args; }                         \
  ret name params {                                                                               \
    if (::geneig::simd::machine_doubles() >= 4) return name##_256 args;                           \
    return name##_128 args;                                                                       \
  }
#else
#if defined(__GNUC__)
#define GENEIG_FLATTEN [[gnu::flatten]]
#else
#define GENEIG_FLATTEN
#endif
#define GENEIG_KERNEL(ret, name, params, args) \
  GENEIG_FLATTEN ret name params { return name##_kernel<::geneig::simd::kBuildDoubles> args; }
#define GENEIG_KERNEL_256(ret, name, params, args)                                      \
  GENEIG_FLATTEN ret name params {                                                      \
    return name##_kernel<(::geneig::simd::kBuildDoubles < 4 ? ::geneig::simd::kBuildDoubles : 4)> args; \
  }
#endif

// The lambdas of the helpers are inlined as the helpers are, also where
// nothing else is (a debug build).
#define GENEIG_INLINE_LAMBDA __attribute__((always_inline))

// One machine register of R lanes of T.
template <class T, int R>
struct RegOf;
#define GENEIG_REG(T, R) \
  template <>            \
  struct RegOf<T, R> {   \
    using type = T __attribute__((vector_size(R * sizeof(T)))); \
  };
GENEIG_REG(double, 2)
GENEIG_REG(double, 4)
GENEIG_REG(double, 8)
GENEIG_REG(long long, 2)
GENEIG_REG(long long, 4)
GENEIG_REG(long long, 8)
#undef GENEIG_REG
template <class T, int R>
using Reg = typename RegOf<T, R>::type;

// N lanes of T (double, or a 64-bit mask) in N / R registers of R lanes,
// R = min(N, the kernel's width). Each operation acts lane by lane, one
// register at a time, exactly as one vector of N lanes would.
template <class T, int N, int R0>
struct Vec {
  static constexpr int R = R0 < N ? R0 : N;
  static constexpr int kRegs = N / R;
  using Register = Reg<T, R>;
  Register r[kRegs];

#ifdef __OPTIMIZE__
  // Copied register by register: as one aggregate, gcc moves a vector of
  // several registers through the integer registers. (Without optimization
  // the aggregate copy is the faster.)
  Vec() = default;
  [[gnu::always_inline]] Vec(const Vec& x) {
    for (int i = 0; i < kRegs; ++i) r[i] = x.r[i];
  }
  [[gnu::always_inline]] Vec& operator=(const Vec& x) {
    for (int i = 0; i < kRegs; ++i) r[i] = x.r[i];
    return *this;
  }
#endif

  [[gnu::always_inline]] T operator[](int l) const { return r[l / R][l % R]; }

  // From and to memory, one register at a time.
  [[gnu::always_inline]] static Vec load(const void* p) {
    Vec x;
    for (int i = 0; i < kRegs; ++i)
      std::memcpy(&x.r[i], static_cast<const char*>(p) + i * sizeof(Register), sizeof(Register));
    return x;
  }
  [[gnu::always_inline]] void store(void* p) const {
    for (int i = 0; i < kRegs; ++i)
      std::memcpy(static_cast<char*>(p) + i * sizeof(Register), &r[i], sizeof(Register));
  }

  // N / 2 complex numbers from N / 2 places, register by register (built
  // in registers: stored one by one and loaded as a whole, they would
  // wait for the stores).
  [[gnu::always_inline]] static Vec gather(const cplx* const* z) {
    using Two = Reg<T, 2>;
    auto number = [&](int m) GENEIG_INLINE_LAMBDA {
      Two h;
      std::memcpy(&h, z[m], sizeof h);
      return h;
    };
    return each([&](int i) GENEIG_INLINE_LAMBDA {
      const int m = i * (R / 2);
      if constexpr (R == 2) {
        return number(m);
      } else if constexpr (R == 4) {
        return __builtin_shufflevector(number(m), number(m + 1), 0, 1, 2, 3);
      } else {
        using Four = Reg<T, 4>;
        const Four lo = __builtin_shufflevector(number(m), number(m + 1), 0, 1, 2, 3);
        const Four hi = __builtin_shufflevector(number(m + 2), number(m + 3), 0, 1, 2, 3);
        return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7);
      }
    });
  }

  template <class F>
  [[gnu::always_inline]] static Vec each(F f) {
    Vec x;
    for (int i = 0; i < kRegs; ++i) x.r[i] = f(i);
    return x;
  }
};

template <int N, int R>
using Doubles = Vec<double, N, R>;
template <int N, int R>
using Mask = Vec<long long, N, R>;

#define GENEIG_VEC_OP(op)                                                                          \
  template <class T, int N, int R>                                                                 \
  [[gnu::always_inline]] inline Vec<T, N, R> operator op(Vec<T, N, R> a, Vec<T, N, R> b) {         \
    return Vec<T, N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return a.r[i] op b.r[i]; });                           \
  }                                                                                                \
  template <class T, int N, int R>                                                                 \
  [[gnu::always_inline]] inline Vec<T, N, R>& operator op##=(Vec<T, N, R>& a, Vec<T, N, R> b) {   \
    return a = a op b;                                                                             \
  }
GENEIG_VEC_OP(+)
GENEIG_VEC_OP(-)
GENEIG_VEC_OP(*)
GENEIG_VEC_OP(/)
GENEIG_VEC_OP(&)
GENEIG_VEC_OP(|)
#undef GENEIG_VEC_OP

// A scalar with every lane: s * x, s - x.
template <int N, int R>
[[gnu::always_inline]] inline Doubles<N, R> operator*(double s, Doubles<N, R> x) {
  return Doubles<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return s * x.r[i]; });
}
template <int N, int R>
[[gnu::always_inline]] inline Doubles<N, R> operator-(double s, Doubles<N, R> x) {
  return Doubles<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return s - x.r[i]; });
}
template <int N, int R>
[[gnu::always_inline]] inline Doubles<N, R> operator/(double s, Doubles<N, R> x) {
  return Doubles<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return s / x.r[i]; });
}

// Lane comparisons with a scalar: all ones where true, zero where false.
template <int N, int R>
[[gnu::always_inline]] inline Mask<N, R> operator>=(Doubles<N, R> x, double s) {
  return Mask<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return reinterpret_cast<typename Mask<N, R>::Register>(x.r[i] >= s); });
}
template <int N, int R>
[[gnu::always_inline]] inline Mask<N, R> operator==(Doubles<N, R> x, double s) {
  return Mask<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return reinterpret_cast<typename Mask<N, R>::Register>(x.r[i] == s); });
}
template <int N, int R>
[[gnu::always_inline]] inline Mask<N, R> operator-(Mask<N, R> m) {
  return Mask<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return -m.r[i]; });
}
template <int N, int R>
[[gnu::always_inline]] inline Mask<N, R> operator~(Mask<N, R> m) {
  return Mask<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return ~m.r[i]; });
}

// a where the mask is set, b elsewhere.
template <int N, int R>
[[gnu::always_inline]] inline Doubles<N, R> select(Mask<N, R> m, Doubles<N, R> a, Doubles<N, R> b) {
  return Doubles<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return m.r[i] ? a.r[i] : b.r[i]; });
}

// Whether any lane of the mask is set.
template <int N, int R>
[[gnu::always_inline]] inline bool any(Mask<N, R> m) {
  bool set = false;
  for (int l = 0; l < N; ++l) set = set || m[l] != 0;
  return set;
}

// Eight doubles and eight 64-bit masks: the lanes of the Sturm counts.
template <int R>
using Lanes8 = Doubles<8, R>;
template <int R>
using Mask8 = Mask<8, R>;

// The sign bit of a double, as the bits of a mask lane.
constexpr long long kSignBit = static_cast<long long>(1ULL << 63);

// Complex numbers, (re, im) of each in turn, within one register: part P
// then part Q of each number (1, 0: the parts swapped; 0, 0 and 1, 1: the
// real and the imaginary part twice); the real parts negated (exactly: only
// the sign bits change).
template <int R, int P, int Q>
[[gnu::always_inline]] inline Reg<double, R> within_numbers(Reg<double, R> x) {
  if constexpr (R == 2) return __builtin_shufflevector(x, x, P, Q);
  else if constexpr (R == 4) return __builtin_shufflevector(x, x, P, Q, 2 + P, 2 + Q);
  else return __builtin_shufflevector(x, x, P, Q, 2 + P, 2 + Q, 4 + P, 4 + Q, 6 + P, 6 + Q);
}
template <int R>
[[gnu::always_inline]] inline Reg<double, R> negate_real_reg(Reg<double, R> x) {
  Reg<long long, R> sign = {};
  for (int l = 0; l < R; l += 2) sign[l] = kSignBit;
  return reinterpret_cast<Reg<double, R>>(reinterpret_cast<Reg<long long, R>>(x) ^ sign);
}

// Complex numbers in one vector of N doubles (N/2 numbers): their parts
// swapped, (re, re) and (im, im) of each, the real parts negated.
template <int N, int R>
[[gnu::always_inline]] inline Doubles<N, R> swap_parts(Doubles<N, R> x) {
  return Doubles<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return within_numbers<Doubles<N, R>::R, 1, 0>(x.r[i]); });
}
template <int N, int R>
[[gnu::always_inline]] inline Doubles<N, R> real_parts_twice(Doubles<N, R> x) {
  return Doubles<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return within_numbers<Doubles<N, R>::R, 0, 0>(x.r[i]); });
}
template <int N, int R>
[[gnu::always_inline]] inline Doubles<N, R> imag_parts_twice(Doubles<N, R> x) {
  return Doubles<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return within_numbers<Doubles<N, R>::R, 1, 1>(x.r[i]); });
}
template <int N, int R>
[[gnu::always_inline]] inline Doubles<N, R> negate_real_parts(Doubles<N, R> x) {
  return Doubles<N, R>::each([&](int i) GENEIG_INLINE_LAMBDA { return negate_real_reg<Doubles<N, R>::R>(x.r[i]); });
}

// Two complex numbers in one vector: (re, im) of one column, then of
// another.
template <int R>
using Pair = Doubles<4, R>;

template <int R>
[[gnu::always_inline]] inline Pair<R> load_pair(const cplx* a, const cplx* b) {
  const cplx* z[2] = {a, b};
  return Pair<R>::gather(z);
}

// (a0 - b0, a1 + b1, a2 - b2, a3 + b3), one instruction where the machine
// has it.
template <int R>
[[gnu::always_inline]] inline Pair<R> addsub(Pair<R> a, Pair<R> b) {
  const Pair<R> d = a - b, s = a + b;
  return Pair<R>::each([&](int i) GENEIG_INLINE_LAMBDA {
    if constexpr (Pair<R>::R == 2) return __builtin_shufflevector(d.r[i], s.r[i], 0, 3);
    else return __builtin_shufflevector(d.r[i], s.r[i], 0, 5, 2, 7);
  });
}

// w * x for both numbers of x: (wr xr - wi xi, wr xi + wi xr), the very
// operations of cmul.
template <int R>
[[gnu::always_inline]] inline Pair<R> cmul_pair(cplx w, Pair<R> x) {
  return addsub<R>(w.real() * x, w.imag() * swap_parts(x));
}

// Four complex numbers in one vector: row i of four vectors.
template <int R>
using Quad = Doubles<8, R>;

// The products with a block's rows, each two multiplications and one
// addition per register:
//   cmul(u, f) = ur f + ui gs with gs = negate_real_parts(swap_parts(f)),
//     that is (ur fr - ui fi, ur fi + ui fr), as ui (-fi) = -(ui fi);
//   conj(u) x, its parts swapped, = ur swap_parts(x) + ui negate_real_parts(x)
//     = (ur xi - ui xr, ur xr + ui xi): the operations of cmul(conj(u), x),
//     as (-ui) y = -(ui y) and a - (-b) = a + b.
template <int R>
[[gnu::always_inline]] inline Quad<R> times(cplx u, Quad<R> f, Quad<R> gs) {
  return u.real() * f + u.imag() * gs;
}
template <int R>
[[gnu::always_inline]] inline Quad<R> conj_times_swapped(cplx u, Quad<R> x) {
  return u.real() * swap_parts(x) + u.imag() * negate_real_parts(x);
}

// One complex number as a vector, and back; with its parts swapped.
using Half = double __attribute__((vector_size(2 * sizeof(double))));
[[gnu::always_inline]] inline Half swapped(cplx z) { return Half{z.imag(), z.real()}; }
[[gnu::always_inline]] inline cplx unswapped(Half h) { return cplx(h[1], h[0]); }

// Four consecutive complex numbers as one vector, and back; four numbers
// from four places.
template <int R>
[[gnu::always_inline]] inline Quad<R> load4(const cplx* p) {
  return Quad<R>::load(p);
}
template <int R>
[[gnu::always_inline]] inline void store4(cplx* p, Quad<R> x) {
  x.store(p);
}
template <int R>
[[gnu::always_inline]] inline Quad<R> gather4(const cplx* a, const cplx* b, const cplx* c, const cplx* d) {
  const cplx* z[4] = {a, b, c, d};
  return Quad<R>::gather(z);
}

// Number c of a vector of four.
template <int R>
[[gnu::always_inline]] inline Half part(Quad<R> x, int c) {
  return Half{x[2 * c], x[2 * c + 1]};
}

// conj(a) u for each number, a and u both varying, with the parts
// swapped: (ar ui - ai ur, ar ur + ai ui), given as = (-ai, ar) of each
// number of a (negate_real_parts(swap_parts(a))), ur2 = (ur, ur) and
// ui2 = (ui, ui) of each number of u. These are the operations of
// cmul(conj(a), u): (-ai) y = -(ai y) and x - (-y) = x + y exactly.
template <int R>
[[gnu::always_inline]] inline Quad<R> conj_product_swapped(Quad<R> a, Quad<R> as, Quad<R> ur2, Quad<R> ui2) {
  return a * ui2 + as * ur2;
}

// Rows of four vectors of length n, row i (1-based) of all four in one
// Quad, so that one load gives a whole row: 64-byte storage that a kernel
// of any width reads as its own Quad.
struct alignas(64) QuadRow {
  double lanes[8];
};
template <int R>
[[gnu::always_inline]] inline Quad<R>* quad_rows(QuadRow* rows) {
  static_assert(sizeof(Quad<R>) == sizeof(QuadRow));
  return reinterpret_cast<Quad<R>*>(rows);
}

// Four vectors of length n in one block, row by row: block[i] (1-based)
// holds row i of all four. A block of fewer vectors is padded with zeros.
template <int R>
inline void load_block(Quad<R>* block, const ColMajor<const cplx>& V, int j, int width, int n) {
  for (int i = 1; i <= n; ++i) {
    cplx row[4];
    for (int c = 0; c < 4; ++c) row[c] = c < width ? V(i, j + c) : cplx(0.0, 0.0);
    block[i] = Quad<R>::load(row);
  }
}

template <int R>
inline void store_block(const Quad<R>* block, const ColMajor<cplx>& V, int j, int width, int n) {
  for (int i = 1; i <= n; ++i)
    for (int c = 0; c < width; ++c) V(i, j + c) = cplx(block[i][2 * c], block[i][2 * c + 1]);
}

}  // namespace geneig::simd

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
