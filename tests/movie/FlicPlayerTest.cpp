// FLIC playback checked against libavcodec's FLIC decoder, and FLIC files that lie.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <tuple>

#include "FlicWriter.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "host/Failure.h"
#include "host/FileReader.h"
#include "host/PixelOps.h"

namespace {

using kvtest::FlicBytes;
using kvtest::FlicChunk;
using kvtest::FlicFile;
using Pixels = std::vector<DWORD>;

Pixels Shown(const CKvPlayMovieFlick& player) { return kvtest::BlockPixels(player.m_blockWork); }

FlicBytes Colours(int n, int seed, int limit = 256) {
  FlicBytes rgb;
  for (int i = 0; i < 3 * n; ++i) rgb.push_back(static_cast<BYTE>((i * 37 + seed * 11) % limit));
  return rgb;
}

// Colour i of `rgb` as the player paints it: index 0 transparent.
DWORD Colour(const FlicBytes& rgb, int i) {
  return i ? kvtest::Rgb(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]) : 0;
}

// `b` with the 16-bit word at `at` set to `v`.
FlicBytes With(FlicBytes b, std::size_t at, unsigned v) {
  b[at] = BYTE(v), b[at + 1] = BYTE(v >> 8);
  return b;
}

struct MovieSpec {
  bool fli;
  int width, height, delta;  // delta: chunk type 12 or 7
};

// Twelve frames of bands through every index (0 too), a block moving with the frame and
// sparse noise: a whole palette and a byte run, deltas, two palette packets (frame 3), black
// (5), an uncompressed copy (6), no chunks at all (7), deltas again. An FLI starts with a
// prefix, gets 64-level palettes and claims 640 x 480. The ring frame is never played.
FlicFile MakeMovie(const MovieSpec& s) {
  const int w = s.width, h = s.height, limit = s.fli ? 64 : 256;
  FlicFile file{.magic = s.fli ? 0xAF11 : 0xAF12,
                .width = s.fli ? 640 : w,
                .height = s.fli ? 480 : h,
                .ring = kvtest::FlicFrame{.chunks = {FlicChunk{13}}}};
  if (s.fli) file.frames.push_back({.chunks = {{0x12, {1, 2, 3}}}, .type = 0xF100});
  FlicBytes previous(std::size_t(w) * h, 0), picture = previous;
  for (int f = 0; f < 12; ++f) {
    unsigned state = 77u + f;
    for (int i = 0; i < w * h && f != 7; ++i) {
      const int x = i % w, y = i / w;
      state = state * 1103515245u + 12345u;
      picture[i] = static_cast<BYTE>(x / 8 + y / 3 + (y > h / 2 ? f : 0));
      if (x - 3 * f >= 0 && x - 3 * f < 10 && y - f >= 0 && y - f < 6) picture[i] = BYTE(f + 1);
      if ((x + y * 7) % 61 == f % 5) picture[i] = static_cast<BYTE>(state >> 24);
      if (f == 5) picture[i] = 0;
    }
    std::vector<FlicChunk> chunks{kvtest::FlicPictureChunk(s.delta, previous, picture, w, h)};
    if (f == 0)
      chunks = {kvtest::FlicPaletteChunk({{0, Colours(256, 1, limit)}}, s.fli),
                kvtest::FlicPictureChunk(15, {}, picture, w, h)};
    if (f == 3)
      chunks.insert(chunks.begin(),
                    kvtest::FlicPaletteChunk(
                        {{10, Colours(20, 2, limit)}, {30, Colours(5, 3, limit)}}, s.fli));
    if (f == 5 || f == 6) chunks = {FlicChunk{f == 5 ? 13 : 16, f == 5 ? FlicBytes{} : picture}};
    if (f == 7) chunks.clear();
    file.frames.push_back({.chunks = chunks});
    previous = picture;
  }
  return file;
}

