from typing import Literal, overload

import dask.array as da
import numpy.typing as npt

@overload
def eigh(
    a: da.Array | npt.ArrayLike,
    b: da.Array | npt.ArrayLike | None = ...,
    *,
    lower: bool = ...,
    eigvals_only: Literal[False] = ...,
    subset_by_index: tuple[int, int] | None = ...,
    order: Literal["ascending", "descending"] = ...,
    check_finite: bool = ...,
    workers: int | None = ...,
) -> tuple[da.Array, da.Array]: ...
@overload
def eigh(
    a: da.Array | npt.ArrayLike,
    b: da.Array | npt.ArrayLike | None = ...,
    *,
    lower: bool = ...,
    eigvals_only: Literal[True],
    subset_by_index: tuple[int, int] | None = ...,
    order: Literal["ascending", "descending"] = ...,
    check_finite: bool = ...,
    workers: int | None = ...,
) -> da.Array: ...
