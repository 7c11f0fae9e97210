// Clips of other programs: made here with libavcodec's own encoders from known frames,
// imported by the maker and played back; movies exported and decoded again by libavcodec.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/MotionWriter.h"
#include "host/Failure.h"
#include "host/VideoStd.h"
#include "movie/VideoClip.h"
#include "platform/GlobalMemory.h"

namespace {

using Frame = std::vector<DWORD>;

DWORD Bgra(int r, int g, int b, int a) {
  return DWORD(b & 255) | DWORD(g & 255) << 8 | DWORD(r & 255) << 16 | DWORD(a & 255) << 24;
}

// n frames of a title sliding in from the right over nothing: transparent, half-transparent
// and opaque pixels, every colour channel busy.
std::vector<Frame> Titles(int w, int h, int n) {
  std::vector<Frame> frames(n, Frame(std::size_t(w) * h));
  for (int f = 0; f < n; ++f)
    for (int p = 0; p < w * h; ++p) {
      const int x = p % w, y = p / w, tx = x - (w - 5 * f);
      const int a = tx < 0 ? 0 : (tx + y) % 4 == 0 ? 128 : 255;
      frames[f][p] = Bgra(x * 37 + f * 9, y * 11 + 3 * tx, x * y + 5, a);
    }
  return frames;
}

struct Codec {
  const char* name;  // libavcodec's encoder
  AVPixelFormat format;
  const char* muxer;
  const char* file;
};
const Codec kQtrle{"qtrle", AV_PIX_FMT_ARGB, "mov", "c.mov"};
const Codec kPng{"png", AV_PIX_FMT_RGBA, "mov", "c.mov"};
const Codec kApng{"apng", AV_PIX_FMT_RGBA, "apng", "c.png"};
const Codec kPngMkv{"png", AV_PIX_FMT_RGBA, "matroska", "c.mkv"};
const Codec kPalette{"png", AV_PIX_FMT_PAL8, "mov", "c.mov"};

// The bytes of one BGRA pixel in a packed format's order.
void Pack(DWORD p, AVPixelFormat format, uint8_t* out) {
  const uint8_t b = p & 255, g = p >> 8 & 255, r = p >> 16 & 255, a = p >> 24;
  const uint8_t argb[] = {a, r, g, b}, rgba[] = {r, g, b, a};
  std::memcpy(out, format == AV_PIX_FMT_ARGB ? argb : rgba, 4);
}

// How a clip is laid out beyond its frames.
struct Layout {
  std::vector<std::pair<int, int>> sizes;  // frame i's size (the last one's from then on)
  bool sound = false;                      // a stream of silence beside the video, a packet a frame
  bool faststart = false;                  // QuickTime: the index before the frames
};

// Writes `frames` with the encoder of `codec` at 25 frames a second, an encoder made anew
// when the size changes. Test code of its own: what the library writes is checked against
// this, not against itself.
bool WriteClip(const std::string& path, const Codec& codec, const std::vector<Frame>& frames,
               const Layout& layout) {
  AVFormatContext* out = nullptr;
  if (avformat_alloc_output_context2(&out, nullptr, codec.muxer, path.c_str()) < 0) return false;
  const AVCodec* encoder = avcodec_find_encoder_by_name(codec.name);
  AVStream* stream = avformat_new_stream(out, nullptr);
  AVStream* sound = layout.sound ? avformat_new_stream(out, nullptr) : nullptr;
  AVCodecContext* c = nullptr;
  AVPacket* packet = av_packet_alloc();
  bool ok = encoder && stream && packet;
  const auto open = [&](int w, int h) {
    avcodec_free_context(&c);
    c = avcodec_alloc_context3(encoder);
    c->width = w, c->height = h, c->pix_fmt = codec.format, c->time_base = {1, 25};
    if (out->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return avcodec_open2(c, encoder, nullptr) >= 0;
  };
  const auto drain = [&] {
    while (avcodec_receive_packet(c, packet) == 0) {
      packet->duration = 1;
      av_packet_rescale_ts(packet, c->time_base, stream->time_base);
      packet->stream_index = 0;
      if (av_interleaved_write_frame(out, packet) < 0) ok = false;
    }
  };
  ok = ok && open(layout.sizes[0].first, layout.sizes[0].second);
  if (ok) {
    stream->time_base = {1, 25};
    avcodec_parameters_from_context(stream->codecpar, c);
    if (sound) {  // 8,000 samples a second of 16 bits, mono
      AVCodecParameters* p = sound->codecpar;
      p->codec_type = AVMEDIA_TYPE_AUDIO, p->codec_id = AV_CODEC_ID_PCM_S16LE;
      p->sample_rate = 8000;
      av_channel_layout_default(&p->ch_layout, 1);
      sound->time_base = {1, 8000};
    }
    AVDictionary* options = nullptr;
    if (layout.faststart) av_dict_set(&options, "movflags", "faststart", 0);
    ok = avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(out, &options) >= 0;
    av_dict_free(&options);
  }
  AVFrame* f = av_frame_alloc();
  for (std::size_t i = 0; ok && i < frames.size(); ++i) {
    const auto [w, h] = layout.sizes[std::min(i, layout.sizes.size() - 1)];
    if (w != c->width || h != c->height) {
      avcodec_send_frame(c, nullptr), drain();
      ok = open(w, h);
    }
    av_frame_unref(f);
    f->format = codec.format, f->width = w, f->height = h, f->pts = int64_t(i);
    ok = ok && av_frame_get_buffer(f, 0) >= 0;
    if (!ok) break;
    std::vector<DWORD> colours;  // of a palette frame, at most 256
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const DWORD p = frames[i][std::size_t(y) * w + x];
        uint8_t* row = f->data[0] + y * f->linesize[0];
        if (codec.format != AV_PIX_FMT_PAL8) {
          Pack(p, codec.format, row + 4 * x);
          continue;
        }
        auto at = std::find(colours.begin(), colours.end(), p);
        if (at == colours.end()) at = colours.insert(at, p);
        row[x] = uint8_t(at - colours.begin());
      }
    std::copy(colours.begin(), colours.end(), reinterpret_cast<uint32_t*>(f->data[1]));
    ok = avcodec_send_frame(c, f) >= 0;
    drain();
    if (ok && sound && (ok = av_new_packet(packet, 640) >= 0)) {  // 1/25 s of silence
      std::memset(packet->data, 0, 640);
      packet->stream_index = 1, packet->pts = packet->dts = int64_t(i) * 320,
      packet->duration = 320;
      ok = av_interleaved_write_frame(out, packet) >= 0;
    }
  }
  if (ok) avcodec_send_frame(c, nullptr), drain();
  ok = ok && av_write_trailer(out) >= 0;
  av_frame_free(&f), av_packet_free(&packet), avcodec_free_context(&c);
  if (out->pb) avio_closep(&out->pb);
  avformat_free_context(out);
  return ok;
}

// A clip as libavcodec reads it: every frame in the bytes of its own pixel format (packed
// formats only), that format, the colour matrix it states and where its last packet starts.
struct Decoded {
  std::vector<std::vector<uint8_t>> frames;
  AVPixelFormat format = AV_PIX_FMT_NONE;
  AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
  std::size_t lastPacketAt = 0;
};

Decoded Decode(const std::string& path) {
  Decoded d;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0) return d;
  avformat_find_stream_info(in, nullptr);
  d.matrix = in->streams[0]->codecpar->color_space;
  const AVCodec* decoder = avcodec_find_decoder(in->streams[0]->codecpar->codec_id);
  AVCodecContext* c = avcodec_alloc_context3(decoder);
  avcodec_parameters_to_context(c, in->streams[0]->codecpar);
  avcodec_open2(c, decoder, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* f = av_frame_alloc();
  const auto take = [&] {
    while (avcodec_receive_frame(c, f) == 0) {
      d.format = AVPixelFormat(f->format);
      if (d.format != AV_PIX_FMT_ARGB && d.format != AV_PIX_FMT_RGBA) continue;
      std::vector<uint8_t> bytes(std::size_t(f->width) * f->height * 4);
      for (int y = 0; y < f->height; ++y)
        std::memcpy(&bytes[std::size_t(y) * f->width * 4], f->data[0] + y * f->linesize[0],
                    std::size_t(f->width) * 4);
      d.frames.push_back(std::move(bytes));
    }
  };
  for (; av_read_frame(in, packet) >= 0; take()) {
    d.lastPacketAt = std::size_t(packet->pos);
    avcodec_send_packet(c, packet);
    av_packet_unref(packet);
  }
  avcodec_send_packet(c, nullptr);
  take();
  av_frame_free(&f), av_packet_free(&packet), avcodec_free_context(&c);
  avformat_close_input(&in);
  return d;
}

// Every frame of a movie as its player plays it.
std::vector<Frame> Play(const CString& movie) {
  std::vector<Frame> frames;
  int n = 0;
  CRect rect;
  if (!KvMovieGetFileInfo(movie, &rect, nullptr, &n)) return frames;
  for (int i = 0; i < n; ++i)
    frames.push_back(kvtest::PixelsOf(
        kvtest::TakePicture(KvMovieGetFrame(movie, rect, float(i) / float(n)), rect)));
  return frames;
}

int Import(const CString& clip, const CString& movie, const CRect& rect, WORD key = 10) {
  CKvMakeMovieMotion maker;
  return maker.SinkClip(clip, 0, CKvColor32(), CKvColor32(), 0, &rect, movie, key, nullptr);
}

int Export(const CString& movie, const CString& clip, int codec) {
  SKvClipExport settings;
  settings.codec = codec;
  return KvMovieExportClip(movie, clip, &settings, nullptr);
}

// A QuickTime file with the frame size its sample description states changed to w x h.
std::vector<uint8_t> StatingSize(std::vector<uint8_t> file, const char* fourcc, int w, int h) {
  const auto entry = std::search(file.begin(), file.end(), fourcc, fourcc + 4);
  if (entry != file.end())
    for (const auto& [at, v] : {std::pair{28, w}, {30, h}})
      entry[at] = BYTE(v >> 8), entry[at + 1] = BYTE(v);
  return file;
}

// Odd sizes, so that no row is a whole number of any block the codecs work in.
constexpr int kW = 61, kH = 23, kFrames = 12;

class Clip : public ::testing::Test {
 protected:
  void SetUp() override { KvMediaFileOpen(); }
  // The frames of the movie that a clip of the folder is made into (none when refused).
  std::vector<Frame> Imported(const std::string& clip, int w = kW, int h = kH) {
    if (Import(dir.File(clip), dir.File("m.sve"), CRect(0, 0, w, h)) != 1) return {};
    return Play(dir.File("m.sve"));
  }
  kvtest::TempDir dir;
};

TEST_F(Clip, LosslessClipsImportExactlyWithTheirAlpha) {
  const std::vector<Frame> frames = Titles(kW, kH, kFrames);
  // An animated PNG states no rate: each frame has its own delay.
  for (const auto& [codec, fps] : {std::pair{&kQtrle, 25}, {&kPng, 25}, {&kApng, 0}}) {
    SCOPED_TRACE(codec->name);
    ASSERT_TRUE(WriteClip(dir.path() + "/" + codec->file, *codec, frames, {{{kW, kH}}}));
    SKvClipInfo info;
    ASSERT_EQ(KvMovieGetClipInfo(dir.File(codec->file), &info), 1) << KvLastFailure();
    EXPECT_EQ(std::tuple(info.width, info.height, info.frames, info.alpha),
              std::tuple(kW, kH, kFrames, TRUE));
    EXPECT_NEAR(info.fps, fps, 0.01);
    EXPECT_EQ(Imported(codec->file), frames) << KvLastFailure();
    CRect rect;
    EXPECT_EQ(
        kvtest::TakePicture(KvMovieGetClipFrame(dir.File(codec->file), kFrames - 1, rect), rect),
        (kvtest::Picture{CRect(0, 0, kW, kH), frames.back()}));
    // The same from memory, with the reader's own account of the end.
    const std::vector<uint8_t> bytes = kvtest::ReadFileBytes(dir.path() + "/" + codec->file);
    KvClipReader reader;
    ASSERT_TRUE(reader.OpenMemory(bytes)) << KvLastFailure();
    std::vector<Frame> read(1);
    bool alpha = false;
    while (reader.Next(read.back(), alpha) == KvClipReader::Got::kFrame) read.emplace_back();
    read.pop_back();
    EXPECT_EQ(read, frames);
    EXPECT_EQ(reader.Next(read.emplace_back(), alpha), KvClipReader::Got::kEnd);
  }
  // A clip with sound beside it in a container that states no frame count, and one of PNG
  // frames whose palette holds alpha.
  ASSERT_TRUE(WriteClip(dir.path() + "/c.mkv", kPngMkv, frames, {{{kW, kH}}, true}));
  EXPECT_EQ(Imported("c.mkv"), frames) << KvLastFailure();
  const std::vector<Frame> few = Titles(6, 4, 3);
  ASSERT_TRUE(WriteClip(dir.path() + "/c.mov", kPalette, few, {{{6, 4}}}));
  EXPECT_EQ(Imported("c.mov", 6, 4), few);
  // A container that states another size than its PNG frames have, or another height: theirs
  // holds.
  ASSERT_TRUE(WriteClip(dir.path() + "/c.mov", kPng, frames, {{{kW, kH}}}));
  const std::vector<uint8_t> stated = kvtest::ReadFileBytes(dir.path() + "/c.mov");
  for (const auto& [w, h] : {std::pair{99, 99}, {kW, 99}}) {
    dir.Write("c.mov", StatingSize(stated, "png ", w, h));
    EXPECT_EQ(Imported("c.mov"), frames) << w << " x " << h;
  }
}

TEST_F(Clip, ExportedClipsDecodeToTheMovieFramesAndComeBackTheSame) {
  const std::vector<Frame> frames = Titles(kW, kH, kFrames);
  ASSERT_TRUE(kvtest::WriteMotionMovie(dir.File("seq.sve"), frames, 0, 0, kW, kH));
  for (const auto& [codec, packed, name] : {std::tuple{KV_CLIP_QTRLE, AV_PIX_FMT_ARGB, "out.mov"},
                                            {KV_CLIP_PNG, AV_PIX_FMT_RGBA, "out.mov"},
                                            {KV_CLIP_PNG, AV_PIX_FMT_RGBA, "out.mkv"}}) {
    SCOPED_TRACE(testing::Message() << codec << " " << name);
    ASSERT_EQ(Export(dir.File("seq.sve"), dir.File(name), codec), 1) << KvLastFailure();
    const Decoded decoded = Decode(dir.path() + "/" + name);
    ASSERT_EQ(decoded.frames.size(), frames.size());
    EXPECT_EQ(decoded.format, packed);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      std::vector<uint8_t> want(frames[i].size() * 4);
      for (std::size_t p = 0; p < frames[i].size(); ++p) Pack(frames[i][p], packed, &want[4 * p]);
      EXPECT_EQ(decoded.frames[i], want) << "frame " << i;
    }
    EXPECT_EQ(Imported(name), frames);  // sequence -> movie -> clip -> movie
  }
}

