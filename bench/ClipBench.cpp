// Clips of other programs made into motion movies: a 10-second 1080p50 QuickTime Animation
// clip and a ProRes 4444 clip of a title sliding in, each imported whole into a movie of the
// full raster, against libavformat and libavcodec decoding the same clip alone on one thread
// (what the import adds is the conversion to BGRA and the movie's encoding). Making the clips
// is not timed.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "TitleFrame.h"
#include "host/VideoStd.h"
#include "movie/VideoClip.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;
constexpr int kFps = 50;
constexpr int kQtrleFrames = 10 * kFps;
// ProRes 4444 encodes at about 5 frames a second on one core: its clip takes every fifth frame
// of the qtrle clip's, the whole slide in two seconds.
constexpr int kProResStep = 5;

// Frame f: the title entering from the right 4 pixels a frame, whole from frame 460 on.
void SlideFrame(int f, std::vector<DWORD>& px) {
  const auto& title = kvbench::TitleFrame();
  const int shift = std::max(0, kW - 4 * (f + 20));
  px.assign(std::size_t{kW} * kH, 0);
  for (int y = 0; y < kH; ++y)
    std::copy_n(title.begin() + std::ptrdiff_t(y) * kW, kW - shift,
                px.begin() + std::ptrdiff_t(y) * kW + shift);
}

struct Clip {
  std::string path;
  int frames = 0;
  ~Clip() {
    if (!path.empty()) std::remove(path.c_str());
  }
};

// Frames 0, step, 2 step ... of the slide, as many as the qtrle clip's divided by step.
std::unique_ptr<Clip> MakeClip(KvClipCodec codec, int step, const char* name) {
  auto clip = std::make_unique<Clip>();
  const std::string path = kvbench::TempPath(std::string(name) + ".mov");
  const auto start = std::chrono::steady_clock::now();
  KvClipWriter writer;
  bool ok = writer.Open(path, "mov", codec, kW, kH, kFps);
  const int frames = kQtrleFrames / step;
  std::vector<DWORD> px;
  for (int f = 0; ok && f < frames; ++f) {
    SlideFrame(f * step, px);
    ok = writer.Add(px.data());
  }
  ok = ok && writer.Finish();
  if (!ok) {
    std::fprintf(stderr, "bench_clip: the %s clip could not be made: %s\n", name,
                 KvMediaGetLastFailure().ToUtf8().c_str());
    std::remove(path.c_str());
    return clip;
  }
  clip->path = path;
  clip->frames = frames;
  char shorter[80] = "";
  if (step > 1)
    std::snprintf(shorter, sizeof shorter, " (one in %d of the qtrle clip's: slow to make)", step);
  char note[200];
  std::snprintf(note, sizeof note, "%s clip: %d frames of %d x %d at %d fps%s, made in %.1f s",
                name, frames, kW, kH, kFps, shorter,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  kvbench::Note(note);
  return clip;
}

const Clip& QtrleClip() {
  static const auto clip = MakeClip(KvClipCodec::kQtrle, 1, "qtrle");
  return *clip;
}

const Clip& ProResClip() {
  static const auto clip = MakeClip(KvClipCodec::kProRes4444, kProResStep, "prores4444");
  return *clip;
}

void Import(benchmark::State& state, const Clip& clip) {
  if (clip.path.empty()) {
    state.SkipWithError("no clip");
    return;
  }
  CKvVideoStd::SetHD(TRUE);
  const std::string movie = kvbench::TempPath("clip.sve");
  const RECT raster{0, 0, kW, kH};
  for (auto _ : state) {
    CKvMakeMovieMotion maker;
    if (!maker.SinkClip(CString::FromUtf8(clip.path), 0, CKvColor32(), CKvColor32(), 0, &raster,
                        CString::FromUtf8(movie), 25, nullptr)) {
      state.SkipWithError(("the import failed: " + KvMediaGetLastFailure().ToUtf8()).c_str());
      break;
    }
  }
  std::remove(movie.c_str());
  state.SetItemsProcessed(state.iterations() * clip.frames);
}

// The library's reader converts with these.
constexpr int kReaderSwsFlags = SWS_POINT | SWS_BITEXACT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

// libavformat and libavcodec alone on the clip: every packet of its first video stream
// decoded on one thread, as the library's reader does, and with `toBgra` each frame turned
// into BGRA by libswscale with the reader's flags. The number of frames, or -1.
int Decode(const std::string& path, bool toBgra) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0) return -1;
  int frames = -1;
  const AVCodec* codec = nullptr;
  const int stream = avformat_find_stream_info(format, nullptr) < 0
                         ? -1
                         : av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  AVCodecContext* ctx = stream < 0 ? nullptr : avcodec_alloc_context3(codec);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* sws = nullptr;
  std::vector<DWORD> bgra(std::size_t{kW} * kH);
  if (ctx) ctx->thread_count = 1;
  if (ctx && avcodec_parameters_to_context(ctx, format->streams[stream]->codecpar) == 0 &&
      avcodec_open2(ctx, codec, nullptr) == 0) {
    frames = 0;
    const auto receive = [&] {
      while (avcodec_receive_frame(ctx, frame) == 0) {
        if (toBgra) {
          sws = sws_getCachedContext(sws, frame->width, frame->height,
                                     static_cast<AVPixelFormat>(frame->format), kW, kH,
                                     AV_PIX_FMT_BGRA, kReaderSwsFlags, nullptr, nullptr, nullptr);
          uint8_t* dst[] = {reinterpret_cast<uint8_t*>(bgra.data())};
          const int dstStride[] = {kW * 4};
          if (sws) sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
          benchmark::DoNotOptimize(bgra.data());
        }
        benchmark::DoNotOptimize(frame->data[0]);
        ++frames;
      }
    };
    while (av_read_frame(format, packet) == 0) {
      if (packet->stream_index == stream && avcodec_send_packet(ctx, packet) == 0) receive();
      av_packet_unref(packet);
    }
    avcodec_send_packet(ctx, nullptr);
    receive();
  }
  sws_freeContext(sws);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&ctx);
  avformat_close_input(&format);
  return frames;
}

