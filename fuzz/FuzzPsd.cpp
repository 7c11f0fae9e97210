// The PSD reader over arbitrary bytes.
#include "FuzzFile.h"
#include "picture/PsdReader.h"

KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, KvFuzzSeeds({"psd"}),
               [](const uint8_t* data, size_t size) { KvFuzzDecode(data, size, KvDecodePsd); })
