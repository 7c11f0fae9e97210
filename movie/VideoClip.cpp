// Clips through FFmpeg's libraries: KvClipReader, KvClipWriter and the clip calls of the movie
// API that only read (information, one frame).
#include "movie/VideoClip.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <limits>

#include "KvMediaFile/KvMovie.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/MemBlock.h"
#include "platform/GlobalMemory.h"

namespace {

// Counting stops here: a movie holds at most 32,767 frames, and a file that claims more is
// refused without reading it to its end.
constexpr int kMaxCountedFrames = 32768;

std::string AvText(int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return text;
}

bool AvFail(const std::string& what, int error) { return KvFail(what + ": " + AvText(error)); }

// The Y'CbCr matrix of a frame: what it states, else BT.709 for HD sizes and BT.601 for SD
// and smaller, as the codecs' own convention is (ProRes frames often state none). `stated`
// is an int: a file may state a number that no AVColorSpace names.
int SwsColourspace(int stated, int height) {
  switch (stated) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
      return SWS_CS_ITU601;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    default:
      return height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  }
}

bool IsYuv(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d && !(d->flags & AV_PIX_FMT_FLAG_RGB) && !(d->flags & AV_PIX_FMT_FLAG_PAL) &&
         d->nb_components >= 3;
}

constexpr int kSwsFlags = SWS_POINT | SWS_BITEXACT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

}  // namespace

// ---------------------------------------------------------------------------------------
// Reading

struct KvClipReader::Impl {
  // The source: a file by name, or bytes in memory through a custom reader.
  std::string path;
  std::span<const BYTE> memory;
  std::int64_t position = 0;

  AVFormatContext* format = nullptr;
  AVIOContext* io = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* sws = nullptr;
  int stream = -1;
  bool draining = false;
  KvClipFormat facts;
  int decoded = 0;

  ~Impl() { Close(); }

  void CloseInput() {
    avformat_close_input(&format);
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }
  void Close() {
    CloseInput();
    avcodec_free_context(&codec);
    av_packet_free(&packet);
    av_frame_free(&frame);
    sws_freeContext(sws);
    sws = nullptr;
  }

