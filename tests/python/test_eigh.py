"""geneig.eigh against scipy.linalg.eigh, on one pencil and on stacks."""

import numpy as np
import pytest
import scipy.linalg

import geneig
from pencils import EPS, hermitian, definite, orthonormality, pencil, residual, same_bits

KINDS = ["random", "real", "standard", "kms", "gaussian", "graded", "fem"]


@pytest.mark.parametrize("kind,n", [(k, n) for k in KINDS for n in (3, 30)] +
                         [("random", 1), ("random", 2), ("kms", 200), ("fem", 120)])
def test_against_scipy(kind, n):
    a, b = pencil(kind, n)
    w, v = geneig.eigh(a, b)
    ws = scipy.linalg.eigh(a, b, eigvals_only=True)
    cond = 1.0 if b is None else np.linalg.cond(b / np.sqrt(np.outer(np.diag(b), np.diag(b))).real)
    tol = 30 * n * EPS
    assert np.abs(w - ws).max() <= tol * cond * np.abs(ws).max()
    assert residual(a, b, w, v) <= tol
    assert orthonormality(b, v) <= tol
    assert w.dtype == np.float64 and v.dtype == np.complex128


@pytest.mark.parametrize("lower", [True, False])
def test_reads_one_triangle(lower):
    a, b = pencil("random", 6)
    junk = np.triu(np.full((6, 6), 7 + 7j), 1)
    if not lower:
        junk = junk.T
    w, v = geneig.eigh(a, b)
    w2, v2 = geneig.eigh(a + junk, b - junk, lower=lower)
    assert same_bits(w, w2) and same_bits(v, v2)


# (stack of a, stack of b): every pencil of the broadcast stack gives the
# bits of its own solve.
@pytest.mark.parametrize("a_stack,b_stack", [((4,), None), ((4,), ()), ((2, 3), (3,)),
                                             ((2, 1), (1, 3)), ((), (5,)), ((0,), ())])
def test_stack_broadcasts_as_a_loop(a_stack, b_stack):
    rng = np.random.default_rng(7)
    n = 5
    a = np.array([hermitian(rng, n) for _ in range(int(np.prod(a_stack)))]).reshape(a_stack + (n, n))
    b = None if b_stack is None else np.array(
        [definite(rng, n) for _ in range(int(np.prod(b_stack)))]).reshape(b_stack + (n, n))
    w, v = geneig.eigh(a, b, workers=2)
    stack = np.broadcast_shapes(a_stack, () if b is None else b_stack)
    assert w.shape == stack + (n,) and v.shape == stack + (n, n)
    for index in np.ndindex(stack):
        ai = np.broadcast_to(a, stack + (n, n))[index]
        bi = None if b is None else np.broadcast_to(b, stack + (n, n))[index]
        wi, vi = geneig.eigh(ai, bi)
        assert same_bits(w[index], wi) and same_bits(v[index], vi)


def test_workers_give_the_same_bits():
    rng = np.random.default_rng(3)
    a = np.array([hermitian(rng, 12) for _ in range(37)])
    b = np.array([definite(rng, 12) for _ in range(37)])
    w1, v1 = geneig.eigh(a, b, workers=1)
    for workers in (2, 3, 64, None):
        w, v = geneig.eigh(a, b, workers=workers)
        assert same_bits(w, w1) and same_bits(v, v1)


# Memory orders and element types: the same pencil however it is stored,
# and never modified.
@pytest.mark.parametrize("layout", ["C", "F", "strided", "transposed", "float64", "int", "list"])
def test_memory_order_and_types(layout):
    rng = np.random.default_rng(5)
    real = layout in ("float64", "int")
    a0, b0 = hermitian(rng, 7, not real), definite(rng, 7, not real)
    if layout == "int":
        a0, b0 = np.round(4 * a0), np.round(4 * b0) + 10 * np.eye(7)
    w0, v0 = geneig.eigh(a0, b0)
    store = {
        "C": lambda x: np.ascontiguousarray(x),
        "F": lambda x: np.asfortranarray(x),
        "strided": lambda x: np.repeat(np.repeat(x, 2, 0), 3, 1)[::2, ::3],
        "transposed": lambda x: np.ascontiguousarray(x.T).T,
        "float64": lambda x: x.astype(np.float64),
        "int": lambda x: x.astype(np.int32),
        "list": lambda x: x.tolist(),
    }[layout]
    a, b = store(a0), store(b0)
    before = [np.array(a, copy=True), np.array(b, copy=True)]
    w, v = geneig.eigh(a, b)
    assert same_bits(w, w0) and same_bits(v, v0)
    assert same_bits(np.asarray(a), before[0]) and same_bits(np.asarray(b), before[1])