// libavcodec's frames, painted as this player paints them: index 0 transparent, the others
// opaque in their palette colour. For 64-level palettes libavcodec also fills the two low
// bits of each channel, which this player leaves 0. A prefix paints nothing.
std::vector<Pixels> Reference(const FlicBytes& file, int w, int h) {
  av_log_set_level(AV_LOG_QUIET);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_FLIC);
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  ctx->width = w, ctx->height = h;
  ctx->extradata = static_cast<uint8_t*>(av_mallocz(128 + AV_INPUT_BUFFER_PADDING_SIZE));
  std::memcpy(ctx->extradata, file.data(), ctx->extradata_size = 128);
  EXPECT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
  const DWORD mask = kvtest::U16(file, 4) == 0xAF11 ? 0xFFFCFCFCu : 0xFFFFFFFFu;
  std::vector<Pixels> out;
  for (std::size_t pos = 128; out.size() < std::size_t(kvtest::U16(file, 6));
       pos += kvtest::U32(file, pos)) {
    out.emplace_back(std::size_t(w) * h, 0);
    if (kvtest::U16(file, pos + 4) == 0xF100) continue;
    av_new_packet(packet, static_cast<int>(kvtest::U32(file, pos)));
    std::memcpy(packet->data, &file[pos], std::size_t(packet->size));
    EXPECT_EQ(avcodec_send_packet(ctx, packet) | avcodec_receive_frame(ctx, frame), 0);
    const auto* palette = reinterpret_cast<const uint32_t*>(frame->data[1]);
    for (int i = 0; i < w * h; ++i)
      if (const BYTE index = frame->data[0][i / w * frame->linesize[0] + i % w])
        out.back()[std::size_t(i)] = (palette[index] | 0xFF000000u) & mask;
    av_packet_unref(packet);
  }
  av_frame_free(&frame), av_packet_free(&packet), avcodec_free_context(&ctx);
  return out;
}

std::unique_ptr<CKvPlayMovieFlick> Play(const CString& path, int memory, int mix = -1,
                                        CKvMemBlock* back = nullptr, CPoint paste = {}) {
  auto player = std::make_unique<CKvPlayMovieFlick>();
  if (!player->Open(path, 0)) return nullptr;
  player->m_bLoadToMem = memory;  // Open clears it
  player->m_nMixMode = mix;
  player->m_ptPaste = paste;
  return player->Prepare(back) ? std::move(player) : nullptr;
}

// An FLI of byte deltas, an FLC of word deltas, and one of byte deltas of odd height.
const MovieSpec kMovies[] = {{true, 320, 200, 12}, {false, 64, 48, 7}, {false, 44, 27, 12}};

struct MovieOnDisk {
  kvtest::TempDir dir;
  FlicBytes bytes;
  std::vector<Pixels> frames;
  std::string file;
  CString path;
  explicit MovieOnDisk(const MovieSpec& spec, const char* name = "m.flc")
      : bytes(kvtest::WriteFlic(MakeMovie(spec))),
        frames(Reference(bytes, spec.width, spec.height)),
        file(dir.path() + "/" + name),
        path(dir.File(name)) {
    kvtest::WriteFileBytes(file, bytes);
  }
};

}  // namespace