  static int Read(void* opaque, std::uint8_t* buffer, int size) {
    auto* self = static_cast<Impl*>(opaque);
    const auto left = static_cast<std::int64_t>(self->memory.size()) - self->position;
    if (left <= 0) return AVERROR_EOF;
    const int n = static_cast<int>(std::min<std::int64_t>(size, left));
    std::memcpy(buffer, self->memory.data() + self->position, static_cast<std::size_t>(n));
    self->position += n;
    return n;
  }
  static std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
    auto* self = static_cast<Impl*>(opaque);
    const auto size = static_cast<std::int64_t>(self->memory.size());
    if (whence & AVSEEK_SIZE) return size;
    std::int64_t to = offset;
    switch (whence & ~AVSEEK_FORCE) {
      case SEEK_SET:
        break;
      case SEEK_CUR:
        to += self->position;
        break;
      case SEEK_END:
        to += size;
        break;
      default:
        return AVERROR(EINVAL);
    }
    if (to < 0 || to > size) return AVERROR(EINVAL);
    return self->position = to;
  }

  // Opens the container and finds its first video stream (an attached cover picture is no
  // video).
  bool OpenInput() {
    format = avformat_alloc_context();
    if (!format) return KvFail("no memory for the clip");
    if (!path.empty()) {
      if (int r = avformat_open_input(&format, path.c_str(), nullptr, nullptr); r < 0)
        return AvFail("not a clip FFmpeg's libraries read", r);
    } else {
      position = 0;
      constexpr int kBuffer = 32 * 1024;
      auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
      io = buffer ? avio_alloc_context(buffer, kBuffer, 0, this, Read, nullptr, Seek) : nullptr;
      if (!io) {
        av_free(buffer);
        avformat_free_context(format);
        format = nullptr;
        return KvFail("no memory for the clip");
      }
      format->pb = io;
      format->flags |= AVFMT_FLAG_CUSTOM_IO;
      if (int r = avformat_open_input(&format, nullptr, nullptr, nullptr); r < 0)
        return AvFail("not a clip FFmpeg's libraries read", r);
    }
    stream = -1;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      const AVStream* s = format->streams[i];
      if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
          !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        stream = static_cast<int>(i);
        break;
      }
    }
    if (stream < 0) return KvFail("the clip holds no video");
    return true;
  }

  // The frames of the stream: as the container states them, else counted packet by packet.
  bool CountFrames() {
    const std::int64_t stated = format->streams[stream]->nb_frames;
    if (stated > 0) {
      facts.frames = static_cast<int>(std::min<std::int64_t>(stated, kMaxCountedFrames));
      return true;
    }
    AVPacket* p = av_packet_alloc();
    if (!p) return KvFail("no memory for the clip");
    int n = 0;
    // Where the frames read end, and how long the last one lasts (as long as the gap before
    // it where the container does not say), in the stream's time base.
    std::int64_t end = AV_NOPTS_VALUE, last = 0, previous = AV_NOPTS_VALUE;
    // Times from the file are kept far from the ends of their type, so that sums cannot wrap.
    constexpr std::int64_t kFar = INT64_MAX / 4;
    while (n < kMaxCountedFrames && av_read_frame(format, p) >= 0) {
      const std::int64_t at = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
      const bool timed =
          at != AV_NOPTS_VALUE && std::abs(at) < kFar && p->duration >= 0 && p->duration < kFar;
      if (p->stream_index == stream && ++n && timed) {
        last = p->duration > 0 || previous == AV_NOPTS_VALUE ? p->duration : at - previous;
        end = std::max(end, at + last);
        previous = at;
      }
      av_packet_unref(p);
    }
    av_packet_free(&p);
    facts.frames = n;
    if (n < kMaxCountedFrames && !EndsWhereItSays(end, last)) return false;
    // Read from its start again for the frames themselves.
    CloseInput();
    return OpenInput();
  }

  // A container that states no frame count may state how long the stream lasts (Matroska
  // does): frames that end more than a frame short of that are a file cut short, whose
  // whole frames would otherwise make a shorter movie without a word.
  bool EndsWhereItSays(std::int64_t end, std::int64_t last) {
    const AVStream* s = format->streams[stream];
    if (end == AV_NOPTS_VALUE || s->time_base.num <= 0 || s->time_base.den <= 0) return true;
    const double unit = av_q2d(s->time_base);  // seconds
    double stated = -1;
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0) {
      stated = (static_cast<double>(s->duration) +
                static_cast<double>(std::max<std::int64_t>(s->start_time, 0))) *
               unit;
    } else if (const AVDictionaryEntry* tag = av_dict_get(s->metadata, "DURATION", nullptr, 0)) {
      std::int64_t us = 0;
      if (av_parse_time(&us, tag->value, 1) == 0 && us > 0)
        stated = static_cast<double>(us) / AV_TIME_BASE;
    } else if (format->nb_streams == 1 && format->duration > 0) {
      stated = static_cast<double>(format->duration) / AV_TIME_BASE;
    }
    // A frame's slack, for containers that round their times.
    const double reached = static_cast<double>(end) * unit,
                 slack = std::max<double>(static_cast<double>(last), 1) * unit + 1e-3;
    if (stated <= 0 || reached + slack >= stated) return true;
    return KvFailf("the clip ends after %d frames, at %.2f s of its %.2f s", facts.frames, reached,
                   stated);
  }

  bool CheckSize(int width, int height) {
    if (width < 1 || height < 1) return KvFailf("the clip's frames are %d x %d", width, height);
    const auto bytes = static_cast<unsigned long long>(width) * static_cast<unsigned>(height) * 4;
    if (bytes > KvGetMaxPictureBytes())
      return KvFailf("the clip's frames of %d x %d are larger than the picture limit", width,
                     height);
    return true;
  }

  bool Open() {
    if (!OpenInput() || !CountFrames()) return false;
    if (facts.frames < 1) return KvFail("the clip holds no frames");
    AVStream* s = format->streams[stream];
    // Most containers state the size; where one does not, the stream is probed, which
    // decodes a frame, so the decoder's own limit (below) guards that one.
    if (s->codecpar->width < 1 || s->codecpar->height < 1) {
      std::vector<AVDictionary*> options(format->nb_streams, nullptr);
      for (AVDictionary*& o : options)
        av_dict_set_int(&o, "max_pixels", static_cast<std::int64_t>(KvGetMaxPictureBytes() / 4), 0);
      avformat_find_stream_info(format, options.data());
      for (AVDictionary*& o : options) av_dict_free(&o);
    }
    if (!CheckSize(s->codecpar->width, s->codecpar->height)) return false;
    facts.width = s->codecpar->width;
    facts.height = s->codecpar->height;
    const AVRational rate = s->avg_frame_rate.num > 0 && s->avg_frame_rate.den > 0
                                ? s->avg_frame_rate
                                : s->r_frame_rate;
    facts.fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;

    const AVCodec* decoder = avcodec_find_decoder(s->codecpar->codec_id);
    if (!decoder)
      return KvFailf("no decoder for the clip's codec %s", avcodec_get_name(s->codecpar->codec_id));
    codec = avcodec_alloc_context3(decoder);
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (!codec || !packet || !frame) return KvFail("no memory for the clip");
    if (int r = avcodec_parameters_to_context(codec, s->codecpar); r < 0)
      return AvFail("the clip's codec cannot be set up", r);
    // The library starts no threads; and no frame beyond the picture limit is made.
    codec->thread_count = 1;
    codec->max_pixels = static_cast<std::int64_t>(KvGetMaxPictureBytes() / 4);
    if (int r = avcodec_open2(codec, decoder, nullptr); r < 0)
      return AvFail("the clip's codec cannot be opened", r);
    return true;
  }

  bool Convert(std::vector<DWORD>& pixels, bool& alpha) {
    const int n = decoded + 1;
    if (decoded == 0 && (frame->width != facts.width || frame->height != facts.height)) {
      // The decoder's size is the one that counts.
      if (!CheckSize(frame->width, frame->height)) return false;
      facts.width = frame->width;
      facts.height = frame->height;
    }
    if (frame->width != facts.width || frame->height != facts.height)
      return KvFailf("frame %d is %d x %d, not %d x %d as the frames before it", n, frame->width,
                     frame->height, facts.width, facts.height);
    const auto source = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(source);
    if (!d) return KvFailf("frame %d has no pixel format", n);
    sws = sws_getCachedContext(sws, facts.width, facts.height, source, facts.width, facts.height,
                               AV_PIX_FMT_BGRA, kSwsFlags, nullptr, nullptr, nullptr);
    if (!sws) return KvFailf("frame %d's pixels (%s) cannot be converted", n, d->name);
    if (IsYuv(source)) {
      // Read as the ints they are stored as: a file may give values outside the enumerations.
      int colourspace = 0, range = 0;
      static_assert(sizeof frame->colorspace == sizeof(int) &&
                    sizeof frame->color_range == sizeof(int));
      std::memcpy(&colourspace, &frame->colorspace, sizeof colourspace);
      std::memcpy(&range, &frame->color_range, sizeof range);
      const int* matrix = sws_getCoefficients(SwsColourspace(colourspace, frame->height));
      sws_setColorspaceDetails(sws, matrix, range == AVCOL_RANGE_JPEG, matrix, 1, 0, 1 << 16,
                               1 << 16);
    }
    try {
      pixels.resize(static_cast<std::size_t>(facts.width) * facts.height);
    } catch (const std::bad_alloc&) {
      return KvFail("no memory for a frame");
    }
    std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(pixels.data())};
    int strides[4] = {facts.width * 4};
    if (sws_scale(sws, frame->data, frame->linesize, 0, facts.height, planes, strides) !=
        facts.height)
      return KvFailf("frame %d cannot be converted", n);
    // A palette may hold alpha (a GIF's transparent colour, a PNG's tRNS).
    alpha = (d->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL)) != 0;
    facts.alpha = alpha;
    return true;
  }

  Got Next(std::vector<DWORD>& pixels, bool& alpha) {
    if (!codec) return Got::kFailed;
    for (;;) {
      const int r = avcodec_receive_frame(codec, frame);
      if (r == 0) {
        const bool ok =
            decoded < facts.frames
                ? Convert(pixels, alpha)
                : KvFailf("the clip holds more frames than the %d it states", facts.frames);
        av_frame_unref(frame);
        if (!ok) return Got::kFailed;
        ++decoded;
        return Got::kFrame;
      }
      if (r == AVERROR_EOF) {
        if (decoded < facts.frames) {
          KvFailf("the clip ends after %d of its %d frames", decoded, facts.frames);
          return Got::kFailed;
        }
        return Got::kEnd;
      }
      if (r != AVERROR(EAGAIN) || draining) {
        AvFail("frame " + std::to_string(decoded + 1) + " does not decode", r);
        return Got::kFailed;
      }
      if (const int read = av_read_frame(format, packet); read < 0) {
        if (read != AVERROR_EOF) {
          AvFail("the clip cannot be read after frame " + std::to_string(decoded), read);
          return Got::kFailed;
        }
        draining = true;
        avcodec_send_packet(codec, nullptr);
        continue;
      }
      // A frame whose bytes the file does not hold whole (a clip cut short) would decode to
      // a damaged picture without a word from the decoder.
      if (packet->stream_index == stream && (packet->flags & AV_PKT_FLAG_CORRUPT)) {
        av_packet_unref(packet);
        KvFailf("the clip ends in the middle of frame %d", decoded + 1);
        return Got::kFailed;
      }
      int sent = 0;
      if (packet->stream_index == stream) sent = avcodec_send_packet(codec, packet);
      av_packet_unref(packet);
      if (sent < 0 && sent != AVERROR(EAGAIN)) {
        AvFail("frame " + std::to_string(decoded + 1) + " does not decode", sent);
        return Got::kFailed;
      }
    }
  }
};