// The largest difference of any channel of two runs of frames, alpha apart; colour only where
// the source is not wholly transparent.
std::pair<int, int> LargestError(const std::vector<Frame>& want, const std::vector<Frame>& got) {
  int colour = 0, alpha = 0;
  for (std::size_t i = 0; i < want.size() && i < got.size(); ++i)
    for (std::size_t p = 0; p < want[i].size(); ++p) {
      const DWORD a = want[i][p], b = got[i][p];
      alpha = std::max(alpha, std::abs(int(a >> 24) - int(b >> 24)));
      for (int s = 0; s < 24 && a >> 24; s += 8)
        colour = std::max(colour, std::abs(int(a >> s & 255) - int(b >> s & 255)));
    }
  return {colour, alpha};
}

// ProRes is lossy: within 1 level of 255 in colour and alpha on a title of gradients, within 2
// in colour on one where every pixel differs from its neighbours, as libavcodec's own encoder
// comes (measured: 0 and 1 in colour, 1 in alpha).
TEST_F(Clip, ProResComesWithinItsError) {
  std::vector<Frame> smooth = Titles(kW, kH, 4);
  for (int f = 0; f < 4; ++f)
    for (int p = 0; p < kW * kH; ++p)
      smooth[f][p] = (smooth[f][p] & 0xFF000000u) | Bgra(p % kW * 4, p / kW * 8, 200 - f * 9, 0);
  for (const auto& [frames, most] : {std::pair{smooth, 1}, {Titles(kW, kH, 4), 2}}) {
    ASSERT_TRUE(kvtest::WriteMotionMovie(dir.File("seq.sve"), frames, 0, 0, kW, kH));
    ASSERT_EQ(Export(dir.File("seq.sve"), dir.File("ours.mov"), KV_CLIP_PRORES4444), 1)
        << KvLastFailure();
    // The matrix the frames were made with is stated, so that no reader need guess it.
    EXPECT_EQ(Decode(dir.path() + "/ours.mov").matrix, AVCOL_SPC_SMPTE170M);
    const std::vector<Frame> played = Imported("ours.mov");
    ASSERT_EQ(played.size(), frames.size()) << KvLastFailure();
    const auto [colour, alpha] = LargestError(frames, played);
    EXPECT_LE(colour, most);
    EXPECT_LE(alpha, 1);
  }
}

