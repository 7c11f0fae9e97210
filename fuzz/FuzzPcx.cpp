// The PCX decoder over arbitrary bytes: a copy of its own, so that reads past the end are
// caught.
#include "FuzzFile.h"
#include "picture/PcxCodec.h"

KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, KvFuzzSeeds({"pcx"}),
               [](const uint8_t* data, size_t size) {
                 const std::vector<BYTE> bytes(data, data + size);
                 CRect rect;
                 GlobalFree(KvDecodePcx(bytes, rect));
               })
