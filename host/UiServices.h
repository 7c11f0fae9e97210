// The user-interface services of the host: message boxes, progress dialogs and file dialogs,
// behind one small interface. The default is headless (messages to standard error, progress
// silent, file dialogs cancelled); the command-line tool installs a terminal one, the Qt
// layer a windowed one, tests a recording one.
#pragma once

#include <memory>

#include "platform/Dialogs.h"
#include "platform/String.h"
#include "platform/Window.h"

class IKvProgress {
 public:
  virtual ~IKvProgress() = default;
  virtual void SetPercent(int percent) = 0;
  // Gives the user interface a chance to run (repaint, notice the cancel button).
  virtual void Pump() = 0;
  virtual bool Cancelled() = 0;
};

struct KvFileDialogRequest {
  bool open = true;
  CString title;
  CString defaultExt;
  CString fileName;
  DWORD flags = 0;
  // Pairs of text and pattern separated by '|', ending with "||".
  CString filter;
  CWnd* parent = nullptr;
};

class IKvUiServices {
 public:
  virtual ~IKvUiServices() = default;
  // Shows a message; returns the button pressed (IDOK, IDYES ...).
  virtual int MessageBox(const CString& text, const CString& caption, UINT type, CWnd* parent) = 0;
  // Shows a progress dialog until the returned object is destroyed.
  virtual std::unique_ptr<IKvProgress> BeginProgress(const CString& title, const CString& text,
                                                     bool showPercent, bool canCancel,
                                                     CWnd* parent) = 0;
  // Asks for a file; true with the chosen path, false when cancelled.
  virtual bool ChooseFile(const KvFileDialogRequest& request, CString& path) = 0;
};

class KV_HOST_API KvHeadlessUiServices : public IKvUiServices {
 public:
  int MessageBox(const CString& text, const CString& caption, UINT type, CWnd* parent) override;
  std::unique_ptr<IKvProgress> BeginProgress(const CString& title, const CString& text,
                                             bool showPercent, bool canCancel,
                                             CWnd* parent) override;
  bool ChooseFile(const KvFileDialogRequest& request, CString& path) override;
};

KV_HOST_API IKvUiServices& KvGetUiServices();
// Installs services (not owned) and returns the previous ones; null restores the headless
// default.
KV_HOST_API IKvUiServices* KvSetUiServices(IKvUiServices* services);

// The host's progress dialog.
class KV_HOST_API CKvProgressDlg {
 public:
  CKvProgressDlg() = default;
  ~CKvProgressDlg() { Close(); }
  CKvProgressDlg(const CKvProgressDlg&) = delete;
  CKvProgressDlg& operator=(const CKvProgressDlg&) = delete;

  // Shows the dialog with a title and a text; the integers ask for a percentage bar and a
  // cancel button (the third is reserved).
  BOOL Create(const wchar_t* title, const wchar_t* text, int showPercent, int canCancel,
              int reserved, CWnd* parent);
  void SetProgressPercent(int percent);
  void PumpMessages();
  BOOL CheckCancel();
  void Close();

 private:
  std::unique_ptr<IKvProgress> m_progress;
};

enum : DWORD {
  OFN_READONLY = 0x00000001,
  OFN_OVERWRITEPROMPT = 0x00000002,
  OFN_HIDEREADONLY = 0x00000004,
  OFN_PATHMUSTEXIST = 0x00000800,
  OFN_FILEMUSTEXIST = 0x00001000,
};

// The host's file dialog.
class KV_HOST_API CKvFileDialog {
 public:
  CKvFileDialog(BOOL open, const wchar_t* defaultExt, const wchar_t* fileName, DWORD flags,
                const wchar_t* filter, CWnd* parent);
  ~CKvFileDialog() = default;

  void SetTitle(const CString& title) { m_request.title = title; }
  // IDOK with a chosen path, IDCANCEL otherwise.
  int DoModal();
  CString GetPathName() const { return m_path; }
  CString GetFileName() const;
  CString GetFileExt() const;
  CString GetFileTitle() const;

 private:
  KvFileDialogRequest m_request;
  CString m_path;
};
