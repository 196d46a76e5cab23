"""A stack of 10,000 order-50 pencils solved again and again: the process
must not grow."""

import gc

import numpy as np
import pytest

import geneig
from pencils import definite, hermitian


def _resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


@pytest.mark.slow
def test_repeated_stacks_do_not_grow_the_process():
    rng = np.random.default_rng(2)
    n, count = 50, 10_000
    # Four distinct pencils repeated along the stack by a zero stride.
    a = np.broadcast_to(np.array([hermitian(rng, n) for _ in range(4)]), (count // 4, 4, n, n))
    b = definite(rng, n)
    sizes = []
    for _ in range(4):
        w, v = geneig.eigh(a, b)
        assert w.shape == (count // 4, 4, n)
        del w, v
        gc.collect()
        sizes.append(_resident_bytes())
    # The first round creates the threads' storage, kept for the next.
    assert max(sizes[1:]) - sizes[1] < 4 << 20, sizes
