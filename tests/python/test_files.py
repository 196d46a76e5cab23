"""The file routines, and the same bits as the console program."""

import os
import subprocess
import warnings

import numpy as np
import pytest

import geneig
from pencils import pencil, same_bits

PROGRAM = os.environ.get("GENEIG_EXE")


# With order="descending" and every eigenpair, eigh gives the bits that
# the program writes for the pencil it reads from matrix.in.
@pytest.mark.skipif(not PROGRAM, reason="GENEIG_EXE names the built program")
@pytest.mark.parametrize("kind,n", [("random", 2), ("random", 17), ("real", 9), ("kms", 40),
                                    ("gaussian", 25), ("graded", 12), ("fem", 30)])
def test_same_bits_as_the_program(tmp_path, kind, n):
    a, b = pencil(kind, n)
    geneig.write_matrix_in(tmp_path / "matrix.in", a, b)
    ra, rb = geneig.read_matrix_in(tmp_path / "matrix.in")
    assert same_bits(ra, a.astype(complex)) and same_bits(rb, b.astype(complex))
    run = subprocess.run([PROGRAM], cwd=tmp_path, capture_output=True, timeout=60)
    assert run.returncode == 0, run.stderr
    w_program, v_program = geneig.read_matrix_out(tmp_path / "matrix.out")
    w, v = geneig.eigh(a, b, order="descending")
    assert same_bits(w, w_program) and same_bits(v, v_program)


def _write(path, text):
    path.write_text(text)
    return path


ORDER2 = "2 0.0\nMatrix A\n1 1 3 0\n1 2 1 -1\n2 1 1 1\n2 2 1 0\nMatrix B\n" \
         "1 1 1 0\n1 2 0 0\n2 1 0 0\n2 2 1 0\n"
RESULT2 = "2\nEigen values\n1 3.5\n2 0.25\nEigen vectors\n1 1 1 0\n1 2 0 0\n2 1 0 0\n2 2 0 1\n"


# Faults in a file: (routine, text or None for no file, exception, words).
@pytest.mark.parametrize("read,text,error,words", [
    (geneig.read_matrix_in, None, OSError, "cannot open"),
    (geneig.read_matrix_in, "2 0.0\nMatrix A\n1 1 3 0\n", ValueError, "file:4: expected"),
    (geneig.read_matrix_in, ORDER2.replace("2 1 1 1", "2 1 x 1"), ValueError, "file:5:"),
    (geneig.read_matrix_in, ORDER2.replace("2 1 1 1", "1 2 1 1"), ValueError,
     "Error: Inconsistent (i,j):  2 1 1 2 1 1\n"),
    (geneig.read_matrix_in, "201 0.0\n", ValueError, "above the limit 200"),
    (geneig.read_matrix_out, None, OSError, "cannot open"),
    (geneig.read_matrix_out, RESULT2[:22], ValueError,
     "file:4: expected the record of E(2) (a real number), found the end of the file"),
    (geneig.read_matrix_out, RESULT2.replace("2 0.25", "3 0.25"), ValueError,
     "file:4: expected the record of E(2), found the index 3"),
    (geneig.read_matrix_out, RESULT2.replace("2 1 0 0", "2 1 0 zero"), ValueError,
     'file:8: expected the record of V(2,1) (a real number), found "zero"'),
    (geneig.read_matrix_out, "2\n", ValueError, "heading"),
])
def test_file_faults_raise(tmp_path, read, text, error, words):
    path = tmp_path / "file"
    if text is not None:
        _write(path, text)
    with pytest.raises(error) as caught:
        read(path)
    assert words in str(caught.value)


def test_files_round_trip_and_warn(tmp_path):
    a, b = geneig.read_matrix_in(_write(tmp_path / "matrix.in", ORDER2))
    assert same_bits(a, np.array([[3, 1 - 1j], [1 + 1j, 1]])) and same_bits(b, np.eye(2) + 0j)
    w, v = geneig.read_matrix_out(_write(tmp_path / "matrix.out", RESULT2))
    assert same_bits(w, np.array([3.5, 0.25])) and same_bits(v, np.diag([1, 1j]))
    with pytest.warns(RuntimeWarning, match=r"matrix.in:\d+: warning: .*Hermitian"):
        geneig.read_matrix_in(_write(tmp_path / "matrix.in", ORDER2.replace("1 2 1 -1", "1 2 5 -1")))
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        geneig.read_matrix_in(_write(tmp_path / "ok.in", ORDER2))


@pytest.mark.parametrize("a,b,error", [(np.eye(2), np.eye(3), ValueError),
                                       (np.eye(201), np.eye(201), ValueError),
                                       (np.eye(2), np.eye(2), OSError)])
def test_write_faults_raise(tmp_path, a, b, error):
    with pytest.raises(error):
        geneig.write_matrix_in(tmp_path / "no such directory" / "matrix.in", a, b)
