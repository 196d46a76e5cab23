// What the tests share: the tolerances, the random doubles of the recorded
// pencils, solving as the program solves, matrix input files, and a scratch
// directory that each test gets fresh.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <complex>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "colmajor.hpp"
#include "eigcab.hpp"
#include "oracle.hpp"

namespace geneig::test {

using cplx = std::complex<double>;
namespace fs = std::filesystem;

// ---- Tolerances --------------------------------------------------------------

// The machine epsilon 2^-52 (oracle.hpp), in which every tolerance is
// written, with the order: 30 * n * kEps, never a bare decimal.
using oracle::kEps;
// The bound of a LAPACK-style test ratio (oracle.hpp's measures): a sound
// solver gives ratios of order 1, and its tests accept up to 30.
inline constexpr double kRatioLimit = 30.0;

// ---- Names of parameterised cases -------------------------------------------

// An integer in a test's name, which takes letters, digits and underscores
// only: "m3" for -3.
inline std::string name_of(int v) {
  std::string name = v < 0 ? "m" : "";
  name += std::to_string(v < 0 ? -static_cast<long long>(v) : v);
  return name;
}

// ---- Random doubles ----------------------------------------------------------

// Uniform doubles in [-1, 1) (oracle::uniform) and complex numbers drawn as
// the recorded pencils were: imaginary part first, then real, each a named
// draw, so that every compiler makes the same pencil (the order in which a
// call's arguments are evaluated is unspecified).
struct Draw {
  oracle::Rng g;
  explicit Draw(std::uint64_t seed) : g(seed) {}
  double operator()() { return oracle::uniform(g); }
  cplx complex() {
    const double im = (*this)();
    const double re = (*this)();
    return cplx(re, im);
  }
};

// A double of uniformly random bits, drawn again until it is finite: every
// magnitude and both signs, subnormals and zeros included.
inline double any_finite(oracle::Rng& g) {
  for (;;) {
    const double d = std::bit_cast<double>(g());
    if (std::isfinite(d)) return d;
  }
}

// ---- Solving as the program does ---------------------------------------------

// Fills the eigenvector array before a solve: columns past |MV| must keep it.
inline const cplx kUnwritten{-7777.25, 7777.25};

struct Solution {
  std::vector<double> E;  // E(1..|M|)
  oracle::ZMatrix V;      // n x n in an NMAX x NMAX buffer; columns 1..|MV| written,
                          // the others left holding kUnwritten
  int ILL = 0;
  double EPS = 0.0;
  std::string out;  // what the solve wrote to standard output
};

// eigcab called as the driver calls it: A and B in NMAX x NMAX arrays, the
// leading dimension NMAX from read-only storage, EPS = 0 (bisection to full
// resolution), ILL preset to 0; M and MV are the order unless given.
inline Solution solve(const oracle::ZMatrix& A, const oracle::ZMatrix& B, int m, int mv) {
  static const int NA = NMAX;
  const int n = A.rows;
  oracle::ZMatrix a = oracle::embed(A, NA), b = oracle::embed(B, NA);
  Solution s;
  s.E.assign(NMAX, 0.0);
  s.V = oracle::embed(oracle::ZMatrix(n, n), NA);
  std::fill(s.V.a.begin(), s.V.a.end(), kUnwritten);
  std::vector<cplx> D(NMAX);
  std::vector<double> W(NMAX * 7);
  std::vector<int> IW(NMAX);
  testing::internal::CaptureStdout();
  eigcab(a.data(), b.data(), n, NA, m, mv, s.EPS, D.data(), s.E.data(), s.V.data(), s.ILL,
         IW.data(), W.data());
  s.out = testing::internal::GetCapturedStdout();
  s.E.resize(static_cast<std::size_t>(std::abs(m)));
  return s;
}

inline Solution solve(const oracle::ZMatrix& A, const oracle::ZMatrix& B) {
  return solve(A, B, A.rows, A.rows);
}

// The caller's arrays of one eigch or eigcab call, NMAX x NMAX as the
// driver's, for tests that pass arguments of their own (other orders,
// leading dimensions, signs of M and MV) or look at the work arrays.
struct Arrays {
  std::vector<cplx> A = std::vector<cplx>(NMAX * NMAX);
  std::vector<cplx> B = std::vector<cplx>(NMAX * NMAX);
  std::vector<cplx> V = std::vector<cplx>(NMAX * NMAX);
  std::vector<cplx> D = std::vector<cplx>(NMAX);
  std::vector<double> W = std::vector<double>(NMAX * 7);
  std::vector<double> E = std::vector<double>(NMAX);
  std::vector<int> IW = std::vector<int>(NMAX);
  int ILL = 0;
  double EPS = 0.0;

