#include "ui/OpenPicDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "KvMediaFile/KvMediaResources.h"
#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/ModuleResources.h"
#include "platform/GlobalMemory.h"
#include "platform/Paths.h"
#include "ui/HostControls.h"
#include "ui/QtUiServices.h"

namespace {

// The name of a regular file in `folder` that equals `name` but for case, or "". Of several
// such files the first in byte order, so that the answer does not hang on the listing order.
CString FileNamedAlike(const CString& folder, const CString& name) {
  std::error_code error;
  std::vector<CString> alike;
  for (std::filesystem::directory_iterator it(folder.ToUtf8(), error), end; !error && it != end;
       it.increment(error)) {
    const CString entry = CString::FromUtf8(it->path().filename().string());
    if (entry.CompareNoCase(name) == 0 && KvDoesFileExist(folder + entry)) alike.push_back(entry);
  }
  if (alike.empty()) return CString();
  return *std::min_element(alike.begin(), alike.end(), [](const CString& a, const CString& b) {
    return a.ToUtf8() < b.ToUtf8();
  });
}

}  // namespace

CKvOpenPicDlg::CKvOpenPicDlg(int openFlag, int typeFilter, CString path, CWnd* parent,
                             SKvMediaAdjustParams* params)
    : CKvDialog(KV_IDD_OPEN_PICTURE, parent),
      m_panel(nullptr),
      m_params(params),
      m_typeFilter(typeFilter),
      m_path(path),
      m_openFlag(openFlag) {}

CKvOpenPicDlg::~CKvOpenPicDlg() = default;

HINSTANCE CKvOpenPicDlg::GetResourceHandle() { return KvMediaGetResourceHandle(); }

void CKvOpenPicDlg::CreateControls() {
  QWidget* w = KvDialogWidget(this);
  auto* layout = new QVBoxLayout(w);
  auto* frame = new QFrame(w);
  frame->setObjectName("1001");
  frame->setMinimumSize(900, 560);
  w->setMinimumSize(960, 660);
  layout->addWidget(frame, 1);
  auto* row = new QHBoxLayout;
  for (UINT id : {1002u, 1004u}) {
    auto* box = new QCheckBox(QString::fromWCharArray(TemplateText(id)), w);
    box->setObjectName(QString::number(id));
    QObject::connect(box, &QCheckBox::clicked, w, [this] { ReadChecks(); });
    row->addWidget(box);
  }
  row->addStretch(1);
  for (UINT id : {1u, 2u}) {
    auto* button = new QPushButton(QString::fromWCharArray(TemplateText(id)), w);
    button->setObjectName(QString::number(id));
    button->setDefault(id == 1);
    QObject::connect(button, &QPushButton::clicked, w, [this, id] {
      if (id == 1)
        OnOK();
      else
        OnCancel();
    });
    row->addWidget(button);
  }
  layout->addLayout(row);
}

BOOL CKvOpenPicDlg::OnInitDialog() {
  CKvDialog::OnInitDialog();
  CKvCtrlSkin skin;
  skin.SubClassWindowChildItem(GetSafeHwnd(), GetResourceHandle());
  if (!GetResourceHandle()) return 0;
  CString caption;
  CKvModuleRC::LoadStringW(GetResourceHandle(), m_openFlag ? 1100 : 1101, caption);
  SetWindowTextW(caption);
  m_panel.Create(m_openFlag, m_typeFilter, m_path, this, 1001, m_params);
  m_panel.ShowWindow(TRUE);
  KvDialogWidget(this)->adjustSize();
  CenterWindow();
  KvControl(KvDialogWidget(this), 1004)->setVisible(m_params == nullptr);
  return 1;
}

void CKvOpenPicDlg::ReadChecks() {
  QWidget* w = KvDialogWidget(this);
  m_simple = KvControl<QCheckBox>(w, 1002)->isChecked() ? 1 : 0;
  m_inPlace = KvControl<QCheckBox>(w, 1004)->isChecked() ? 1 : 0;
}

void CKvOpenPicDlg::OnOK() {
  ReadChecks();
  const HINSTANCE module = GetResourceHandle();
  if (m_openFlag) {
    const CString full = m_panel.GetFileFullPath();
    if (!KvDoesFileExist(full)) {
      CKvModuleRC::MessageBoxW(module, 1102, MB_OK | MB_ICONWARNING);
      return;
    }
    CRect rect;
    KvGlobalPtr pixels(KvMediaLoadPicFile(full, rect));
    if (pixels && !rect.IsRectEmpty() && !rect.IsRectNull()) {
      m_path = full;
      m_panel.GetAdjustParams(m_params);
      EndDialog(IDOK);
      return;
    }
    CKvModuleRC::MessageBoxW(module, 1103, MB_OK | MB_ICONWARNING);
    return;
  }
  const int index = m_panel.GetTypeIndex();
  CString name = m_panel.GetFileName();
  if (index < 0 || name.IsEmpty()) return;
  CString ext = KvPathExtension(name);
  ext.MakeUpper();
  if (ext != L".TGA" && ext != L".BMP" && ext != L".PCX" && ext != L".JPG") {
    // Lower case, as the files of this system are named: on Linux `zz.TGA` beside `zz.tga`
    // would be a second file.
    static const wchar_t* const kByPosition[] = {L".tga", L".bmp", L".pcx", L".jpg"};
    if (index > 3) return;
    name += kByPosition[index];
  }
  CString full = m_panel.GetFolder() + name;
  if (!KvDoesFileExist(full)) {
    // A name that differs from an existing file's only in case is that file to an operator:
    // ask as for the file itself, and overwrite that one rather than make a second.
    const CString existing = FileNamedAlike(m_panel.GetFolder(), name);
    if (existing.IsEmpty()) {
      m_path = full;
      EndDialog(IDOK);
      return;
    }
    full = m_panel.GetFolder() + existing;
  }
  if (CKvModuleRC::MessageBoxW(module, 1104, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return;
  m_path = full;
  EndDialog(IDOK);
}

namespace {

int RunDialog(int openFlag, int typeFilter, CString& path, CWnd* parent,
              SKvMediaAdjustParams* params) {
  KvClearFailure();
  if (!KvMediaGetResourceHandle()) return 0;
  if (!QApplication::instance()) return KvFail("no Qt application runs"), 0;
  const KvQtUiScope windows;
  CKvOpenPicDlg dialog(openFlag, typeFilter, path, parent, params);
  if (dialog.DoModal() != IDOK) return 0;
  path = dialog.GetPath();
  return 1;
}

}  // namespace

int KvMediaSelectPicFile(int openFlag, int typeFilter, CString& path, CStringArray*, CWnd* parent,
                         int) {
  return RunDialog(openFlag, typeFilter, path, parent, nullptr);
}

int KvMediaSelectPicFileEx(int typeFilter, CString& path, CWnd* parent,
                           SKvMediaAdjustParams* params) {
  return RunDialog(1, typeFilter, path, parent, params);
}
