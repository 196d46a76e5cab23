"""geneig: the generalized Hermitian eigenproblem A v = lambda B v.

A complex Hermitian, B Hermitian positive definite, of order n <= 200, for
one pencil or a stack of them, solved on every core with the same bits
whatever the number of threads, and the same bits as the console program.

Functions
---------
eigh            eigenvalues and eigenvectors of a pencil or a stack of pencils
read_matrix_in  the pencil of a matrix input file
write_matrix_in a pencil as a matrix input file
read_matrix_out the eigenvalues and eigenvectors of a result file

geneig.dask.eigh solves Dask arrays of pencils, chunk by chunk.
"""

import operator
import os
import warnings

import numpy as np

from . import _geneig

__version__ = _geneig.__version__
__all__ = ["LinAlgError", "NMAX", "eigh", "read_matrix_in", "write_matrix_in", "read_matrix_out"]

#: The largest order any function accepts.
NMAX = _geneig.NMAX

# The default number of workers (os.cpu_count() reads a file each time).
_CPUS = os.cpu_count() or 1


class LinAlgError(np.linalg.LinAlgError):
    """The solver could not solve a pencil: B not positive definite, an
    eigenvalue beyond the range of double precision, eigenvectors of close
    eigenvalues not told apart, a result that is not finite, or a result
    that fails its residual check. The message is the solver's own, and
    names the pencil of a stack by its index."""


def _as_matrices(x, name):
    """x as an array of (..., n, n) of float64 or complex128 elements,
    without a copy where it already is one."""
    x = np.asarray(x)
    if x.dtype != np.float64 and x.dtype != np.complex128:
        if not (np.issubdtype(x.dtype, np.number) or x.dtype == np.bool_):
            raise ValueError(f"{name} must hold numbers, not {x.dtype}")
        x = x.astype(np.complex128 if np.iscomplexobj(x) else np.float64)
    if x.ndim < 2 or x.shape[-1] != x.shape[-2]:
        raise ValueError(f"{name} must be square matrices of shape (..., n, n), not {x.shape}")
    n = x.shape[-1]
    if n == 0 or n > NMAX:
        raise ValueError(f"{name} has order {n}: the order must be 1 to {NMAX}")
    return x


def _request(n, eigvals_only, subset_by_index, order):
    """The solver's (m, mv, first, count, reverse) for the eigenpairs asked
    for: a range that touches the top of the spectrum is computed from the
    largest eigenvalue down (m > 0), any other from the nearer end."""
    if order not in ("ascending", "descending"):
        raise ValueError(f"order must be 'ascending' or 'descending', not {order!r}")
    if subset_by_index is None:
        lo, hi = 0, n - 1
    else:
        try:
            lo, hi = (operator.index(k) for k in subset_by_index)
        except (TypeError, ValueError):
            raise ValueError("subset_by_index must be two integers (lo, hi)") from None
        if not 0 <= lo <= hi <= n - 1:
            raise ValueError(f"subset_by_index ({lo}, {hi}) must satisfy 0 <= lo <= hi <= {n - 1}")
    count = hi - lo + 1
    if n - 1 - hi <= lo:
        # From the top: the solver's number s is ascending number n - 1 - s.
        m = n - lo
        first, reverse = n - 1 - hi, order == "ascending"
    else:
        m = -(hi + 1)
        first, reverse = lo, order == "descending"
    return m, 0 if eigvals_only else abs(m), first, count, reverse


def _pencil(stack, flat):
    """"pencil I: " for the pencil of flat index `flat` in a stack, by its
    index on the stack axes; empty for a single pencil."""
    if not stack:
        return ""
    index = tuple(int(k) for k in np.unravel_index(flat, stack))
    return f"pencil {index[0] if len(index) == 1 else index}: "


