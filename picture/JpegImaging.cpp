#include "picture/JpegImaging.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "platform/Paths.h"

// libjpeg reports a fatal error by calling error_exit, which must not return. Ours jumps back
// to the setjmp of the call that entered libjpeg. Between that setjmp and the jump there are
// only libjpeg's C frames and the plain callbacks below, so no destructor is skipped; all
// state the jump must not lose lives in objects, never in locals of the function that set it.

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  bool dataEnded = false;  // libjpeg ran out of data and made up the rest
  // libjpeg's words for the first corrupt data it passed over; empty when none.
  char corruption[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void JumpBack(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void CountWarning(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  ++cinfo->err->num_warnings;
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  const int code = cinfo->err->msg_code;
  if (code == JWRN_JPEG_EOF) err->dataEnded = true;
  // Warnings about the headers' versions and colour transform are no damage to the data.
  const bool benign = code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC;
  if (!benign && code != JWRN_JPEG_EOF && !err->corruption[0])
    cinfo->err->format_message(cinfo, err->corruption);
}

void PrintNothing(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = JumpBack;
  err.pub.emit_message = CountWarning;
  err.pub.output_message = PrintNothing;
}

// Encoders write a dozen scans or so; thousands of tiny ones only cost decoding time.
constexpr int kMaxScans = 500;

void LimitScans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->msg_code = JERR_NOTIMPL;
    cinfo->err->error_exit(cinfo);
  }
}

// Rows handed to libjpeg per call: its output comes in groups of up to this many.
constexpr int kRowsPerCall = 16;

// Adobe files store CMYK inverted (255: no ink); others store the ink.
void CmykToBgra(const JSAMPLE* cmyk, DWORD* out, JDIMENSION width, bool inverted) {
  const int flip = inverted ? 0 : 255;
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
    const int c = cmyk[0] ^ flip, m = cmyk[1] ^ flip, y = cmyk[2] ^ flip, k = cmyk[3] ^ flip;
    const DWORD r = static_cast<DWORD>((c * k + 127) / 255);
    const DWORD g = static_cast<DWORD>((m * k + 127) / 255);
    const DWORD b = static_cast<DWORD>((y * k + 127) / 255);
    out[x] = 0xFF000000u | r << 16 | g << 8 | b;
  }
}

}  // namespace

struct KvJpegReader::State {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  jpeg_progress_mgr progress{};
  std::FILE* file = nullptr;
  std::span<const BYTE> memory;
  ULONGLONG length = 0;
  std::size_t memoryLimit = 0;
  bool created = false;
  bool opened = false;
  bool used = false;

  ~State() {
    if (created) jpeg_destroy_decompress(&cinfo);
    if (file) std::fclose(file);
  }
};

KvJpegReader::KvJpegReader() : m_state(std::make_unique<State>()) {}

KvJpegReader::~KvJpegReader() = default;

void KvJpegReader::SetMemoryLimit(std::size_t bytes) { m_state->memoryLimit = bytes; }

int KvJpegReader::width() const {
  return m_state->opened ? static_cast<int>(m_state->cinfo.image_width) : 0;
}

int KvJpegReader::height() const {
  return m_state->opened ? static_cast<int>(m_state->cinfo.image_height) : 0;
}

int KvJpegReader::components() const { return m_state->opened ? m_state->cinfo.num_components : 0; }

int KvJpegReader::precision() const { return m_state->opened ? m_state->cinfo.data_precision : 0; }

const char* KvJpegReader::corruption() const { return m_state->err.corruption; }

