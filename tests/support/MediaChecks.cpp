#include "MediaChecks.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stb/stb_image.h>
#include <sys/resource.h>

#include "TestSupport.h"
#include "host/Failure.h"
#include "host/MemBlock.h"
#include "platform/File.h"
#include "platform/GlobalMemory.h"

namespace kvtest {

Bytes NoiseWithRuns(std::size_t units, int unitBytes, int values, unsigned seed) {
  auto next = [&] { return (seed = seed * 1103515245u + 12345u) >> 16 & 0x7FFF; };
  const std::size_t size = units * std::size_t(unitBytes);
  Bytes out;
  while (out.size() < size) {
    Bytes unit(unitBytes);
    for (auto& b : unit) b = static_cast<unsigned char>(next() % unsigned(values));
    const unsigned repeat = next() % 6 == 0 ? 1 + next() % 200 : 1;
    for (unsigned i = 0; i < repeat; ++i) out.insert(out.end(), unit.begin(), unit.end());
  }
  out.resize(size);
  return out;
}

std::vector<DWORD> Gradient(int w, int h) {
  std::vector<DWORD> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back(Px(x & 255, y & 255, (x ^ y) & 255, (x + y) & 255));
  return px;
}

std::vector<DWORD> BlockPixels(const CKvMemBlock& block) {
  const auto* p = reinterpret_cast<const DWORD*>(block.GetAddress());
  return block.IsValid() ? std::vector<DWORD>(p, p + block.GetSize().cx * block.GetSize().cy)
                         : std::vector<DWORD>{};
}

std::optional<Picture> TakePicture(void* buffer, const CRect& rect, const CRect& before) {
  if (!buffer) {
    EXPECT_EQ(rect, before) << "a failed load changed the rect";
    return std::nullopt;
  }
  KvGlobalPtr owner(buffer);
  const auto* px = static_cast<const DWORD*>(buffer);
  return Picture{rect, std::vector<DWORD>(px, px + std::size_t(rect.Width()) * rect.Height())};
}

std::optional<Picture> LoadBytes(PathLoader load, const std::string& name, const Bytes& file) {
  TempDir dir;
  WriteFileBytes(dir.path() + "/" + name, file);
  CRect rect = kUntouched;
  DWORD* buffer = load(dir.File(name), rect);
  return TakePicture(buffer, rect);
}

Bytes SavedBytes(PathSaver save, const std::string& name, std::vector<DWORD> buffer, CSize size,
                 CRect region) {
  TempDir dir;
  if (!save(dir.File(name), buffer.data(), size, region)) return {};
  return ReadFileBytes(dir.path() + "/" + name);
}

std::vector<DWORD> StbPixels(const Bytes& file, bool opaque) {
  int w = 0, h = 0, channels = 0;
  unsigned char* p = stbi_load_from_memory(file.data(), int(file.size()), &w, &h, &channels, 4);
  std::vector<DWORD> out;
  for (int i = 0; p && i < w * h; ++i)
    out.push_back(Rgb(p[4 * i], p[4 * i + 1], p[4 * i + 2], opaque ? 255 : p[4 * i + 3]));
  stbi_image_free(p);
  return out;
}

void ExpectEveryPrefixFails(const Bytes& file, const std::function<bool(const Bytes&)>& decodes) {
  ASSERT_TRUE(decodes(file)) << "the whole file must decode";
  for (std::size_t n = 0; n < file.size(); ++n)
    EXPECT_FALSE(decodes(Bytes(file.begin(), file.begin() + std::ptrdiff_t(n)))) << "prefix " << n;
}

void ExpectFullDiskKeepsTheOldFile(const std::string& name, std::size_t limit,
                                   const std::function<int(const CString& path)>& save) {
  TempDir dir;
  const Bytes old{1, 2, 3, 4, 5};
  WriteFileBytes(dir.path() + "/" + name, old);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = limit;
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int result = save(dir.File(name));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, 0) << name;
  EXPECT_EQ(ReadFileBytes(dir.path() + "/" + name), old) << name;
  EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{name});
}

void ExpectQuick(std::chrono::milliseconds limit, const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  EXPECT_LT(std::chrono::steady_clock::now() - start, TimeLimit(limit));
}

void PrintTo(const Picture& picture, std::ostream* out) {
  ::PrintTo(picture.rect, out);
  *out << " " << testing::PrintToString(picture.pixels);
}

void ExpectReasons(const std::vector<Refusal>& rows,
                   const std::function<bool(const Refusal&)>& refuses,
                   std::chrono::milliseconds limit) {
  const auto start = std::chrono::steady_clock::now();
  for (const Refusal& row : rows) {
    SCOPED_TRACE(row.name);
    KvClearFailure();
    EXPECT_EQ(refuses(row), !row.reason.empty());
    EXPECT_EQ(KvLastFailure(), row.reason);
  }
  if (limit.count()) {
    EXPECT_LT(std::chrono::steady_clock::now() - start, TimeLimit(limit));
  }
}

void ExpectReasons(const std::vector<Refusal>& rows, const std::function<bool(Bytes)>& refuses,
                   std::chrono::milliseconds limit) {
  ExpectReasons(
      rows, [&](const Refusal& row) { return refuses(row.file); }, limit);
}

std::optional<Picture> DecodeInMemory(const MemoryDecoder& decode, Bytes file, CRect* rect) {
  CMemFile memory(file.data(), static_cast<UINT>(file.size()));
  CRect r = kUntouched;
  DWORD* buffer = decode(memory, r);
  if (rect) *rect = r;
  return TakePicture(buffer, r, rect ? r : kUntouched);
}

void ExpectDecodeReasons(const std::vector<Refusal>& rows, const MemoryDecoder& decode) {
  ExpectReasons(
      rows,
      [&](const Refusal& row) {
        CRect rect;
        const bool refused = !DecodeInMemory(decode, row.file, &rect);
        if (refused) {
          EXPECT_EQ(rect, row.rect);
        }
        return refused;
      },
      std::chrono::seconds(2));
}

Bytes Cut(Bytes b, std::size_t n) {
  b.resize(n);
  return b;
}

Bytes Insert(Bytes b, std::size_t at, const Bytes& more) {
  b.insert(b.begin() + static_cast<long>(at), more.begin(), more.end());
  return b;
}

}  // namespace kvtest

void PrintTo(const CRect& rect, std::ostream* out) {
  *out << "(" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << ")";
}
