// FLIC playback: a 320 x 200 FLI played in order (frames per second against a floor), and a
// 1920 x 1080 FLC against libavcodec's FLIC decoder on the same file, per frame.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "FlicWriter.h"
#include "KvMediaFile/KvMovie.h"
#include "LoadLoops.h"

namespace {

struct Movie {
  std::string path;
  kvtest::FlicBytes bytes;
  int width = 0, height = 0;
  ~Movie() { std::remove(path.c_str()); }
};

// Bands of the palette that a ticker of changing indices runs across (its rows are
// `tickerRows` of the height) and a block moving with the frame: what titles look like.
kvtest::FlicBytes Picture(int f, int w, int h, int tickerRows) {
  kvtest::FlicBytes px(std::size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      BYTE v = static_cast<BYTE>(x / 8 + y / 4);
      if (y >= h - tickerRows) v = static_cast<BYTE>((unsigned(x + 7 * f) * 2654435761u) >> 24);
      if (x - 5 * f >= 0 && x - 5 * f < w / 8 && y >= h / 4 && y < h / 4 + h / 8)
        v = static_cast<BYTE>(f);
      px[std::size_t(y) * w + x] = v;
    }
  return px;
}

std::unique_ptr<Movie> MakeMovie(bool fli, int w, int h, int frames, int tickerRows) {
  auto movie = std::make_unique<Movie>();
  movie->width = w, movie->height = h;
  kvtest::FlicFile file{.magic = fli ? 0xAF11 : 0xAF12, .width = w, .height = h};
  kvtest::FlicBytes rgb;
  for (int i = 0; i < 768; ++i) rgb.push_back(static_cast<BYTE>(i * 7 % (fli ? 64 : 256)));
  kvtest::FlicBytes previous;
  for (int f = 0; f < frames; ++f) {
    kvtest::FlicBytes picture = Picture(f, w, h, tickerRows);
    if (f == 0)
      file.frames.push_back({.chunks = {kvtest::FlicPaletteChunk({{0, rgb}}, fli),
                                        kvtest::FlicPictureChunk(15, {}, picture, w, h)}});
    else
      file.frames.push_back(
          {.chunks = {kvtest::FlicPictureChunk(fli ? 12 : 7, previous, picture, w, h)}});
    previous = std::move(picture);
  }
  movie->bytes = kvtest::WriteFlic(file);
  movie->path = kvbench::WriteTempFile(fli ? "sd.fli" : "hd.flc", movie->bytes);
  return movie;
}

const Movie& SdMovie() {
  static const auto movie = MakeMovie(true, 320, 200, 100, 20);
  return *movie;
}

const Movie& HdMovie() {
  static const auto movie = MakeMovie(false, 1920, 1080, 24, 108);
  return *movie;
}

void PlayFlic(benchmark::State& state, const Movie& movie, int memory) {
  CKvPlayMovieFlick player;
  if (!player.Open(CString::FromUtf8(movie.path), 0)) {
    state.SkipWithError("cannot open the movie");
    return;
  }
  player.m_bLoadToMem = memory;
  if (!player.Prepare(nullptr)) {
    state.SkipWithError("cannot prepare the movie");
    return;
  }
  const int n = player.m_nFrames;
  int i = 0;
  for (auto _ : state) {
    player.GetOneFrame(static_cast<float>(i++ % n) / static_cast<float>(n));
    benchmark::DoNotOptimize(player.m_blockWork.GetAddress());
  }
  state.SetItemsProcessed(state.iterations());
}

// libavcodec's decoder fed the frames in order, round and round (frame 0 is whole), and, with
// `toBgra`, its palette picture turned into 32-bit pixels as the player delivers them.
void PlayLibavcodec(benchmark::State& state, const Movie& movie, bool toBgra) {
  av_log_set_level(AV_LOG_QUIET);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_FLIC);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->width = movie.width;
  ctx->height = movie.height;
  ctx->extradata = static_cast<uint8_t*>(av_mallocz(128 + AV_INPUT_BUFFER_PADDING_SIZE));
  std::memcpy(ctx->extradata, movie.bytes.data(), 128);
  ctx->extradata_size = 128;
  std::vector<AVPacket*> packets;
  const int frames = movie.bytes[6] | movie.bytes[7] << 8;
  for (std::size_t pos = 128, f = 0; f < std::size_t(frames); ++f) {
    const DWORD size = movie.bytes[pos] | movie.bytes[pos + 1] << 8 | movie.bytes[pos + 2] << 16 |
                       DWORD{movie.bytes[pos + 3]} << 24;
    AVPacket* packet = av_packet_alloc();
    av_new_packet(packet, static_cast<int>(size));
    std::memcpy(packet->data, &movie.bytes[pos], size);
    packets.push_back(packet);
    pos += size;
  }
  AVFrame* frame = av_frame_alloc();
  std::vector<DWORD> bgra(std::size_t(movie.width) * movie.height);
  if (avcodec_open2(ctx, codec, nullptr) != 0) state.SkipWithError("libavcodec has no FLIC");
  std::size_t i = 0;
  for (auto _ : state) {
    avcodec_send_packet(ctx, packets[i++ % packets.size()]);
    if (avcodec_receive_frame(ctx, frame) != 0) {
      state.SkipWithError("libavcodec refused a frame");
      break;
    }
    if (toBgra) {
      const auto* palette = reinterpret_cast<const uint32_t*>(frame->data[1]);
      for (int y = 0; y < movie.height; ++y) {
        const uint8_t* row = frame->data[0] + std::size_t(y) * frame->linesize[0];
        DWORD* out = bgra.data() + std::size_t(y) * movie.width;
        for (int x = 0; x < movie.width; ++x) out[x] = row[x] ? palette[row[x]] : 0;
      }
      benchmark::DoNotOptimize(bgra.data());
    }
    benchmark::DoNotOptimize(frame->data[0]);
  }
  state.SetItemsProcessed(state.iterations());
  av_frame_free(&frame);
  for (AVPacket*& packet : packets) av_packet_free(&packet);
  avcodec_free_context(&ctx);
}

