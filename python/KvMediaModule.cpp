// kvmedia for Python: pictures, movies, scrolls and catalogues for pipeline scripts. Pixels
// come back as numpy arrays (height, width, 4) of bytes B, G, R, A; a loaded picture is a
// view over the library's own buffer, freed when the last array over it dies. Refusals are
// OSErrors: Python's own classes for a missing file, a folder or a permission problem,
// kvmedia.Error for the rest, each with the library's reason; the long calls run without the
// GIL.
#include <pybind11/eval.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "KvMediaFile/KvMediaFile.h"
#include "host/FileName.h"
#include "host/SafeSave.h"
#include "host/UiServices.h"
#include "host/VideoStd.h"
#include "platform/Dialogs.h"
#include "platform/FindFile.h"
#include "platform/Paths.h"

namespace py = pybind11;

namespace {

// An argument (or result) that the function checks itself, named in help() by the Python type
// it takes: `path: str | bytes | os.PathLike`, not pybind11's `handle`.
template <typename Kind>
struct Typed {
  py::object object;
};
#define KV_PY_TYPE(Kind, text)                                 \
  struct Kind {                                                \
    static constexpr auto name = py::detail::const_name(text); \
  }
KV_PY_TYPE(PathType, "str | bytes | os.PathLike");
KV_PY_TYPE(OptionalPathType, "str | bytes | os.PathLike | None");
KV_PY_TYPE(PixelsType, "numpy.ndarray");
KV_PY_TYPE(RectType, "tuple[int, int, int, int]");
KV_PY_TYPE(OptionalRectType, "tuple[int, int, int, int] | None");
KV_PY_TYPE(OptionalPixelsType, "numpy.ndarray | None");
KV_PY_TYPE(OptionalPointType, "tuple[int, int] | None");
KV_PY_TYPE(ColourType, "tuple[int, int, int]");
KV_PY_TYPE(OptionalColourType, "tuple[int, int, int] | None");
KV_PY_TYPE(ProgressType, "Callable[[int, int], object] | None");
KV_PY_TYPE(TypesType, "str | Iterable[str] | None");
KV_PY_TYPE(FramesType, "Iterator[numpy.ndarray]");
KV_PY_TYPE(InfoType, "dict[str, Any]");
KV_PY_TYPE(RecordsType, "list[dict[str, Any]]");
#undef KV_PY_TYPE

}  // namespace

namespace pybind11::detail {
template <typename Kind>
struct type_caster<Typed<Kind>> {
  PYBIND11_TYPE_CASTER(Typed<Kind>, Kind::name);
  bool load(handle source, bool) {
    value.object = reinterpret_borrow<object>(source);
    return true;
  }
  static handle cast(const Typed<Kind>& source, return_value_policy, handle) {
    return source.object.inc_ref();
  }
};
}  // namespace pybind11::detail

namespace {

// kvmedia.Error, made at import and kept for the life of the process. An OSError, so that
// scripts catch every refusal of a file the way they catch open()'s.
PyObject* g_error = nullptr;
constexpr const char* kErrorSource = R"(
class Error(OSError):
    """A file the library refused: .path, and .reason in the library's words.

    A missing file, a folder and a permission problem raise Python's own
    FileNotFoundError, IsADirectoryError (NotADirectoryError) and PermissionError
    instead, with the library's reason as .strerror and the path as .filename."""

    def __init__(self, path: str, reason: str) -> None:
        super().__init__(f"{path}: {reason}")
        self.path = self.filename = path
        self.reason = self.strerror = reason

    def __str__(self) -> str:
        return f"{self.path}: {self.reason}"

    def __reduce__(self):
        return type(self), (self.path, self.reason)
)";

// A str (surrogate escapes included), bytes or os.PathLike as the name's bytes, which is
// how the library takes names: any name opens.
CString PathArg(const py::handle& path) {
  PyObject* bytes = nullptr;
  if (!PyUnicode_FSConverter(path.ptr(), &bytes)) throw py::error_already_set();
  const auto owned = py::reinterpret_steal<py::bytes>(bytes);
  return CString::FromUtf8(std::string(owned));
}
CString PathArg(const Typed<PathType>& path) { return PathArg(path.object); }

// Text that may hold names, whose bytes need not be UTF-8: as Python shows such names.
py::str FileText(const std::string& bytes) {
  PyObject* text = PyUnicode_DecodeFSDefaultAndSize(bytes.data(), Py_ssize_t(bytes.size()));
  if (!text) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

py::str PathText(const CString& path) { return FileText(path.ToUtf8()); }

// The library's reason for the last refusal on this thread, or `fallback`.
std::string Reason(const char* fallback) {
  const std::string reason = KvMediaGetLastFailure().ToUtf8();
  return reason.empty() ? fallback : reason;
}

// Raises OSError(error, reason, path), which Python turns into FileNotFoundError,
// IsADirectoryError, NotADirectoryError or PermissionError by the errno; without an errno,
// kvmedia.Error(path, reason).
[[noreturn]] void Raise(const CString& path, const std::string& reason, int error = 0) {
  const py::str name = PathText(path);
  const py::str why = FileText(reason);
  const py::object raised =
      error ? py::reinterpret_borrow<py::object>(PyExc_OSError)(error, why, name)
            : py::reinterpret_borrow<py::object>(g_error)(name, why);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(raised.ptr())), raised.ptr());
  throw py::error_already_set();
}

// `error` when Python has a class of its own for it, else 0.
int PythonErrno(int error) {
  return error == ENOENT || error == ENOTDIR || error == EISDIR || error == EACCES || error == EPERM
             ? error
             : 0;
}

// Why a file could not be read, in the errnos that Python has classes for; 0 when the file
// is there and readable (the library's reason is then about its content).
int ReadErrno(const CString& path) {
  const std::string name = path.ToUtf8();
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return PythonErrno(errno);
  if (S_ISDIR(st.st_mode)) return EISDIR;
  return ::access(name.c_str(), R_OK) != 0 && errno == EACCES ? EACCES : 0;
}

// The same for a write: the safe writer records the system's own words for the errno.
int WriteErrno(const std::string& reason) {
  for (const int error : {ENOENT, ENOTDIR, EISDIR, EACCES, EPERM})
    if (reason == std::strerror(error)) return error;
  return 0;
}

// The library's words for what ReadErrno finds.
const char* ErrnoReason(int error) {
  return error == ENOENT ? "no such file" : error == EISDIR ? "is a folder" : std::strerror(error);
}

