#!/usr/bin/python3
"""Timings of the Python module beside the same work in C++, in one run.

  PYTHONPATH=build/python /usr/bin/python3 python/bench.py

1. Loading a 1920 x 1080 TGA: kvmedia.load against KvMediaLoadTGAFile in a C++ loop (the
   module hands over the library's buffer, so the two should cost the same).
2. Playing a 1920 x 1080 title movie from memory: iterating kvmedia.Movie against
   GetOneFrame in a C++ loop, in frames a second.
"""
import pathlib
import sys
import tempfile
import time

import numpy as np

import kvmedia


def best_of(runs, work):
    """The fastest of `runs` timings of work(), in seconds."""
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        work()
        best = min(best, time.perf_counter() - start)
    return best


def title_frames(folder, count, width=1920, height=1080):
    """A lower-third title that slides in: opaque band, transparent elsewhere."""
    y = np.arange(height)[:, None]
    x = np.arange(width)[None, :]
    for i in range(count):
        frame = np.zeros((height, width, 4), np.uint8)
        band = (y >= 800) & (y < 960) & (x < 200 + i * 1700 // count)
        frame[band] = (40 + i, 60, 200, 255)
        frame[(y >= 830) & (y < 930) & (x > 240) & (x < 240 + i * 40) & (x % 24 < 14)] = (255,) * 4
        kvmedia.save(folder / f"title{i:03d}.tga", frame)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        picture = folder / "hd.tga"
        rng = np.random.default_rng(7)
        kvmedia.save(picture, rng.integers(0, 256, (1080, 1920, 4), dtype=np.uint8))
        loads = 50
        kvmedia.load(picture)  # the file in the page cache for both
        cxx = min(kvmedia._cxx_load_seconds(picture, loads) for _ in range(5)) / loads

        def load_all():
            # Each picture dies before the next load, as in the C++ loop: both reuse the block.
            for _ in range(loads):
                kvmedia.load(picture)

        py = best_of(5, load_all) / loads
        print(f"TGA 1920x1080 load: C++ {cxx * 1e3:.3f} ms, Python {py * 1e3:.3f} ms, "
              f"ratio {py / cxx:.3f} (at most 1.1)")

        frames = 60
        title_frames(folder, frames)
        movie_path = folder / "title.sve"
        kvmedia.make_movie(folder / "title.tga", movie_path, 0, frames - 1, 3,
                           (0, 0, 1920, 1080))
        passes = 20
        cxx = min(kvmedia._cxx_movie_seconds(movie_path, passes) for _ in range(3))
        movie = kvmedia.Movie(movie_path, memory=True)

        def play():
            for _ in range(passes):
                for _frame in movie:
                    pass

        py = best_of(3, play)
        cxx_fps, py_fps = passes * frames / cxx, passes * frames / py
        print(f"Movie 1920x1080 from memory: C++ {cxx_fps:,.0f} frames/s, Python "
              f"{py_fps:,.0f} frames/s, ratio {cxx_fps / py_fps:.3f} (Python at least 1,000)")
        return 0 if py_fps >= 1000 else 1


if __name__ == "__main__":
    sys.exit(main())