void BM_Fli320x200File(benchmark::State& s) { PlayFlic(s, SdMovie(), 0); }
void BM_Fli320x200Memory(benchmark::State& s) { PlayFlic(s, SdMovie(), 1); }
void BM_Flc1080Memory(benchmark::State& s) { PlayFlic(s, HdMovie(), 1); }
void BM_Flc1080File(benchmark::State& s) { PlayFlic(s, HdMovie(), 0); }
void BM_Flc1080Libavcodec(benchmark::State& s) { PlayLibavcodec(s, HdMovie(), false); }
void BM_Flc1080LibavcodecToBgra(benchmark::State& s) { PlayLibavcodec(s, HdMovie(), true); }
BENCHMARK(BM_Fli320x200File);
BENCHMARK(BM_Fli320x200Memory);
BENCHMARK(BM_Flc1080Memory);
BENCHMARK(BM_Flc1080File);
BENCHMARK(BM_Flc1080Libavcodec);
BENCHMARK(BM_Flc1080LibavcodecToBgra);

KVBENCH_AT_START(kvbench::Rate("BM_Fli320x200File", 5000,
                               "320 x 200 FLI in order, byte deltas, from the file"));
KVBENCH_AT_START(kvbench::Rate("BM_Fli320x200Memory", 5000, "the same from memory"));
KVBENCH_AT_START(kvbench::Ratio("BM_Flc1080Memory", "BM_Flc1080LibavcodecToBgra", 0.0,
                                "1920 x 1080 FLC word deltas, per frame, against libavcodec's "
                                "decode and a palette lookup to 32 bits"));
KVBENCH_AT_START(kvbench::Ratio("BM_Flc1080Memory", "BM_Flc1080Libavcodec", 0.0,
                                "the same against libavcodec's 8-bit frames alone"));
KVBENCH_AT_START(kvbench::Ratio("BM_Flc1080File", "BM_Flc1080Memory", 0.0,
                                "from the file against from memory"));

}  // namespace
