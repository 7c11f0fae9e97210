// The host's skinned dialog and the browser callback of its list control, as the panel and
// the open-picture dialog use them. Declared without Qt types; the Qt side of these and of
// the controls lives in HostControls.h.
#pragma once

#include <memory>
#include <vector>

#include "KvMediaFile/KvMediaApi.h"
#include "platform/Dialogs.h"
#include "platform/Module.h"
#include "platform/String.h"
#include "platform/Window.h"

// One column of the list control: index, format, title, width, minimum width, visible.
struct SKvBrowserColumn {
  int nIndex = 0;
  int nFormat = 0;
  CString strTitle;
  int nWidth = 0;
  int nMinWidth = 0;
  int bVisible = 0;
};

enum EKvListMode { KV_LIST_REPORT = 0, KV_LIST_ICON = 1 };

// What the list control asks its owner: objects under a root, their columns, texts and
// icons.
class KV_MEDIA_API IKvGuiBrowserCB {
 public:
  virtual ~IKvGuiBrowserCB() = default;
  virtual int GetSubObjCount(void* parent) = 0;
  virtual void* GetSubObj(void* parent, int index) = 0;
  virtual int CanExpand(void*) { return 0; }
  virtual int GetColumnCount(void*) { return 1; }
  virtual int GetColumnInfo(void*, int, SKvBrowserColumn&) { return 0; }
  virtual int GetColString(void*, int, CString& text) {
    text.Empty();
    return 0;
  }
  // Thumbnail bytes (24-bit, bottom-up, rows padded to 4 bytes) and their size, or null.
  virtual DWORD* GetIconBuf(void*, double, CSize&) { return nullptr; }
};

// The skinned frame: title areas and the lock of a frame being rebuilt.
class KV_MEDIA_API CKvFrameSkin {
 public:
  virtual ~CKvFrameSkin() = default;
  virtual CRect KvGetTitleRect() { return CRect(); }
  virtual CRect KvGetTitleItemRect(int) { return CRect(); }
  virtual void KvOnLock(BOOL) {}
};

// The host's dialog: a window whose controls are made by CreateControls (the template)
// before OnInitDialog. As a child (DlgCreate) it lives in its parent; DoModal runs it alone.
class KV_MEDIA_API CKvDialog : public CWnd, public CKvFrameSkin {
 public:
  CKvDialog(UINT templateId, CWnd* parent);
  ~CKvDialog() override;
  CKvDialog(const CKvDialog&) = delete;
  CKvDialog& operator=(const CKvDialog&) = delete;

  // Makes the dialog as a child window of `parent`; TRUE when made and initialised.
  BOOL DlgCreate(HINSTANCE module, UINT templateId, CWnd* parent);
  BOOL Create(UINT templateId, CWnd* parent) {
    return DlgCreate(GetResourceHandle(), templateId, parent);
  }
  // IDOK, IDCANCEL or what EndDialog was given; -1 when the window cannot be made.
  int DoModal();
  // Makes the window as DoModal does without running it, for a host (or a test) that runs
  // its own event loop.
  BOOL CreateTopLevel() { return MakeWindow(m_parent, false) ? TRUE : FALSE; }
  void EndDialog(int result);

  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // A popup-mode dialog hears of a click outside it here; it cancels by default.
  virtual void OnClickOutDlgInPopupMode() { OnCancel(); }
  void SetPopupMode(BOOL popup) { m_popup = popup != FALSE; }
  virtual HINSTANCE GetResourceHandle() { return nullptr; }

  void SetWindowTextW(const wchar_t* text);
  CWnd* ThisWnd() { return this; }
  // The control of an id, or null; the object belongs to the dialog.
  CWnd* GetDlgItem(UINT id);
  void ShowWindow(BOOL show);
  void CenterWindow();
  BOOL IsWindowMade() const;
  UINT GetTemplateId() const { return m_templateId; }

  // CWnd
  void GetClientRect(RECT* rect) const override;
  BOOL IsChildWindow() const override;
  CRect GetRectInParent() const override;
  void MoveWindow(const RECT& rectInParent, BOOL repaint = TRUE) override;
  CDC* GetDC() override { return nullptr; }
  int ReleaseDC(CDC*) override { return 0; }

  struct Native;
  Native& GetNative() { return *m_native; }

 protected:
  // Makes the template's controls in the dialog's window.
  virtual void CreateControls() {}
  // The text of one of the template's controls, from the resources.
  CString TemplateText(UINT controlId);

 private:
  bool MakeWindow(CWnd* parent, bool child);

  UINT m_templateId;
  CWnd* m_parent;
  HINSTANCE m_module = nullptr;
  bool m_popup = false;
  std::unique_ptr<Native> m_native;
};