  ColMajor<cplx> a() { return {A.data(), NMAX}; }
  ColMajor<cplx> b() { return {B.data(), NMAX}; }
  ColMajor<cplx> v() { return {V.data(), NMAX}; }
  ColMajor<double> w() { return {W.data(), NMAX}; }

  // Each call returns what it wrote on standard output.
  std::string eigch(int n, int m, int mv, int na = NMAX) {
    testing::internal::CaptureStdout();
    geneig::eigch(A.data(), n, na, m, mv, EPS, W.data(), IW.data(), E.data(), V.data(), ILL);
    return testing::internal::GetCapturedStdout();
  }
  std::string eigcab(int n, int m, int mv, int na = NMAX) {
    testing::internal::CaptureStdout();
    geneig::eigcab(A.data(), B.data(), n, na, m, mv, EPS, D.data(), E.data(), V.data(), ILL,
                   IW.data(), W.data());
    return testing::internal::GetCapturedStdout();
  }
};

// A solve of a positive definite pencil reports nothing and keeps EPS = 0.
inline testing::AssertionResult clean(const Solution& s) {
  if (s.ILL == 0 && s.out.empty() && s.EPS == 0.0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "ILL = " << s.ILL << ", EPS = " << s.EPS << ", output \""
                                     << s.out << "\"";
}

// ---- Matrix input files ------------------------------------------------------

// A real as the tests write it into a file: the shortest form that reads
// back to the same double.
inline std::string real_text(double v) {
  char text[32];
  return {text, std::to_chars(text, text + sizeof text, v).ptr};
}

// The element records of the n x n matrix M, row by row, the column index
// fastest, as the file holds them: "i j re im".
inline std::string element_records(const oracle::ZMatrix& M) {
  std::string text;
  for (int i = 1; i <= M.rows; ++i)
    for (int j = 1; j <= M.cols; ++j)
      text += std::to_string(i) + " " + std::to_string(j) + " " + real_text(M(i, j).real()) + " " +
              real_text(M(i, j).imag()) + "\n";
  return text;
}

// A whole matrix input file of the pencil (A, B): the order and X, then
// each matrix under its heading.
inline std::string matrix_in(const oracle::ZMatrix& A, const oracle::ZMatrix& B, double X = 0) {
  return std::to_string(A.rows) + " " + real_text(X) + "\nMatrix A\n" + element_records(A) +
         "Matrix B\n" + element_records(B);
}

// The element records of the order-2 example (examples/order2): A = [3,
// 1-i; 1+i, 1], B = I, whose eigenvalues are 2 + sqrt 3 and 2 - sqrt 3.
inline const std::string kOrder2A = "1 1 3.0 0.0\n1 2 1.0 -1.0\n2 1 1.0 1.0\n2 2 1.0 0.0\n";
inline const std::string kOrder2B = "1 1 1.0 0.0\n1 2 0.0 0.0\n2 1 0.0 0.0\n2 2 1.0 0.0\n";

// ---- Files -------------------------------------------------------------------

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void put(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// A fresh directory under /tmp for each test, removed with everything in it
// when the test ends.
class ScratchDir : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/geneig_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  // The names in directory d (the scratch directory itself by default), sorted.
  std::vector<std::string> listing(const fs::path& d = {}) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(d.empty() ? dir_ : d))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  fs::path dir_;
};

}  // namespace geneig::test
