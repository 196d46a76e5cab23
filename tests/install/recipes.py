"""The NumPy recipes on the order-2 example: "recipes.py write" writes
matrix.in; "recipes.py read" reads matrix.out and prints it as lines
"E j value" and "V i j re im"."""
import sys

sys.path.insert(0, sys.argv[2])
import numpy as np  # noqa: E402
from read_matrix_out import read_matrix_out  # noqa: E402
from write_matrix_in import write_matrix_in  # noqa: E402

if sys.argv[1] == "write":
    A = np.array([[3, 1 - 1j], [1 + 1j, 1]])
    write_matrix_in("matrix.in", A, np.eye(2))
else:
    E, V = read_matrix_out("matrix.out")
    n = len(E)
    for j in range(n):
        print(f"E {j + 1} {float(E[j])!r}")
    for j in range(n):
        for i in range(n):
            print(f"V {i + 1} {j + 1} {float(V[i, j].real)!r} {float(V[i, j].imag)!r}")