void DecodeAlone(benchmark::State& state, const Clip& clip, bool toBgra) {
  av_log_set_level(AV_LOG_QUIET);
  for (auto _ : state) {
    if (Decode(clip.path, toBgra) != clip.frames) {
      state.SkipWithError("libavcodec did not decode every frame");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * clip.frames);
}

void BM_QtrleImport(benchmark::State& s) { Import(s, QtrleClip()); }
void BM_QtrleDecode(benchmark::State& s) { DecodeAlone(s, QtrleClip(), false); }
void BM_QtrleDecodeToBgra(benchmark::State& s) { DecodeAlone(s, QtrleClip(), true); }
void BM_ProResImport(benchmark::State& s) { Import(s, ProResClip()); }
void BM_ProResDecode(benchmark::State& s) { DecodeAlone(s, ProResClip(), false); }
void BM_ProResDecodeToBgra(benchmark::State& s) { DecodeAlone(s, ProResClip(), true); }

// One pass over a whole clip is seconds of work: three of them give the median. The summary
// knows the runs by their full names.
#define KV_CLIP_BENCHMARK(name) \
  BENCHMARK(name)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond)
#define KV_CLIP_RUN(name) #name "/iterations:1/repeats:3/real_time"
KV_CLIP_BENCHMARK(BM_QtrleImport);
KV_CLIP_BENCHMARK(BM_QtrleDecode);
KV_CLIP_BENCHMARK(BM_QtrleDecodeToBgra);
KV_CLIP_BENCHMARK(BM_ProResImport);
KV_CLIP_BENCHMARK(BM_ProResDecode);
KV_CLIP_BENCHMARK(BM_ProResDecodeToBgra);

KVBENCH_AT_START(kvbench::Rate(KV_CLIP_RUN(BM_QtrleImport), 50,
                               "qtrle 1080p50 clip imported, frames per second (floor 50)"));
KVBENCH_AT_START(kvbench::Rate(KV_CLIP_RUN(BM_ProResImport), 0,
                               "ProRes 4444 1080p50 clip imported, frames per second"));
KVBENCH_AT_START(kvbench::Ratio(KV_CLIP_RUN(BM_QtrleImport), KV_CLIP_RUN(BM_QtrleDecode), 2.0,
                                "qtrle import against libavcodec's decode alone"));
KVBENCH_AT_START(kvbench::Ratio(KV_CLIP_RUN(BM_ProResImport), KV_CLIP_RUN(BM_ProResDecode), 2.0,
                                "ProRes 4444 import against libavcodec's decode alone"));
KVBENCH_AT_START(kvbench::Ratio(KV_CLIP_RUN(BM_QtrleImport), KV_CLIP_RUN(BM_QtrleDecodeToBgra), 0.0,
                                "qtrle import against decode and libswscale to BGRA"));
KVBENCH_AT_START(kvbench::Ratio(KV_CLIP_RUN(BM_ProResImport), KV_CLIP_RUN(BM_ProResDecodeToBgra),
                                0.0, "ProRes 4444 import against decode and libswscale to BGRA"));

}  // namespace