KvClipReader::KvClipReader() : m(std::make_unique<Impl>()) {}
KvClipReader::~KvClipReader() = default;

bool KvClipReader::Open(const std::string& path) {
  m = std::make_unique<Impl>();
  if (!KvRequireFile(CString::FromUtf8(path))) return false;
  m->path = path;
  return m->Open() || (m->Close(), false);
}

bool KvClipReader::OpenMemory(std::span<const BYTE> bytes) {
  m = std::make_unique<Impl>();
  m->memory = bytes;
  return m->Open() || (m->Close(), false);
}

const KvClipFormat& KvClipReader::Format() const { return m->facts; }
KvClipReader::Got KvClipReader::Next(std::vector<DWORD>& pixels, bool& alpha) {
  return m->Next(pixels, alpha);
}
int KvClipReader::Decoded() const { return m->decoded; }

// ---------------------------------------------------------------------------------------
// Writing

struct KvClipWriter::Impl {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* sws = nullptr;
  std::int64_t pts = 0;
  bool started = false;

  ~Impl() {
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
    }
    avcodec_free_context(&codec);
    av_frame_free(&frame);
    av_packet_free(&packet);
    sws_freeContext(sws);
  }

  // Sends a frame (null: the end) and writes every packet the encoder has for it.
  bool Encode(const AVFrame* f) {
    if (int r = avcodec_send_frame(codec, f); r < 0) return AvFail("a frame cannot be encoded", r);
    for (;;) {
      const int r = avcodec_receive_packet(codec, packet);
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return AvFail("a frame cannot be encoded", r);
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (int w = av_interleaved_write_frame(format, packet); w < 0)
        return AvFail("the clip cannot be written", w);
    }
  }
};

