"""The module as Python tools see it: help(), the type stub beside it, its version and reprs."""
import ast
import os
import pathlib
import pydoc
import re
import site
import subprocess
import sys

import pytest

import kvmedia
from conftest import run_tool

STUB = pathlib.Path(kvmedia.__file__).with_name("kvmedia.pyi")


def test_version_is_the_tool_version():
    assert run_tool("--version") == f"kvmedia {kvmedia.__version__}\n"


def test_reprs_say_what_is_open(demo, tmp_path):
    kvmedia.make_movie(demo / "title-frames" / "title.tga", tmp_path / "t.sve", 0, 9, 2,
                       (0, 0, 480, 96))
    for made, text in ((kvmedia.load(demo / "picture-region.tga"), "Picture 960 x 140 at (0, 370)"),
                       (kvmedia.Movie(tmp_path / "t.sve"), "10 frames of 480 x 96"),
                       (kvmedia.Scroll(demo / "roll.ksc"), "roll up, 1500 lines of 480 pixels")):
        assert text in repr(made) and repr(made).startswith("<kvmedia."), repr(made)


def test_help_names_python_types_and_no_private_names():
    text = pydoc.render_doc(kvmedia, renderer=pydoc.plaintext)
    assert "load(path: str | bytes | os.PathLike) -> kvmedia.Picture" in text
    assert "__iter__(self: object) -> Iterator[numpy.ndarray]" in text
    for private in ("handle", "anonymous namespace", "capsule"):
        assert private not in text
    assert not re.findall(r"(?<![\w])_[A-Za-z]\w*", text)


def parameters(signature):
    """The parameter names of a pybind11 signature line, '*' for the keyword-only mark."""
    inside = signature[signature.index("(") + 1:signature.rindex(") ->")]
    names, depth, start = [], 0, 0
    for i, c in enumerate(inside + ","):
        depth += (c in "[(") - (c in "])")
        if c == "," and depth == 0:
            names.append(re.split(r"[:=]", inside[start:i])[0].strip())
            start = i + 1
    return [name for name in names if name]


def stub_parameters(function):
    args = function.args
    return [a.arg for a in args.args] + (["*"] if args.kwonlyargs else []) + [
        a.arg for a in args.kwonlyargs]


def public_names(scope):
    return {name for name in vars(scope) if not name.startswith("_")}


def test_stub_lists_what_the_module_has_with_the_same_parameters():
    stub = ast.parse(STUB.read_text())
    top = {node.name if hasattr(node, "name") else node.target.id: node for node in stub.body
           if isinstance(node, (ast.FunctionDef, ast.ClassDef, ast.AnnAssign))}
    assert {name for name in top if not name.startswith("_")} == public_names(kvmedia)
    for name, node in top.items():
        runtime = getattr(kvmedia, name)
        if isinstance(node, ast.FunctionDef):
            assert parameters(runtime.__doc__.splitlines()[0]) == stub_parameters(node), name
        if isinstance(node, ast.ClassDef) and name != "Error":
            members = {m.name: m for m in node.body if isinstance(m, ast.FunctionDef)}
            assert {m for m in members if not m.startswith("_")} == public_names(runtime), name
            for member, function in members.items():
                doc = getattr(runtime, member).__doc__
                if doc and doc.startswith(member + "("):
                    assert parameters(doc.splitlines()[0]) == stub_parameters(function), member


SCRIPT = '''\
import pathlib
import numpy as np
import numpy.typing as npt
import kvmedia

picture = kvmedia.load(pathlib.Path("a.tga"))
rgba: npt.NDArray[np.uint8] = picture.rgba()
kvmedia.save(b"b.tga", rgba, (0, 0, picture.width, picture.height), order="rgba")
movie = kvmedia.Movie("m.sve", memory=True, background=picture.pixels, paste=(1, 2))
frames = [frame.copy() for frame in movie] + [movie.frame(0.5), movie.frame_at(-1)]
made: bool = kvmedia.make_movie("t.tga", "t.sve", 0, 9, 2, movie.rect,
                                progress=lambda done, total: done < total)
again: bool = kvmedia.make_movie_from_clip("c.mov", "c.sve", (0, 0, 8, 8), color_key=(0, 0, 0))
movie.export(pathlib.Path("m.mov"), "prores4444", 50, background=b"b.tga", mix=1, paste=(1, 2))
try:
    print(kvmedia.info("s.ksc")["type"], kvmedia.Scroll("s.ksc").size, kvmedia.__version__)
except kvmedia.Error as error:
    print(error.reason, error.path, error.errno)
except FileNotFoundError as error:
    print(error.strerror, error.filename)
names = [record["name"] for record in kvmedia.catalog(".", ["tga", "png"])]
'''
WRONG = '''\
import kvmedia
kvmedia.load(42)  # wrong: 1
kvmedia.Movie("m.sve").frame_at(0.5)  # wrong: 2
kvmedia.save("a.tga", kvmedia.load("b.tga").pixels, order="argb")  # wrong: 3
'''


def test_stub_satisfies_mypy_strict(tmp_path):
    pytest.importorskip("mypy", reason="Debian's python3-mypy is not installed")
    (tmp_path / "script.py").write_text(SCRIPT)
    (tmp_path / "wrong.py").write_text(WRONG)
    # Installed in a package folder (a wheel in a virtual environment), mypy must find the
    # stub package kvmedia-stubs there on its own; it refuses such a folder on MYPYPATH.
    installed = STUB.parent in map(pathlib.Path, site.getsitepackages())
    mypy_path = {} if installed else {"MYPYPATH": str(STUB.parent)}
    done = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
         "--no-error-summary", "script.py", "wrong.py"],
        cwd=tmp_path, capture_output=True, text=True,
        env=os.environ | mypy_path)
    errors = [line for line in done.stdout.splitlines() if ": error:" in line]
    assert not [e for e in errors if not e.startswith("wrong.py")], done.stdout + done.stderr
    # The stub is the one read: each wrong call is caught, on its own line.
    assert sorted({int(e.split(":")[1]) for e in errors}) == [2, 3, 4], done.stdout