// Clips that cannot be made into a movie say why, and leave an existing movie as it was.
TEST_F(Clip, BadClipsAreRefusedWithAReasonAndNothingLost) {
  const std::vector<Frame> frames = Titles(16, 8, 6);
  ASSERT_TRUE(WriteClip(dir.path() + "/whole.mov", kQtrle, frames, {{{16, 8}}}));
  const std::vector<uint8_t> whole = kvtest::ReadFileBytes(dir.path() + "/whole.mov");
  dir.Write("half.mov", kvtest::Cut(whole, whole.size() / 2));
  // Matroska states no frame count, only how long the clip lasts.
  ASSERT_TRUE(WriteClip(dir.path() + "/half.mkv", kPngMkv, frames, {{{16, 8}}}));
  const std::vector<uint8_t> mkv = kvtest::ReadFileBytes(dir.path() + "/half.mkv");
  dir.Write("half.mkv", kvtest::Cut(mkv, mkv.size() / 2));
  // The size stated in the sample description, made 20,000 x 20,000.
  dir.Write("huge.mov", StatingSize(whole, "rle ", 20000, 20000));
  ASSERT_TRUE(WriteClip(dir.path() + "/empty.mkv", kPng, {}, {{{16, 8}}}));
  ASSERT_TRUE(WriteClip(dir.path() + "/widths.mov", kPng, frames, {{{16, 8}, {16, 8}, {8, 8}}}));
  ASSERT_TRUE(WriteClip(dir.path() + "/heights.mov", kPng, frames, {{{16, 8}, {16, 4}}}));
  // The index first and the frames after it cut short: in the last frame, and before it.
  ASSERT_TRUE(WriteClip(dir.path() + "/cut.mov", kQtrle, frames, {{{16, 8}}, false, true}));
  std::vector<uint8_t> cut = kvtest::ReadFileBytes(dir.path() + "/cut.mov");
  cut.resize(Decode(dir.path() + "/cut.mov").lastPacketAt);
  dir.Write("short.mov", cut);
  cut.resize(cut.size() + 20);
  dir.Write("cut.mov", cut);
  // A second of silence: a file of sound alone.
  const char wav[] =
      "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x40\x1F\0\0\x80\x3E\0\0\2\0\x10\0data\x80\x3E\0\0";
  kvtest::Bytes sound(wav, wav + 44);  // 8,000 samples of 16 bits, mono
  sound.resize(44 + 16000);
  dir.Write("sound.wav", sound);
  dir.Write("noise.mov", std::vector<uint8_t>(4000, 0x5A));
  const std::pair<const char*, const char*> cases[] = {
      {"half.mov", "not a clip FFmpeg's libraries read"},
      {"half.mkv", "the clip ends after 2 frames, at 0.08 s of its 0.24 s"},
      {"huge.mov", "the clip's frames of 20000 x 20000 are larger than the picture limit"},
      {"empty.mkv", "the clip holds no"},
      {"widths.mov", "frame 3 is 8 x 8, not 16 x 8 as the frames before it"},
      {"heights.mov", "frame 2 is 16 x 4, not 16 x 8 as the frames before it"},
      {"cut.mov", "the clip ends in the middle of frame 6"},
      {"short.mov", "the clip ends after 5 of its 6 frames"},
      {"sound.wav", "the clip holds no video"},
      {"noise.mov", "not a clip FFmpeg's libraries read"},
      {"none.mov", "no such file"},
      {".", "is a folder"}};
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  for (const auto& [name, reason] : cases) {
    SCOPED_TRACE(name);
    dir.Write("m.sve", old);
    EXPECT_EQ(Import(dir.File(name), dir.File("m.sve"), CRect(0, 0, 16, 8)), 0);
    EXPECT_EQ(KvLastFailure().substr(0, std::strlen(reason)), reason);
    EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/m.sve"), old);
    EXPECT_EQ(kvtest::FileNames(dir.path()).size(), 12u) << "a temporary file was left";
  }
  // A movie may not be written over the clip it is made from.
  EXPECT_EQ(Import(dir.File("whole.mov"), dir.File("whole.mov"), CRect(0, 0, 16, 8)), 0);
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/whole.mov"), whole);
  // The rectangle meets the raster of the standard chosen: in SD, x = 720 lies past it.
  const EKvVideoStandard standard = CKvVideoStd::GetStandard();
  CKvVideoStd::SetStandard(KV_STD_SD);
  EXPECT_EQ(Import(dir.File("whole.mov"), dir.File("m.sve"), CRect(720, 0, 736, 8)), 0);
  CKvVideoStd::SetStandard(standard);
  EXPECT_EQ(KvLastFailure(), "the movie rectangle lies outside the raster");
}

