// The reentrant C++ overloads as a user of the installed headers calls them:
// a Workspace from make_workspace for each of two threads, which solve the
// order-2 example at the same time through eigcab and eigch. Prints the
// solution as the examples do (check_order2.awk reads it) after checking
// that every solve gives the bits of the plain eigcab and eigch.
#include <complex>
#include <cstdio>
#include <cstring>
#include <thread>

#include <geneig/geneig.hpp>

using cplx = std::complex<double>;
constexpr int n = 2;

struct Solve {
  cplx A[n * n] = {3, {1, 1}, {1, -1}, 1};  // column-major: A(2,1) = 1 + i
  cplx B[n * n] = {1, 0, 0, 1};
  cplx D[n], V[n * n];
  double E[n], W[n * 7], eps = 0;
  int IW[n], ill = 0;

  void pencil(geneig::Workspace* work) {
    if (work)
      geneig::eigcab(A, B, n, n, n, n, eps, D, E, V, ill, IW, W, *work);
    else
      geneig::eigcab(A, B, n, n, n, n, eps, D, E, V, ill, IW, W);
  }
  void hermitian(geneig::Workspace* work) {
    if (work)
      geneig::eigch(A, n, n, n, n, eps, W, IW, E, V, ill, *work);
    else
      geneig::eigch(A, n, n, n, n, eps, W, IW, E, V, ill);
  }
  bool same_as(const Solve& o) const {
    return ill == o.ill && std::memcmp(E, o.E, sizeof E) == 0 && std::memcmp(V, o.V, sizeof V) == 0;
  }
};

int main() {
  Solve pencil, hermitian;
  pencil.pencil(nullptr);
  hermitian.hermitian(nullptr);
  Solve threads[2][2];
  auto run = [&](int t) {
    const geneig::WorkspacePtr work = geneig::make_workspace();
    threads[t][0].pencil(work.get());
    threads[t][1].hermitian(work.get());
  };
  std::thread first(run, 0), second(run, 1);
  first.join();
  second.join();
  for (const auto& t : threads)
    if (pencil.ill != 0 || !t[0].same_as(pencil) || !t[1].same_as(hermitian)) return 1;
  for (int j = 0; j < n; ++j) std::printf("E %d %.17g\n", j + 1, pencil.E[j]);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      std::printf("V %d %d %.17g %.17g\n", i + 1, j + 1, pencil.V[i + j * n].real(),
                  pencil.V[i + j * n].imag());
}