// A folder to list: Python's classes for a missing folder, a file, or one that cannot be read.
void CheckFolder(const CString& folder) {
  const std::string name = folder.ToUtf8();
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) {
    const int error = errno;
    Raise(folder, error == ENOENT ? "no such folder" : std::strerror(error), PythonErrno(error));
  }
  if (!S_ISDIR(st.st_mode)) Raise(folder, "not a folder", ENOTDIR);
  if (::access(name.c_str(), R_OK | X_OK) != 0 && errno == EACCES)
    Raise(folder, std::strerror(EACCES), EACCES);
}

[[noreturn]] void RaiseRead(const CString& path, const char* fallback) {
  const std::string reason = Reason(fallback);
  Raise(path, reason, ReadErrno(path));
}

[[noreturn]] void RaiseWrite(const CString& path, const char* fallback) {
  const std::string reason = Reason(fallback);
  Raise(path, reason, WriteErrno(reason));
}

// Picture pixels: the array owns a fixed global block through a capsule.
py::array OwningArray(DWORD* pixels, const CRect& rect) {
  const py::capsule owner(pixels, [](void* p) { GlobalFree(p); });
  const py::ssize_t w = rect.Width(), h = rect.Height();
  return py::array(py::dtype::of<std::uint8_t>(), {h, w, py::ssize_t{4}},
                   {w * 4, py::ssize_t{4}, py::ssize_t{1}}, pixels, owner);
}

