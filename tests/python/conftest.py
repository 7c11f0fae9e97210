"""Fixtures: the built kvmedia tool beside the module, and the sample media of its demo."""
import os
import pathlib
import subprocess

import numpy as np
import pytest

import kvmedia

TOOL = pathlib.Path(os.environ.get(
    "KVMEDIA_TOOL", pathlib.Path(kvmedia.__file__).resolve().parent.parent / "bin" / "kvmedia"))


def run_tool(*args):
    """Runs the C++ tool and fails the test with its message when it fails."""
    done = subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.fixture(scope="session")
def demo(tmp_path_factory):
    folder = tmp_path_factory.mktemp("demo")
    run_tool("demo", folder)
    return folder


def pattern(height, width, seed=1):
    """Pixels in which every channel of every pixel differs from its neighbours."""
    return np.random.default_rng(seed).integers(0, 256, (height, width, 4), dtype=np.uint8)
