// The GIF decoder over arbitrary bytes, with the notes a check asks for.
#include "FuzzFile.h"
#include "picture/GifDecoder.h"

KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, KvFuzzSeeds({"gif"}),
               [](const uint8_t* data, size_t size) {
                 GifDecodeNotes notes;
                 KvFuzzDecode(data, size,
                              [&](CFile& f, CRect& r) { return KvDecodeGif(f, r, &notes); });
               })
