#include "ui/PicfilePanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTreeView>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>

#include "KvMediaFile/KvClipMedia.h"
#include "KvMediaFile/KvMediaResources.h"
#include "KvMediaFile/KvMediaUi.h"
#include "KvMediaFile/KvPicture.h"
#include "host/FileName.h"
#include "host/ModuleResources.h"
#include "platform/Bitmap.h"
#include "platform/Exceptions.h"
#include "platform/GlobalMemory.h"
#include "platform/Paths.h"
#include "ui/FolderReader.h"
#include "ui/FolderTree.h"
#include "ui/HostControls.h"
#include "ui/MountDrives.h"
#include "ui/QtNames.h"

// ---- rules ----

std::vector<unsigned> KvPanelTypeTextIds(int openFlag, int typeFilter) {
  static constexpr unsigned kByType[] = {1110, 1111, 1112, 1113, 1114, 1122, 1115};
  if (typeFilter >= 1 && typeFilter <= 7) return {kByType[typeFilter - 1]};
  if (typeFilter != 0) return {};
  if (openFlag) return {1109, 1110, 1111, 1112, 1113, 1114, 1122, 1115};
  return {1110, 1111, 1113, 1114, 1115};
}

CString KvPanelPattern(int openFlag, int index) {
  static const wchar_t* const kOpen[] = {
      kKvClipPictureTypes, L"tga,", L"bmp,", L"gif,", L"pcx,", L"jpg,", L"png,", L"psd,"};
  static const wchar_t* const kSave[] = {L"tga,", L"bmp,", L"pcx,", L"jpg,", L"psd,"};
  if (openFlag) return index >= 0 && index < 8 ? kOpen[index] : L"";
  return index >= 0 && index < 5 ? kSave[index] : L"";
}

CString KvFileSizeText(unsigned long long size) {
  CString text;
  text.Format(L"%dKB", static_cast<int>(static_cast<DWORD>(size) / 1024));
  return text;
}

CString KvPicSizeText(int width, int height, int bits) {
  CString text;
  text.Format(L"%d X %d (%d)", width, height, bits);
  return text;
}

int KvClampLevel(int value) { return std::clamp(value, 0, 255); }

int KvSpinLevel(int value, int delta) {
  return KvClampLevel(value + (delta == -1 ? 1 : delta == 1 ? -1 : 0));
}

namespace {

CString CurrentFolder() {
  std::error_code error;
  const std::string cwd = std::filesystem::current_path(error).string();
  CString folder = CString::FromUtf8(cwd);
  if (folder.IsEmpty() || folder[folder.GetLength() - 1] != L'/') folder += L'/';
  return folder;
}

QString Q(const CString& s) { return KvQString(s); }
CString C(const QString& s) { return KvCString(s); }

// A template control is found by its id, as its object name.
template <class T>
T* Named(T* widget, UINT id) {
  widget->setObjectName(QString::number(id));
  return widget;
}

// Edit, spin and value index of each level control.
struct LevelControl {
  UINT edit, spin;
  int value;
};
constexpr LevelControl kLevels[] = {{1031, 1032, 1}, {1034, 1035, 3}, {1038, 1039, 5},
                                    {1041, 1042, 6}, {1044, 1045, 7}, {1047, 1048, 9}};
// Check box and value index of each switch, with the levels it enables.
struct SwitchControl {
  UINT check;
  int value;
  std::vector<UINT> enables;
};
const SwitchControl kSwitches[] = {
    {1030, 0, {1031, 1032}},
    {1033, 2, {1034, 1035}},
    {1036, 4, {1038, 1039, 1041, 1042, 1044, 1045}},
    {1046, 8, {1047, 1048}},
    {1049, 10, {}},
};

// Lets Enter, keypad Enter and Escape pass through the panel to the window that holds it
// (the dialog's OK and Cancel); the panel, a dialog itself, would otherwise take them.
class PassDialogKeys : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) return false;
    event->ignore();  // ignored and filtered: Qt hands it on to the parent
    return true;
  }
};

}  // namespace

