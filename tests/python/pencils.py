"""Pencils for the tests: random ones beside structured ones from the
fields the solver serves (as tests/structured.hpp builds them in C++), and
the measures of a result."""

import numpy as np

EPS = np.finfo(float).eps


def hermitian(rng, n, complex_=True):
    x = rng.standard_normal((n, n))
    if complex_:
        x = x + 1j * rng.standard_normal((n, n))
    return (x + x.conj().T) / 2


def definite(rng, n, complex_=True):
    y = hermitian(rng, n, complex_)
    return y @ y.conj().T / n + np.eye(n)


def kms(n, z):
    """B(i, j) = z^(i - j), i >= j, the upper triangle its conjugate."""
    i, j = np.indices((n, n))
    lower = np.where(i >= j, z ** np.abs(i - j), 0)
    return lower + np.tril(lower, -1).conj().T


def gaussian_line(n, width, k=0.3, omega=0.5):
    """Overlap S and Hamiltonian H of a line of Gaussians at unit spacing
    with Bloch phases (structured.hpp has the formulas)."""
    x = np.arange(n, dtype=float)
    d = x[:, None] - x[None, :]
    m = (x[:, None] + x[None, :]) / 2
    w2 = width * width
    s = np.exp(-1j * k * d) * np.exp(-d * d / (4 * w2))
    h = s * ((w2 / 2 - d * d / 4) / (2 * w2 * w2) + omega * omega * (m * m + w2 / 2) / 2)
    return h, s


def graded(m, g, rng):
    """S M S, S = diag(10^(g t_i)), the t_i spread over [-1, 1] in random order."""
    s = 10.0 ** (g * rng.permutation(np.linspace(-1, 1, m.shape[0])))
    return m * s[:, None] * s[None, :]


def stiffness_mass(n):
    """Linear finite elements on a uniform mesh of (0, 1), fixed ends."""
    h = 1 / (n + 1)
    k = (2 * np.eye(n) - np.eye(n, k=1) - np.eye(n, k=-1)) / h
    m = (4 * np.eye(n) + np.eye(n, k=1) + np.eye(n, k=-1)) * h / 6
    return k, m


def pencil(kind, n, seed=1):
    """(A, B) of one row of a table; B None for the standard problem."""
    rng = np.random.default_rng(seed)
    if kind == "random":
        return hermitian(rng, n), definite(rng, n)
    if kind == "real":
        return hermitian(rng, n, False), definite(rng, n, False)
    if kind == "standard":
        return hermitian(rng, n), None
    if kind == "kms":
        return hermitian(rng, n), kms(n, 0.6 + 0.3j)
    if kind == "gaussian":
        return gaussian_line(n, 1.2)
    if kind == "graded":
        return graded(hermitian(rng, n), 3, rng), graded(definite(rng, n), 3, rng)
    if kind == "fem":
        return stiffness_mass(n)
    raise ValueError(kind)


def _scaling(b, n):
    """S = diag(B(k, k)^-1/2): the measures below are taken on the pencil
    (S A S, S B S) with a unit diagonal of B, and its vectors S^-1 V."""
    return np.ones(n) if b is None else 1 / np.sqrt(np.diagonal(b).real)


def residual(a, b, w, v):
    """max_j |A v_j - w_j B v_j| / ((|A| + |w_j| |B|) |v_j|), 2-norms."""
    s = _scaling(b, a.shape[-1])
    a = a * s[:, None] * s
    b = np.eye(len(s)) if b is None else b * s[:, None] * s
    v = v / s[:, None]
    r = a @ v - (b @ v) * w
    scale = (np.linalg.norm(a, 2) + np.abs(w) * np.linalg.norm(b, 2)) * np.linalg.norm(v, axis=0)
    return (np.linalg.norm(r, axis=0) / scale).max()


def orthonormality(b, v):
    """|V^H B V - I|_max, over cond(S B S)."""
    s = _scaling(b, v.shape[0])
    b = np.eye(len(s)) if b is None else b * s[:, None] * s
    v = v / s[:, None]
    return np.abs(v.conj().T @ b @ v - np.eye(v.shape[1])).max() / np.linalg.cond(b)


def same_bits(x, y):
    x, y = np.asarray(x), np.asarray(y)
    return x.shape == y.shape and x.dtype == y.dtype and x.tobytes() == y.tobytes()