// In order, stepping back, jumping ahead and into the next pass; from the file and from
// memory (with the file gone); alone and with a background that changes with the frame: mix
// 0 lays the frame over it, 1 it over the frame (transparent where it does not reach), others
// ignore it. Every frame repaints, also the one without chunks. The movie API and the picture
// load dispatch (the first frame) play them too.
TEST(FlicPlayer, PlaysWhatLibavcodecDecodes) {
  for (const MovieSpec& spec : kMovies) {
    SCOPED_TRACE(spec.width);
    MovieOnDisk movie(spec, spec.fli ? "clip.fli" : "CLIP.FLC");
    const int w = spec.width, h = spec.height, n = int(movie.frames.size());
    CRect rect;
    WORD word = 7;
    int frames = 0;
    EXPECT_EQ(KvMovieGetFileInfo(movie.path, &rect, &word, &frames), 1);
    EXPECT_TRUE(rect == CRect(0, 0, w, h) && word == 0 && frames == n);
    EXPECT_EQ(kvtest::PixelsOf(kvtest::TakePicture(KvMediaLoadPicFile(movie.path, rect), rect)),
              movie.frames[0]);
    // The header's size field as written, covering frame 0 only, the header alone, more than
    // the file holds: from memory too the movie plays the file's real length.
    const unsigned sizes[] = {unsigned(movie.bytes.size()), 128 + kvtest::U32(movie.bytes, 128),
                              128u, 0xFFFFFFFFu};
    for (int memory : {0, 1})
      for (int mix : {-1, 0, 1}) {
        const unsigned size = sizes[memory + mix + 1];  // from memory the three that lie
        SCOPED_TRACE(testing::Message()
                     << "memory " << memory << ", mix " << mix << ", size " << size);
        FlicBytes bytes = movie.bytes;
        for (int i = 0; i < 4; ++i) bytes[i] = BYTE(size >> 8 * i);
        kvtest::WriteFileBytes(movie.file, bytes);
        CKvMemBlock back;
        ASSERT_TRUE(back.InitBlock(CSize(60, 40)));
        const CPoint paste(10, -5);
        auto player = Play(movie.path, memory, mix, &back, paste);
        ASSERT_TRUE(player);
        if (memory) std::remove(movie.file.c_str());
        Pixels shown(movie.frames[0].size(), 0);
        for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, n - 1, 2, 2, 9, 4, 0, 11, 6, n + 3}) {
          const int f = i % n;
          for (int at = 0; at < 60 * 40; ++at)
            back.SetPixel(at % 60, at / 60,
                          CKvColor32(at % 60 * 4, at / 60 * 6, f * 20, 40 + f * 9));
          // A check walks the whole movie between frames: playing goes on as before.
          EXPECT_EQ(player->CheckFrames(), size <= bytes.size()) << KvLastFailure();
          EXPECT_EQ(player->GetOneFrame(float(i) / float(n)), 1);
          if (!spec.fli || f) {  // a prefix paints nothing: what was shown stays
            shown = movie.frames[f];
            for (int at = 0; at < w * h && mix >= 0; ++at) {
              const CPoint p(at % w + paste.x, at / w + paste.y);
              const auto b = tagCOLOR32::FromValue(
                  back.GetRect().PtInRect(p) ? back.GetPixel(p.x, p.y).Value() : 0);
              const auto pixel = tagCOLOR32::FromValue(shown[at]);
              shown[at] = (mix ? KvPublicMixColor(b, pixel) : KvPublicMixColor(pixel, b)).Value();
            }
          }
          EXPECT_EQ(Shown(*player), shown) << "frame " << i;
        }
      }
  }
}

// 41 frames of 2 x 1 pixels; frame f > 0 holds index f in the palette of `seed`, which it
// sets. Frame 0 is only a delta that sets pixel 1 to index 5: replayed, it shows that
// playing starts from index 0 and a black palette. With 41 frames, t = i / 41 rounded in
// float falls below i once multiplied back for several i.
FlicBytes MarkerMovie(int seed) {
  FlicFile file{.width = 2, .height = 1, .frames = {{.chunks = {{12, {0, 0, 1, 0, 1, 1, 1, 5}}}}}};
  for (int f = 1; f < 41; ++f)
    file.frames.push_back({.chunks = {kvtest::FlicPaletteChunk({{0, Colours(256, seed)}}),
                                      {16, {BYTE(f), BYTE(f)}}}});
  return kvtest::WriteFlic(file);
}

