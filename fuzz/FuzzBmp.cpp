// The BMP decoder over arbitrary bytes: inputs that start with "BM" as files, the rest as
// bitmap resources (no file header).
#include "FuzzFile.h"
#include "picture/BmpCodec.h"

// Lower than for other formats: a few run-length codes may rightly describe a picture of any
// size, and zeroing large buffers would otherwise take most of the fuzzer's time.
KV_FUZZ_TARGET(std::size_t{8} << 20, KvFuzzNoSetUp, KvFuzzSeeds({"bmp"}),
               [](const uint8_t* data, size_t size) {
                 const bool isFile = size >= 2 && data[0] == 'B' && data[1] == 'M';
                 KvFuzzDecode(data, size, [&](CFile& f, CRect& r) {
                   return isFile ? KvDecodeBmpFile(f, r) : KvDecodeBmp(f, 0, r);
                 });
               })
