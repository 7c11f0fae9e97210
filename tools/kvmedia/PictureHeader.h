// What a picture file's header says, read by the tool itself: fast whatever the picture's
// size (the library's information call decodes PNG files), and the same facts for every type.
#pragma once

#include <optional>
#include <string>

namespace kvtool {

struct PictureFacts {
  std::string type;  // "TGA", "BMP", "GIF", "PCX", "JPEG", "PNG" or "PSD"
  long long width = 0, height = 0;
  long long x = 0, y = 0;  // the placement a TGA file stores
  int bitsPerPixel = 0;    // as the file stores a pixel (an index, for palette pictures)
  int channels = 0;        // of the colours described, alpha included
  bool alpha = false;      // the picture loads with its transparency
};

// The type that the file's first bytes (or a TGA footer) show, "" when none: "TGA", "BMP",
// "GIF", "JPEG", "PNG", "PSD", "PCX" or "scroll".
std::string SniffFileType(const std::string& path);

// The header of the picture type that the content shows (a file without a signature is read
// as TGA when its extension says so). nullopt when there is none or it does not hold, with
// the reason in *reason.
std::optional<PictureFacts> ReadPictureHeader(const std::string& path,
                                              std::string* reason = nullptr);

}  // namespace kvtool
