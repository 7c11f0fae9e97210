// Picture files: start and end of the library, picture types, the load and save dispatch,
// and the per-format loaders and savers.
//
// A picture buffer is width x height tagCOLOR32 pixels (bytes B, G, R, A), rows top to
// bottom, no padding, in fixed zero-filled global memory; the receiver frees it with
// GlobalFree. It travels with a CRect whose width and height are the picture's; TGA pictures
// and movie frames also carry their placement in its left and top.
#pragma once

#include "KvMediaFile/KvMediaApi.h"
#include "host/MemBlock.h"
#include "platform/Bitmap.h"
#include "platform/Geometry.h"
#include "platform/String.h"
#include "platform/Window.h"

// Picture-type codes, by file extension.
enum : int {
  KV_PIC_UNKNOWN = 0,
  KV_PIC_TGA = 1,
  KV_PIC_BMP = 2,
  KV_PIC_GIF = 3,
  KV_PIC_PCX = 4,
  KV_PIC_JPG = 5,
  KV_PIC_PNG = 6,
  KV_PIC_PSD = 7,
  KV_PIC_SVE = 8,
  KV_PIC_FLI = 9,
};

// Call once before any other picture call, and KvMediaFileClose once at the end. Both
// return 1.
KV_MEDIA_API int KvMediaFileOpen();
KV_MEDIA_API int KvMediaFileClose();

// Why the last load, save or information call on this thread failed, in a few words
// ("truncated: 1,000 of 8,294,418 bytes", "width 0", "content is PNG, not TGA"); empty when
// it gave no reason. Each call clears it when it starts.
KV_MEDIA_API CString KvMediaGetLastFailure();

// The type code of a path's extension (".TGA" 1 ... ".FLI" 9, in any case); 1 when known,
// else 0 with type 0.
KV_MEDIA_API int KvMediaGetPicFileType(CString path, int& type);

// Loads any supported picture (or a movie's first frame); null when the file is missing or
// cannot be read.
KV_MEDIA_API DWORD* KvMediaLoadPicFile(CString path, CRect& rect);
// Decodes a picture strictly, as the type its extension names (a file whose extension names
// no picture: the type its content shows). 1 when all of its data is there and decodes; 0
// with the reason: the loader's refusal, or the damage that the loader passes over (a GIF
// whose data ends before its end code loads with the rows decoded so far, a JPEG with corrupt
// data as the JPEG library fills it in).
KV_MEDIA_API int KvMediaCheckPicFile(CString path);
// Saves the region `rect` of a buffer of `size` pixels as TGA or BMP, by the path's
// extension, with a progress dialog and messages. 1 on success.
KV_MEDIA_API int KvMediaSavePicFile(CString path, DWORD* buffer, CSize size, CRect rect,
                                    CWnd* parent);
// Asks for a file name (TGA or BMP) and saves there. 1 on success.
KV_MEDIA_API int KvMediaPromptSavePicFile(DWORD* buffer, CSize size, CRect rect, CWnd* parent);
// The path of the empty placeholder picture beside the application, made first when
// `create` is non-zero.
KV_MEDIA_API CString KvMediaGetEmptyPicFile(int create);
// Writes a fully transparent 32-bit TGA of `size` at `path` (null: the placeholder's path)
// unless a file is already there. 1 on success or when the file exists.
KV_MEDIA_API int KvMediaCreateEmptyPicFile(const wchar_t* path, CSize size);

// The size and a bit figure of a picture from its header, without loading it. 1 when the
// header was read and accepted; null pointers are not written.
KV_MEDIA_API int KvMediaGetPicInfo(CString path, RECT* rect, int* bits);

// What a picture file's header says, read by the loader's own header readers without
// decoding pixels, the same fields for every type.
struct SKvPicFacts {
  int type = KV_PIC_UNKNOWN;  // the type whose header was read
  long long width = 0, height = 0;
  long long x = 0, y = 0;  // the placement a TGA or PCX header stores; 0 for the others
  int storedBits = 0;      // bits a pixel is stored in; for palette pictures, the index's
  int channels = 0;        // of the colours described, alpha included
  // The picture loads with its transparency: 32-bit true-colour and 16-bit grey TGA, PNG
  // with an alpha channel or a transparency chunk, PSD RGB with a fourth channel, and BMP
  // whose header gives an alpha mask (the loader then drops an alpha that is 0 in every
  // pixel, which only decoding can tell). GIF, JPEG and PCX load opaque.
  bool alpha = false;
};
// Fills `facts` from the header of the type the extension names (in any case, ".DIB" too);
// a file whose extension names no picture type is read as the type its content shows. 1
// when the header is accepted: by the checks the information call makes, and for BMP also
// the loader's check of the pixel layout (on which alpha depends). Sizes are not limited and
// the pixel data is not looked at. 0 otherwise, with the reason; `facts` is then not written.
KV_MEDIA_API int KvMediaGetPicFacts(CString path, SKvPicFacts* facts);

// TGA: loads types 1, 2, 3, 9, 10 and 11; the rect carries the picture's origin. Saves
// 32-bit uncompressed TGA 2.0 with postage stamp, extension area and footer.
KV_MEDIA_API DWORD* KvMediaLoadTGAFile(CString path, CRect& rect);
KV_MEDIA_API int KvMediaSaveTGAFile(CString path, DWORD* buffer, CSize size, CRect rect);