// ---- the panel ----

struct CKvPicfilePanelDlg::Impl {
  explicit Impl(CKvPicfilePanelDlg* owner) : self(owner), folder(CurrentFolder()) {}
  ~Impl() { reader.reset(); }

  QWidget* Window() { return KvDialogWidget(self); }
  template <class T = QWidget>
  T* Item(UINT id) {
    return KvControl<T>(Window(), id);
  }

  void FillCBDriveType();
  void FillCBFileType();
  void SelectDrive(int index);
  void InitSelectDirectory(CString path);
  void OnTreeSelection(const QModelIndex& index);
  void Receive(const SKvFolderDelivery& delivery);
  void OnListCtrlNotify();
  void DrawPreview();
  void ShowTexts();
  void MembersToControls();
  void ShowStatus();
  // The template, in the order of its controls: the folder tree with the drive list, the
  // list's place, the type and name row and the preview; then the adjustments.
  QLabel* Label(UINT id, bool withId);
  void AddBrowser(QGridLayout& grid);
  void AddAdjustments(QGridLayout& grid);

  CKvPicfilePanelDlg* self;
  CString reason;  // of the last finished listing
  CString folder, name, fileSizeText, picSizeText;
  int openFlag = 1, typeFilter = 0;
  bool ready = false, followTree = false, reading = false;
  SKvMediaAdjustParams* params = nullptr;
  CKvDialog* host = nullptr;  // the dialog holding the panel, if any
  std::array<int, 11> adjust{};
  std::map<UINT, CString> texts;
  std::vector<SKvDrive> drives;
  std::vector<QIcon> driveImages;

  CKvCtrlSkin skin;
  CKvComboBox* typeBox = nullptr;
  CKvComboBox* driveBox = nullptr;
  CKvListCtrl* list = nullptr;
  QTreeView* tree = nullptr;
  CKvFolderModel* folders = nullptr;
  CKvCanvasWidget* preview = nullptr;
  std::unique_ptr<CKvQtWnd> previewWnd;
  QLabel* status = nullptr;

  CKvObList records;
  std::vector<CKvClipMedia*> byIndex;
  CString pendingName;
  int done = 0, total = 0;
  unsigned generation = 0;
  QObject context;
  std::unique_ptr<CKvFolderReader> reader;
};

CKvPicfilePanelDlg::CKvPicfilePanelDlg(CWnd* parent)
    : CKvDialog(KV_IDD_PICFILE_PANEL, parent), m_impl(std::make_unique<Impl>(this)) {}

CKvPicfilePanelDlg::~CKvPicfilePanelDlg() {
  ClearMem();
  m_impl->reader.reset();
}

HINSTANCE CKvPicfilePanelDlg::GetResourceHandle() { return KvMediaGetResourceHandle(); }

int CKvPicfilePanelDlg::Create(int openFlag, int typeFilter, CString path, CWnd* parent,
                               UINT placeholderId, SKvMediaAdjustParams* params) {
  Impl& m = *m_impl;
  m.fileSizeText.Empty();
  m.picSizeText.Empty();
  m.typeFilter = typeFilter;
  m.params = params;
  m.host = dynamic_cast<CKvDialog*>(parent);
  m.followTree = false;
  if (!path.IsEmpty() && !KvDoesFileExist(path)) path.Empty();
  if (path.IsEmpty()) {
    m.folder = CurrentFolder();
    m.name.Empty();
  } else {
    const KvPathParts parts = KvSplitPath(path);
    m.folder = parts.drive + parts.dir;
    m.name = parts.fname + parts.ext;
  }
  m.openFlag = openFlag;
  for (UINT id :
       {1105u, 1106u, 1107u, 1108u, 1109u, 1110u, 1111u, 1112u, 1113u, 1114u, 1115u, 1122u})
    CKvModuleRC::LoadStringW(GetResourceHandle(), id, m.texts[id]);
  const BOOL made = DlgCreate(GetResourceHandle(), KV_IDD_PICFILE_PANEL, parent);
  if (made) CKvWnd::KvCreateChildWnd(m.Window(), KvQtWidgetOf(parent), placeholderId);
  return made;
}

