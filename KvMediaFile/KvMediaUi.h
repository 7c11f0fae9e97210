// The picture-browsing panel and the open-picture dialog. The declarations carry no Qt
// types: a host that has no Qt headers can still embed the panel and run the dialog
// (library KvMediaFileUi).
#pragma once

// Said first, and alone, whatever the declarations below would say in C++17.
#if __cplusplus < 202002L
#error "KvMediaFile needs C++20: compile with -std=c++20 or later"
#else

#include <array>
#include <memory>

#include "KvMediaFile/KvMediaApi.h"
#include "platform/String.h"
#include "ui/HostWidgets.h"

class CKvClipMedia;
class CStringArray;

// Picture adjustments that the panel edits and the caller applies: eleven values, switches
// 0 or non-zero, levels 0 to 255.
struct SKvMediaAdjustParams {
  int bLumi;       // brightness on
  int nLumi;       // brightness
  int bContrast;   // contrast on
  int nContrast;   // contrast
  int bHue;        // tint on
  int nHueRed;     // tint red
  int nHueGreen;   // tint green
  int nHueBlue;    // tint blue
  int bAlpha;      // opacity on
  int nAlpha;      // opacity
  int bLoopPaste;  // tile the picture
};
static_assert(sizeof(SKvMediaAdjustParams) == 11 * sizeof(int));

class KV_MEDIA_API CKvPicfilePanelDlg : public CKvDialog, public IKvGuiBrowserCB {
 public:
  explicit CKvPicfilePanelDlg(CWnd* parent = nullptr);
  ~CKvPicfilePanelDlg() override;

  // openFlag 1 offers every readable type, 0 the types that can be saved; typeFilter a
  // picture-type code (0 all). Makes the panel over the parent's control `placeholderId`.
  int Create(int openFlag, int typeFilter, CString path, CWnd* parent, UINT placeholderId,
             SKvMediaAdjustParams* params);
  BOOL OnInitDialog() override;
  HINSTANCE GetResourceHandle() override;
  // Enter and Escape never close the panel: they pass on to the window holding it, and a
  // double-click on a thumbnail calls a holding CKvDialog's OnOK.
  void OnOK() override {}
  void OnCancel() override {}

  void SetAdjustParams(SKvMediaAdjustParams* params);
  void GetAdjustParams(SKvMediaAdjustParams* params);
  CString GetFileFullPath();
  CString GetFolder() const;
  CString GetFileName();
  // Position in the type box, -1 when none is selected.
  int GetTypeIndex() const;
  int ShowMediaAdjustCtrl(SKvMediaAdjustParams* params);
  void EnableAdjustCtrl();
  void ClearMem();

  // Lists the current folder's files of the type box's position `index`.
  void SelectFileType(int index);
  // Selects and shows the record named `name` (when it has not arrived yet, once it does).
  void InitListCtrlCurrentFile(CString name);
  // Opens `folder` in the drive box and the tree, and lists it.
  void SelectFolder(CString folder);
  // True while a folder is being read.
  bool IsReading() const;
  int GetRecordCount() const;

  // IKvGuiBrowserCB
  int GetSubObjCount(void* parent) override;
  void* GetSubObj(void* parent, int index) override;
  int CanExpand(void* object) override;
  int GetColumnCount(void* object) override;
  int GetColumnInfo(void* object, int index, SKvBrowserColumn& column) override;
  int GetColString(void* object, int column, CString& text) override;
  DWORD* GetIconBuf(void* object, double scale, CSize& size) override;

 protected:
  void CreateControls() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Asks for a picture to open (openFlag non-zero) or a name to save under. 1 with `path` set
// when the user chose one; 0 otherwise (path untouched), also when no Qt application runs.
// The string array and the last integer are not used.
KV_MEDIA_API int KvMediaSelectPicFile(int openFlag, int typeFilter, CString& path,
                                      CStringArray* names, CWnd* parent, int reserved);
// Opens a picture with adjustments: on OK `params` holds the panel's values.
KV_MEDIA_API int KvMediaSelectPicFileEx(int typeFilter, CString& path, CWnd* parent,
                                        SKvMediaAdjustParams* params);
#endif