// BMP: loads 1, 4, 8, 16, 24 and 32 bits, run-length 4 and 8, bottom-up and top-down, from a
// file or from a module's bitmap resource; saves 32-bit uncompressed BMP (rows bottom-up,
// alpha kept). KvMediaInitBMPInfo describes a picture buffer of `size` (32 bits, top row
// first) in a bitmap-information header, writing nothing beyond the header.
KV_MEDIA_API DWORD* KvMediaLoadBMPFile(CString path, CRect& rect);
KV_MEDIA_API DWORD* KvMediaLoadBMPInRC(HINSTANCE module, const wchar_t* name, CRect& rect);
KV_MEDIA_API int KvMediaSaveBMPFile(CString path, DWORD* buffer, CSize size, CRect rect);
KV_MEDIA_API void KvMediaInitBMPInfo(BITMAPINFO* info, CSize size);

// PCX: loads 1, 4 and 8 bits in one plane and 24 bits in three planes; saves 24-bit PCX.
KV_MEDIA_API DWORD* KvMediaLoadPCXFile(CString path, CRect& rect);
KV_MEDIA_API int KvMediaSavePCXFile(CString path, DWORD* buffer, CSize size, CRect rect);

// PSD: the merged picture of a Photoshop document (version 1), depths 8 and 16.
KV_MEDIA_API DWORD* KvMediaLoadPSDFile(CString path, CRect& rect);

// PNG, through the image loader (null before KvMediaFileOpen and after KvMediaFileClose):
// colour, palette, grey and grey-with-alpha pictures of 8 or 16 bits a sample.
KV_MEDIA_API DWORD* KvMediaLoadPNGFile(CString path, CRect& rect);

// GIF: the first image of the file, every pixel opaque.
KV_MEDIA_API DWORD* KvMediaLoadGIFFile(CString path, CRect& rect);

// JPEG: loads baseline and progressive files; the three-argument form sets `value` to 4
// first. Saves with the default settings (quality 75, 4:2:0); `rect` is not used.
KV_MEDIA_API DWORD* KvMediaLoadJPGFile(CString path, CRect& rect);
KV_MEDIA_API DWORD* KvMediaLoadJPGFile(CString path, CRect& rect, int& value);
KV_MEDIA_API int KvMediaSaveJPGFile(CString path, DWORD* pixels, CSize size, CRect rect);

// ---- Compositing: the bilinear sampler, scaled loads, background pictures, window fills.
// The sampler and the scaled loads read the tables that KvMediaFileOpen builds.

// One bilinear sample of a width x height picture at (x, y), in 24.8 fixed point; `offsets`
// holds the index of each row's first pixel. Within one pixel before the first column or
// row the edge repeats; further out the clamped edge colour comes back with alpha 0.
KV_MEDIA_API tagCOLOR32 KvGetSubpixel_Bilinear(tagCOLOR32* source, LONG x, LONG y, int width,
                                               int height, LONG* offsets);

// Loads a picture and scales it over the whole cx x cy target, mixed by `mode`: 0 the
// picture over the target, 1 the target over the picture, any other value a plain copy. 0
// when the picture cannot be loaded or the target is empty; the target is then untouched.
KV_MEDIA_API int KvMediaLoadPicFile(CString path, tagCOLOR32* target, CSize size, EMixMode mode);
KV_MEDIA_API int KvMediaZoomPicFile(CString path, tagCOLOR32* target, CSize size, EMixMode mode);
// The picture scaled to the whole target as above, but written only where the clip `clip`
// and the placement `place` (the picture's own rect when empty) overlap, with the picture's
// top-left corner at that window's top-left corner.
KV_MEDIA_API int KvMediaZoomPicFile(CString path, CRect clip, CRect place, CSize size,
                                    tagCOLOR32* target, EMixMode mode);

// Fills a block with the grey or white background picture (the HD one when the video
// standard is HD, the UHD one at UHD, or else the HD one 2 x 2), at its top-left corner or
// tiled over it. 0 when the picture is missing.
KV_MEDIA_API int KvMediaFillBack(CKvMemBlock* block, int grey, int tile);
// The folder of the background pictures: the one set here, else the environment's
// KVMEDIA_IMG_DIR, else /opt/VelmoraCG64/App/Img/. An empty folder restores that choice.
KV_MEDIA_API void KvMediaSetBackFolder(CString folder);
KV_MEDIA_API CString KvMediaGetBackFolder();

// Window fills. Background kinds: 1 the grey picture, 2 the white one, any other the colour
// bars. With `widthFit`, a child window is narrowed to a multiple of 4 pixels first.
// A colour, alone or (with `composite`) laid with its alpha over the background.
KV_MEDIA_API int KvMediaColorFillWnd(CWnd* window, tagCOLOR32* color, int composite, int backKind,
                                     int widthFit);
// A picture file drawn into `rect` (black first), stretched, alone or over the background.
KV_MEDIA_API int KvMediaFileFillWnd(CDC* dc, CRect rect, CString path, int back, int backKind);
KV_MEDIA_API int KvMediaFileFillWnd(CWnd* window, CString path, int back, int backKind,
                                    int widthFit);