# subset_by_index against the whole spectrum, from either end and in the
# middle, in both orders.
@pytest.mark.parametrize("kind", ["random", "gaussian"])
@pytest.mark.parametrize("lo,hi", [(0, 0), (0, 3), (5, 9), (9, 9), (2, 5), (4, 6), (0, 9)])
@pytest.mark.parametrize("order", ["ascending", "descending"])
def test_subsets(kind, lo, hi, order):
    n = 10
    a, b = pencil(kind, n)
    w_all = geneig.eigh(a, b, eigvals_only=True)
    w, v = geneig.eigh(a, b, subset_by_index=(lo, hi), order=order)
    want = w_all[lo:hi + 1]
    if order == "descending":
        want = want[::-1]
    cond = np.linalg.cond(b / np.sqrt(np.outer(np.diag(b), np.diag(b))).real)
    assert np.abs(w - want).max() <= 30 * n * EPS * cond * np.abs(w_all).max()
    assert v.shape == (n, hi - lo + 1)
    assert residual(a, b, w, v) <= 30 * n * EPS
    assert orthonormality(b, v) <= 30 * n * EPS
    assert same_bits(geneig.eigh(a, b, subset_by_index=(lo, hi), order=order,
                                 eigvals_only=True), w)


def test_descending_is_the_reverse():
    a, b = pencil("kms", 9)
    w, v = geneig.eigh(a, b)
    wd, vd = geneig.eigh(a, b, order="descending")
    assert same_bits(wd, w[::-1].copy()) and same_bits(vd, v[:, ::-1].copy())


def _nan_in_lower(x):
    x = np.array(x, dtype=complex)
    x[2, 1] = np.nan
    return x


A3, B3 = pencil("random", 3)
BIG = np.diag([1e300, 1.0])


# Every error: (a, b, options, exception, words of its message).
@pytest.mark.parametrize("a,b,options,error,words", [
    (np.eye(201), None, {}, ValueError, "order 201"),
    (np.zeros((3, 4)), None, {}, ValueError, "square"),
    (np.zeros(3), None, {}, ValueError, "square"),
    (np.zeros((0, 0)), None, {}, ValueError, "order 0"),
    (A3, np.eye(4), {}, ValueError, "same order"),
    (np.stack([A3] * 2), np.stack([B3] * 3), {}, ValueError, "broadcast"),
    (np.array([["a"]]), None, {}, ValueError, "numbers"),
    (_nan_in_lower(A3), B3, {}, ValueError, "infs or NaNs"),
    (A3, np.where(np.eye(3) > 0, np.inf, B3), {}, ValueError, "infs or NaNs"),
    (_nan_in_lower(A3), B3, {"check_finite": False}, geneig.LinAlgError, "NaN or an infinity"),
    (A3, -B3, {}, geneig.LinAlgError, '"D" became imaginary number !!'),
    (A3, -B3, {}, geneig.LinAlgError, "pivot of row 3"),
    (A3, np.zeros((3, 3)), {}, geneig.LinAlgError, "not positive definite"),
    ([[1.0]], [[-2.0]], {}, geneig.LinAlgError, "not positive definite"),
    ([[1.0]], [[np.inf]], {"check_finite": False}, geneig.LinAlgError, "NaN or an infinity"),
    (BIG, np.diag([1e-300, 1.0]), {}, geneig.LinAlgError, "outside the range"),
    (np.stack([A3, A3, A3]), np.stack([B3, B3, -B3]), {"workers": 2}, geneig.LinAlgError,
     "pencil 2: "),
    (np.stack([[A3, A3], [A3, A3]]), np.stack([[B3, B3], [-B3, B3]]), {}, geneig.LinAlgError,
     "pencil (1, 0): "),
    (np.stack([A3] * 40), np.stack([-B3 if k in (7, 25, 33) else B3 for k in range(40)]),
     {"workers": 3}, geneig.LinAlgError, "pencil 7: "),
    (A3, B3, {"subset_by_index": (2, 1)}, ValueError, "subset_by_index"),
    (A3, B3, {"subset_by_index": (0, 3)}, ValueError, "subset_by_index"),
    (A3, B3, {"subset_by_index": (0.5, 1)}, ValueError, "two integers"),
    (A3, B3, {"order": "largest"}, ValueError, "order"),
    (A3, B3, {"workers": 0}, ValueError, "workers"),
])
def test_errors(a, b, options, error, words):
    with pytest.raises(error) as caught:
        geneig.eigh(a, b, **options)
    assert words in str(caught.value)


def test_linalgerror_is_numpys():
    assert issubclass(geneig.LinAlgError, np.linalg.LinAlgError)


def test_prints_nothing(capfd):
    """The solver's lines go into the exception, not to standard output."""
    with pytest.raises(geneig.LinAlgError, match="imaginary number"):
        geneig.eigh(A3, -B3)
    geneig.eigh(np.stack([A3] * 4), B3, workers=2)
    out, err = capfd.readouterr()
    assert out == "" and err == ""
