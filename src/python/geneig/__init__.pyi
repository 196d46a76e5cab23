import os
from typing import Literal, overload

import numpy as np
import numpy.typing as npt

NMAX: int
__version__: str

class LinAlgError(np.linalg.LinAlgError): ...

_Path = str | os.PathLike[str]

@overload
def eigh(
    a: npt.ArrayLike,
    b: npt.ArrayLike | None = ...,
    *,
    lower: bool = ...,
    eigvals_only: Literal[False] = ...,
    subset_by_index: tuple[int, int] | None = ...,
    order: Literal["ascending", "descending"] = ...,
    check_finite: bool = ...,
    workers: int | None = ...,
) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.complex128]]: ...
@overload
def eigh(
    a: npt.ArrayLike,
    b: npt.ArrayLike | None = ...,
    *,
    lower: bool = ...,
    eigvals_only: Literal[True],
    subset_by_index: tuple[int, int] | None = ...,
    order: Literal["ascending", "descending"] = ...,
    check_finite: bool = ...,
    workers: int | None = ...,
) -> npt.NDArray[np.float64]: ...
def read_matrix_in(path: _Path) -> tuple[npt.NDArray[np.complex128], npt.NDArray[np.complex128]]: ...
def write_matrix_in(path: _Path, a: npt.ArrayLike, b: npt.ArrayLike, x: float = ...) -> None: ...
def read_matrix_out(path: _Path) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.complex128]]: ...