// Over a background, each frame of the clip is the background with the movie laid on it
// where asked (cut off at the edges), or where it was made to stand.
TEST_F(Clip, ExportOverABackgroundLaysEachFrameWhereAsked) {
  std::vector<Frame> frames = Titles(8, 4, 3);
  for (Frame& f : frames)
    for (DWORD& p : f) p |= 0xFF000000u;
  ASSERT_TRUE(kvtest::WriteMotionMovie(dir.File("seq.sve"), frames, 0, 0, 8, 4));
  Frame back(20 * 12);
  for (std::size_t i = 0; i < back.size(); ++i) back[i] = Bgra(int(i), 90, 200 - int(i), 255);
  ASSERT_TRUE(
      KvMediaSaveTGAFile(dir.File("back.tga"), back.data(), CSize(20, 12), CRect(0, 0, 20, 12)));
  const std::wstring backName = dir.File("back.tga").GetString();
  for (const POINT at : {POINT{-3, 2}, POINT{0, 0}}) {
    SCOPED_TRACE(at.x);
    SKvClipExport settings;
    settings.codec = KV_CLIP_PNG;
    settings.background = backName.c_str();
    settings.paste = at.x ? &at : nullptr;  // the movie was made to stand at 0,0
    ASSERT_EQ(KvMovieExportClip(dir.File("seq.sve"), dir.File("o.mov"), &settings, nullptr), 1)
        << KvLastFailure();
    for (int f : {0, 2}) {
      Frame want = back;
      for (int y = 0; y < 4; ++y)
        for (int x = std::max(0, -int(at.x)); x < 8; ++x)
          want[std::size_t(y + at.y) * 20 + x + at.x] = frames[f][std::size_t(y) * 8 + x];
      CRect rect;
      EXPECT_EQ(kvtest::TakePicture(KvMovieGetClipFrame(dir.File("o.mov"), f, rect), rect),
                (kvtest::Picture{CRect(0, 0, 20, 12), want}))
          << "frame " << f;
    }
  }
}

