import numpy as np


def write_matrix_in(path, A, B):
    """Writes the pencil (A, B), complex n x n arrays, as a matrix input file."""
    n = A.shape[0]
    i, j = np.indices((n, n)) + 1  # row by row, the column index fastest
    with open(path, "w") as f:
        f.write(f"{n} 0.0\n")
        for heading, M in (("Matrix A", A), ("Matrix B", B)):
            f.write(heading + "\n")
            rows = np.column_stack([i.ravel(), j.ravel(), M.real.ravel(), M.imag.ravel()])
            # Indices as integers: savetxt's default would write 1.000000000000000000e+00.
            np.savetxt(f, rows, fmt=["%d", "%d", "%.17g", "%.17g"])