KvClipWriter::KvClipWriter() : m(std::make_unique<Impl>()) {}
KvClipWriter::~KvClipWriter() = default;

bool KvClipWriter::Open(const std::string& path, const char* container, KvClipCodec kind, int width,
                        int height, int fps) {
  m = std::make_unique<Impl>();
  if (width < 1 || height < 1 || fps < 1) return KvFail("no frames to write");
  if (int r = avformat_alloc_output_context2(&m->format, nullptr, container, path.c_str()); r < 0)
    return AvFail("the clip cannot be made", r);
  const AVCodec* encoder = nullptr;
  AVPixelFormat pixels = AV_PIX_FMT_NONE;
  switch (kind) {
    case KvClipCodec::kQtrle:
      encoder = avcodec_find_encoder(AV_CODEC_ID_QTRLE);
      pixels = AV_PIX_FMT_ARGB;
      break;
    case KvClipCodec::kPng:
      encoder = avcodec_find_encoder(AV_CODEC_ID_PNG);
      pixels = AV_PIX_FMT_RGBA;
      break;
    case KvClipCodec::kProRes4444:
      encoder = avcodec_find_encoder_by_name("prores_ks");
      pixels = AV_PIX_FMT_YUVA444P10;
      break;
  }
  if (!encoder) return KvFail("FFmpeg's libraries have no encoder for the codec");
  m->codec = avcodec_alloc_context3(encoder);
  m->frame = av_frame_alloc();
  m->packet = av_packet_alloc();
  if (!m->codec || !m->frame || !m->packet) return KvFail("no memory for the clip");
  AVCodecContext& c = *m->codec;
  c.width = width;
  c.height = height;
  c.pix_fmt = pixels;
  c.time_base = AVRational{1, fps};
  c.framerate = AVRational{fps, 1};
  c.thread_count = 1;
  // The matrix goes by the size, as a reader that finds none stated takes it.
  const int matrix = SwsColourspace(AVCOL_SPC_UNSPECIFIED, height);
  if (kind == KvClipCodec::kProRes4444) {
    // Said through the encoder's own option, which it does not then remark on.
    av_opt_set(c.priv_data, "profile", "4444", 0);
    const bool hd = matrix == SWS_CS_ITU709;
    c.colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    c.color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
    c.color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    c.color_range = AVCOL_RANGE_MPEG;
  }
  if (m->format->oformat->flags & AVFMT_GLOBALHEADER) c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (int r = avcodec_open2(m->codec, encoder, nullptr); r < 0)
    return AvFail("the clip's encoder cannot be opened", r);
  m->stream = avformat_new_stream(m->format, nullptr);
  if (!m->stream) return KvFail("no memory for the clip");
  m->stream->time_base = c.time_base;
  m->stream->avg_frame_rate = c.framerate;
  if (int r = avcodec_parameters_from_context(m->stream->codecpar, m->codec); r < 0)
    return AvFail("the clip cannot be made", r);
  m->frame->format = pixels;
  m->frame->width = width;
  m->frame->height = height;
  // ProRes states the matrix in each frame's header, taken from the frame, not the context.
  m->frame->colorspace = c.colorspace;
  m->frame->color_primaries = c.color_primaries;
  m->frame->color_trc = c.color_trc;
  m->frame->color_range = c.color_range;
  if (int r = av_frame_get_buffer(m->frame, 0); r < 0) return AvFail("no memory for a frame", r);
  m->sws = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, pixels, kSwsFlags, nullptr,
                          nullptr, nullptr);
  if (!m->sws) return KvFail("the frames cannot be converted for the codec");
  if (kind == KvClipCodec::kProRes4444) {
    const int* coefficients = sws_getCoefficients(matrix);
    sws_setColorspaceDetails(m->sws, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
  }
  if (int r = avio_open(&m->format->pb, path.c_str(), AVIO_FLAG_WRITE); r < 0)
    return AvFail("the clip cannot be created", r);
  if (int r = avformat_write_header(m->format, nullptr); r < 0)
    return AvFail("the clip cannot be written", r);
  m->started = true;
  return true;
}

