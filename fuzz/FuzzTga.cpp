// The TGA decoder over arbitrary bytes.
#include "FuzzFile.h"
#include "picture/TgaCodec.h"

KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, KvFuzzSeeds({"tga"}),
               [](const uint8_t* data, size_t size) { KvFuzzDecode(data, size, KvDecodeTga); })
