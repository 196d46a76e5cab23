"""geneig.dask: stacks of pencils in Dask arrays, solved chunk by chunk
wherever Dask runs its tasks (threads, processes, a cluster).

    import dask.array as da
    import geneig.dask
    a = da.from_array(stack_of_a, chunks=(1000, -1, -1))
    w, v = geneig.dask.eigh(a, b)         # lazy, chunked as a
    w, v = dask.compute(w, v)             # or .compute() on a distributed.Client
"""

import dask.array as da
import numpy as np

from . import eigh as _eigh

__all__ = ["eigh"]


def eigh(a, b=None, *, lower=True, eigvals_only=False, subset_by_index=None,
         order="ascending", check_finite=True, workers=None):
    """geneig.eigh on Dask arrays, one task for each chunk of the stack.

    Parameters
    ----------
    a : dask.array.Array or array_like, shape (..., n, n)
        The matrices A, chunked along the stack axes only: each chunk must
        hold whole matrices (the last two axes in one chunk; they are
        rechunked to that if they are not).
    b : dask.array.Array or array_like, shape (..., n, n), optional
        The matrices B, broadcast against `a` (a single B goes to every
        task whole).
    lower, eigvals_only, subset_by_index, order, check_finite, workers
        As for geneig.eigh; `workers` are the threads of each task.

    Returns
    -------
    w : dask.array.Array, shape (..., k)
    v : dask.array.Array, shape (..., n, k); not with `eigvals_only`.
        Lazy; each chunk is the bits geneig.eigh gives for it, the same
        bits as one call on the whole stack.

    Raises
    ------
    ValueError
        As geneig.eigh, for the shapes, at once; for the values, when the
        chunks are computed (so does LinAlgError, naming the pencil by its
        index within its chunk).

    Examples
    --------
    >>> import dask.array as da, numpy as np, geneig.dask
    >>> a = da.from_array(np.stack([np.diag([1.0, 2.0])] * 4), chunks=(2, 2, 2))
    >>> w, v = geneig.dask.eigh(a)
    >>> w.compute()
    array([[1., 2.],
           [1., 2.],
           [1., 2.],
           [1., 2.]])
    """
    a = da.asarray(a)
    if a.ndim < 2 or a.shape[-1] != a.shape[-2]:
        raise ValueError(f"a must be square matrices of shape (..., n, n), not {a.shape}")
    n = a.shape[-1]
    k = n if subset_by_index is None else subset_by_index[1] - subset_by_index[0] + 1
    options = dict(lower=lower, eigvals_only=eigvals_only, subset_by_index=subset_by_index,
                   order=order, check_finite=check_finite, workers=workers)
    operands, cores = [a], ["(n,n)"]
    stack_axes = a.ndim - 2
    if b is not None:
        b = da.asarray(b)
        operands.append(b)
        cores.append("(n,n)")
        stack_axes = max(stack_axes, b.ndim - 2)
    # Empty arrays of each output's kind, which spare Dask a trial call.
    w_meta = np.empty((0,) * (stack_axes + 1))
    v_meta = np.empty((0,) * (stack_axes + 2), dtype=np.complex128)
    outputs, meta = ("(k)", w_meta) if eigvals_only else ("(k),(n,k)", (w_meta, v_meta))
    # The stack axes of a and b broadcast and their chunks line up: one
    # task for each chunk of the stack.
    return da.apply_gufunc(lambda *blocks: _eigh(*blocks, **options),
                           ",".join(cores) + "->" + outputs, *operands, meta=meta,
                           output_sizes={"k": k}, allow_rechunk=True)