void CKvPicfilePanelDlg::CreateControls() {
  Impl& m = *m_impl;
  QWidget* w = m.Window();
  auto* grid = new QGridLayout(w);
  grid->setContentsMargins(4, 4, 4, 4);
  m.AddBrowser(*grid);
  m.AddAdjustments(*grid);
  m.status = new QLabel(w);
  m.status->setObjectName("status");
  grid->addWidget(m.status, 3, 0, 1, 3);
  grid->setRowStretch(0, 1);
  grid->setColumnStretch(2, 1);
}

QLabel* CKvPicfilePanelDlg::Impl::Label(UINT id, bool withId) {
  auto* l = new QLabel(Q(self->TemplateText(id)), Window());
  return withId ? Named(l, id) : l;
}

void CKvPicfilePanelDlg::Impl::AddBrowser(QGridLayout& grid) {
  QWidget* w = Window();
  auto* left = new QVBoxLayout;
  left->addWidget(Label(1012, false));
  left->addWidget(Named(new CKvComboBox(w), 1012));
  tree = Named(new QTreeView(w), 1014);
  left->addWidget(tree, 1);
  grid.addLayout(left, 0, 0, 3, 1);
  grid.setColumnMinimumWidth(0, 220);

  auto* placeholder = Named(new QWidget(w), 1013);
  placeholder->setMinimumSize(560, 300);
  grid.addWidget(placeholder, 0, 1, 1, 2);

  auto* row = new QHBoxLayout;
  row->addWidget(Label(1018, false));
  row->addWidget(Named(new CKvComboBox(w), 1018), 1);
  row->addWidget(Label(1019, false));
  auto* nameEdit = Named(new QLineEdit(w), 1019);
  nameEdit->setMinimumWidth(200);
  row->addWidget(nameEdit, 1);
  grid.addLayout(row, 1, 1, 1, 2);
  QObject::connect(nameEdit, &QLineEdit::textEdited, w,
                   [this](const QString& text) { name = C(text); });

  preview = Named(new CKvCanvasWidget(w), 1017);
  preview->setFixedSize(180, 135);
  previewWnd = std::make_unique<CKvQtWnd>(preview);
  preview->onResize = [this] { DrawPreview(); };
  grid.addWidget(preview, 2, 1);
}

void CKvPicfilePanelDlg::Impl::AddAdjustments(QGridLayout& grid) {
  QWidget* w = Window();
  auto* lower = new QGridLayout;
  for (UINT id : {1020u, 1022u, 1024u}) {
    const int r = static_cast<int>(id - 1020) / 2;
    lower->addWidget(Label(id, true), r, 0);
    auto* text = new QLabel(w);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lower->addWidget(Named(text, id + 1), r, 1, 1, 8);
  }
  const auto check = [&](UINT id) {
    auto* box = Named(new QCheckBox(Q(self->TemplateText(id)), w), id);
    QObject::connect(box, &QCheckBox::toggled, w, [this] {
      for (const SwitchControl& s : kSwitches)
        adjust[s.value] = Item<QCheckBox>(s.check)->isChecked() ? 1 : 0;
      self->EnableAdjustCtrl();
    });
    return box;
  };
  const auto level = [&](const LevelControl& c, int r, int col) {
    auto* edit = Named(new QLineEdit(w), c.edit);
    edit->setMaxLength(4);
    edit->setFixedWidth(40);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("\\d{0,4}"), edit));
    QObject::connect(edit, &QLineEdit::textChanged, w, [this, edit, c](const QString& text) {
      // An emptied box means 0, as the spin control then counts from; it stays empty while
      // the operator types.
      const int value = text.isEmpty() ? 0 : KvClampLevel(text.toInt());
      adjust[c.value] = value;
      if (!text.isEmpty() && text != QString::number(value)) edit->setText(QString::number(value));
    });
    auto* spin = Named(new CKvSpinButton(w), c.spin);
    QObject::connect(spin, &CKvSpinButton::deltaPos, w, [this, edit, c](int delta) {
      adjust[c.value] = KvSpinLevel(adjust[c.value], delta);
      edit->setText(QString::number(adjust[c.value]));
    });
    lower->addWidget(edit, r, col);
    lower->addWidget(spin, r, col + 1);
  };
  lower->addWidget(check(1030), 3, 0);
  level(kLevels[0], 3, 1);
  lower->addWidget(check(1033), 3, 3);
  level(kLevels[1], 3, 4);
  lower->addWidget(check(1036), 4, 0);
  for (int i = 0; i < 3; ++i) {
    lower->addWidget(Label(1037 + 3 * i, true), 4, 1 + 3 * i, Qt::AlignRight);
    level(kLevels[2 + i], 4, 2 + 3 * i);
  }
  lower->addWidget(check(1046), 5, 0);
  level(kLevels[5], 5, 1);
  lower->addWidget(check(1049), 5, 3);
  lower->setColumnStretch(9, 1);
  grid.addLayout(lower, 2, 2);
}

