import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import pytest

import kvmedia
from conftest import pattern, run_tool

SWAP = [2, 1, 0, 3]


# ---- Pictures


@pytest.mark.parametrize("ext, kind", [
    (".tga", "TGA"), (".BMP", "BMP"), (".pcx", "PCX"), (".jpg", "JPEG"), (".jpeg", "JPEG")])
def test_save_writes_the_type_its_name_says_and_the_region_alone(tmp_path, ext, kind):
    # What each saver keeps is the picture tests' work; here, the module's choice of saver
    # and its region (which it cuts out itself for JPEG).
    path = tmp_path / ("p" + ext)
    kvmedia.save(path, pattern(20, 30), (5, 3, 25, 13))
    facts = kvmedia.info(path)
    assert (facts["type"], facts["width"], facts["height"]) == (kind, 20, 10)


def test_region_order_and_awkward_arrays_save_the_same_pixels(tmp_path):
    pixels = pattern(20, 30)
    rect = (5, 3, 25, 13)
    kvmedia.save(tmp_path / "region.tga", pixels, rect)
    region = kvmedia.load(tmp_path / "region.tga")
    np.testing.assert_array_equal(region.pixels, pixels[3:13, 5:25])
    np.testing.assert_array_equal(region.rgba(), region.pixels[..., SWAP])
    kvmedia.save(tmp_path / "rgba.tga", region.rgba(), order="rgba")
    np.testing.assert_array_equal(kvmedia.load(tmp_path / "rgba.tga").pixels, region.pixels)

    # Strided, Fortran-ordered and misaligned arrays are copied, never read out of bounds.
    raw = np.zeros(1 + 10 * 20 * 4, np.uint8)
    misaligned = raw[1:].reshape(10, 20, 4)
    misaligned[...] = region.pixels
    for awkward in (pixels[3:13, 5:25], np.asfortranarray(region.pixels), misaligned,
                    pattern(10, 40)[:, ::2] * 0 + region.pixels):
        kvmedia.save(tmp_path / "awkward.tga", awkward)
        np.testing.assert_array_equal(kvmedia.load(tmp_path / "awkward.tga").pixels, region.pixels)


def test_picture_pixels_are_the_library_buffer_and_outlive_the_picture(demo):
    picture = kvmedia.load(demo / "picture-region.tga")
    assert picture.rect == (0, 370, 960, 510)  # the TGA's placement
    pixels = picture.pixels
    assert not pixels.flags.owndata and type(pixels.base).__name__ == "PyCapsule"
    copy = pixels.copy()
    del picture
    np.testing.assert_array_equal(pixels, copy)


@pytest.mark.parametrize("name, args, error", [("x.tga", *row) for row in [
    ((np.zeros((4, 4, 4), np.float32),), TypeError),
    ((np.zeros((4, 4, 4), np.int16),), TypeError),
    (([[[0, 0, 0, 0]]],), TypeError),
    ((np.zeros((4, 4, 3), np.uint8),), ValueError),
    ((np.zeros((0, 4, 4), np.uint8),), ValueError),
    ((np.zeros((4, 4, 4), np.uint8), (0, 0, 5, 4)), ValueError),
    ((np.zeros((4, 4, 4), np.uint8), (2, 2, 2, 3)), ValueError),
    ((np.zeros((4, 4, 4), np.uint8), (0, 0, 4)), ValueError),
]] + [(name, (pattern(2, 2),), ValueError) for name in ("x.png", "x.gif", "x")])
def test_bad_arrays_regions_and_names_are_refused(tmp_path, name, args, error):
    with pytest.raises(error):
        kvmedia.save(tmp_path / name, *args)
    assert not (tmp_path / name).exists()