// A read-only view of pixels that `owner` keeps alive (a player's frame).
py::array FrameView(const DWORD* pixels, CSize size, py::handle owner) {
  const py::ssize_t w = size.cx, h = size.cy;
  py::array view(py::dtype::of<std::uint8_t>(), {h, w, py::ssize_t{4}},
                 {w * 4, py::ssize_t{4}, py::ssize_t{1}}, pixels, owner);
  py::detail::array_proxy(view.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
  return view;
}

// Swaps the first and third byte of every pixel: BGRA <-> RGBA, as a new C-ordered array.
py::array SwapRedBlue(const py::array& pixels) {
  py::list order;
  for (int c : {2, 1, 0, 3}) order.append(c);
  return pixels[py::make_tuple(py::ellipsis(), order)];
}

// Pixels given by the caller: (height, width, 4) bytes, C-ordered and 4-byte aligned, in the
// library's order; anything else is refused or copied into that form.
struct CallerPixels {
  py::array array;  // keeps the pixels alive
  CSize size;
  DWORD* data() const { return static_cast<DWORD*>(const_cast<void*>(array.data())); }
};

CallerPixels TakePixels(const py::handle& object, const std::string& order) {
  if (!py::isinstance<py::array>(object)) throw py::type_error("pixels must be a numpy array");
  auto array = py::reinterpret_borrow<py::array>(object);
  if (!array.dtype().is(py::dtype::of<std::uint8_t>()))
    throw py::type_error("pixels must be uint8, not " + std::string(py::str(array.dtype())));
  if (array.ndim() != 3 || array.shape(2) != 4)
    throw py::value_error("pixels must have the shape (height, width, 4)");
  if (array.shape(0) < 1 || array.shape(1) < 1 || array.shape(0) > INT_MAX ||
      array.shape(1) > INT_MAX / 4)
    throw py::value_error("pixels must be at least 1 x 1 and fit in int sizes");
  if (order == "rgba")
    array = SwapRedBlue(array);
  else if (order != "bgra")
    throw py::value_error("order must be 'bgra' or 'rgba'");
  const bool aligned = reinterpret_cast<std::uintptr_t>(array.data()) % alignof(DWORD) == 0;
  if (!aligned || !(array.flags() & py::array::c_style)) {
    // A fresh array is C-ordered and aligned for any element.
    py::array copy = py::array_t<std::uint8_t>({array.shape(0), array.shape(1), py::ssize_t{4}});
    copy[py::ellipsis()] = array;
    array = copy;
  }
  const CSize size(int(array.shape(1)), int(array.shape(0)));
  return {std::move(array), size};
}

// `count` whole numbers of the caller (a tuple, list or other sequence of ints).
std::vector<int> Ints(const py::handle& object, std::size_t count, const std::string& what) {
  if (!py::isinstance<py::sequence>(object) || py::isinstance<py::str>(object))
    throw py::type_error(what + " must be a sequence of " + std::to_string(count) + " ints");
  const auto items = py::reinterpret_borrow<py::sequence>(object);
  if (items.size() != count)
    throw py::value_error(what + " must have " + std::to_string(count) + " items");
  std::vector<int> values;
  for (const py::handle item : items) {
    if (!PyIndex_Check(item.ptr())) throw py::type_error(what + " must hold ints");
    const long long v =
        PyLong_AsLongLong(py::reinterpret_steal<py::object>(PyNumber_Index(item.ptr())).ptr());
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (v < INT_MIN || v > INT_MAX) throw py::value_error(what + " holds a number out of range");
    values.push_back(int(v));
  }
  return values;
}

// A (left, top, right, bottom) tuple of the caller.
CRect TakeRect(const py::handle& object, const char* what) {
  const std::vector<int> v = Ints(object, 4, what);
  return CRect(v[0], v[1], v[2], v[3]);
}

py::tuple RectTuple(const CRect& r) { return py::make_tuple(r.left, r.top, r.right, r.bottom); }

// ---- The host's dialogs, for a script: messages are silent (the refusal is raised instead),
// file dialogs are cancelled, and the progress dialog of make_movie calls the script back.

struct MakeProgress {
  py::object callback;
  int total = 0;
  int done = 0;
  bool cancelled = false;
  std::optional<py::error_already_set> error;
};
thread_local MakeProgress* t_makeProgress = nullptr;

class ScriptProgress : public IKvProgress {
 public:
  explicit ScriptProgress(MakeProgress* state) : m_state(state) {}
  void SetPercent(int) override {}
  // The maker pumps once before each frame: the frames done so far.
  void Pump() override {
    if (!m_state || m_state->cancelled) return;
    const py::gil_scoped_acquire gil;
    try {
      const py::object answer = m_state->callback(m_state->done++, m_state->total);
      m_state->cancelled = !answer.is_none() && !py::bool_(answer);
    } catch (py::error_already_set& e) {
      m_state->error = std::move(e);
      m_state->cancelled = true;
    }
  }
  bool Cancelled() override { return m_state && m_state->cancelled; }

 private:
  MakeProgress* m_state;
};

class ScriptUi : public IKvUiServices {
 public:
  int MessageBox(const CString&, const CString&, UINT type, CWnd*) override {
    return KvDefaultButton(type);
  }
  std::unique_ptr<IKvProgress> BeginProgress(const CString&, const CString&, bool, bool,
                                             CWnd*) override {
    return std::make_unique<ScriptProgress>(t_makeProgress);
  }
  bool ChooseFile(const KvFileDialogRequest&, CString& path) override {
    path.Empty();
    return false;
  }
};

// ---- Pictures

struct Picture {
  py::array pixels;
  CRect rect;
};

Picture Load(const Typed<PathType>& pathArg) {
  const CString path = PathArg(pathArg);
  CRect rect;
  DWORD* pixels = nullptr;
  {
    const py::gil_scoped_release nogil;
    pixels = KvMediaLoadPicFile(path, rect);
  }
  if (!pixels) RaiseRead(path, "not a picture this library reads");
  return {OwningArray(pixels, rect), rect};
}

const char* TypeName(int type) {
  static const char* const kNames[] = {"unknown", "TGA", "BMP", "GIF",          "PCX",
                                       "JPEG",    "PNG", "PSD", "motion movie", "FLIC movie"};
  return type >= 0 && type <= 9 ? kNames[type] : "unknown";
}

// The fields `kvmedia info` prints, from headers only.
Typed<InfoType> Info(const Typed<PathType>& pathArg) {
  const CString path = PathArg(pathArg);
  if (const int error = ReadErrno(path)) Raise(path, ErrnoReason(error), error);
  // A pipe or a device would block the header readers.
  if (!KvDoesFileExist(path)) Raise(path, "not a regular file");
  py::dict info;
  const auto facts = [&](long long w, long long h, int bits, int channels, bool alpha) {
    info["width"] = w;
    info["height"] = h;
    info["bits"] = bits;
    info["channels"] = channels;
    info["alpha"] = alpha;
  };
  if (CKvPlayScrollBase::GetScrollCategory(path) == SCROLL_FILE) {
    static const char* const kDirections[] = {"roll up", "roll down", "crawl left", "crawl right"};
    DWORD direction = 0, width = 0, lines = 0;
    if (!KvScrollGetFileInfo(path, &direction, &width, &lines))
      RaiseRead(path, "not a readable scroll file");
    const bool roll = direction <= KV_SCROLL_DOWN;
    info["type"] = "scroll";
    facts(roll ? width : lines, roll ? lines : width, 32, 4, true);
    info["direction"] = direction <= 3 ? kDirections[direction] : "unknown";
    info["line_width"] = width;
    info["lines"] = lines;
  } else if (const ENUMMOVIETYPE movie = CKvPlayMovieBase::MovieCategory(path);
             movie != MOVIE_UNKNOWN) {
    const bool flic = movie == MOVIE_FLIC;
    CRect rect;
    WORD word = 0;
    int frames = 0;
    if (!KvMovieGetFileInfo(path, &rect, &word, &frames))
      RaiseRead(path, "not a movie this library reads");
    info["type"] = flic ? "FLIC movie" : "motion movie";
    facts(rect.Width(), rect.Height(), flic ? 8 : 32, 4, true);
    info["x"] = rect.left;
    info["y"] = rect.top;
    info["frames"] = frames;
    SKvFlicHeader header;
    if (!flic)
      info["key_interval"] = word;
    else if (KvReadFlicHeader(path, header))
      info["speed_ms"] = std::llround(header.MillisecondsPerFrame());
  } else {
    SKvPicFacts f;
    if (!KvMediaGetPicFacts(path, &f)) RaiseRead(path, "no picture header this library knows");
    info["type"] = TypeName(f.type);
    facts(f.width, f.height, f.storedBits, f.channels, f.alpha);
    info["x"] = f.x;
    info["y"] = f.y;
    // The library's own figure; for PNG its information call decodes the whole file.
    RECT rect{};
    int bits = 0;
    if (f.type != KV_PIC_PNG && KvMediaGetPicInfo(path, &rect, &bits)) info["library_bits"] = bits;
  }
  struct stat st {};
  if (::stat(path.ToUtf8().c_str(), &st) == 0)
    info["file_size"] = static_cast<long long>(st.st_size);
  return {info};
}

std::string LowerExtension(const CString& path) {
  std::string name = path.ToUtf8();
  const auto slash = name.rfind('/'), dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  name = name.substr(dot);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return name;
}

void Save(const Typed<PathType>& pathArg, const Typed<PixelsType>& pixelsArg,
          const Typed<OptionalRectType>& rectArg, const std::string& order) {
  const CString path = PathArg(pathArg);
  const std::string ext = LowerExtension(path);
  const bool jpeg = ext == ".jpg" || ext == ".jpeg";
  if (ext == ".png")
    throw py::value_error(
        "PNG is not a format the library saves: write picture.rgba() with a PNG writer, or "
        "save as .tga");
  if (ext != ".tga" && ext != ".bmp" && ext != ".pcx" && !jpeg)
    throw py::value_error("the name must end in .tga, .bmp, .pcx, .jpg or .jpeg");
  CallerPixels pixels = TakePixels(pixelsArg.object, order);
  const CRect whole(0, 0, pixels.size.cx, pixels.size.cy);
  CRect rect = whole;
  if (!rectArg.object.is_none()) {
    rect = TakeRect(rectArg.object, "rect");
    CRect inside;
    if (rect.IsRectEmpty() || !inside.IntersectRect(&rect, &whole) || !(inside == rect))
      throw py::value_error("rect must be a non-empty region inside the picture");
  }
  // The JPEG saver writes the whole buffer it is given: the region alone, then.
  if (jpeg && !(rect == whole)) {
    const py::slice rows(rect.top, rect.bottom, 1), columns(rect.left, rect.right, 1);
    pixels = TakePixels(pixels.array[py::make_tuple(rows, columns)], "bgra");
    rect = CRect(0, 0, pixels.size.cx, pixels.size.cy);
  }
  int saved = 0;
  {
    const py::gil_scoped_release nogil;
    if (ext == ".pcx")
      saved = KvMediaSavePCXFile(path, pixels.data(), pixels.size, rect);
    else if (jpeg)
      saved = KvMediaSaveJPGFile(path, pixels.data(), pixels.size, rect);
    else
      saved = KvMediaSavePicFile(path, pixels.data(), pixels.size, rect, nullptr);
  }
  if (!saved) RaiseWrite(path, "the picture could not be saved");
}

// ---- Movies

class Movie {
 public:
  Movie(const Typed<PathType>& pathArg, bool memory, const Typed<OptionalPixelsType>& background,
        int mix, const Typed<OptionalPointType>& paste)
      : m_path(PathArg(pathArg)) {
    if (mix != 0 && mix != 1) throw py::value_error("mix must be 0 (movie over) or 1 (under)");
    if (!background.object.is_none())
      m_back.emplace(TakePixels(background.object, "bgra"));
    else if (!paste.object.is_none())
      throw py::value_error("paste goes with a background");
    if (!paste.object.is_none()) m_paste = TakePoint(paste.object);
    const py::gil_scoped_release nogil;
    Open(memory, mix);
  }

  int frames() const { return m_player->m_nFrames; }
  CRect rect() const { return m_rect; }
  int keyInterval() const { return m_key; }
  const CString& path() const { return m_path; }

  // Frame i of frames(), as a view of the player's frame (or the composed frame) that the
  // next frame overwrites, from whichever thread asks for it.
  py::array View(py::handle self, int index) {
    Render(TimeOf(index), nullptr);
    const DWORD* pixels = m_back
                              ? m_placed.data()
                              : reinterpret_cast<const DWORD*>(m_player->m_blockWork.GetAddress());
    return FrameView(pixels, OutputSize(), self);
  }

  py::array Frame(float t) {
    const CSize size = OutputSize();
    py::array_t<std::uint8_t> out({py::ssize_t{size.cy}, py::ssize_t{size.cx}, py::ssize_t{4}});
    Render(t, reinterpret_cast<DWORD*>(out.mutable_data()));
    return out;
  }

  // Plays every frame into the clip `out` through the library's export, over the picture
  // `background` when given (a file, as the export takes it).
  void Export(const Typed<PathType>& outArg, const std::string& codec, int fps,
              const Typed<OptionalPathType>& backgroundArg, int mix,
              const Typed<OptionalPointType>& pasteArg) const {
    static const std::map<std::string, EKvClipCodec> kCodecs = {
        {"qtrle", KV_CLIP_QTRLE}, {"prores4444", KV_CLIP_PRORES4444}, {"png", KV_CLIP_PNG}};
    const auto found = kCodecs.find(codec);
    if (found == kCodecs.end())
      throw py::value_error("codec must be 'qtrle', 'prores4444' or 'png'");
    if (fps < 1 || fps > 240) throw py::value_error("fps must be 1 to 240");
    if (mix != 0 && mix != 1) throw py::value_error("mix must be 0 (movie over) or 1 (under)");
    const bool over = !backgroundArg.object.is_none();
    if (!over && !pasteArg.object.is_none()) throw py::value_error("paste goes with a background");
    const CString out = PathArg(outArg);
    const std::string ext = LowerExtension(out);
    if (ext != ".mov" && ext != ".mkv")
      throw py::value_error("a clip is written only to a name ending in .mov or .mkv");
    if (ext == ".mkv" && found->second == KV_CLIP_QTRLE)
      throw py::value_error("qtrle is written into a .mov only");
    SKvClipExport settings;
    settings.codec = found->second;
    settings.fps = fps;
    const CString background = over ? PathArg(backgroundArg.object) : CString();
    POINT paste{};
    for (const CString* in : {&m_path, &background}) {
      if (in == &background && !over) continue;
      if (const int error = ReadErrno(*in)) Raise(*in, ErrnoReason(error), error);
      if (KvIsSameFile(out, *in))
        Raise(out, "is " + in->ToUtf8() + ": a clip never replaces its movie or background");
    }
    if (over) {
      settings.background = background;
      settings.mixMode = mix;
      if (!pasteArg.object.is_none()) {
        paste = TakePoint(pasteArg.object);
        settings.paste = &paste;
      }
    }
    int written = 0;
    {
      const py::gil_scoped_release nogil;
      written = KvMovieExportClip(m_path, out, &settings, nullptr);
    }
    if (!written) RaiseWrite(out, "the clip could not be written");
  }

  // Python's sequence rule: -1 is the last frame.
  py::array FrameAt(long long index) {
    const int n = frames();
    if (index < -n || index >= n)
      throw py::index_error("frame " + std::to_string(index) + " of a movie of " +
                            std::to_string(n) + " frames");
    return Frame(TimeOf(static_cast<int>(index < 0 ? index + n : index)));
  }

 private:
  // Runs without the GIL: a refusal is kept for Check.
  void Open(bool memory, int mix) {
    switch (CKvPlayMovieBase::MovieCategory(m_path)) {
      case MOVIE_SVE:
      case MOVIE_KVX:
        m_player = std::make_unique<CKvPlayMovieMotion>();
        break;
      case MOVIE_FLIC:
        m_player = std::make_unique<CKvPlayMovieFlick>();
        break;
      default:
        return Fail("not a movie this library plays (.sve, .fli, .flc)");
    }
    if (const int error = ReadErrno(m_path)) return Fail(ErrnoReason(error), error);
    if (!KvDoesFileExist(m_path)) return Fail("not a regular file");
    WORD key = 0;
    int count = 0;
    if (!KvMovieGetFileInfo(m_path, &m_rect, &key, &count) || !m_player->Open(m_path, memory))
      return Fail(Reason("not a readable movie").c_str());
    m_key = key;
    // The FLIC player clears the flag in Open: it is the caller's to set before Prepare.
    m_player->m_bLoadToMem = memory ? 1 : 0;
    CKvMemBlock* back = nullptr;
    if (m_back) {
      if (!m_backBlock.InitBlock(m_back->size)) return Fail("out of memory");
      std::memcpy(m_backBlock.GetAddress(), m_back->data(),
                  std::size_t(m_back->size.cx) * std::size_t(m_back->size.cy) * 4);
      m_player->m_nMixMode = mix;
      // Where the movie was made to stand, unless told otherwise.
      m_player->m_ptPaste = m_paste.value_or(m_rect.TopLeft());
      m_placed.resize(std::size_t(m_back->size.cx) * std::size_t(m_back->size.cy));
      back = &m_backBlock;
    }
    try {
      if (!m_player->Prepare(back))
        return Fail(Reason("the movie's frames cannot be read").c_str());
    } catch (const CFileException&) {
      return Fail(Reason("a frame cannot be read").c_str());
    }
  }

  static CPoint TakePoint(const py::handle& object) {
    const std::vector<int> xy = Ints(object, 2, "paste");
    return CPoint(xy[0], xy[1]);
  }

  void Fail(const char* reason, int error = 0) {
    m_failure = reason;
    m_error = error;
    m_player.reset();
  }

 public:
  // After construction: raises the refusal of Open, if any.
  void Check() {
    if (!m_player) Raise(m_path, m_failure, m_error);
  }

 private:
  CSize OutputSize() const { return m_back ? m_back->size : m_player->m_blockWork.GetSize(); }

  // The middle of frame i: i / n itself can fall a hair short of i once a player multiplies
  // it back.
  float TimeOf(int index) const {
    return (static_cast<float>(index) + 0.5f) / static_cast<float>(frames());
  }

  // Plays time t and copies the frame (composed over the background, if any) into `out`, or
  // into the composed frame that View shows, before the lock is released: from then on
  // another thread's frame may replace it.
  void Render(float t, DWORD* out) {
    if (!std::isfinite(t)) throw py::value_error("t must be a finite number");
    // Times before the start play the first frame with either player (the motion player
    // does so itself; the FLIC player would count back into nothing).
    t = std::max(t, 0.0f);
    bool ok = false;
    {
      const py::gil_scoped_release nogil;
      const std::lock_guard lock(m_lock);
      try {
        ok = m_player->GetOneFrame(t) != 0;
      } catch (const CFileException&) {
      }
      if (ok && m_back)
        Place(out ? out : m_placed.data());
      else if (ok && out)
        std::memcpy(out, m_player->m_blockWork.GetAddress(),
                    std::size_t(OutputSize().cx) * std::size_t(OutputSize().cy) * 4);
    }
    if (!ok) Raise(m_path, Reason("a frame cannot be read"));
  }

  // The background with the work block (already mixed with it there) laid on it.
  void Place(DWORD* to) const {
    const CKvMemBlock& work = m_player->m_blockWork;
    const CSize bs = m_back->size, ws = work.GetSize();
    const CPoint at = m_player->m_ptPaste;
    const auto* wp = reinterpret_cast<const DWORD*>(work.GetAddress());
    std::memcpy(to, m_backBlock.GetAddress(), m_placed.size() * 4);
    const long long x0 = std::max(0, at.x), x1 = std::min<long long>(bs.cx, 0LL + at.x + ws.cx);
    const long long y0 = std::max(0, at.y), y1 = std::min<long long>(bs.cy, 0LL + at.y + ws.cy);
    for (long long y = y0; x0 < x1 && y < y1; ++y)
      std::memcpy(to + std::size_t(y * bs.cx + x0),
                  wp + std::size_t((y - at.y) * ws.cx + (x0 - at.x)), std::size_t(x1 - x0) * 4);
  }

  CString m_path;
  std::unique_ptr<CKvPlayMovieBase> m_player;
  std::string m_failure;
  int m_error = 0;
  CRect m_rect;
  int m_key = 0;
  std::optional<CallerPixels> m_back;
  std::optional<CPoint> m_paste;
  CKvMemBlock m_backBlock;
  std::vector<DWORD> m_placed;
  std::mutex m_lock;
};

struct MovieFrames {
  py::object movie;
  int next = 0;
};

// What is wrong with a movie just made, or "" when every frame plays back. `frames` 0: as
// many as the movie holds.
std::string ReadBack(const CString& path, int frames) {
  CKvPlayMovieMotion player;
  if (!player.Open(path, 0) || !player.Prepare(nullptr))
    return "the movie made cannot be read back: " + Reason("no reason given");
  if (frames == 0) frames = player.m_nFrames;
  if (player.m_nFrames != frames)
    return "the movie made holds " + std::to_string(player.m_nFrames) + " of " +
           std::to_string(frames) + " frames";
  for (int i = 0; i < frames; ++i)
    if (!player.GetOneFrame((static_cast<float>(i) + 0.5f) / static_cast<float>(frames)))
      return "frame " + std::to_string(i) + " of the movie made cannot be read back";
  return "";
}

// (r, g, b) of the caller, each 0 to 255.
CKvColor32 TakeColour(const py::handle& object, const char* what) {
  const std::vector<int> rgb = Ints(object, 3, what);
  if (std::any_of(rgb.begin(), rgb.end(), [](int v) { return v < 0 || v > 255; }))
    throw py::value_error(std::string(what) + " takes (r, g, b), each 0 to 255");
  return CKvColor32(BYTE(rgb[0]), BYTE(rgb[1]), BYTE(rgb[2]), 0);
}

// Runs `make(path)` (the maker, writing `frames` frames to path) under a temporary name in
// the target's folder and reads the movie back before it takes the target's name, so that a
// run that fails at any point leaves an existing movie of that name as it was. A clip's
// count is what its container states: the movie read back is held to it only when `exact`.
template <typename Make>
bool RunMaker(const CString& moviePath, int frames, bool exact, const py::object& progress,
              Make make) {
  SafeFileWriter target(moviePath);
  if (!target.Open()) {
    const int error = target.error();
    Raise(moviePath, std::strerror(error), PythonErrno(error));
  }
  MakeProgress state;
  state.total = frames;
  if (!progress.is_none()) state.callback = progress;
  int made = 0;
  std::string fault;
  {
    const py::gil_scoped_release nogil;
    t_makeProgress = progress.is_none() ? nullptr : &state;
    made = make(CString::FromUtf8(target.Path()));
    t_makeProgress = nullptr;
    if (made) fault = ReadBack(CString::FromUtf8(target.Path()), exact ? frames : 0);
  }
  if (state.error) throw std::move(*state.error);
  if (!made && state.cancelled) return false;
  if (!made) Raise(moviePath, Reason("the movie could not be made"));
  if (!fault.empty()) Raise(moviePath, fault);
  if (!target.Commit()) {
    const int error = target.error();
    Raise(moviePath, std::strerror(error), PythonErrno(error));
  }
  if (!progress.is_none()) progress(state.total, state.total);
  return true;
}

// The library's maker, with the module's guards around it: the movie goes only to a .sve
// name and never over one of its own pictures.
bool MakeMovie(const Typed<PathType>& pattern, const Typed<PathType>& out, int first, int last,
               int digits, const Typed<RectType>& rectArg, int key,
               const Typed<OptionalColourType>& colorKey, const Typed<ColourType>& tolerance,
               bool deflicker, const Typed<ProgressType>& progressArg) {
  const py::object& progress = progressArg.object;
  if (first < 0 || last < first) throw py::value_error("first and last must be 0 <= first <= last");
  if (last - first >= 32767) throw py::value_error("a movie holds at most 32,767 frames");
  if (digits < 0 || digits > 32) throw py::value_error("digits must be 0 to 32");
  if (key < 0 || key > 65535) throw py::value_error("key must be 0 to 65535");
  const RECT rect = TakeRect(rectArg.object, "rect");
  const bool keyed = !colorKey.object.is_none();
  const CKvColor32 keyColour = keyed ? TakeColour(colorKey.object, "color_key") : CKvColor32();
  const CKvColor32 tol = TakeColour(tolerance.object, "tolerance");
  const CString picPath = PathArg(pattern), moviePath = PathArg(out);
  if (LowerExtension(moviePath) != ".sve")
    throw py::value_error("a movie is written only to a name ending in .sve");
  // Every picture is there and none is the movie's file, however either is spelt, before
  // anything is written.
  for (int number = first; number <= last; ++number) {
    wchar_t name[_MAX_PATH];
    CKvMakeMovieMotion::MakeFileName(picPath, number, digits, name);
    if (const int error = ReadErrno(name))
      Raise(name, error == ENOENT ? "a picture of the sequence is missing" : ErrnoReason(error),
            error);
    if (KvIsSameFile(moviePath, name))
      Raise(moviePath, "is " + CString(name).ToUtf8() +
                           ", a picture of the sequence: the movie would replace it");
  }
  return RunMaker(moviePath, last - first + 1, true, progress, [&](const CString& path) {
    CKvMakeMovieMotion maker;
    return maker.Sink(picPath, first, last, digits, keyed, keyColour, tol, deflicker, &rect, path,
                      WORD(key), nullptr);
  });
}

// A clip's frames by the same maker and guards; without a rect the movie is the whole clip,
// at the raster's top-left corner where the maker places it.
bool MakeMovieFromClip(const Typed<PathType>& clipArg, const Typed<PathType>& out,
                       const Typed<OptionalRectType>& rectArg, int key,
                       const Typed<OptionalColourType>& colorKey,
                       const Typed<ColourType>& tolerance, bool deflicker,
                       const Typed<ProgressType>& progressArg) {
  if (key < 0 || key > 65535) throw py::value_error("key must be 0 to 65535");
  const bool keyed = !colorKey.object.is_none();
  const CKvColor32 keyColour = keyed ? TakeColour(colorKey.object, "color_key") : CKvColor32();
  const CKvColor32 tol = TakeColour(tolerance.object, "tolerance");
  std::optional<RECT> rect;
  if (!rectArg.object.is_none()) rect = TakeRect(rectArg.object, "rect");
  const CString clipPath = PathArg(clipArg), moviePath = PathArg(out);
  if (LowerExtension(moviePath) != ".sve")
    throw py::value_error("a movie is written only to a name ending in .sve");
  if (const int error = ReadErrno(clipPath)) Raise(clipPath, ErrnoReason(error), error);
  // A pipe or device is never opened: the clip's reader would wait on it.
  if (!KvDoesFileExist(clipPath)) Raise(clipPath, "not a regular file");
  if (KvIsSameFile(moviePath, clipPath))
    Raise(moviePath, "is the clip: the movie would replace it");
  SKvClipInfo info;
  bool read = false;
  {
    const py::gil_scoped_release nogil;
    read = KvMovieGetClipInfo(clipPath, &info) != 0;
  }
  if (!read) Raise(clipPath, Reason("not a clip FFmpeg's libraries read"));
  // Without a rect, the whole clip: as much of it as the raster holds.
  const CRect whole(0, 0, info.width, info.height), raster = CKvVideoStd::GetResRect();
  CRect inRaster;
  if (!inRaster.IntersectRect(&whole, &raster)) inRaster = whole;
  const RECT movieRect = rect.value_or(inRaster);
  return RunMaker(moviePath, info.frames, false, progressArg.object, [&](const CString& path) {
    CKvMakeMovieMotion maker;
    return maker.SinkClip(clipPath, keyed, keyColour, tol, deflicker, &movieRect, path, WORD(key),
                          nullptr);
  });
}

// ---- Scrolls

class Scroll {
 public:
  Scroll(const Typed<PathType>& pathArg, bool memory) : m_path(PathArg(pathArg)), m_memory(memory) {
    if (const int error = ReadErrno(m_path)) Raise(m_path, ErrnoReason(error), error);
    if (!KvDoesFileExist(m_path)) Raise(m_path, "not a regular file");
    if (CKvPlayScrollBase::GetScrollCategory(m_path) != SCROLL_FILE)
      Raise(m_path, "not a scroll file (.ksc)");
    bool ok = false;
    {
      const py::gil_scoped_release nogil;
      ok = m_player.Open(m_path, memory ? 1 : 0);
      if (ok) {
        m_player.GetFrameSize(m_size);
        m_frame.resize(std::size_t(m_size.cx) * std::size_t(m_size.cy));
      }
    }
    if (!ok) Raise(m_path, Reason("not a readable scroll file"));
  }

  const CString& path() const { return m_path; }

  DWORD direction() const { return m_player.m_dwDirection; }
  DWORD lines() const { return m_player.m_dwLines; }
  DWORD width() {
    DWORD direction = 0, width = 0, lines = 0;
    m_player.GetInfo(&direction, &width, &lines);
    return width;
  }
  CSize size() const { return m_size; }

  py::array Frame(float position) {
    if (!std::isfinite(position)) throw py::value_error("position must be a finite number");
    py::array_t<std::uint8_t> out({py::ssize_t{m_size.cy}, py::ssize_t{m_size.cx}, py::ssize_t{4}});
    auto* target = reinterpret_cast<DWORD*>(out.mutable_data());
    bool ok = false;
    {
      const py::gil_scoped_release nogil;
      const std::lock_guard lock(m_lock);
      SKvScrollBuffer buffer;
      buffer.pFrame = m_frame.data();
      ok = m_player.GetOneFrame(position, &buffer) != 0;
      if (ok) Unroll(target);
    }
    if (!ok) Raise(m_path, Reason("a frame could not be read"));
    return out;
  }

 private:
  // Streaming keeps the frame as a ring of rows (columns): rotate it into screen order, with
  // the window's first row (column) first.
  void Unroll(DWORD* out) const {
    const int w = m_size.cx, h = m_size.cy;
    const DWORD d = m_player.m_dwDirection;
    if (m_memory) {
      std::memcpy(out, m_frame.data(), m_frame.size() * 4);
      return;
    }
    const CPoint ring = m_player.GetRingPoint();
    const int shift = d == KV_SCROLL_UP || d == KV_SCROLL_LEFT ? 0 : 1;
    if (d <= KV_SCROLL_DOWN) {
      const int first = ((ring.y + shift) % h + h) % h;
      for (int y = 0; y < h; ++y)
        std::memcpy(out + std::size_t(y) * w, &m_frame[std::size_t((first + y) % h) * w],
                    std::size_t(w) * 4);
    } else {
      const int first = ((ring.x + shift) % w + w) % w;
      for (int y = 0; y < h; ++y) {
        const DWORD* row = &m_frame[std::size_t(y) * w];
        DWORD* to = out + std::size_t(y) * w;
        std::memcpy(to, row + first, std::size_t(w - first) * 4);
        std::memcpy(to + (w - first), row, std::size_t(first) * 4);
      }
    }
  }

  CString m_path;
  bool m_memory;
  CKvPlayScrollFile m_player;
  CSize m_size;
  std::vector<DWORD> m_frame;
  std::mutex m_lock;
};

// ---- Catalogues

py::list Catalog(const py::handle& folderArg, const py::handle& types) {
  const CString folder = PathArg(folderArg);
  std::string extensions = CString(kKvClipPictureTypes).ToUtf8();
  if (py::isinstance<py::str>(types)) {
    extensions = types.cast<std::string>();
  } else if (!types.is_none()) {
    extensions.clear();
    for (const py::handle item : types)
      extensions += (extensions.empty() ? "" : ",") + item.cast<std::string>();
  }
  CheckFolder(folder);
  struct Entry {
    CString path, name;
    EKvClipState state;
    CString reason;
  };
  std::vector<Entry> leftOut;
  std::map<const CKvClipMedia*, EKvClipState> states;
  CKvObList list;
  SKvFetchOptions options;
  options.onRecord = [&](const CKvClipMedia& record, EKvClipState state, const CString& reason) {
    if (state == EKvClipState::kUnreadable)
      leftOut.push_back({record.GetFileFullPath(), record.GetPureFileName(), state, reason});
    else
      states[&record] = state;
  };
  SKvFetchReport report;
  {
    const py::gil_scoped_release nogil;
    KvMediaFetchValidFileEx(&list, folder, KvJoinPath(folder, L"PicMedia.pmf"),
                            CString::FromUtf8(extensions), options, &report);
  }
  py::list records;
  for (POSITION pos = list.GetHeadPosition(); pos;) {
    const auto* media = static_cast<const CKvClipMedia*>(list.GetNext(pos));
    py::dict r;
    r["name"] = PathText(media->GetPureFileName());
    r["path"] = PathText(media->GetFileFullPath());
    r["width"] = media->GetPicSize().cx;
    r["height"] = media->GetPicSize().cy;
    r["bits"] = media->GetBits();
    r["file_size"] = media->GetFileSize();
    r["state"] = KvClipStateName(states.count(media) ? states[media] : EKvClipState::kNew);
    records.append(r);
  }
  for (const Entry& e : leftOut) {
    py::dict r;
    r["name"] = PathText(e.name);
    r["path"] = PathText(e.path);
    r["state"] = KvClipStateName(e.state);
    r["reason"] = e.reason.ToUtf8();
    records.append(r);
  }
  return records;
}

// ---- Timing of the same work in C++, for python/bench.py: seconds for `repeats` loads of a
// TGA, and for playing every frame of a movie `passes` times from memory.

double CxxLoadSeconds(const Typed<PathType>& pathArg, int repeats) {
  const CString path = PathArg(pathArg);
  const py::gil_scoped_release nogil;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < repeats; ++i) {
    CRect rect;
    KvGlobalPtr pixels(KvMediaLoadTGAFile(path, rect));
    if (!pixels) return -1;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double CxxMovieSeconds(const Typed<PathType>& pathArg, int passes) {
  const CString path = PathArg(pathArg);
  const py::gil_scoped_release nogil;
  std::unique_ptr<CKvPlayMovieBase> player(CKvPlayMovieBase::CreatePlayMovieObj(path, 1));
  if (!player) return -1;
  const int n = player->m_nFrames;
  const auto start = std::chrono::steady_clock::now();
  for (int p = 0; p < passes; ++p)
    for (int i = 0; i < n; ++i)
      player->GetOneFrame((static_cast<float>(i) + 0.5f) / static_cast<float>(n));
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Size(long long width, long long height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

PYBIND11_MODULE(kvmedia, m) {
  m.doc() =
      "Pictures, movies, scrolls and catalogues of the KvMediaFile library.\n\n"
      "Pixels are numpy arrays (height, width, 4) of uint8 B, G, R, A. Every refusal is an\n"
      "OSError: FileNotFoundError, IsADirectoryError, NotADirectoryError or PermissionError\n"
      "where Python has a class for it (the library's reason in .strerror), kvmedia.Error\n"
      "(.path, .reason) for the rest. Bad arguments raise TypeError or ValueError.";
  m.attr("__version__") = KV_VERSION;
  py::module_::import("numpy");

  py::dict scope;
  scope["__name__"] = "kvmedia";
  scope["__builtins__"] = py::module_::import("builtins");
  py::exec(kErrorSource, scope);
  g_error = py::object(scope["Error"]).release().ptr();  // kept for the life of the process
  m.attr("Error") = py::handle(g_error);

  KvMediaFileOpen();
  static ScriptUi ui;
  KvSetUiServices(&ui);
  py::module_::import("atexit").attr("register")(py::cpp_function([] {
    KvMediaFileClose();
    KvSetUiServices(nullptr);
  }));

  py::class_<Picture>(m, "Picture", "A loaded picture: pixels (B, G, R, A) and its rect.")
      .def_readonly("pixels", &Picture::pixels,
                    "numpy array (height, width, 4) of uint8 B, G, R, A over the library's buffer")
      .def_property_readonly(
          "rect", [](const Picture& p) { return RectTuple(p.rect); },
          "(left, top, right, bottom); a TGA keeps its placement")
      .def_property_readonly("width", [](const Picture& p) { return p.rect.Width(); })
      .def_property_readonly("height", [](const Picture& p) { return p.rect.Height(); })
      .def(
          "rgba", [](const Picture& p) { return SwapRedBlue(p.pixels); },
          "A copy of the pixels in R, G, B, A order.")
      .def("__repr__", [](const Picture& p) {
        return "<kvmedia.Picture " + Size(p.rect.Width(), p.rect.Height()) + " at (" +
               std::to_string(p.rect.left) + ", " + std::to_string(p.rect.top) + ")>";
      });

  m.def("load", &Load, py::arg("path"),
        "Loads any picture the library reads (or a movie's first frame).");
  m.def("info", &Info, py::arg("path"),
        "What a file's header says: type, width, height, bits, ... as the tool's info prints.");
  m.def("save", &Save, py::arg("path"), py::arg("pixels"), py::arg("rect") = py::none(),
        py::kw_only(), py::arg("order") = "bgra",
        "Saves the pixels (or the region rect = (left, top, right, bottom)) as .tga, .bmp, .pcx "
        "or .jpg by the name's extension, through the safe writer; order is 'bgra' or 'rgba'.");

  py::class_<Movie>(m, "Movie",
                    "A motion movie or FLIC played frame by frame; len() is its frame count.")
      .def(py::init([](const Typed<PathType>& path, bool memory,
                       const Typed<OptionalPixelsType>& background, int mix,
                       const Typed<OptionalPointType>& paste) {
             auto movie = std::make_unique<Movie>(path, memory, background, mix, paste);
             movie->Check();
             return movie;
           }),
           py::arg("path"), py::arg("memory") = false, py::kw_only(),
           py::arg("background") = py::none(), py::arg("mix") = 0, py::arg("paste") = py::none(),
           "Opens a .sve or .fli/.flc movie, played from memory when memory is True. Over a "
           "background (B, G, R, A pixels), mix 0 lays the movie over it and 1 under it, at "
           "paste = (x, y) or where the movie was made to stand.")
      .def("__len__", &Movie::frames)
      .def_property_readonly(
          "rect", [](const Movie& mv) { return RectTuple(mv.rect()); },
          "(left, top, right, bottom): where the movie stands in the raster")
      .def_property_readonly("key_interval", &Movie::keyInterval,
                             "frames from one key frame to the next (0 for FLIC)")
      .def("frame", &Movie::Frame, py::arg("t"),
           "The frame at time t as a new array. t counts passes through the movie, as the "
           "library's players do: frame int(t * len(movie)) % len(movie), so t wraps (1.0 is "
           "frame 0 again) and t below 0 plays frame 0. frame_at() takes a frame number.")
      .def("frame_at", &Movie::FrameAt, py::arg("index"),
           "Frame number index as a new array; a negative index counts from the end, as in a "
           "list (-1 is the last frame), and one out of range raises IndexError.")
      .def("export", &Movie::Export, py::arg("out"), py::arg("codec") = "qtrle",
           py::arg("fps") = kKvVideoFramesPerSecond, py::kw_only(),
           py::arg("background") = py::none(), py::arg("mix") = 0, py::arg("paste") = py::none(),
           "Plays every frame into the clip out (.mov or .mkv) that editing systems read: codec "
           "'qtrle' (QuickTime Animation) or 'png', both lossless with alpha, or 'prores4444' "
           "(ProRes 4444 with alpha), at fps frames a second (1 to 240), one clip frame per "
           "movie frame. Over the picture file background, mix 0 lays the movie over it and 1 "
           "under it, at paste = (x, y) or where the movie was made to stand; the clip is then "
           "the picture's size. Written under a temporary name: a failure leaves no clip and an "
           "old one as it was.")
      .def(
          "__iter__",
          [](const py::object& self) {
            return Typed<FramesType>{py::cast(MovieFrames{self, 0})};
          },
          "Each frame in turn, as a read-only view of the player's frame that the next frame "
          "(asked by any thread) overwrites: .copy() one to keep it. Threads that share one "
          "Movie call frame() or frame_at(), which return frames of their own.")
      .def("__repr__", [](const Movie& mv) {
        return "<kvmedia.Movie " + std::string(py::repr(PathText(mv.path()))) + ": " +
               std::to_string(mv.frames()) + (mv.frames() == 1 ? " frame of " : " frames of ") +
               Size(mv.rect().Width(), mv.rect().Height()) + ">";
      });

  // Private names (help() leaves them out): the type behind iteration, and the timings of
  // python/bench.py.
  py::class_<MovieFrames>(m, "_MovieFrames")
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__", [](MovieFrames& it) {
        Movie& movie = it.movie.cast<Movie&>();
        if (it.next >= movie.frames()) throw py::stop_iteration();
        return movie.View(it.movie, it.next++);
      });

  py::class_<Scroll>(m, "Scroll", "A roll or crawl played at any position.")
      .def(py::init<const Typed<PathType>&, bool>(), py::arg("path"), py::arg("memory") = false,
           "Opens a .ksc scroll, streamed, or from memory when memory is True.")
      .def_property_readonly("direction", &Scroll::direction,
                             "0 roll up, 1 roll down, 2 crawl left, 3 crawl right")
      .def_property_readonly("width", &Scroll::width, "pixels a line")
      .def_property_readonly("lines", &Scroll::lines)
      .def_property_readonly(
          "size", [](const Scroll& s) { return py::make_tuple(s.size().cx, s.size().cy); },
          "(width, height) of a frame")
      .def("frame", &Scroll::Frame, py::arg("position"),
           "The frame at position 0 to 1 along the scroll, as a new array.")
      .def("__repr__", [](Scroll& s) {
        static const char* const kDirections[] = {"roll up", "roll down", "crawl left",
                                                  "crawl right"};
        return "<kvmedia.Scroll " + std::string(py::repr(PathText(s.path()))) + ": " +
               (s.direction() <= 3 ? kDirections[s.direction()] : "unknown") + ", " +
               std::to_string(s.lines()) + " lines of " + std::to_string(s.width()) + " pixels>";
      });

  m.def("make_movie", &MakeMovie, py::arg("pattern"), py::arg("out"), py::arg("first"),
        py::arg("last"), py::arg("digits"), py::arg("rect"), py::arg("key") = 25,
        py::arg("color_key") = py::none(), py::arg("tolerance") = py::make_tuple(0, 0, 0),
        py::arg("deflicker") = false, py::arg("progress") = py::none(),
        "Makes the motion movie out (a .sve name) of pictures first..last of pattern (title.tga "
        "with 2 digits: title00.tga, title01.tga, ...), of the raster's region rect = (left, "
        "top, right, bottom). An out that is one of the pictures is refused before anything is "
        "written; the movie is read back before it replaces an old one. True when made, False "
        "when progress(done, total) returned False.");
  m.def("make_movie_from_clip", &MakeMovieFromClip, py::arg("clip"), py::arg("out"),
        py::arg("rect") = py::none(), py::arg("key") = 25, py::arg("color_key") = py::none(),
        py::arg("tolerance") = py::make_tuple(0, 0, 0), py::arg("deflicker") = false,
        py::arg("progress") = py::none(),
        "Makes the motion movie out (a .sve name) of a clip of another program (.mov, .mkv, "
        ".mp4, an animated .gif or .png ...): each frame of its first video stream is one frame "
        "of the movie, whatever the clip's rate, standing at the raster's top-left corner; the "
        "movie is the raster's region rect = (left, top, right, bottom), or the whole clip. "
        "Guards, progress and result as make_movie.");
  m.def(
      "catalog",
      [](const Typed<PathType>& folder, const Typed<TypesType>& types) {
        return Typed<RecordsType>{Catalog(folder.object, types.object)};
      },
      py::arg("folder"), py::arg("types") = py::none(),
      "The pictures of a folder through its catalogue, as dicts.");

  static const std::pair<const char*, EKvVideoStandard> kStandards[] = {
      {"sd", KV_STD_SD}, {"hd", KV_STD_HD}, {"uhd", KV_STD_UHD}};
  m.def(
      "set_standard",
      [](const std::string& name) {
        for (const auto& [word, standard] : kStandards)
          if (name == word) return CKvVideoStd::SetStandard(standard);
        throw py::value_error("the standard is 'sd', 'hd' or 'uhd', not '" + name + "'");
      },
      py::arg("name"),
      "Chooses the video raster: 'sd' 720 x 576, 'hd' 1920 x 1080 (the default) or 'uhd' "
      "3840 x 2160. It sizes the movies made and the scroll frames played.");
  m.def(
      "get_standard",
      [] {
        const EKvVideoStandard now = CKvVideoStd::GetStandard();
        for (const auto& [word, standard] : kStandards)
          if (standard == now) return std::string(word);
        return std::string("hd");
      },
      "The video raster chosen: 'sd', 'hd' or 'uhd'.");

  m.def("_cxx_load_seconds", &CxxLoadSeconds, py::arg("path"), py::arg("repeats"));
  m.def("_cxx_movie_seconds", &CxxMovieSeconds, py::arg("path"), py::arg("passes"));
}