BOOL CKvPicfilePanelDlg::OnInitDialog() {
  CKvDialog::OnInitDialog();
  Impl& m = *m_impl;
  m.skin.SubClassWindowChildItem(GetSafeHwnd(), GetResourceHandle());
  m.typeBox = m.skin.Combo(1018);
  m.driveBox = m.skin.Combo(1012);
  m.folders = new CKvFolderModel(m.tree);
  m.tree->setModel(m.folders);
  m.tree->setUniformRowHeights(true);  // a folder of thousands of folders lays out at once
  QObject::connect(m.tree, &QTreeView::collapsed, m.folders, &CKvFolderModel::MarkStale);
  QObject::connect(m.tree, &QTreeView::expanded, m.folders, &CKvFolderModel::Refresh);
  m.tree->header()->hide();
  m.tree->setStyleSheet("QTreeView { background-color: rgb(161, 158, 156); }");
  m.FillCBDriveType();
  m.FillCBFileType();
  if (m.params) SetAdjustParams(m.params);
  ShowMediaAdjustCtrl(m.params);
  EnableAdjustCtrl();

  m.list = new CKvListCtrl(m.Window());
  m.list->setFont(CKvGuiFont::GetFont());
  m.list->SetBrowseMode(KV_LIST_ICON, 1);
  CKvWnd::KvCreateChildWnd(m.list, m.Window(), 1013);
  QObject::connect(m.list, &CKvListCtrl::notify, m.Window(), [&m] { m.OnListCtrlNotify(); });
  // A double-click on a thumbnail is the holding dialog's OK.
  QObject::connect(m.list, &QAbstractItemView::doubleClicked, m.Window(),
                   [&m](const QModelIndex& index) {
                     if (index.isValid() && m.host) m.host->OnOK();
                   });
  m.Window()->installEventFilter(new PassDialogKeys(m.Window()));
  QObject::connect(m.driveBox, &QComboBox::currentIndexChanged, m.Window(),
                   [&m](int index) { m.SelectDrive(index); });
  QObject::connect(m.typeBox, &QComboBox::currentIndexChanged, m.Window(),
                   [this](int index) { SelectFileType(index); });
  QObject::connect(m.tree->selectionModel(), &QItemSelectionModel::currentChanged, m.Window(),
                   [&m](const QModelIndex& index) { m.OnTreeSelection(index); });
  m.reader = std::make_unique<CKvFolderReader>([&m](SKvFolderDelivery delivery) {
    QMetaObject::invokeMethod(
        &m.context, [&m, delivery = std::move(delivery)] { m.Receive(delivery); },
        Qt::QueuedConnection);
  });

  // Listing clears the name; the start file is then looked for among the records.
  const CString start = m.name;
  m.InitSelectDirectory(m.folder);
  m.followTree = true;
  SelectFileType(m.typeBox->currentIndex());
  InitListCtrlCurrentFile(start);
  m.ready = true;
  m.MembersToControls();
  return TRUE;
}

