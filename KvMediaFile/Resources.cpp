#include "KvMediaFile/KvMediaResources.h"

#include "KvMediaFile/DriveBitmaps.h"

#include <iterator>

namespace {

// Ids 1121 and 1513 to 1515 are reserved: no text of the library uses them.
const KvStringResource kStrings[] = {
    {1100, L"打开图象文件"},
    {1101, L"保存图象文件"},
    {1102, L"当前选择的文件不存在，请重新选择!"},
    {1103, L"无法打开当前选择的文件(格式无效)，请重新选择!"},
    {1104, L"当前选择的文件已经存在，是否覆盖?"},
    {1105, L"软盘"},
    {1106, L"本地硬盘"},
    {1107, L"网络映射盘"},
    {1108, L"光盘"},
    {1109, L"图象文件(*.tga;*.bmp;*.gif;*.pcx;*.jpg;*.png;*.psd)"},
    {1110, L"TGA文件(*.tga)"},
    {1111, L"BMP文件(*.bmp)"},
    {1112, L"GIF文件(*.gif)"},
    {1113, L"PCX文件(*.pcx)"},
    {1114, L"JPG文件(*.jpg)"},
    {1115, L"PSD文件(*.psd)"},
    {1116, L"正在打开这个目录下的图象素材..."},
    {1117, L"正在保存图像文件%s，请稍侯..."},
    {1118, L"保存图像文件出错！"},
    {1119, L"无法保存该文件格式，请选择BMP或TGA文件后缀名！"},
    {1120, L"不符合图像文件尺寸，不能保存！"},
    {1122, L"PNG文件(*.png)"},
    {1500, L"打开动画文件"},
    {1501, L"保存动画文件"},
    {1502,
     L"动画文件(*.flc;*.fli;*.sve;*.kvi)|*.flc;*.fli;*.sve;*.kvi|FLC文件(*.flc)|*.flc|FLI文件(*."
     L"fli)|*.fli|SVE文件(*.sve)|*.sve|KVI文件(*.kvi)|*.kvi||"},
    {1503, L"动画文件(*.flc;*.fli)|*.flc;*.fli|FLC文件(*.flc)|*.flc|FLI文件(*.fli)|*.fli||"},
    {1504, L"SVE文件(*.sve)|*.sve||"},
    {1505, L"KVI文件(*.kvi)|*.kvi||"},
    {1506, L"AVI文件(*.avi)|*.avi||"},
    {1507, L"sve"},
    {1508, L"flc"},
    {1509, L"sve"},
    {1510, L"kvi"},
    {1511, L"avi"},
    {1512, L"找不到当前动画文件，无法处理！"},
};

// Texts of the picture panel and the open-picture dialog.
const KvDialogText kDialogTexts[] = {
    {KV_IDD_PICFILE_PANEL, 1012, L"驱动器："},
    {KV_IDD_PICFILE_PANEL, 1018, L"类型:"},
    {KV_IDD_PICFILE_PANEL, 1019, L"名称:"},
    {KV_IDD_PICFILE_PANEL, 1020, L"文件路径:"},
    {KV_IDD_PICFILE_PANEL, 1022, L"文件大小:"},
    {KV_IDD_PICFILE_PANEL, 1024, L"图象尺寸:"},
    {KV_IDD_PICFILE_PANEL, 1030, L"亮度"},
    {KV_IDD_PICFILE_PANEL, 1033, L"对比度"},
    {KV_IDD_PICFILE_PANEL, 1036, L"色度"},
    {KV_IDD_PICFILE_PANEL, 1037, L"R"},
    {KV_IDD_PICFILE_PANEL, 1040, L"G"},
    {KV_IDD_PICFILE_PANEL, 1043, L"B"},
    {KV_IDD_PICFILE_PANEL, 1046, L"不透明度"},
    {KV_IDD_PICFILE_PANEL, 1049, L"循环贴图"},
    {KV_IDD_OPEN_PICTURE, 1, L"确定"},
    {KV_IDD_OPEN_PICTURE, 2, L"取消"},
    {KV_IDD_OPEN_PICTURE, 1002, L"使用简易对话框"},
    {KV_IDD_OPEN_PICTURE, 1004, L"原位读图"},
};

const KvModule kModule = {
    "KvMediaFile",       kStrings,     std::size(kStrings),     kKvDriveBitmaps,
    kKvDriveBitmapCount, kDialogTexts, std::size(kDialogTexts),
};

}  // namespace

HINSTANCE KvMediaGetResourceHandle() { return &kModule; }
