// The solver's routines under the names and argument passing of Fortran
// (declared for C in geneig.h): every argument by reference, a complex
// matrix as pairs of doubles.
#include "geneig.h"

#include <complex>
#include <cstdint>
#include <type_traits>

#include "eigcab.hpp"
#include "mtxcnv.hpp"

static_assert(std::is_same_v<std::int32_t, int>, "the routines take 32-bit integers as int");
static_assert(GENEIG_NMAX == geneig::NMAX);

namespace {

// A complex array is, by the language's guarantee for std::complex, an array
// of pairs of doubles, real part first: the layout Fortran's COMPLEX(8) has.
std::complex<double>* as_complex(double* pairs) {
  return reinterpret_cast<std::complex<double>*>(pairs);
}

}  // namespace

extern "C" void eigcab_(double* A, double* B, const std::int32_t* N, const std::int32_t* NA,
                        const std::int32_t* M, const std::int32_t* MV, double* EPS, double* D,
                        double* E, double* V, std::int32_t* ILL, std::int32_t* IW, double* W) {
  geneig::eigcab(as_complex(A), as_complex(B), *N, *NA, *M, *MV, *EPS, as_complex(D), E,
                 as_complex(V), *ILL, IW, W);
}

extern "C" void eigch_(double* A, const std::int32_t* N, const std::int32_t* NA,
                       const std::int32_t* M, const std::int32_t* MV, double* EPS, double* W,
                       std::int32_t* IW, double* E, double* V, std::int32_t* ILL) {
  geneig::eigch(as_complex(A), *N, *NA, *M, *MV, *EPS, W, IW, E, as_complex(V), *ILL);
}

extern "C" void mtxcnv_(double* A, double* B, const std::int32_t* N, const std::int32_t* N1,
                        double* D, std::int32_t* ILL) {
  geneig::mtxcnv(A, B, *N, *N1, D, *ILL);
}
