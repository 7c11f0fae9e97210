// Loops shared by the picture-loading benchmarks: ours, stb_image and the physical baseline
// on the same file.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/String.h"

namespace kvbench {

// A path under /tmp whose name carries the process id, for a benchmark's file or folder.
std::string TempPath(const std::string& name);
// Writes `bytes` as the file TempPath(name) and gives its path; the caller removes it.
std::string WriteTempFile(const std::string& name, const std::vector<unsigned char>& bytes);

// The physical baseline of a load: one read of the whole file, one copy of `pixelBytes`
// from `skip` bytes in.
void ReadAndCopyLoop(benchmark::State& state, const std::string& path, std::size_t skip,
                     std::size_t pixelBytes);
// One of the library's loaders over the file, freeing each picture.
void LoaderLoop(benchmark::State& state, DWORD* (*load)(CString, CRect&), const std::string& path);
// stb_image to RGBA over the file.
void StbLoop(benchmark::State& state, const std::string& path);

}  // namespace kvbench