void CKvPicfilePanelDlg::Impl::FillCBDriveType() {
  driveImages.clear();
  for (UINT id : {1200u, 1202u, 1201u, 1203u}) {
    CRect rect;
    DWORD* pixels = KvMediaLoadBMPInRC(KvMediaGetResourceHandle(), MAKEINTRESOURCEW(id), rect);
    QImage image;
    if (pixels) {
      image = QImage(reinterpret_cast<const uchar*>(pixels), rect.Width(), rect.Height(),
                     QImage::Format_ARGB32)
                  .copy();
      GlobalFree(pixels);
      // White is the mask.
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
          const QRgb p = image.pixel(x, y);
          image.setPixel(x, y, (p & 0xFFFFFF) == 0xFFFFFF ? 0 : (p | 0xFF000000u));
        }
    }
    driveImages.push_back(QIcon(QPixmap::fromImage(image)));
  }
  // Image list order: removable, remote, fixed, optical.
  static constexpr int kImage[] = {0, 2, 1, 3};
  const QSignalBlocker block(driveBox);
  driveBox->clear();
  drives = KvListDrives();
  for (const SKvDrive& drive : drives)
    driveBox->addItem(driveImages[kImage[static_cast<int>(drive.kind)]], Q(drive.text));
  driveBox->setCurrentIndex(drives.empty() ? -1 : 0);
}

void CKvPicfilePanelDlg::Impl::FillCBFileType() {
  const QSignalBlocker block(typeBox);
  typeBox->clear();
  for (unsigned id : KvPanelTypeTextIds(openFlag, typeFilter)) typeBox->addItem(Q(texts[id]));
  typeBox->setCurrentIndex(typeBox->count() ? 0 : -1);
}

void CKvPicfilePanelDlg::Impl::SelectDrive(int index) {
  if (index < 0 || index >= static_cast<int>(drives.size())) {
    folders->SetRoot(CString());
    return;
  }
  folders->SetRoot(drives[index].mountPoint);
  // The drive itself is the first folder; the tree's nodes are below it.
  folder = drives[index].mountPoint;
  if (folder[folder.GetLength() - 1] != L'/') folder += L'/';
  if (followTree) self->SelectFileType(typeBox->currentIndex());
}

// By value: selecting the drive changes `folder`, which callers pass.
void CKvPicfilePanelDlg::Impl::InitSelectDirectory(CString path) {
  // The drive whose mount point holds the folder most closely.
  const std::string target = path.ToUtf8();
  int best = -1;
  std::size_t bestLength = 0;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    std::string point = drives[i].mountPoint.ToUtf8();
    if (point.size() > 1 && point.back() == '/') point.pop_back();
    const bool holds = point == "/" || target == point || target.rfind(point + "/", 0) == 0;
    if (holds && point.size() >= bestLength) best = static_cast<int>(i), bestLength = point.size();
  }
  if (best < 0) return;
  {
    const QSignalBlocker block(driveBox);
    driveBox->setCurrentIndex(best);
  }
  SelectDrive(best);
  const QModelIndex index = folders->Find(path);
  if (index.isValid()) {
    tree->setCurrentIndex(index);
    tree->scrollTo(index);
  }
  folder = path;
}

void CKvPicfilePanelDlg::Impl::OnTreeSelection(const QModelIndex& index) {
  if (!index.isValid()) return;
  CString path = folders->PathOf(index);
  if (path.IsEmpty() || path[path.GetLength() - 1] != L'/') path += L'/';
  folder = path;
  if (!followTree) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  self->SelectFileType(typeBox->currentIndex());
  QApplication::restoreOverrideCursor();
}

