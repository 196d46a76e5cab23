// The solver's routines under the names and argument passing of Fortran
// (declared for C in geneig.h): every argument by reference, a complex
// matrix as pairs of doubles.
#include "geneig.h"

#include <complex>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "eigcab.hpp"
#include "eigch_phases.hpp"
#include "mtxcnv.hpp"
#include "workspace.hpp"

static_assert(std::is_same_v<std::int32_t, int>, "the routines take 32-bit integers as int");
static_assert(GENEIG_NMAX == geneig::NMAX);

namespace {

// A complex array is, by the language's guarantee for std::complex, an array
// of pairs of doubles, real part first: the layout Fortran's COMPLEX(8) has.
std::complex<double>* as_complex(double* pairs) {
  return reinterpret_cast<std::complex<double>*>(pairs);
}

// The caller's WORK array holds one Workspace from its first
// alignof(Workspace)-byte boundary on: the length asked for is the
// Workspace and room for that shift, whatever address WORK has.
constexpr std::size_t kWorkBytes = sizeof(geneig::Workspace) + alignof(geneig::Workspace) - 1;
constexpr std::int32_t kLwork =
    static_cast<std::int32_t>((kWorkBytes + sizeof(double) - 1) / sizeof(double));
static_assert(kWorkBytes / sizeof(double) < INT32_MAX, "LWORK must fit in a 32-bit integer");

// The Workspace is an aggregate with a trivial destructor, an implicit-
// lifetime type: the copy of WORK's bytes onto themselves creates it there,
// holding those bytes, without a constructor running over its 1.6 MB (a
// solve writes each entry it reads). The compiler drops the copy itself.
static_assert(std::is_aggregate_v<geneig::Workspace> &&
              std::is_trivially_destructible_v<geneig::Workspace>);

// The Workspace inside WORK, or null (and ILL = 3) when WORK is too short.
geneig::Workspace* workspace_in(double* WORK, std::int32_t LWORK, std::int32_t& ILL) {
  if (WORK == nullptr || LWORK < kLwork) {
    ILL = GENEIG_ILL_WORKSPACE_TOO_SMALL;
    return nullptr;
  }
  constexpr std::uintptr_t align = alignof(geneig::Workspace);
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(WORK);
  void* place = reinterpret_cast<char*>(WORK) + ((align - at % align) % align);
  std::memmove(place, place, sizeof(geneig::Workspace));
  return std::launder(static_cast<geneig::Workspace*>(place));
}

}  // namespace

extern "C" void eigcab_(double* A, double* B, const std::int32_t* N, const std::int32_t* NA,
                        const std::int32_t* M, const std::int32_t* MV, double* EPS, double* D,
                        double* E, double* V, std::int32_t* ILL, std::int32_t* IW, double* W) {
  geneig::eigcab(as_complex(A), as_complex(B), *N, *NA, *M, *MV, *EPS, as_complex(D), E,
                 as_complex(V), *ILL, IW, W);
}

// No workspace serves an order outside 1..NMAX: the solves refuse those
// orders whatever WORK is.
extern "C" std::int32_t eiglwork_(const std::int32_t* N) {
  return *N >= 1 && *N <= geneig::NMAX ? kLwork : 0;
}

extern "C" void eigcabw_(double* A, double* B, const std::int32_t* N, const std::int32_t* NA,
                         const std::int32_t* M, const std::int32_t* MV, double* EPS, double* D,
                         double* E, double* V, std::int32_t* ILL, std::int32_t* IW, double* W,
                         double* WORK, const std::int32_t* LWORK) {
  // The orders that eigcab refuses before it needs a workspace are refused
  // whatever WORK is, as eiglwork_ asks for none for them.
  if (geneig::detail::refuse_order(*N, *NA, *M, *MV, *ILL)) return;
  if (geneig::Workspace* work = workspace_in(WORK, *LWORK, *ILL))
    geneig::eigcab(as_complex(A), as_complex(B), *N, *NA, *M, *MV, *EPS, as_complex(D), E,
                   as_complex(V), *ILL, IW, W, *work);
}

extern "C" void eigch_(double* A, const std::int32_t* N, const std::int32_t* NA,
                       const std::int32_t* M, const std::int32_t* MV, double* EPS, double* W,
                       std::int32_t* IW, double* E, double* V, std::int32_t* ILL) {
  geneig::eigch(as_complex(A), *N, *NA, *M, *MV, *EPS, W, IW, E, as_complex(V), *ILL);
}

extern "C" void eigchw_(double* A, const std::int32_t* N, const std::int32_t* NA,
                        const std::int32_t* M, const std::int32_t* MV, double* EPS, double* W,
                        std::int32_t* IW, double* E, double* V, std::int32_t* ILL, double* WORK,
                        const std::int32_t* LWORK) {
  // eigch's argument checks touch nothing: they come before WORK's.
  if (geneig::detail::refuse_arguments(*N, *NA, *M, *MV, *ILL)) return;
  if (geneig::Workspace* work = workspace_in(WORK, *LWORK, *ILL))
    geneig::eigch(as_complex(A), *N, *NA, *M, *MV, *EPS, W, IW, E, as_complex(V), *ILL, *work);
}

extern "C" void mtxcnv_(double* A, double* B, const std::int32_t* N, const std::int32_t* N1,
                        double* D, std::int32_t* ILL) {
  geneig::mtxcnv(A, B, *N, *N1, D, *ILL);
}
