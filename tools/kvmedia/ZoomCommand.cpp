// kvmedia zoom IN OUT --size WxH [--mix M] [--over BACKGROUND]: the library's bilinear scaled
// load into a target of the given size, alone or laid over a background.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "KvMediaFile/KvPicture.h"
#include "PictureOutput.h"
#include "ToolSupport.h"

namespace kvtool {

extern const Command kZoomCommand;

namespace {

int Run(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const std::optional<CSize> size = args.Size("--size");
  const std::optional<long> mix = args.Integer("--mix");
  const std::optional<std::string> over = args.Text("--over");
  if (files.size() != 2) return Usage(kZoomCommand, "expected IN and OUT");
  if (!size) return Usage(kZoomCommand, "--size is required");
  const std::string& in = files[0];
  const std::string& out = files[1];
  if (!IsPictureOutput(out)) return Usage(kZoomCommand, kPictureOutputRule);
  if (KvCheckedPictureBytes(size->cx, size->cy) == 0)
    return Fail("a target of " + std::to_string(size->cx) + " x " + std::to_string(size->cy) +
                " pixels is too large: the library takes at most " +
                std::to_string(KvGetMaxPictureBytes() / 4) + " pixels");

  std::vector<std::string> inputs{in};
  if (over) inputs.push_back(*over);
  if (const std::string refusal = OutputIsInput(out, inputs); !refusal.empty())
    return Fail(refusal);

  KvMediaFileOpen();
  // Transparent black unless a background is laid first.
  std::vector<tagCOLOR32> target(static_cast<std::size_t>(size->cx) * size->cy, tagCOLOR32{});
  if (over && !KvMediaZoomPicFile(PathArg(*over), target.data(), *size, KV_MIX_COPY))
    return Fail(*over + ": " + LibraryReason("not a picture this library reads"));
  const auto mode = static_cast<EMixMode>(mix.value_or(over ? KV_MIX_OVER : KV_MIX_COPY));
  if (!KvMediaZoomPicFile(PathArg(in), target.data(), *size, mode))
    return Fail(in + ": " + LibraryReason("not a picture this library reads"));

  const std::string error = WritePicture(out, reinterpret_cast<DWORD*>(target.data()), *size,
                                         CRect(0, 0, size->cx, size->cy));
  if (!error.empty()) return Fail(error);
  std::printf("%s -> %s (%d x %d)\n", in.c_str(), out.c_str(), size->cx, size->cy);
  return 0;
}

}  // namespace

// The library copies for every mode but 0 and 1: another number is refused rather than quietly
// taken as 2.
const Options kZoomOptions = {
    {.name = "--size",
     .kind = Kind::kSize,
     .refusal = "takes WxH with W and H above 0",
     .arg = "WxH",
     .help = "the target's width and height"},
    {.name = "--mix",
     .kind = Kind::kInteger,
     .values = "0 1 2",
     .least = 0,
     .most = 2,
     .arg = "M",
     .help = "0 lays IN over the target, 1 the target over IN, 2 replaces the\n"
             "target (the default without --over)"},
    {.name = "--over",
     .kind = Kind::kText,
     .arg = "BACKGROUND",
     .help = "the target starts as BACKGROUND scaled to W x H; IN is laid over it\n"
             "(mix 0 unless --mix says otherwise)"}};

const Command kZoomCommand = {
    "zoom",
    "scale a picture to a size, alone or over a background, with the bilinear sampler",
    "usage: kvmedia zoom IN OUT --size WxH [--mix M] [--over BACKGROUND]\n"
    "\n"
    "Loads IN with the library and scales it over a target of W x H pixels with the library's\n"
    "bilinear sampler, as the suite scales pictures into its blocks, then writes OUT in the\n"
    "type its extension names (.tga, .bmp, .pcx, .jpg, .jpeg or .png, as 'kvmedia "
    "convert').\n" KV_OPTION_BLOCK1
    "Without --over the target starts transparent black. OUT may be neither IN nor\n"
    "BACKGROUND.\n",
    Run,
    kZoomOptions,
    {},
    21};
const Registrar kZoomRegistrar(kZoomCommand);

}  // namespace kvtool