bool KvClipWriter::Add(const DWORD* pixels) {
  if (!m->started) return KvFail("the clip is not open");
  if (int r = av_frame_make_writable(m->frame); r < 0) return AvFail("no memory for a frame", r);
  const std::uint8_t* planes[4] = {reinterpret_cast<const std::uint8_t*>(pixels)};
  const int strides[4] = {m->codec->width * 4};
  sws_scale(m->sws, planes, strides, 0, m->codec->height, m->frame->data, m->frame->linesize);
  m->frame->pts = m->pts++;
  return m->Encode(m->frame);
}

bool KvClipWriter::Finish() {
  if (!m->started) return KvFail("the clip is not open");
  m->started = false;
  if (!m->Encode(nullptr)) return false;
  if (int r = av_write_trailer(m->format); r < 0) return AvFail("the clip cannot be finished", r);
  // A write the buffer hid (a full disk) shows here.
  const int error = m->format->pb->error;
  if (int r = avio_closep(&m->format->pb); r < 0 || error < 0)
    return AvFail("the clip cannot be finished", error < 0 ? error : r);
  return true;
}

// ---------------------------------------------------------------------------------------
// The clip calls of the movie API that only read

int KvMovieGetClipInfo(const wchar_t* pszClipFile, SKvClipInfo* pInfo) {
  KvClearFailure();
  if (!pszClipFile || !pInfo) return KvFail("no clip or no place for its facts");
  KvClipReader reader;
  if (!reader.Open(CString(pszClipFile).ToUtf8())) return 0;
  std::vector<DWORD> pixels;
  bool alpha = false;
  if (reader.Next(pixels, alpha) != KvClipReader::Got::kFrame) return 0;
  const KvClipFormat& f = reader.Format();
  *pInfo = SKvClipInfo{f.width, f.height, f.frames, f.fps, alpha ? TRUE : FALSE};
  return 1;
}

DWORD* KvMovieGetClipFrame(const wchar_t* pszClipFile, int frame, CRect& rect) {
  KvClearFailure();
  if (!pszClipFile) return KvFail("no clip"), nullptr;
  KvClipReader reader;
  if (!reader.Open(CString(pszClipFile).ToUtf8())) return nullptr;
  if (frame < 0 || frame >= reader.Format().frames)
    return KvFailf("the clip has no frame %d (it holds %d)", frame, reader.Format().frames),
           nullptr;
  std::vector<DWORD> pixels;
  bool alpha = false;
  for (int i = 0; i <= frame; ++i)
    if (reader.Next(pixels, alpha) != KvClipReader::Got::kFrame) return nullptr;
  if (!alpha)
    for (DWORD& p : pixels) p |= 0xFF000000u;
  const std::size_t bytes = pixels.size() * 4;
  auto* out = static_cast<DWORD*>(GlobalAlloc(GMEM_FIXED, bytes));
  if (!out) return KvFail("no memory for the frame"), nullptr;
  std::memcpy(out, pixels.data(), bytes);
  rect = CRect(0, 0, reader.Format().width, reader.Format().height);
  return out;
}