def refusal_files(folder, demo):
    """Files that each call refuses for a reason of its own."""
    whole = (demo / "round.tga").read_bytes()
    (folder / "cut.tga").write_bytes(whole[:len(whole) // 2])
    (folder / "movie.sve").write_bytes(b"\0" * 200)
    (folder / "png.tga").write_bytes((demo / "round.png").read_bytes())
    for name in ("read-only.tga", "read-only.mov"):
        (folder / name).write_bytes(whole)
        (folder / name).chmod(0o444)  # refused to root too, as rm asks first
    for name in ("folder.tga", "folder.sve", "folder.ksc", "folder.mov"):
        (folder / name).mkdir()
    os.mkfifo(folder / "pipe.ksc")  # never opened: it would block
    shutil.copy(demo / "title.sve", folder)


SAVE = lambda path: kvmedia.save(path, pattern(2, 2))  # noqa: E731
CLIP = lambda path: kvmedia.make_movie_from_clip(path, path.parent / "clip.sve")  # noqa: E731
EXPORT = lambda path: kvmedia.Movie(path.parent / "title.sve").export(path)  # noqa: E731
REFUSALS = [  # call, name, the class raised, words of the library's reason
    (kvmedia.load, "missing.tga", FileNotFoundError, "no such file"),
    (kvmedia.load, "folder.tga", IsADirectoryError, "folder"),
    (kvmedia.load, "cut.tga/x.tga", NotADirectoryError, ""),
    (kvmedia.load, "cut.tga", kvmedia.Error, "truncated"),
    (kvmedia.load, "png.tga", kvmedia.Error, "content is PNG, not TGA"),
    (kvmedia.info, "missing.bmp", FileNotFoundError, "no such file"),
    (kvmedia.info, "folder.tga", IsADirectoryError, "folder"),
    (kvmedia.Movie, "missing.sve", FileNotFoundError, "no such file"),
    (kvmedia.Movie, "folder.sve", IsADirectoryError, "folder"),
    (kvmedia.Movie, "movie.sve", kvmedia.Error, ""),
    (kvmedia.Movie, "cut.tga", kvmedia.Error, "not a movie"),
    (kvmedia.Scroll, "missing.ksc", FileNotFoundError, "no such file"),
    (kvmedia.Scroll, "folder.ksc", IsADirectoryError, "folder"),
    (kvmedia.Scroll, "cut.tga", kvmedia.Error, "not a scroll"),
    (kvmedia.Scroll, "pipe.ksc", kvmedia.Error, "not a regular file"),
    (kvmedia.info, "pipe.ksc", kvmedia.Error, "not a regular file"),
    (kvmedia.catalog, "missing", FileNotFoundError, "no such folder"),
    (kvmedia.catalog, "cut.tga", NotADirectoryError, "not a folder"),
    (SAVE, "missing/x.tga", FileNotFoundError, ""),
    (SAVE, "folder.tga", IsADirectoryError, ""),
    (SAVE, "read-only.tga", PermissionError, ""),
    (CLIP, "missing.mov", FileNotFoundError, "no such file"),
    (CLIP, "folder.sve", IsADirectoryError, "folder"),
    (CLIP, "movie.sve", kvmedia.Error, "Invalid data"),
    (CLIP, "pipe.ksc", kvmedia.Error, "not a regular file"),
    (EXPORT, "folder.mov", IsADirectoryError, ""),
    (EXPORT, "read-only.mov", PermissionError, ""),
]


def test_refusals_are_os_errors_of_python_classes_with_the_library_reason(tmp_path, demo):
    refusal_files(tmp_path, demo)
    for call, name, error, reason in REFUSALS:
        path = tmp_path / name
        with pytest.raises(OSError) as caught:
            call(path)
        got = caught.value
        assert type(got) is error, (name, got)
        if error is kvmedia.Error:
            assert reason in got.reason and got.reason and got.path == str(path), (name, got)
            assert str(got) == f"{path}: {got.reason}"
        else:
            assert reason in got.strerror and got.strerror and got.filename == str(path), (name, got)
    assert (tmp_path / "read-only.tga").read_bytes() == (demo / "round.tga").read_bytes()
    with pytest.raises(TypeError):
        kvmedia.load(42)


def test_a_file_the_user_cannot_read_raises_permission_error(demo):
    code = ("import kvmedia, sys\n"
            "try: kvmedia.load(sys.argv[1])\n"
            "except PermissionError as e: print(e.strerror)\n")
    # Root reads every file: then the check runs as another user, in a folder it may enter.
    as_user = {"user": "nobody"} if os.geteuid() == 0 else {}
    with tempfile.TemporaryDirectory() as folder:
        os.chmod(folder, 0o755)
        locked = os.path.join(folder, "locked.tga")
        shutil.copy(demo / "round.tga", locked)
        os.chmod(locked, 0)
        done = subprocess.run([sys.executable, "-c", code, locked], capture_output=True, text=True,
                              env=os.environ | {"PYTHONPATH": os.path.dirname(kvmedia.__file__)},
                              **as_user)
    assert done.returncode == 0 and done.stdout.strip(), done.stderr


def test_info_gives_the_fields_of_the_tool(demo):
    assert kvmedia.info(demo / "picture-region.tga") | {"file_size": 0} == {
        "type": "TGA", "width": 960, "height": 140, "bits": 32, "channels": 4, "alpha": True,
        "x": 0, "y": 370, "library_bits": 32, "file_size": 0}
    movie = kvmedia.info(demo / "title.sve")
    assert (movie["type"], movie["frames"], movie["key_interval"]) == ("motion movie", 50, 25)
    roll = kvmedia.info(demo / "roll.ksc")
    assert (roll["direction"], roll["line_width"], roll["lines"]) == ("roll up", 480, 1500)


def test_names_that_are_not_utf8_open(tmp_path):
    name = os.fsdecode(b"caf\xe9.tga")  # a Latin-1 name: a surrogate escape in Python
    kvmedia.save(tmp_path / name, pattern(3, 3))
    assert os.listdir(tmp_path) == [name]
    assert kvmedia.load(os.fsencode(tmp_path / name)).pixels.shape == (3, 3, 4)


# ---- Movies and scrolls, against what the C++ tool makes of the same files


@pytest.fixture(scope="module")
def movie(demo, tmp_path_factory):
    out = tmp_path_factory.mktemp("movie") / "title.sve"
    calls = []
    assert kvmedia.make_movie(demo / "title-frames" / "title.tga", out, 0, 49, 2,
                              (0, 0, 480, 96), progress=lambda d, t: calls.append((d, t)))
    assert calls == [(i, 50) for i in range(51)]
    return out


@pytest.mark.parametrize("memory", [False, True])
def test_movie_frames_match_the_tool_and_count_as_a_list_does(movie, tmp_path, memory):
    player = kvmedia.Movie(movie, memory)
    assert (len(player), player.rect, player.key_interval) == (50, (0, 0, 480, 96), 25)
    frames = [frame.copy() for frame in player]
    for t in (0, 0.5, 0.98):
        run_tool("convert", movie, tmp_path / "f.tga", "--time", t)
        expected = kvmedia.load(tmp_path / "f.tga").pixels
        np.testing.assert_array_equal(player.frame(t), expected)
        np.testing.assert_array_equal(frames[round(t * 50)], expected)
    with pytest.raises(ValueError):
        next(iter(player))[0, 0, 0] = 1  # the player's own frame is read-only
    # Time wraps, and frame_at counts frames as a list does.
    n = len(player)
    assert not np.array_equal(frames[0], frames[-1])
    for t, i in ((0, 0), (1.0, 0), (1 + 3.5 / n, 3), (-0.25, 0), (0.999, n - 1)):
        np.testing.assert_array_equal(player.frame(t), frames[i], err_msg=str(t))
    for index, i in ((0, 0), (n - 1, n - 1), (-1, n - 1), (-n, 0), (7, 7)):
        np.testing.assert_array_equal(player.frame_at(index), frames[i], err_msg=str(index))
    for index in (n, -n - 1, 2**40):
        with pytest.raises(IndexError):
            player.frame_at(index)


def test_movie_over_a_background_matches_the_tool(movie, demo, tmp_path):
    back = kvmedia.load(demo / "picture.tga").pixels
    run_tool("movie", "frames", movie, tmp_path, "--background", demo / "picture.tga", "--mix", "0",
             "--paste", "100,200", "--every", "7")
    player = kvmedia.Movie(movie, background=back, mix=0, paste=(100, 200))
    for i, frame in enumerate(player):
        if i % 7 == 0:
            expected = kvmedia.load(tmp_path / f"frame-{i:05d}.png").pixels
            np.testing.assert_array_equal(frame, expected)
    with pytest.raises(ValueError):
        kvmedia.Movie(movie, paste=(0, 0))
    with pytest.raises(ValueError):
        kvmedia.Movie(movie, background=back, mix=2)


def test_make_movie_that_stops_leaves_an_old_movie_as_it_was(demo, movie, tmp_path):
    pattern_path = demo / "title-frames" / "title.tga"
    out = tmp_path / "t.sve"
    shutil.copy(movie, out)
    old = out.read_bytes()
    make = lambda first, last, **more: kvmedia.make_movie(  # noqa: E731
        pattern_path, out, first, last, 2, more.pop("rect", (0, 0, 480, 96)), **more)
    assert make(0, 49, progress=lambda done, total: done < 3) is False
    with pytest.raises(ZeroDivisionError):
        make(0, 49, progress=lambda d, t: 1 / 0)
    with pytest.raises(FileNotFoundError) as missing:
        make(45, 60)
    assert missing.value.filename == str(pattern_path.with_name("title50.tga"))
    with pytest.raises(kvmedia.Error):  # a rectangle outside the raster
        make(0, 1, rect=(5000, 5000, 5100, 5100))
    assert os.listdir(tmp_path) == ["t.sve"] and out.read_bytes() == old
    for bad in ({"color_key": (0, 0, 256)}, {"digits": 40}, {"rect": (0, 0, 1)}):
        args = {"first": 0, "last": 1, "digits": 2, "rect": (0, 0, 480, 96)} | bad
        with pytest.raises(ValueError):
            kvmedia.make_movie(pattern_path, out, **args)


def test_make_movie_never_writes_over_its_own_pictures(demo, movie, tmp_path):
    seq = tmp_path / "seq"
    shutil.copytree(demo / "title-frames", seq)
    (seq / "sub").mkdir()
    latin = os.fsdecode(b"m\xe9")  # a name that is not UTF-8
    for number in ("00", "01"):  # movies load as their first frame
        shutil.copy(movie, seq / f"{latin}{number}.sve")
    shutil.copy(demo / "round.tga", tmp_path / "victim.tga")
    os.symlink(seq / "title03.tga", tmp_path / "link.sve")
    os.link(seq / "title05.tga", tmp_path / "hard.sve")
    before = {path: path.read_bytes() for path in (*seq.iterdir(), tmp_path / "victim.tga")
              if path.is_file()}
    # A movie goes only to .sve, not over a picture, its own or another, by any name.
    for name, out, error in (
            ("title.tga", tmp_path / "victim.tga", ValueError),
            ("title.tga", tmp_path / "link.sve", kvmedia.Error),
            ("title.tga", tmp_path / "hard.sve", kvmedia.Error),
            (f"{latin}.sve", seq / "sub" / ".." / f"{latin}01.sve", kvmedia.Error)):
        with pytest.raises(error):
            kvmedia.make_movie(seq / name, out, 0, 9, 2, (0, 0, 480, 96))
    assert {path: path.read_bytes() for path in before} == before
    assert sorted(os.listdir(tmp_path)) == ["hard.sve", "link.sve", "seq", "victim.tga"]
    assert set(os.listdir(seq)) == {path.name for path in before if path.parent == seq} | {"sub"}


@pytest.mark.parametrize("name, width", [("sd", 720), ("hd", 1920), ("uhd", 3840)])
def test_the_standard_chosen_is_the_raster_movies_are_made_in(tmp_path, name, width):
    kvmedia.save(tmp_path / "p0.tga", pattern(8, 8))
    make = lambda x: kvmedia.make_movie(  # noqa: E731
        tmp_path / "p.tga", tmp_path / f"{x}.sve", 0, 0, 1, (x, 0, x + 8, 8))
    try:
        kvmedia.set_standard(name)
        assert kvmedia.get_standard() == name and make(width - 8)
        with pytest.raises(kvmedia.Error):
            make(width)
        with pytest.raises(ValueError):
            kvmedia.set_standard("4k")
        assert kvmedia.get_standard() == name
    finally:
        kvmedia.set_standard("hd")


@pytest.mark.parametrize("name", ["roll.ksc", "crawl.ksc"])
@pytest.mark.parametrize("memory", [False, True])
@pytest.mark.parametrize("fields", [None, "bff"])
def test_scroll_frames_match_the_tool(demo, tmp_path, name, memory, fields):
    run_tool("scroll", "frames", demo / name, tmp_path, "--from", 0.2, "--to", 0.4, "--frames", 3,
             *(["--memory"] if memory else []), *(["--fields", fields] if fields else []))
    scroll = kvmedia.Scroll(demo / name, memory)
    assert scroll.direction == (0 if name == "roll.ksc" else 2)
    for i, position in enumerate((0.2, 0.3, 0.4)):
        expected = kvmedia.load(tmp_path / f"frame-{i:05d}.png").pixels
        np.testing.assert_array_equal(scroll.frame(position, fields, 0.1), expected)


# ---- Clips


@pytest.fixture(scope="module")
def noise_movie(tmp_path_factory):
    """Six 33 x 17 frames of noise in every channel, alpha included."""
    folder = tmp_path_factory.mktemp("noise")
    for i in range(6):
        kvmedia.save(folder / f"n{i}.tga", pattern(17, 33, seed=i))
    assert kvmedia.make_movie(folder / "n.tga", folder / "noise.sve", 0, 5, 1, (0, 0, 33, 17))
    return folder / "noise.sve"


@pytest.mark.parametrize("name, codec, over", [
    ("qtrle.mov", "qtrle", False), ("png.mkv", "png", False), ("over.mov", "png", True)])
def test_a_movie_exported_and_made_again_from_its_clip_plays_the_same_frames(
        noise_movie, demo, tmp_path, name, codec, over):
    more = {"background": demo / "round.tga", "mix": 0, "paste": (3, 4)} if over else {}
    movie = kvmedia.Movie(noise_movie, **(
        more | {"background": kvmedia.load(more["background"]).pixels} if over else {}))
    movie.export(tmp_path / name, codec, 30, **more)
    calls = []
    assert kvmedia.make_movie_from_clip(tmp_path / name, tmp_path / "again.sve",
                                        progress=lambda done, total: calls.append((done, total)))
    assert calls == [(i, 6) for i in range(7)]
    again = kvmedia.Movie(tmp_path / "again.sve")
    assert len(again) == 6 and again.rect[:2] == (0, 0)
    for i in range(6):
        np.testing.assert_array_equal(again.frame_at(i), movie.frame_at(i), err_msg=str(i))


def test_a_clip_cut_short_or_a_bad_argument_leaves_no_movie(noise_movie, tmp_path):
    kvmedia.Movie(noise_movie).export(tmp_path / "whole.mov")
    whole = (tmp_path / "whole.mov").read_bytes()
    (tmp_path / "cut.mov").write_bytes(whole[:len(whole) // 2])
    (tmp_path / "old.sve").write_bytes(b"old")
    with pytest.raises(kvmedia.Error) as cut:
        kvmedia.make_movie_from_clip(tmp_path / "cut.mov", tmp_path / "old.sve")
    assert cut.value.reason and cut.value.path == str(tmp_path / "cut.mov")
    assert kvmedia.make_movie_from_clip(tmp_path / "whole.mov", tmp_path / "old.sve",
                                        progress=lambda done, total: done < 3) is False
    assert (tmp_path / "old.sve").read_bytes() == b"old"
    movie = kvmedia.Movie(noise_movie)
    for out, bad in (("x.mp4", {}), ("x.mkv", {}), ("x.mov", {"codec": "h264"}),
                     ("x.mov", {"fps": 0}), ("x.mov", {"paste": (1, 2)}),
                     ("x.mov", {"background": noise_movie, "mix": 2})):
        with pytest.raises(ValueError):
            movie.export(tmp_path / out, **bad)
    os.symlink(noise_movie, tmp_path / "link.mov")
    with pytest.raises(kvmedia.Error):  # the movie itself, by another name
        movie.export(tmp_path / "link.mov")
    assert sorted(os.listdir(tmp_path)) == ["cut.mov", "link.mov", "old.sve", "whole.mov"]


# ---- Catalogues, threads, memory


def test_catalog_states(demo, tmp_path):
    for name in ("round.tga", "round.bmp", "round.png"):
        shutil.copy(demo / name, tmp_path)
    (tmp_path / "bad.tga").write_bytes(b"not a picture")
    first = {r["name"]: r for r in kvmedia.catalog(tmp_path, types=["tga", "bmp"])}
    assert {n: r["state"] for n, r in first.items()} == {
        "round.tga": "new", "round.bmp": "new", "bad.tga": "left out"}
    assert first["bad.tga"]["reason"]
    assert (first["round.tga"]["width"], first["round.tga"]["bits"]) == (960, 32)
    again = kvmedia.catalog(tmp_path, "tga,bmp")
    assert sorted(r["state"] for r in again) == ["left out", "taken", "taken"]


def test_threads_load_in_parallel_with_the_same_results(demo):
    names = [demo / f"round.{ext}" for ext in ("tga", "bmp", "pcx", "psd", "gif", "jpg", "png")]
    expected = [kvmedia.load(n).pixels.copy() for n in names]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        got = list(pool.map(lambda n: kvmedia.load(n).pixels, names * 6))
    for i, pixels in enumerate(got):
        np.testing.assert_array_equal(pixels, expected[i % len(names)])


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_ten_thousand_loads_do_not_leak(tmp_path):
    kvmedia.save(tmp_path / "p.tga", pattern(64, 64))  # 16 KiB of pixels a load
    for _ in range(200):
        kvmedia.load(tmp_path / "p.tga").rgba()
    before = resident_bytes()
    for _ in range(10_000):
        kvmedia.load(tmp_path / "p.tga").rgba()
    # A leak of the pixels alone would be 160 MB.
    assert resident_bytes() - before < 4 << 20


@pytest.mark.parametrize("over_background", [False, True])
def test_threads_sharing_one_movie_get_the_frames_they_ask_for(movie, demo, over_background):
    back = {"background": kvmedia.load(demo / "picture.tga").pixels, "paste": (100, 200)}
    player = kvmedia.Movie(movie, **(back if over_background else {}))
    n = len(player)
    expected = [player.frame((i + 0.5) / n) for i in range(n)]
    order = [(i * 7) % n for i in range(400)]  # neighbours ask for different frames
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        got = list(pool.map(lambda i: player.frame((i + 0.5) / n), order))
    wrong = [i for i, frame in zip(order, got) if not np.array_equal(frame, expected[i])]
    assert not wrong, f"{len(wrong)} of {len(order)} frames are another frame"