TEST_F(Clip, ExportRefusesWhatItCannotWriteAndLeavesNothing) {
  ASSERT_TRUE(kvtest::WriteMotionMovie(dir.File("seq.sve"), Titles(16, 8, 3), 0, 0, 16, 8));
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  dir.Write("old.mov", old);
  // The movie, the clip, its codec and the reason.
  const std::tuple<const char*, const char*, int, const char*> cases[] = {
      {"seq.sve", "out.avi", KV_CLIP_QTRLE, "a clip's name ends in .mov or .mkv"},
      {"seq.sve", "out.mov", 7, "no clip codec 7"},
      {"seq.sve", "out.mkv", KV_CLIP_QTRLE, "QuickTime Animation is written into a .mov only"},
      {"none.sve", "old.mov", KV_CLIP_QTRLE, "no such file"},
      {"old.mov", "new.mov", KV_CLIP_QTRLE, "not a movie this library plays"},
      {"seq.sve", "link.mov", KV_CLIP_QTRLE, "the clip is the movie or the background itself"}};
  ASSERT_EQ(::symlink("seq.sve", (dir.path() + "/link.mov").c_str()), 0);
  const std::vector<uint8_t> seq = kvtest::ReadFileBytes(dir.path() + "/seq.sve");
  for (const auto& [movie, clip, codec, reason] : cases) {
    EXPECT_EQ(Export(dir.File(movie), dir.File(clip), codec), 0);
    EXPECT_EQ(KvLastFailure(), reason) << clip;
  }
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/seq.sve"), seq);
  SKvClipExport fast;
  fast.fps = 241;
  EXPECT_EQ(KvMovieExportClip(dir.File("seq.sve"), dir.File("old.mov"), &fast, nullptr), 0);
  EXPECT_EQ(KvLastFailure(), "241 frames a second is outside 1 to 240");
  // Cancelled part way: the old clip stays, and no temporary file is left.
  kvtest::RecordingUi ui;
  ui.cancelAfterPumps = 2;
  const auto before = kvtest::FileNames(dir.path());
  EXPECT_EQ(Export(dir.File("seq.sve"), dir.File("old.mov"), KV_CLIP_QTRLE), 0);
  EXPECT_EQ(KvLastFailure(), "cancelled");
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/old.mov"), old);
  EXPECT_EQ(kvtest::FileNames(dir.path()), before);
}

}  // namespace