// Frames are decoded only from the held one on (the file is rewritten between calls, so a
// frame shows the seed of the file it was decoded from), and a step back replays from 0.
TEST(FlicPlayer, TimeCountsPassesAndOnlyNewFramesAreDecoded) {
  kvtest::TempDir dir;
  auto player = Play(dir.Write("m.fli", MarkerMovie(1)), 0);
  ASSERT_TRUE(player);
  const auto shows = [&](int frame, int seed) {
    return Shown(*player) ==
           (frame ? Pixels(2, Colour(Colours(256, seed), frame)) : Pixels{0, kvtest::Rgb(0, 0, 0)});
  };
  for (int i = 0; i < 41; ++i) {
    player->GetOneFrame(float(i) / 41);
    EXPECT_TRUE(shows(i, 1)) << i;
  }
  // Time, the seed the file is written with and the frame shown. Seed 0: nothing decoded,
  // frame 20 of seed 4 stays (the same frame of a later pass, and a negative time, decode
  // nothing).
  // clang-format off
  const std::tuple<float, int, int> steps[] = {
      {1.0f, 2, 0}, {0.99999994f, 3, 40}, {0.99999f, 0, 40}, {0.5f, 4, 20}, {0.5f, 0, 20},
      {2.5f, 0, 20}, {-0.25f, 0, 20}, {0.5f, 8, 20}, {0.6f, 9, 24}, {std::nanf(""), 10, 0},
      {1e30f, 11, int(2000000000LL % 41)}};
  // clang-format on
  int seed = 0;
  for (const auto& [t, written, frame] : steps) {
    SCOPED_TRACE(t);
    dir.Write("m.fli", MarkerMovie(written ? written : 99));
    EXPECT_EQ(player->GetOneFrame(t), 1);
    EXPECT_TRUE(shows(frame, seed = written ? written : seed));
  }
}

// Hostile chunks in frame 1 of a 7 x 4 movie whose frame 0 is all index 1. Writes stay in
// the picture and on their line; data that would overrun ends the chunk; a chunk smaller
// than its header or reaching beyond its frame ends the frame.
TEST(FlicHostile, ChunksStayInsideThePictureAndTheirData) {
  using B = FlicBytes;
  const char* const kSame = "1111111 1111111 1111111 1111111";
  const char* const kPastEnd = "a packet runs past a line's end";
  const char* const kEnds = "its data ends early";
  const char* const kOutside = "lines lie outside the picture";
  const char* const kWidth = "a line's runs do not fill its width";
  // clang-format off
  const struct {
    const char* name;
    std::vector<FlicChunk> chunks;
    std::optional<long long> frameSize;
    const char* rows;   // the indices shown
    const char* check;  // what a check says of the chunk ("": of the frame); null: whole
  } cases[] = {
    {"byte delta clipped at the line's end", {{12, {1, 0, 1, 0, 1, 5, 4, 2, 2, 2, 2}}}, {}, "1111111 1111122 1111111 1111111", kPastEnd},
    {"byte delta fill clipped at the line's end", {{12, {1, 0, 1, 0, 1, 5, 0xFC, 2}}}, {}, "1111111 1111122 1111111 1111111", kPastEnd},
    {"byte delta past the last line", {{12, {3, 0, 9, 0, 1, 0, 0xFE, 3}}}, {}, "1111111 1111111 1111111 3311111", kOutside},
    {"byte delta above the first line", {{12, {0xFF, 0xFF, 1, 0, 1, 0, 0xFE, 3}}}, {}, kSame, kOutside},
    {"byte delta whose copy overruns", {{12, {0, 0, 1, 0, 2, 0, 0xFE, 3, 0, 5, 2, 2}}}, {}, "3311111 1111111 1111111 1111111", kEnds},
    {"byte run written on across lines, cut at the end", {{15, {1, 10, 2, 1, 0xFD, 3, 3, 3, 1, 127, 0}}}, {}, "2222222 2223330 0000000 0000000", kWidth},
    {"byte run whose copy overruns", {{15, {1, 2, 2, 1, 0xFB, 3, 3}}}, {}, "2211111 1111111 1111111 1111111", kWidth},
    {"word delta: skip, last pixel, pairs clipped", {{7, {2, 0, 0xFE, 0xFF, 3, 0x80, 1, 0, 2, 0xFE, 2, 3, 1, 0, 6, 2, 2, 3, 3, 3}}}, {}, "1111111 1111111 1123233 1111112", kPastEnd},
    {"word delta skipping past the last line", {{7, {1, 0, 0x9C, 0xFF, 1, 0, 0, 0xFF, 2}}}, {}, kSame, kOutside},
    {"copy shorter than the picture", {{16, B(10, 2)}}, {}, "2222222 2221111 1111111 1111111", "the copy holds fewer bytes than the picture"},
    {"copy longer than the picture", {{16, B(100, 2)}}, {}, "2222222 2222222 2222222 2222222", nullptr},
    {"palette entries beyond 255 dropped, not wrapped to 0 and 1", {kvtest::FlicPaletteChunk({{254, Colours(4, 9)}})}, {}, kSame, "palette entries beyond 255"},
    {"chunk smaller than its header", {{13, {}, 5}}, {}, kSame, "shorter than its header"},
    {"chunk beyond its frame", {{13, {}, 100}}, {}, kSame, "runs past the end of its frame"},
    {"frame smaller than its header", {{13}}, 15, kSame, ""},
  };
  // clang-format on
  const FlicBytes rgb = Colours(256, 5);
  const kvtest::FlicFrame ones{.chunks = {kvtest::FlicPaletteChunk({{0, rgb}}), {16, B(28, 1)}}};
  kvtest::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto player = Play(
        dir.Write("h.flc",
                  kvtest::WriteFlic({.width = 7,
                                     .height = 4,
                                     .frames = {ones, {.chunks = c.chunks, .size = c.frameSize}}})),
        1);
    ASSERT_TRUE(player);
    player->GetOneFrame(0.5f);
    Pixels want;
    for (const char* p = c.rows; *p; ++p)
      if (*p != ' ') want.push_back(Colour(rgb, *p - '0'));
    EXPECT_EQ(Shown(*player), want);
    // A check tells what playback passed over; frame 1 starts at byte 956.
    CKvPlayMovieFlick checked;
    ASSERT_TRUE(checked.Open(dir.File("h.flc"), 0));
    EXPECT_EQ(checked.CheckFrames(), c.check ? 0 : 1);
    if (c.check) {
      EXPECT_EQ(KvLastFailure(), *c.check
                                     ? std::string("frame 1: chunk 0 at byte 972: ") + c.check
                                     : "frame 1 at byte 956 is 15 bytes, shorter than its header");
    }
  }
}