def eigh(a, b=None, *, lower=True, eigvals_only=False, subset_by_index=None,
         order="ascending", check_finite=True, workers=None):
    """Eigenvalues and eigenvectors of Hermitian-definite pencils.

    Solves A v = w B v for a complex Hermitian (or real symmetric) A and a
    Hermitian positive definite B, or A v = w v when b is None, for one
    pencil or for every pencil of a stack, on several threads.

    Parameters
    ----------
    a : array_like, shape (..., n, n)
        The Hermitian matrices A, real or complex, in any memory order,
        1 <= n <= 200. Only the triangle chosen by `lower` is read (and of
        the diagonal only the real parts). Never modified.
    b : array_like, shape (..., n, n), optional
        The Hermitian positive definite matrices B, read as A is. Their
        stack axes broadcast against those of `a`. None (the default): the
        identity, the standard problem.
    lower : bool, optional
        Read the lower triangle and diagonal of `a` and `b` (default), or
        the upper.
    eigvals_only : bool, optional
        Compute the eigenvalues alone (default False).
    subset_by_index : (int, int), optional
        Only eigenpairs lo to hi (0-based, inclusive) in ascending order of
        the eigenvalues. A range that touches either end of the spectrum
        is computed alone; one in the middle from the nearer end.
    order : {"ascending", "descending"}, optional
        The order of the eigenvalues returned (default ascending). With
        "descending" and every eigenpair, `w` and `v` are the bits that the
        console program writes for the pencil.
    check_finite : bool, optional
        Raise ValueError for a NaN or an infinity anywhere in `a` or `b`
        (default True). Without the check the solver still refuses one in
        the triangle it reads, with LinAlgError.
    workers : int, optional
        Threads that solve a stack (default: os.cpu_count() at import). The results
        are the same bits whatever the number.

    Returns
    -------
    w : ndarray of float64, shape (..., k)
        The k eigenvalues of each pencil, in the order asked for.
    v : ndarray of complex128, shape (..., n, k)
        Column j the eigenvector of w[..., j], B-orthonormal (v^H B v = I);
        not returned with `eigvals_only`.

    Raises
    ------
    ValueError
        Shapes that are not square matrices or do not broadcast, an order
        above 200, a NaN or an infinity with `check_finite`, an invalid
        `subset_by_index`, `order` or `workers`.
    LinAlgError
        A pencil the solver could not solve (see geneig.LinAlgError); the
        message names the first such pencil of a stack by its index.

    Examples
    --------
    >>> import numpy as np, geneig
    >>> a = np.array([[3, 1 - 1j], [1 + 1j, 1]])
    >>> w, v = geneig.eigh(a, np.eye(2))
    >>> w
    array([0.26794919, 3.73205081])
    >>> w, v = geneig.eigh(np.stack([a, 2 * a]), np.eye(2), workers=2)
    >>> w.shape, v.shape
    ((2, 2), (2, 2, 2))
    """
    a = _as_matrices(a, "a")
    n = a.shape[-1]
    stack = a.shape[:-2]
    if b is not None:
        b = _as_matrices(b, "b")
        if b.shape[-1] != n:
            raise ValueError(f"a and b must have the same order, not {n} and {b.shape[-1]}")
        if b.shape != a.shape:
            try:
                stack = np.broadcast_shapes(stack, b.shape[:-2])
            except ValueError:
                raise ValueError(f"the stacks of a {a.shape[:-2]} and b {b.shape[:-2]} do not "
                                 "broadcast") from None
            a = np.broadcast_to(a, stack + (n, n))
            b = np.broadcast_to(b, stack + (n, n))
    m, mv, first, count, reverse = _request(n, eigvals_only, subset_by_index, order)
    if workers is None:
        workers = _CPUS
    else:
        workers = operator.index(workers)
        if workers < 1:
            raise ValueError(f"workers must be at least 1, not {workers}")
    w = np.empty(stack + (count,))
    v = None if eigvals_only else np.empty(stack + (n, count), dtype=np.complex128)
    failed, not_finite, message, noted, notes = _geneig.solve(
        a, b, lower, check_finite, m, mv, first, count, reverse, workers, w, v)
    if noted >= 0:
        for line in notes.splitlines():
            warnings.warn(_pencil(stack, noted) + line, RuntimeWarning, stacklevel=2)
    if failed >= 0:
        if not_finite:
            raise ValueError(f"{_pencil(stack, failed)}{message} must not contain infs or NaNs")
        raise LinAlgError(_pencil(stack, failed) + message)
    return w if eigvals_only else (w, v)


def _raise_read(status, message):
    if status == "os":
        raise OSError(message)
    raise ValueError(message)


def _warn_lines(lines):
    for line in lines:
        warnings.warn(line, RuntimeWarning, stacklevel=3)


def read_matrix_in(path):
    """The pencil of a matrix input file, as the console program reads it.

    Parameters
    ----------
    path : str or os.PathLike
        The file.

    Returns
    -------
    a, b : ndarray of complex128, shape (n, n)
        A and B, every element as the file gives it.

    Raises
    ------
    OSError
        The file cannot be opened or read.
    ValueError
        A fault in the file, with the reader's line "path:LINE: ...".

    The reader's warnings ("path:LINE: warning: ...", a matrix that is not
    Hermitian, a record that goes on with a number) are issued with
    warnings.warn.

    Examples
    --------
    >>> a, b = geneig.read_matrix_in("matrix.in")  # doctest: +SKIP
    """
    status, message, lines, a, b = _geneig.read_input(os.fsdecode(path))
    _warn_lines(lines)
    if status != "ok":
        _raise_read(status, message)
    return a, b


def write_matrix_in(path, a, b, x=0.0):
    """Writes the pencil (a, b) as a matrix input file, every element in the
    shortest decimal form that reads back to the same double.

    Parameters
    ----------
    path : str or os.PathLike
        The file, replaced whole or not at all.
    a, b : array_like, shape (n, n)
        The matrices, every element written (the upper triangle too).
    x : float, optional
        The real number of the file's first record (unused by the solver).

    Raises
    ------
    ValueError
        Shapes that are not two matrices of one order 0 to 200.
    OSError
        The file cannot be written (the message says why).

    Examples
    --------
    >>> geneig.write_matrix_in("matrix.in", a, np.eye(2))  # doctest: +SKIP
    """
    a = np.asarray(a, dtype=np.complex128)
    b = np.asarray(b, dtype=np.complex128)
    if a.ndim != 2 or a.shape[0] != a.shape[1] or b.shape != a.shape:
        raise ValueError(f"a and b must be two square matrices of one order, not {a.shape} and "
                         f"{b.shape}")
    if a.shape[0] > NMAX:
        raise ValueError(f"the order {a.shape[0]} is above the limit {NMAX}")
    ok, message = _geneig.write_input(os.fsdecode(path), a, b, float(x))
    if not ok:
        raise OSError(message)


def read_matrix_out(path):
    """The eigenvalues and eigenvectors of a result file.

    Parameters
    ----------
    path : str or os.PathLike
        The file.

    Returns
    -------
    w : ndarray of float64, shape (n,)
        The eigenvalues as the file holds them (largest first).
    v : ndarray of complex128, shape (n, n)
        Column j the eigenvector of w[j].

    Raises
    ------
    OSError
        The file cannot be opened or read.
    ValueError
        A fault in the file, with the line "path:LINE: ...".

    Examples
    --------
    >>> w, v = geneig.read_matrix_out("matrix.out")  # doctest: +SKIP
    """
    status, message, w, v = _geneig.read_output(os.fsdecode(path))
    if status != "ok":
        _raise_read(status, message)
    return w, v
