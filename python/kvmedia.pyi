"""Types of kvmedia: pictures, movies, scrolls and catalogues of the KvMediaFile library."""
import os
from typing import Any, Callable, Iterable, Iterator, Literal

import numpy as np
import numpy.typing as npt

__version__: str

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]
# (height, width, 4) bytes B, G, R, A (or R, G, B, A where order="rgba").
_Pixels = npt.NDArray[np.uint8]
_Rect = tuple[int, int, int, int]

class Error(OSError):
    path: str
    reason: str
    def __init__(self, path: str, reason: str) -> None: ...

class Picture:
    @property
    def pixels(self) -> _Pixels: ...
    @property
    def rect(self) -> _Rect: ...
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    def rgba(self) -> _Pixels: ...

def load(path: _Path) -> Picture: ...
def info(path: _Path) -> dict[str, Any]: ...
def save(
    path: _Path,
    pixels: npt.NDArray[Any],
    rect: _Rect | None = None,
    *,
    order: Literal["bgra", "rgba"] = "bgra",
) -> None: ...

class Movie:
    def __init__(
        self,
        path: _Path,
        memory: bool = False,
        *,
        background: npt.NDArray[Any] | None = None,
        mix: Literal[0, 1] = 0,
        paste: tuple[int, int] | None = None,
    ) -> None: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[_Pixels]: ...
    @property
    def rect(self) -> _Rect: ...
    @property
    def key_interval(self) -> int: ...
    def frame(self, t: float) -> _Pixels: ...
    def frame_at(self, index: int) -> _Pixels: ...
    def export(
        self,
        out: _Path,
        codec: Literal["qtrle", "prores4444", "png"] = "qtrle",
        fps: int = 25,
        *,
        background: _Path | None = None,
        mix: Literal[0, 1] = 0,
        paste: tuple[int, int] | None = None,
    ) -> None: ...

class Scroll:
    def __init__(self, path: _Path, memory: bool = False) -> None: ...
    @property
    def direction(self) -> int: ...
    @property
    def width(self) -> int: ...
    @property
    def lines(self) -> int: ...
    @property
    def size(self) -> tuple[int, int]: ...
    def frame(self, position: float) -> _Pixels: ...

def make_movie(
    pattern: _Path,
    out: _Path,
    first: int,
    last: int,
    digits: int,
    rect: _Rect,
    key: int = 25,
    color_key: tuple[int, int, int] | None = None,
    tolerance: tuple[int, int, int] = (0, 0, 0),
    deflicker: bool = False,
    progress: Callable[[int, int], object] | None = None,
) -> bool: ...
def make_movie_from_clip(
    clip: _Path,
    out: _Path,
    rect: _Rect | None = None,
    key: int = 25,
    color_key: tuple[int, int, int] | None = None,
    tolerance: tuple[int, int, int] = (0, 0, 0),
    deflicker: bool = False,
    progress: Callable[[int, int], object] | None = None,
) -> bool: ...
def set_standard(name: Literal["sd", "hd", "uhd"]) -> None: ...
def get_standard() -> Literal["sd", "hd", "uhd"]: ...
def catalog(folder: _Path, types: str | Iterable[str] | None = None) -> list[dict[str, Any]]: ...