// An FLI plays at 320 x 200 and decodes no line below the one its header's height ends at:
// a header above 200 must not take a decoder past the picture's last line, one below 200
// stops every decoder there. Frame 0 is all index 1, frame 1 writes lines 190 to 209.
TEST(FlicHostile, FliLinesEndAtTheHeaderOrThePicture) {
  const FlicBytes rgb = Colours(256, 7), ones(320 * 210, 1);
  kvtest::TempDir dir;
  for (int height : {480, 150, 200})
    for (int type : {12, 7, 15}) {
      SCOPED_TRACE(testing::Message() << "height " << height << ", chunk " << type);
      FlicBytes lines = ones;  // 210 lines: 4 pixels of the lines from 190 on, or all (a byte run)
      for (int i = type == 15 ? 0 : 190 * 320; i < 210 * 320; ++i)
        if (type == 15 || i % 320 < 4) lines[i] = BYTE(type == 12 ? 2 : type == 7 ? 3 : 4);
      const FlicFile file{
          .magic = 0xAF11,
          .width = 320,
          .height = height,
          .frames = {
              {.chunks = {kvtest::FlicPaletteChunk({{0, rgb}}), {16, FlicBytes(320 * 200, 1)}}},
              {.chunks = {kvtest::FlicPictureChunk(type, ones, lines, 320, 210)}}}};
      auto player = Play(dir.Write("l.fli", kvtest::WriteFlic(file)), 0);
      ASSERT_TRUE(player);
      player->GetOneFrame(0.5f);
      Pixels want;
      for (int i = 0; i < 320 * 200; ++i)
        want.push_back(Colour(rgb, i < std::min(height, 200) * 320 ? lines[i] : 1));
      EXPECT_EQ(Shown(*player), want);
    }
}