bool KvJpegReader::Open(const CString& path) {
  State& s = *m_state;
  if (s.created || s.file) return false;
  s.file = _wfopen(path, L"rb");
  if (!s.file) return false;
  struct stat st {};
  if (::fstat(::fileno(s.file), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  s.length = static_cast<ULONGLONG>(st.st_size);
  return ReadHeaders();
}

bool KvJpegReader::Open(std::span<const BYTE> bytes) {
  State& s = *m_state;
  if (s.created || s.file || bytes.empty()) return false;
  s.memory = bytes;
  s.length = bytes.size();
  return ReadHeaders();
}

bool KvJpegReader::ReadHeaders() {
  State& s = *m_state;
  InstallErrorManager(s.err);
  s.cinfo.err = &s.err.pub;
  if (setjmp(s.err.jump)) return false;
  // The struct is zeroed, so destroying it is safe even when creating it fails half way.
  s.created = true;
  jpeg_create_decompress(&s.cinfo);
  // An explicit bound also overrides the JPEGMEM environment variable.
  s.cinfo.mem->max_memory_to_use =
      static_cast<long>(std::min<std::size_t>(s.memoryLimit, static_cast<std::size_t>(LONG_MAX)));
  s.progress.progress_monitor = LimitScans;
  s.cinfo.progress = &s.progress;
  if (s.file)
    jpeg_stdio_src(&s.cinfo, s.file);
  else
    jpeg_mem_src(&s.cinfo, s.memory.data(), static_cast<unsigned long>(s.memory.size()));
  if (jpeg_read_header(&s.cinfo, TRUE) != JPEG_HEADER_OK) return false;
  s.opened = true;
  return true;
}

bool KvJpegReader::CanHoldPicture() const {
  const State& s = *m_state;
  if (!s.opened) return false;
  if (s.cinfo.arith_code) return true;
  ULONGLONG blocks = 0;
  for (int i = 0; i < s.cinfo.num_components; ++i) {
    const jpeg_component_info& c = s.cinfo.comp_info[i];
    blocks += static_cast<ULONGLONG>(c.width_in_blocks) * c.height_in_blocks;
  }
  ULONGLONG read = s.length;
  if (s.file) {
    const long position = std::ftell(s.file);
    if (position < 0) return true;
    read = static_cast<ULONGLONG>(position);
  }
  const ULONGLONG consumed = read - std::min<ULONGLONG>(read, s.cinfo.src->bytes_in_buffer);
  const ULONGLONG left = s.length > consumed ? s.length - consumed : 0;
  return left >= (blocks + 7) / 8;
}

bool KvJpegReader::Decode(DWORD* pixels) {
  State& s = *m_state;
  if (!s.opened || s.used || !pixels) return false;
  s.used = true;
  if (setjmp(s.err.jump)) return false;
  const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
  s.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(&s.cinfo);
  const JDIMENSION width = s.cinfo.output_width, height = s.cinfo.output_height;
  if (cmyk) {
    JSAMPARRAY row = (*s.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&s.cinfo),
                                                  JPOOL_IMAGE, width * 4, 1);
    while (s.cinfo.output_scanline < height) {
      const JDIMENSION y = s.cinfo.output_scanline;
      if (jpeg_read_scanlines(&s.cinfo, row, 1) != 1) break;
      CmykToBgra(row[0], pixels + static_cast<std::size_t>(y) * width, width,
                 s.cinfo.saw_Adobe_marker != 0);
    }
  } else {
    // Straight into the picture: libjpeg-turbo writes B, G, R and an alpha of 255.
    JSAMPROW rows[kRowsPerCall];
    while (s.cinfo.output_scanline < height) {
      const JDIMENSION y = s.cinfo.output_scanline;
      const JDIMENSION n = std::min<JDIMENSION>(kRowsPerCall, height - y);
      for (JDIMENSION i = 0; i < n; ++i)
        rows[i] = reinterpret_cast<JSAMPROW>(pixels + static_cast<std::size_t>(y + i) * width);
      if (jpeg_read_scanlines(&s.cinfo, rows, n) == 0) break;
    }
  }
  // A file cut short is refused: libjpeg would fill the missing part with grey.
  return s.cinfo.output_scanline == height && !s.err.dataEnded;
}

namespace {

// Compressed bytes go into one growing buffer of ours, freed with the encoder on every path.
class JpegEncoder {
 public:
  JpegEncoder() = default;
  ~JpegEncoder() {
    if (m_created) jpeg_destroy_compress(&m_cinfo);
    std::free(m_data);
  }
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  bool Encode(const DWORD* pixels, int width, int height) {
    InstallErrorManager(m_err);
    m_cinfo.err = &m_err.pub;
    if (setjmp(m_err.jump)) return false;
    m_created = true;
    jpeg_create_compress(&m_cinfo);
    m_cinfo.client_data = this;
    m_dest.init_destination = Start;
    m_dest.empty_output_buffer = Grow;
    m_dest.term_destination = Finish;
    m_cinfo.dest = &m_dest;
    m_cinfo.image_width = static_cast<JDIMENSION>(width);
    m_cinfo.image_height = static_cast<JDIMENSION>(height);
    m_cinfo.input_components = 4;
    m_cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&m_cinfo);  // quality 75, YCbCr with 2 x 2 luma sampling
    jpeg_start_compress(&m_cinfo, TRUE);
    while (m_cinfo.next_scanline < m_cinfo.image_height) {
      // libjpeg takes rows as writable; it only reads them.
      JSAMPROW row = reinterpret_cast<JSAMPROW>(
          const_cast<DWORD*>(pixels + static_cast<std::size_t>(m_cinfo.next_scanline) * width));
      jpeg_write_scanlines(&m_cinfo, &row, 1);
    }
    jpeg_finish_compress(&m_cinfo);
    return true;
  }

  std::span<const BYTE> bytes() const { return {m_data, m_size}; }

 private:
  static JpegEncoder& Of(j_compress_ptr cinfo) {
    return *static_cast<JpegEncoder*>(cinfo->client_data);
  }

  // Grows the buffer to `capacity` bytes, keeping the `used` ones; errors out when memory is short.
  void Reserve(j_compress_ptr cinfo, std::size_t used, std::size_t capacity) {
    auto* grown = static_cast<BYTE*>(std::realloc(m_data, capacity));
    if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    m_data = grown;
    m_capacity = capacity;
    m_dest.next_output_byte = m_data + used;
    m_dest.free_in_buffer = capacity - used;
  }

  static void Start(j_compress_ptr cinfo) {
    JpegEncoder& e = Of(cinfo);
    e.Reserve(cinfo, 0, std::size_t{1} << 16);
  }
  // Called when the whole buffer is full.
  static boolean Grow(j_compress_ptr cinfo) {
    JpegEncoder& e = Of(cinfo);
    e.Reserve(cinfo, e.m_capacity, e.m_capacity * 2);
    return TRUE;
  }
  static void Finish(j_compress_ptr cinfo) {
    JpegEncoder& e = Of(cinfo);
    e.m_size = e.m_capacity - e.m_dest.free_in_buffer;
  }

  jpeg_compress_struct m_cinfo{};
  ErrorManager m_err{};
  jpeg_destination_mgr m_dest{};
  BYTE* m_data = nullptr;
  std::size_t m_capacity = 0;
  std::size_t m_size = 0;
  bool m_created = false;
};

}  // namespace

bool KvJpegEncode(const DWORD* pixels, int width, int height, std::vector<BYTE>& jpeg) {
  jpeg.clear();
  if (!pixels || width <= 0 || height <= 0) return false;
  JpegEncoder encoder;
  if (!encoder.Encode(pixels, width, height)) return false;
  const auto bytes = encoder.bytes();
  jpeg.assign(bytes.begin(), bytes.end());
  return true;
}
