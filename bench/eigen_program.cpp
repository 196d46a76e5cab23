// The whole-program peer: what a program built on Eigen does with the same
// files when it handles them as well as geneig does. It reads "matrix.in"
// whole in one call (N and one real, a heading, the N^2 records "i j re im"
// of A row by row, a heading, those of B), parses every number with
// std::from_chars and checks each record's indices, solves A v = lambda B v
// with Eigen's GeneralizedSelfAdjointEigenSolver, and writes "matrix.out" in
// geneig's layout, largest eigenvalue first, every real in its shortest
// round-trip form by std::to_chars, the whole file in one write. Items are
// separated by blanks or one comma; no other free-format feature is read:
// it only has to take the time such a program takes (bench/whole_program.sh).
#include <Eigen/Eigenvalues>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <complex>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The items of the input text, one after another.
class Items {
 public:
  Items(const char* p, const char* end) : p_(p), end_(end) {}

  template <class T>
  bool next(T& value) {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n' || *p_ == ','))
      ++p_;
    const std::from_chars_result r = std::from_chars(p_, end_, value);
    p_ = r.ptr;
    return r.ec == std::errc();
  }
  // Passes over the rest of the line and the next line that holds anything
  // (the heading of a matrix).
  void skip_heading() {
    skip_line();
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n')) ++p_;
    skip_line();
  }

 private:
  void skip_line() {
    while (p_ != end_ && *p_ != '\n') ++p_;
    if (p_ != end_) ++p_;
  }
  const char* p_;
  const char* end_;
};

// The whole file in one read, into a buffer of its size (not filled first).
std::unique_ptr<char[]> read_file(const char* name, std::size_t& size) {
  const int fd = ::open(name, O_RDONLY);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0) return nullptr;
  size = static_cast<std::size_t>(st.st_size);
  auto text = std::make_unique_for_overwrite<char[]>(size);
  const bool ok = ::read(fd, text.get(), size) == static_cast<ssize_t>(size);
  ::close(fd);
  return ok ? std::move(text) : nullptr;
}

bool read_matrix(Items& in, Eigen::MatrixXcd& M) {
  in.skip_heading();
  for (Eigen::Index i = 1; i <= M.rows(); ++i)
    for (Eigen::Index j = 1; j <= M.cols(); ++j) {
      int row = 0, col = 0;
      double re = 0.0, im = 0.0;
      if (!in.next(row) || !in.next(col) || !in.next(re) || !in.next(im) || row != i || col != j)
        return false;
      M(i - 1, j - 1) = {re, im};
    }
  return true;
}

// Writes value and the character after it at p, which has room for both.
template <class T>
char* put(char* p, T value, char after) {
  p = std::to_chars(p, p + 32, value).ptr;
  *p = after;
  return p + 1;
}

char* put_text(char* p, const char* text) {
  const std::size_t n = std::strlen(text);
  std::memcpy(p, text, n);
  return p + n;
}

}  // namespace

int main() {
  std::size_t size = 0;
  const std::unique_ptr<char[]> text = read_file("matrix.in", size);
  if (!text) {
    std::fputs("matrix.in: cannot read\n", stderr);
    return 1;
  }
  Items in(text.get(), text.get() + size);
  int n = 0;
  double x = 0.0;
  if (!in.next(n) || !in.next(x) || n < 1) {
    std::fputs("matrix.in: cannot read the order\n", stderr);
    return 1;
  }
  Eigen::MatrixXcd A(n, n), B(n, n);
  if (!read_matrix(in, A) || !read_matrix(in, B)) {
    std::fputs("matrix.in: cannot read the matrices\n", stderr);
    return 1;
  }
  const Eigen::GeneralizedSelfAdjointEigenSolver<Eigen::MatrixXcd> solver(
      A, B, Eigen::ComputeEigenvectors | Eigen::Ax_lBx);
  if (solver.info() != Eigen::Success) {
    std::fputs("the solver failed\n", stderr);
    return 1;
  }
  const Eigen::VectorXd& E = solver.eigenvalues();
  const Eigen::MatrixXcd& V = solver.eigenvectors();
  // Room for the longest records, of four items of at most 31 characters.
  const std::size_t rows = static_cast<std::size_t>(n);
  const std::size_t room = 64 + rows * 128 * (1 + rows);
  const std::unique_ptr<char[]> out = std::make_unique_for_overwrite<char[]>(room);
  char* p = put(out.get(), n, '\n');
  p = put_text(p, "Eigen values\n");
  for (int k = 1; k <= n; ++k) p = put(put(p, k, ' '), E(n - k), '\n');
  p = put_text(p, "Eigen vectors\n");
  for (int i = 1; i <= n; ++i)
    for (int k = 1; k <= n; ++k) {
      const std::complex<double> z = V(i - 1, n - k);
      p = put(put(put(put(p, i, ' '), k, ' '), z.real(), ' '), z.imag(), '\n');
    }
  const ssize_t length = p - out.get();
  const int fd = ::open("matrix.out", O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const bool written = fd >= 0 && ::write(fd, out.get(), static_cast<std::size_t>(length)) == length;
  if (fd < 0 || ::close(fd) != 0 || !written) {
    std::fputs("matrix.out: cannot write\n", stderr);
    return 1;
  }
  return 0;
}
