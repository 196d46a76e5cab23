// Writing the eigen result file: built whole in memory, then put in place of
// the previous file in one rename.
#include "saveeig.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "colmajor.hpp"
#include "eigcab.hpp"
#include "free_output.hpp"
#include "text_field.hpp"

namespace geneig {

namespace {

using cplx = std::complex<double>;

constexpr std::size_t decimal_digits(int n) { return n < 10 ? 1 : 1 + decimal_digits(n / 10); }

// The longest result file, that of order NMAX: every index has at most the
// digits of NMAX, every real at most kMaxRealChars characters, one blank
// between items and a line feed after each record.
constexpr std::size_t kIndexChars = decimal_digits(NMAX);
constexpr std::string_view kValuesHeading = "Eigen values";
constexpr std::string_view kVectorsHeading = "Eigen vectors";
constexpr std::size_t kValueRecordChars = kIndexChars + 1 + kMaxRealChars + 1;
constexpr std::size_t kVectorRecordChars = 2 * (kIndexChars + 1) + 2 * (kMaxRealChars + 1);
constexpr std::size_t kResultChars = kMaxIntChars + 1 + kValuesHeading.size() + 1 +
                                     kVectorsHeading.size() + 1 + NMAX * kValueRecordChars +
                                     std::size_t{NMAX} * NMAX * kVectorRecordChars;
char g_result[kResultChars];

// A temporary file is named after its target with ".tmp" and, when that name
// is taken (a run that was killed may have left it), a number after it.
constexpr int kTempNames = 100;

__attribute__((format(printf, 3, 4))) bool fail(WriteReport& report, std::string_view file, const char* format, ...) {
  report.ok = false;
  int n = std::snprintf(report.text, sizeof report.text, "%.*s: ",
                        static_cast<int>(std::min<std::size_t>(file.size(), 256)), file.data());
  n = std::clamp(n, 0, static_cast<int>(sizeof report.text) - 1);
  std::va_list args;
  va_start(args, format);
  n += std::vsnprintf(report.text + n, sizeof report.text - static_cast<std::size_t>(n), format,
                      args);
  va_end(args);
  report.length = std::min(static_cast<std::size_t>(n), sizeof report.text - 1);
  return false;
}

const char* reason(int err) { return std::strerror(err ? err : EIO); }

// Creates a temporary file beside path that did not exist before; tmp
// receives its name.
std::FILE* create_temporary(const char* path, char (&tmp)[kMaxNameChars + 16]) {
  for (int k = 0; k < kTempNames; ++k) {
    if (k == 0) {
      std::snprintf(tmp, sizeof tmp, "%s.tmp", path);
    } else {
      std::snprintf(tmp, sizeof tmp, "%s.tmp%d", path, k);
    }
    if (std::FILE* f = std::fopen(tmp, "wbx")) return f;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

// Writes text to f and closes it; errno of the first failure, or 0.
int write_and_close(std::FILE* f, std::string_view text) {
  // The text is one block already: no stream buffer to copy it through.
  std::setvbuf(f, nullptr, _IONBF, 0);
  errno = 0;
  int err = 0;
  if (std::fwrite(text.data(), 1, text.size(), f) != text.size()) err = errno ? errno : EIO;
  if (std::fflush(f) != 0 && !err) err = errno ? errno : EIO;
  if (std::fclose(f) != 0 && !err) err = errno ? errno : EIO;
  return err;
}

}  // namespace

std::string_view format_result(const double* E, const cplx* V, int N) {
  const ColMajor<const cplx> v(V, NMAX);
  char* p = g_result;
  const auto end_record = [&p] { *p++ = '\n'; };
  const auto blank = [&p] { *p++ = ' '; };
  p = put_int(p, N);
  end_record();
  p = put_text(p, kValuesHeading);
  end_record();
  for (int i = 1; i <= N; ++i) {
    p = put_int(p, i);
    blank();
    p = put_real(p, E[i - 1]);
    end_record();
  }
  p = put_text(p, kVectorsHeading);
  end_record();
  for (int i = 1; i <= N; ++i) {
    for (int j = 1; j <= N; ++j) {
      p = put_int(p, i);
      blank();
      p = put_int(p, j);
      blank();
      p = put_real(p, v(i, j).real());
      blank();
      p = put_real(p, v(i, j).imag());
      end_record();
    }
  }
  return {g_result, static_cast<std::size_t>(p - g_result)};
}

bool write_result_file(std::string_view name, const double* E, const cplx* V, int N,
                       WriteReport& report) {
  static char path[kMaxNameChars + 1];
  static char tmp[kMaxNameChars + 16];
  report = WriteReport{};
  const std::string_view file = field_name(name);
  if (!to_c_path(file, path)) return fail(report, file, "cannot write: not a file name");
  if (N > NMAX)
    return fail(report, file, "cannot write: the order N = %d is above the limit %d", N, NMAX);
  const std::string_view text = format_result(E, V, N);
  std::FILE* f = create_temporary(path, tmp);
  if (!f) return fail(report, file, "cannot create a temporary file beside it: %s", reason(errno));
  if (const int err = write_and_close(f, text)) {
    std::remove(tmp);
    return fail(report, file, "cannot write the temporary file %s: %s", tmp, reason(err));
  }
  if (std::rename(tmp, path) != 0) {
    const int err = errno;
    std::remove(tmp);
    return fail(report, file, "cannot replace it by %s: %s", tmp, reason(err));
  }
  return true;
}

void saveeig(const std::string_view& name, const double* E, const cplx* V, const int& N) {
  static WriteReport report;
  if (write_result_file(name, E, V, N, report)) return;
  std::fwrite(report.text, 1, report.length, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::exit(2);
}

}  // namespace geneig
