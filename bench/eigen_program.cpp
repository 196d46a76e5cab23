// The whole-program peer: what a program built on Eigen with ordinary C++
// streams does with the same files. It reads "matrix.in" (N and one real, a
// heading, the N^2 records "i j re im" of A, a heading, those of B), solves
// A v = lambda B v with Eigen's GeneralizedSelfAdjointEigenSolver, and
// writes "matrix.out" in the same layout as geneig, largest eigenvalue
// first, 17 significant digits. No checks beyond the stream's own: it only
// has to take the time such a program takes (bench/whole_program.sh).
#include <Eigen/Eigenvalues>

#include <fstream>
#include <iomanip>
#include <iostream>
#include <limits>
#include <string>

namespace {

bool read_matrix(std::istream& in, Eigen::MatrixXcd& M) {
  std::string heading;
  in >> std::ws;
  std::getline(in, heading);
  for (Eigen::Index r = 0; r < M.size(); ++r) {
    int i = 0, j = 0;
    double re = 0.0, im = 0.0;
    if (!(in >> i >> j >> re >> im) || i < 1 || j < 1 || i > M.rows() || j > M.cols())
      return false;
    M(i - 1, j - 1) = {re, im};
  }
  return true;
}

}  // namespace

int main() {
  std::ifstream in("matrix.in");
  int n = 0;
  double x = 0.0;
  if (!(in >> n >> x) || n < 1) {
    std::cerr << "matrix.in: cannot read the order\n";
    return 1;
  }
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  Eigen::MatrixXcd A(n, n), B(n, n);
  if (!read_matrix(in, A) || !read_matrix(in, B)) {
    std::cerr << "matrix.in: cannot read the matrices\n";
    return 1;
  }
  const Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXcd> solver(
      A, B, Eigen::ComputeEigenvectors | Eigen::Ax_lBx);
  if (solver.info() != Eigen::Success) {
    std::cerr << "the solver failed\n";
    return 1;
  }
  const Eigen::VectorXd& E = solver.eigenvalues();
  const Eigen::MatrixXcd& V = solver.eigenvectors();
  std::ofstream out("matrix.out");
  out << std::setprecision(17) << n << "\nEigen values\n";
  for (int k = 1; k <= n; ++k) out << k << ' ' << E(n - k) << '\n';
  out << "Eigen vectors\n";
  for (int i = 1; i <= n; ++i)
    for (int k = 1; k <= n; ++k) {
      const std::complex<double> z = V(i - 1, n - k);
      out << i << ' ' << k << ' ' << z.real() << ' ' << z.imag() << '\n';
    }
  out.close();
  if (!out) {
    std::cerr << "matrix.out: cannot write\n";
    return 1;
  }
  return 0;
}
