#include "host/UiServices.h"

#include <atomic>
#include <cstdio>

#include "platform/Paths.h"

namespace {

class SilentProgress : public IKvProgress {
 public:
  void SetPercent(int) override {}
  void Pump() override {}
  bool Cancelled() override { return false; }
};

KvHeadlessUiServices& Headless() {
  static KvHeadlessUiServices services;
  return services;
}

std::atomic<IKvUiServices*> g_services{nullptr};

int RouteMessageBox(const CString& text, const CString& caption, UINT type) {
  return KvGetUiServices().MessageBox(text, caption, type, nullptr);
}

// The platform's own message box (exception reports) goes through the services too.
const bool g_hookInstalled = (KvSetMessageBoxHook(&RouteMessageBox), true);

}  // namespace

int KvHeadlessUiServices::MessageBox(const CString& text, const CString& caption, UINT type,
                                     CWnd*) {
  if (caption.IsEmpty())
    std::fprintf(stderr, "%s\n", text.ToUtf8().c_str());
  else
    std::fprintf(stderr, "%s: %s\n", caption.ToUtf8().c_str(), text.ToUtf8().c_str());
  return KvDefaultButton(type);
}

std::unique_ptr<IKvProgress> KvHeadlessUiServices::BeginProgress(const CString&, const CString&,
                                                                 bool, bool, CWnd*) {
  return std::make_unique<SilentProgress>();
}

bool KvHeadlessUiServices::ChooseFile(const KvFileDialogRequest&, CString& path) {
  path.Empty();
  return false;
}

IKvUiServices& KvGetUiServices() {
  IKvUiServices* s = g_services.load();
  return s ? *s : Headless();
}

IKvUiServices* KvSetUiServices(IKvUiServices* services) {
  (void)g_hookInstalled;
  return g_services.exchange(services);
}

BOOL CKvProgressDlg::Create(const wchar_t* title, const wchar_t* text, int showPercent,
                            int canCancel, int, CWnd* parent) {
  Close();
  m_progress = KvGetUiServices().BeginProgress(CString(title), CString(text), showPercent != 0,
                                               canCancel != 0, parent);
  return m_progress ? TRUE : FALSE;
}

void CKvProgressDlg::SetProgressPercent(int percent) {
  if (m_progress) m_progress->SetPercent(percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

void CKvProgressDlg::PumpMessages() {
  if (m_progress) m_progress->Pump();
}

BOOL CKvProgressDlg::CheckCancel() { return m_progress && m_progress->Cancelled() ? TRUE : FALSE; }

void CKvProgressDlg::Close() { m_progress.reset(); }

CKvFileDialog::CKvFileDialog(BOOL open, const wchar_t* defaultExt, const wchar_t* fileName,
                             DWORD flags, const wchar_t* filter, CWnd* parent) {
  m_request.open = open != FALSE;
  m_request.defaultExt = CString(defaultExt);
  m_request.fileName = CString(fileName);
  m_request.flags = flags;
  m_request.filter = CString(filter);
  m_request.parent = parent;
}

int CKvFileDialog::DoModal() {
  CString chosen;
  if (!KvGetUiServices().ChooseFile(m_request, chosen) || chosen.IsEmpty()) {
    m_path.Empty();
    return IDCANCEL;
  }
  // A name typed without extension takes the default one, as the original dialog does.
  if (!m_request.defaultExt.IsEmpty() && KvPathExtension(chosen).IsEmpty())
    chosen += CString(L".") + m_request.defaultExt;
  m_path = chosen;
  return IDOK;
}

CString CKvFileDialog::GetFileName() const {
  const KvPathParts p = KvSplitPath(m_path);
  return p.fname + p.ext;
}

CString CKvFileDialog::GetFileExt() const {
  const CString ext = KvPathExtension(m_path);
  return ext.IsEmpty() ? ext : ext.Mid(1);
}

CString CKvFileDialog::GetFileTitle() const { return KvSplitPath(m_path).fname; }
