// geneig._geneig: the compiled half of the Python package. The package's
// Python half (geneig/__init__.py) checks the arguments, shapes the outputs
// and raises the exceptions; this half moves the numbers. Nothing here
// prints: the solver's lines come back as text.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "eigcab.hpp"
#include "rdmtx.hpp"
#include "saveeig.hpp"
#include "stack_solve.hpp"
#include "version.h"

namespace py = pybind11;

namespace geneig::python {
namespace {

// An array of shape (stack..., n, n), float64 or complex128, as the solver
// reads it; the stack shape into request when shape is set.
StridedMatrices strided(const py::array& x, StackRequest& request, bool shape) {
  const int axes = static_cast<int>(x.ndim()) - 2;
  if (axes < 0 || axes > kMaxStackAxes) throw py::value_error("expected an array of (..., n, n)");
  StridedMatrices m;
  m.data = static_cast<const char*>(x.data());
  m.complex = x.dtype().is(py::dtype::of<std::complex<double>>());
  if (!m.complex && !x.dtype().is(py::dtype::of<double>()))
    throw py::value_error("expected float64 or complex128 elements");
  for (int d = 0; d < axes; ++d) {
    m.stack_strides[d] = x.strides(d);
    if (shape) request.stack_shape[d] = x.shape(d);
  }
  if (shape) request.stack_axes = axes;
  m.row_stride = x.strides(axes);
  m.col_stride = x.strides(axes + 1);
  return m;
}

// (failed, not_finite, message, noted, notes): the flat index of the first
// pencil whose solve failed (-1: none) and why (not_finite: a NaN or an
// infinity in "a" or "b", the message); of the first that printed lines but
// passed, and its lines.
// The arrays' shapes are the package's to get right; they are checked here
// only as far as writing within the outputs and reading within the inputs
// depends on them.
py::tuple solve(const py::array& a, const py::object& b, bool lower, bool check_finite, int m,
                int mv, int first, int count, bool reverse, int workers, const py::array& w,
                const py::object& v) {
  StackRequest request;
  request.n = a.ndim() >= 2 ? static_cast<int>(a.shape(a.ndim() - 1)) : 0;
  if (request.n < 1 || request.n > NMAX || a.shape(a.ndim() - 2) != request.n)
    throw py::value_error("expected square matrices of order 1 to NMAX");
  request.lower = lower;
  request.check_finite = check_finite;
  request.with_b = !b.is_none();
  request.m = m;
  request.mv = mv;
  request.first = first;
  request.count = count;
  request.reverse = reverse;
  request.workers = workers;
  const StridedMatrices sa = strided(a, request, true);
  const StridedMatrices sb =
      request.with_b ? strided(py::reinterpret_borrow<py::array>(b), request, false) : sa;
  if (request.with_b) {
    const auto bb = py::reinterpret_borrow<py::array>(b);
    if (bb.ndim() != a.ndim() || !std::equal(a.shape(), a.shape() + a.ndim(), bb.shape()))
      throw py::value_error("expected B of the shape of A");
  }
  const std::ptrdiff_t size = stack_size(request);
  const bool counts = first >= 0 && count >= 0 && first + count <= std::abs(m) &&
                      std::abs(m) <= request.n && std::abs(mv) <= std::abs(m) &&
                      (mv == 0) == v.is_none() && (mv == 0 || first + count <= std::abs(mv));
  const auto output = [](py::array x, auto element, std::ptrdiff_t length) {
    if (!x.dtype().is(py::dtype::of<decltype(element)>()) || !(x.flags() & py::array::c_style) ||
        !x.writeable() || x.size() != length)
      throw py::value_error("output array of the wrong kind");
    return static_cast<decltype(element)*>(x.mutable_data());
  };
  if (!counts) throw py::value_error("eigenpairs outside the order");
  StackOutput out;
  out.w = output(w, 0.0, size * count);
  if (!v.is_none())
    out.v = output(py::reinterpret_borrow<py::array>(v), cplx{}, size * request.n * count);
  StackOutcome outcome;
  {
    const py::gil_scoped_release release;
    outcome = solve_stack(request, sa, sb, out);
  }
  return py::make_tuple(outcome.failed, outcome.not_finite, outcome.message, outcome.noted,
                        outcome.notes);
}

// The file routines work in static arrays of order NMAX; the GIL, held
// throughout, keeps them to one call at a time.
cplx g_a[NMAX * NMAX], g_b[NMAX * NMAX];
double g_e[NMAX];

const char* status_name(ReadStatus s) {
  switch (s) {
    case ReadStatus::ok:
      return "ok";
    case ReadStatus::cannot_open:
    case ReadStatus::read_error:
      return "os";
    default:
      return "format";
  }
}

py::list warnings_of(const ReadReport& report) {
  py::list lines;
  for (int k = 0; k < report.warning_count; ++k)
    lines.append(py::str(std::string(report.warnings[k].view())));
  return lines;
}

// The n x n leading block of a column-major NMAX x NMAX array, as a
// C-ordered NumPy array.
py::array_t<cplx> block(const cplx* M, int n) {
  py::array_t<cplx> x({n, n});
  auto r = x.mutable_unchecked<2>();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) r(i, j) = M[i + j * NMAX];
  return x;
}

// (status, message, warnings, a, b): status "ok", "os" or "format".
py::tuple read_input(const std::string& path) {
  static ReadReport report;
  int n = 0;
  double x = 0.0;
  const ReadStatus status = read_matrix_file(path, g_a, g_b, n, x, report);
  std::string message(report.message());
  if (status == ReadStatus::mismatch && report.companion.length > 0)
    message += "\n" + std::string(report.companion.view());
  if (status != ReadStatus::ok)
    return py::make_tuple(status_name(status), message, warnings_of(report), py::none(),
                          py::none());
  return py::make_tuple("ok", "", warnings_of(report), block(g_a, n), block(g_b, n));
}

// (ok, message): a and b complex128 of shape (n, n), n <= NMAX.
py::tuple write_input(const std::string& path, const py::array_t<cplx>& a,
                      const py::array_t<cplx>& b, double x) {
  static WriteReport report;
  const int n = static_cast<int>(a.shape(0));
  const auto ra = a.unchecked<2>(), rb = b.unchecked<2>();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      g_a[i + j * NMAX] = ra(i, j);
      g_b[i + j * NMAX] = rb(i, j);
    }
  const bool ok = write_input_file(path, g_a, g_b, n, x, report);
  return py::make_tuple(ok, std::string(report.message()));
}

// (status, message, w, v).
py::tuple read_output(const std::string& path) {
  static ReadReport report;
  int n = 0;
  const ReadStatus status = read_result_file(path, g_e, g_a, n, report);
  if (status != ReadStatus::ok)
    return py::make_tuple(status_name(status), std::string(report.message()), py::none(),
                          py::none());
  py::array_t<double> w(n);
  std::copy_n(g_e, n, w.mutable_data());
  return py::make_tuple("ok", "", w, block(g_a, n));
}

}  // namespace
}  // namespace geneig::python

PYBIND11_MODULE(_geneig, module) {
  using namespace geneig::python;
  module.doc() = "The compiled routines of geneig; use the functions of the geneig package.";
  module.attr("NMAX") = geneig::NMAX;
  module.attr("__version__") = GENEIG_VERSION_STRING;
  module.def("solve", &solve, py::arg("a"), py::arg("b"), py::arg("lower"),
             py::arg("check_finite"), py::arg("m"),
             py::arg("mv"), py::arg("first"), py::arg("count"), py::arg("reverse"),
             py::arg("workers"), py::arg("w"), py::arg("v"));
  module.def("read_input", &read_input);
  module.def("write_input", &write_input);
  module.def("read_output", &read_output);
}