TEST(FlicHostile, RefusalsAndChecksSayWhy) {
  MovieOnDisk movie(kMovies[2]);
  const FlicBytes& good = movie.bytes;
  const auto tooLarge = [](const char* size, const char* bytes) {
    return std::string("frame too large: ") + size + " needs " + bytes +
           " bytes (index picture, work block and a copy of the frame), above the 1 MiB "
           "picture limit";
  };
  const kvtest::TempDir& dir = movie.dir;
  const std::size_t limit = KvGetMaxPictureBytes();
  KvSetMaxPictureBytes(1 << 20);
  kvtest::ExpectReasons(
      {{"cut header", kvtest::Cut(good, 100), "truncated: 100 of 128 bytes"},
       {"magic", With(good, 4, 0xAF13), "not a FLIC file (magic)"},
       {"width", With(good, 8, 0), "width 0"},
       {"height", With(good, 10, 0xFFFF), "height -1"},
       {"too large", With(good, 8, 32767), tooLarge("32767 x 27", "7,962,381")},
       // Its work block alone fits the 1 MiB limit; with the index and a copy it does not.
       {"too large with its copies", With(With(good, 8, 512), 10, 400),
        tooLarge("512 x 400", "1,843,200")},
       {"no frames", With(good, 6, 0), "no frames"}},
      [&](FlicBytes b) { return !Play(dir.Write("r.flc", b), 1); });
  KvSetMaxPictureBytes(limit);
  // A check walks every frame the header counts and decodes it strictly (sound movies pass:
  // PlaysWhatLibavcodecDecodes).
  std::vector<std::size_t> starts;  // where each frame starts, the ring frame too
  for (std::size_t pos = 128; pos < good.size(); pos += kvtest::U32(good, pos))
    starts.push_back(pos);
  const FlicBytes cut = kvtest::Cut(good, starts[5] + 3);
  const FlicBytes last = kvtest::Cut(good, good.size() - 1);
  const auto truncated = [&](const FlicBytes& b) {
    return "truncated: " + KvGroupDigits(b.size()) + " of " + KvGroupDigits(good.size()) + " bytes";
  };
  kvtest::ExpectReasons({{"counted frames not there", With(good, 6, 0xFFFF),
                          "the header counts 65,535 frames, the file holds 13"},
                         {"cut", cut, truncated(cut)},
                         {"one byte short", last, truncated(last)},
                         {"cut, the size field too", With(cut, 0, unsigned(cut.size())),
                          "the header counts 12 frames, the file holds 5"},
                         {"unknown frame type", With(good, starts[7] + 4, 0xF134),
                          "unknown FLIC frame type 0xF134 at byte " + KvGroupDigits(starts[7])}},
                        [&](FlicBytes b) {
                          CKvPlayMovieFlick player;
                          return player.Open(dir.Write("c.flc", b), 0) && !player.CheckFrames();
                        });
}

