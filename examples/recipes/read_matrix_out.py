import numpy as np


def read_matrix_out(path):
    """The eigenvalues E and eigenvectors V (column j for E[j]) of a result file."""
    lines = open(path).read().splitlines()
    n = int(lines[0])
    E = np.array([float(line.split()[1]) for line in lines[2 : 2 + n]])
    t = np.loadtxt(lines[3 + n :], ndmin=2)  # i, j, re, im; component index outermost
    V = (t[:, 2] + 1j * t[:, 3]).reshape(n, n)
    return E, V
