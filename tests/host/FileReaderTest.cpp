#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <vector>

#include "host/FileReader.h"
#include "platform/Exceptions.h"
#include "platform/File.h"

namespace {

using Bytes = std::vector<BYTE>;

// A run of fields of every kind, with where each ends and the value it must give.
struct Field {
  const char* name;
  std::size_t end;
  std::function<ULONGLONG(FileReader&)> read;
  ULONGLONG value;
};

const Bytes kRecord = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB,
                       0xCC, 0xDD, 1,    2,    3,    4,    5,    6,    7,    8,    9};

const std::vector<Field> kFields = {
    {"u8", 1, [](FileReader& r) { return r.u8(); }, 0x11},
    {"u16le", 3, [](FileReader& r) { return r.u16le(); }, 0x3322},
    {"u32le", 7, [](FileReader& r) { return r.u32le(); }, 0x77665544},
    {"u16be", 9, [](FileReader& r) { return r.u16be(); }, 0x8899},
    {"u32be", 13, [](FileReader& r) { return r.u32be(); }, 0xAABBCCDD},
    {"skip 2", 15, [](FileReader& r) { return r.skip(2) ? 1 : 0; }, 1},
    {"read 7", 22,
     [](FileReader& r) {
       BYTE b[7] = {};
       return r.read(b, 7) ? std::accumulate(b, b + 7, 0ull) : 0;
     },
     3 + 4 + 5 + 6 + 7 + 8 + 9},
};

}  // namespace

// Every cut of the record, with small and large buffers: the fields before the cut read
// right, the one it cuts fails where it starts and every later read gives 0.
TEST(FileReader, TruncationAtEveryField) {
  for (std::size_t bufferBytes : {16, 4096})
    for (std::size_t length = 0; length <= kRecord.size(); ++length) {
      SCOPED_TRACE(testing::Message() << "buffer " << bufferBytes << " length " << length);
      Bytes bytes(kRecord.begin(), kRecord.begin() + length);
      CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
      FileReader r(file, bufferBytes);
      std::size_t start = 0;
      bool cut = false;
      for (const Field& f : kFields) {
        const ULONGLONG got = f.read(r);
        if (!cut && f.end > length) {
          cut = true;
          EXPECT_EQ(r.failedAt(), start) << f.name;
          EXPECT_EQ(r.Reason(), "truncated: " + std::to_string(length) + " of " +
                                    std::to_string(f.end) + " bytes")
              << f.name;
        }
        EXPECT_EQ(got, cut ? 0 : f.value) << f.name;
        EXPECT_EQ(r.ok(), !cut) << f.name;
        start = f.end;
      }
      EXPECT_EQ(r.position(), cut ? r.failedAt() : kRecord.size());
      EXPECT_EQ(r.seek(0), !cut);  // a failure is for good
    }
}

// A file whose read fails after it gave part of what was asked fails the reader, even when
// that part holds the bytes wanted: the device said it could not read.
TEST(FileReader, AReadThatFailsFailsTheReaderWhateverItGave) {
  struct FailingFile : CMemFile {
    using CMemFile::CMemFile;
    UINT Read(void* buffer, UINT count) override {
      if (calls++) throw CFileException(CFileException::hardIO);
      return CMemFile::Read(buffer, std::min<UINT>(count, 4));
    }
    int calls = 0;
  };
  Bytes bytes = kRecord;
  FailingFile file(bytes.data(), static_cast<UINT>(bytes.size()));
  FileReader r(file, 16);
  EXPECT_EQ(r.u32le(), 0u);
  EXPECT_FALSE(r.ok());
}