// Cut anywhere after its first frame header (before it, it is refused), a movie holds the
// frames whose headers are whole, plays those before the cut as they are, and never reads or
// writes outside its buffers. A frame header of unknown type throws out of GetOneFrame (when
// a frame to decode is one) or Prepare (when the frame table meets it), and only there: the
// movie API and the factory give null.
TEST(FlicHostile, CutOrUnknownFrames) {
  MovieOnDisk movie(kMovies[2], "m.fli");
  std::vector<std::size_t> ends;  // where each frame ends
  for (std::size_t pos = 128; ends.size() < 12; pos += kvtest::U32(movie.bytes, pos))
    ends.push_back(pos + kvtest::U32(movie.bytes, pos));
  for (std::size_t cut = 129; cut < movie.bytes.size(); cut += 13) {
    kvtest::WriteFileBytes(movie.file, kvtest::Cut(movie.bytes, cut));
    for (int memory : {0, 1}) {
      auto player = Play(movie.path, memory);
      if (cut < 128 + 16) {  // not even the first frame's header
        EXPECT_FALSE(player) << cut;
        EXPECT_EQ(KvLastFailure(), "truncated: the file ends before the first frame");
        continue;
      }
      ASSERT_TRUE(player) << cut;
      int found = 1;
      while (found < 12 && ends[found - 1] + 16 <= cut) ++found;
      ASSERT_EQ(player->m_nFrames, found) << cut;
      for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 3, 11, 0}) {
        if (i >= found) continue;
        player->GetOneFrame(float(i) / float(found));
        if (ends[i] <= cut) {
          EXPECT_EQ(Shown(*player), movie.frames[i]) << cut << " " << i;
        }
      }
    }
  }
  FlicBytes bytes = movie.bytes;
  bytes[ends[10] + 4] = 0x34;
  kvtest::WriteFileBytes(movie.file, movie.bytes);
  auto player = Play(movie.path, 0);
  ASSERT_TRUE(player);
  kvtest::WriteFileBytes(movie.file, bytes);  // changed after the table was built
  EXPECT_EQ(player->GetOneFrame(10 / 12.0f), 1);
  int cause = 0;
  try {
    player->GetOneFrame(11 / 12.0f);
  } catch (const CFileException& e) {
    cause = e.m_cause;
  }
  EXPECT_EQ(cause, kKvFlicBadFrameCause);
  EXPECT_EQ(KvLastFailure(), "unknown FLIC frame type 0xF134 at byte " + KvGroupDigits(ends[10]));
  EXPECT_EQ(Shown(*player), movie.frames[10]);
  CKvMemBlock blocks[12];
  EXPECT_EQ(KvMovieGetFrames(movie.path, 12, blocks), 0);

  bytes[128 + 5] = 0x12;  // frame 0: the table meets it
  kvtest::WriteFileBytes(movie.file, bytes);
  CKvPlayMovieFlick first;
  ASSERT_TRUE(first.Open(movie.path, 0));
  EXPECT_THROW(first.Prepare(nullptr), CFileException);
  EXPECT_EQ(first.GetOneFrame(0), 0);  // not prepared
  CRect rect;
  EXPECT_EQ(CKvPlayMovieBase::CreatePlayMovieObj(movie.path, 0), nullptr);
  EXPECT_EQ(KvMediaLoadPicFile(movie.path, rect), nullptr);
  std::unique_ptr<CObject> closed(RUNTIME_CLASS(CKvPlayMovieFlick)->CreateObject());
  EXPECT_EQ(dynamic_cast<CKvPlayMovieFlick&>(*closed).GetOneFrame(0), 0);
}

// Frames the header counts but the file does not hold are not played: the movie ends at a
// frame whose header is cut or whose size is below 16, and its count is the frames found. A
// size of 0 no longer makes every later frame the same one.
TEST(FlicHostile, MissingFramesEndTheMovie) {
  const FlicBytes rgb = Colours(256, 3);
  const auto frame = [&](int index, std::optional<long long> size = {}) {
    return kvtest::FlicFrame{
        .chunks = {kvtest::FlicPaletteChunk({{0, rgb}}), {16, {BYTE(index), BYTE(index)}}},
        .size = size};
  };
  // The frames written, the count in the header and the frames found.
  const std::tuple<std::vector<kvtest::FlicFrame>, int, int> cases[] = {
      {{frame(1), frame(2)}, 65535, 2},
      {{frame(1), frame(2, 0), frame(3)}, 3, 1},
      {{frame(1), frame(2), frame(3, 15), frame(4)}, 4, 2},
      {{frame(1), frame(2, 0)}, 65535, 1}};
  kvtest::TempDir dir;
  for (const auto& [frames, counted, found] : cases)
    for (int memory : {0, 1}) {
      SCOPED_TRACE(testing::Message() << counted << " counted, memory " << memory);
      auto player = Play(
          dir.Write("f.flc", With(kvtest::WriteFlic({.width = 2, .height = 1, .frames = frames}), 6,
                                  unsigned(counted))),
          memory);
      ASSERT_TRUE(player);
      EXPECT_EQ(player->m_nFrames, found);
      for (int i = 0; i < found; ++i) {
        player->GetOneFrame(float(i) / float(found));
        EXPECT_EQ(Shown(*player), Pixels(2, Colour(rgb, i + 1))) << i;
      }
    }
  const FlicBytes first =
      kvtest::WriteFlic({.width = 4096, .height = 4096, .frames = {{.size = 0}}});
  EXPECT_FALSE(Play(dir.Write("z.flc", With(first, 6, 0xFFFF)), 0));
  EXPECT_EQ(KvLastFailure(), "frame 0 at byte 128 is 0 bytes, shorter than its header");
}
