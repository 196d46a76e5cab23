"""geneig.dask.eigh: the bits of one local call, chunk by chunk, in threads
and in the worker processes of a distributed cluster."""

import dask
import dask.array as da
import numpy as np
import pytest

import geneig
import geneig.dask
from pencils import definite, hermitian, same_bits


def _stack(count, n, seed=11):
    rng = np.random.default_rng(seed)
    return (np.array([hermitian(rng, n) for _ in range(count)]),
            np.array([definite(rng, n) for _ in range(count)]))


# (chunks of the stack of a, b as a stack / one matrix / none, options).
@pytest.mark.parametrize("chunks,b_kind,options", [
    (5, "stack", {}), (7, "one", {}), (20, "none", {}),
    (3, "stack", {"subset_by_index": (1, 3), "order": "descending"}),
    (4, "one", {"eigvals_only": True}),
])
def test_chunks_give_the_local_bits(chunks, b_kind, options):
    a, b = _stack(20, 6)
    b = {"stack": b, "one": b[0], "none": None}[b_kind]
    want = geneig.eigh(a, b, **options)
    lazy = geneig.dask.eigh(da.from_array(a, chunks=(chunks, 6, 6)),
                            None if b is None else da.from_array(b), **options)
    with dask.config.set(scheduler="threads"):
        got = dask.compute(lazy)[0]
    for x, y in zip(want if isinstance(want, tuple) else (want,),
                    got if isinstance(got, tuple) else (got,)):
        assert same_bits(np.asarray(y), x)


def test_distributed_cluster_gives_the_local_bits():
    distributed = pytest.importorskip("distributed")
    a, b = _stack(40, 10)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  host="127.0.0.1", dashboard_address=None,
                                  worker_dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        w, v = geneig.dask.eigh(da.from_array(a, chunks=(10, 10, 10)),
                                da.from_array(b, chunks=(10, 10, 10)), workers=1)
        w, v = client.compute([w, v], sync=True)
        ran_on = client.run(lambda: __import__("os").getpid())
    want_w, want_v = geneig.eigh(a, b)
    assert same_bits(w, want_w) and same_bits(v, want_v)
    assert len(set(ran_on.values())) == 2