void CKvPicfilePanelDlg::SelectFileType(int index) {
  Impl& m = *m_impl;
  m.records.DeleteAll();
  m.byIndex.clear();
  m.pendingName.Empty();
  // A reset list drops its selection without a signal: the name, sizes and preview follow
  // through the selection's own path.
  if (m.list) {
    m.list->SetBrowsedTarget(this, this, 0, 0);
    m.OnListCtrlNotify();
  }
  ++m.generation;
  m.done = m.total = 0;
  m.reason.Empty();
  const CString pattern = KvPanelPattern(m.openFlag, index);
  if (pattern.IsEmpty() || !m.reader) {
    if (m.reader) m.reader->CancelAll(m.generation);
    m.reading = false;
  } else {
    m.reading = true;
    m.reader->Read(m.generation, m.folder, m.folder + L"PicMedia.pmf", pattern);
  }
  m.ShowStatus();
}

void CKvPicfilePanelDlg::Impl::ShowStatus() {
  if (!status) return;
  CString text;
  if (reading && ready) {
    CKvModuleRC::LoadStringW(KvMediaGetResourceHandle(), 1116, text);
    if (total > 0) {
      CString count;
      count.Format(L" %d/%d", done, total);
      text += count;
    }
  } else if (!reason.IsEmpty()) {
    text = reason;
  }
  status->setText(Q(text));
}

void CKvPicfilePanelDlg::Impl::Receive(const SKvFolderDelivery& delivery) {
  if (delivery.generation != generation) return;
  done = delivery.done, total = delivery.total;
  if (delivery.batch) {
    for (auto& record : *delivery.batch) {
      byIndex.push_back(record.get());
      records.AddTail(record.release());
    }
  }
  if (delivery.finished) {
    reading = false;
    reason = delivery.reason;
    if (!delivery.ok) {
      records.DeleteAll();
      byIndex.clear();
      list->SetBrowsedTarget(self, self, 0, 0);
      OnListCtrlNotify();
    }
  }
  list->SyncItems();
  if (!pendingName.IsEmpty()) {
    for (CKvClipMedia* record : byIndex) {
      if (record->GetPureFileName().CompareNoCase(pendingName) != 0) continue;
      pendingName.Empty();
      list->LineOutItem(record);
      break;
    }
  }
  ShowStatus();
}

void CKvPicfilePanelDlg::InitListCtrlCurrentFile(CString name) {
  m_impl->pendingName = name;
  m_impl->Receive({m_impl->generation, nullptr, m_impl->done, m_impl->total, false, false, {}});
}

void CKvPicfilePanelDlg::Impl::OnListCtrlNotify() {
  name.Empty();
  fileSizeText.Empty();
  picSizeText.Empty();
  std::vector<void*> selected;
  list->GetSelectArray(selected);
  if (!selected.empty()) {
    // The operator's choice (or the start file found) ends the wait for the start file.
    pendingName.Empty();
    const auto* record = static_cast<CKvClipMedia*>(selected.front());
    name = record->GetPureFileName();
    fileSizeText = KvFileSizeText(record->GetFileSize());
    picSizeText =
        KvPicSizeText(record->GetPicSize().cx, record->GetPicSize().cy, record->GetBits());
  }
  DrawPreview();
  ShowTexts();
}

void CKvPicfilePanelDlg::Impl::DrawPreview() {
  if (previewWnd) KvMediaFileFillWnd(previewWnd.get(), folder + name, 0, 0, 1);
}

void CKvPicfilePanelDlg::Impl::ShowTexts() {
  Item<QLineEdit>(1019)->setText(Q(name));
  Item<QLabel>(1021)->setText(Q(folder));
  Item<QLabel>(1023)->setText(Q(fileSizeText));
  Item<QLabel>(1025)->setText(Q(picSizeText));
}

void CKvPicfilePanelDlg::Impl::MembersToControls() {
  ShowTexts();
  for (const SwitchControl& s : kSwitches) {
    const QSignalBlocker block(Item(s.check));
    Item<QCheckBox>(s.check)->setChecked(adjust[s.value] != 0);
  }
  for (const LevelControl& c : kLevels)
    Item<QLineEdit>(c.edit)->setText(QString::number(adjust[c.value]));
}

