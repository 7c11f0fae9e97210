// The bilinear scaled load into a full HD target, picture already loaded (the decode is timed
// by the codec benchmarks): the sampling loop alone, against libswscale's bilinear scaler on
// the same picture, BGRA to BGRA. The floor is 150 million target pixels a second on one core.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvPicture.h"
#include "picture/Compositing.h"

namespace {

const CSize kTarget(1920, 1080);
constexpr double kTargetPixels = 1920.0 * 1080.0;

// Smooth gradients with noise and a varying alpha, like a keyed camera picture.
std::vector<tagCOLOR32> MakePicture(CSize size) {
  std::vector<tagCOLOR32> px(static_cast<std::size_t>(size.cx) * size.cy);
  std::mt19937 rng(size.cx);
  for (int y = 0; y < size.cy; ++y)
    for (int x = 0; x < size.cx; ++x) {
      const unsigned n = rng() & 15;
      px[static_cast<std::size_t>(y) * size.cx + x] = {
          BYTE(x * 255 / size.cx ^ n), BYTE(y * 255 / size.cy + n), BYTE((x + y) / 8 + n),
          BYTE(x * 7 / size.cx * 40 + n)};
    }
  return px;
}

struct Case {
  const char* name;
  CSize size;
};
constexpr Case kCases[] = {{"720p", {1280, 720}}, {"576", {720, 576}}, {"2160p", {3840, 2160}}};

void ZoomOurs(benchmark::State& state, CSize size, KvSampler sampler, EMixMode mode) {
  KvMediaFileOpen();
  const std::vector<tagCOLOR32> picture = MakePicture(size);
  std::vector<tagCOLOR32> target(static_cast<std::size_t>(kTarget.cx) * kTarget.cy,
                                 tagCOLOR32{40, 60, 80, 255});
  const KvZoomSteps steps = KvZoomStepsFor(size, kTarget);
  for (auto _ : state) {
    KvZoomInto(picture.data(), size, target.data(), kTarget, CRect(0, 0, kTarget.cx, kTarget.cy),
               steps, mode, sampler);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(kTargetPixels));
}

void ZoomSwscale(benchmark::State& state, CSize size) {
  const std::vector<tagCOLOR32> picture = MakePicture(size);
  std::vector<tagCOLOR32> target(static_cast<std::size_t>(kTarget.cx) * kTarget.cy);
  SwsContext* context = sws_getContext(size.cx, size.cy, AV_PIX_FMT_BGRA, kTarget.cx, kTarget.cy,
                                       AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!context) {
    state.SkipWithError("sws_getContext failed");
    return;
  }
  const auto* in = reinterpret_cast<const uint8_t*>(picture.data());
  auto* out = reinterpret_cast<uint8_t*>(target.data());
  const int inStride = size.cx * 4, outStride = kTarget.cx * 4;
  for (auto _ : state) {
    sws_scale(context, &in, &inStride, 0, size.cy, &out, &outStride);
    benchmark::ClobberMemory();
  }
  sws_freeContext(context);
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(kTargetPixels));
}

// Registers every case, with the floor and the ratio against the peer, and checks once that
// the vector path gives the scalar bytes on each picture.
bool Register() {
  KvMediaFileOpen();
  for (const Case& c : kCases) {
    const std::string name = c.name;
    const CSize size = c.size;
    benchmark::RegisterBenchmark(("BM_Zoom/" + name).c_str(), ZoomOurs, size, KvSampler::kBest,
                                 KV_MIX_COPY)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_ZoomOver/" + name).c_str(), ZoomOurs, size, KvSampler::kBest,
                                 KV_MIX_OVER)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_ZoomScalar/" + name).c_str(), ZoomOurs, size,
                                 KvSampler::kScalar, KV_MIX_COPY)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("BM_Swscale/" + name).c_str(), ZoomSwscale, size)
        ->Unit(benchmark::kMillisecond);
    kvbench::Rate("BM_Zoom/" + name, 150e6, c.name + std::string(" to 1920 x 1080, copy"));
    kvbench::Ratio("BM_Zoom/" + name, "BM_Swscale/" + name, 0.0, "libswscale bilinear");
    kvbench::Ratio("BM_Zoom/" + name, "BM_ZoomScalar/" + name, 0.0, "the scalar sampler");

    const std::vector<tagCOLOR32> picture = MakePicture(size);
    std::vector<tagCOLOR32> scalar(static_cast<std::size_t>(kTarget.cx) * kTarget.cy);
    std::vector<tagCOLOR32> vector(scalar.size());
    const CRect all(0, 0, kTarget.cx, kTarget.cy);
    const KvZoomSteps steps = KvZoomStepsFor(size, kTarget);
    KvZoomInto(picture.data(), size, scalar.data(), kTarget, all, steps, KV_MIX_COPY,
               KvSampler::kScalar);
    KvZoomInto(picture.data(), size, vector.data(), kTarget, all, steps, KV_MIX_COPY,
               KvSampler::kVector);
    kvbench::Note(name + ": vector path " + (scalar == vector ? "bit-exact" : "DIFFERS") +
                  " with the table arithmetic over the whole target");
  }
  return true;
}
const bool kRegistered = Register();

}  // namespace