void CKvPicfilePanelDlg::SetAdjustParams(SKvMediaAdjustParams* params) {
  if (!params) return;
  std::memcpy(m_impl->adjust.data(), params, sizeof *params);
  if (IsWindowMade() && m_impl->ready) {
    m_impl->MembersToControls();
    EnableAdjustCtrl();
  }
}

void CKvPicfilePanelDlg::GetAdjustParams(SKvMediaAdjustParams* params) {
  if (params) std::memcpy(params, m_impl->adjust.data(), sizeof *params);
}

CString CKvPicfilePanelDlg::GetFileFullPath() { return m_impl->folder + m_impl->name; }
CString CKvPicfilePanelDlg::GetFolder() const { return m_impl->folder; }
CString CKvPicfilePanelDlg::GetFileName() { return m_impl->name; }
int CKvPicfilePanelDlg::GetTypeIndex() const {
  return m_impl->typeBox ? m_impl->typeBox->currentIndex() : -1;
}
bool CKvPicfilePanelDlg::IsReading() const { return m_impl->reading; }
int CKvPicfilePanelDlg::GetRecordCount() const { return static_cast<int>(m_impl->byIndex.size()); }

void CKvPicfilePanelDlg::SelectFolder(CString folder) {
  if (!m_impl->Window()) return;  // nothing to show it in until Create
  if (folder.IsEmpty() || folder[folder.GetLength() - 1] != L'/') folder += L'/';
  Impl& m = *m_impl;
  m.followTree = false;
  m.InitSelectDirectory(folder);
  m.followTree = true;
  SelectFileType(GetTypeIndex());
  m.ShowTexts();
}

int CKvPicfilePanelDlg::ShowMediaAdjustCtrl(SKvMediaAdjustParams* params) {
  for (UINT id = 1020; id <= 1025; ++id)
    if (QWidget* item = m_impl->Item(id)) item->setVisible(params == nullptr);
  for (UINT id = 1030; id <= 1049; ++id)
    if (QWidget* item = m_impl->Item(id)) item->setVisible(params != nullptr);
  return 1;
}

void CKvPicfilePanelDlg::EnableAdjustCtrl() {
  if (!m_impl->Window()) return;  // no controls until Create
  for (const SwitchControl& s : kSwitches) {
    if (s.check != 1049) m_impl->Item(s.check)->setEnabled(true);
    for (UINT id : s.enables) m_impl->Item(id)->setEnabled(m_impl->adjust[s.value] != 0);
  }
}

void CKvPicfilePanelDlg::ClearMem() { m_impl->driveImages.clear(); }

int CKvPicfilePanelDlg::GetSubObjCount(void*) { return static_cast<int>(m_impl->byIndex.size()); }

void* CKvPicfilePanelDlg::GetSubObj(void*, int index) {
  if (m_impl->byIndex.empty()) return nullptr;
  if (index < 0 || index >= static_cast<int>(m_impl->byIndex.size())) throw CInvalidArgException();
  return m_impl->byIndex[static_cast<std::size_t>(index)];
}

int CKvPicfilePanelDlg::CanExpand(void*) { return 0; }
int CKvPicfilePanelDlg::GetColumnCount(void*) { return 4; }

int CKvPicfilePanelDlg::GetColumnInfo(void*, int index, SKvBrowserColumn& column) {
  static const wchar_t* const kTitles[] = {L"目录", L"类型", L"尺寸", L"修改时间"};
  column = {index, 0, index >= 0 && index < 4 ? kTitles[index] : L"", 140, 100, 1};
  return 1;
}

int CKvPicfilePanelDlg::GetColString(void* object, int, CString& text) {
  text = static_cast<CKvClipMedia*>(object)->GetFileTitle();
  return 1;
}

DWORD* CKvPicfilePanelDlg::GetIconBuf(void* object, double, CSize& size) {
  const CKvIconObj& icon = static_cast<CKvClipMedia*>(object)->GetIcon();
  size = icon.GetIconSize();
  return reinterpret_cast<DWORD*>(const_cast<BYTE*>(icon.GetIconBits()));
}
