#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/Exceptions.h"
#include "ui/HostControls.h"
#include "ui/QtNames.h"

CKvDialogWindow::CKvDialogWindow(CKvDialog* owner, QWidget* parent, bool popup)
    : QDialog(parent), m_owner(owner), m_popup(popup) {}

void CKvDialogWindow::accept() { m_owner->OnOK(); }
void CKvDialogWindow::reject() { m_owner->OnCancel(); }

void CKvDialogWindow::mousePressEvent(QMouseEvent* event) {
  if (m_popup && !rect().contains(event->position().toPoint())) {
    m_owner->OnClickOutDlgInPopupMode();
    return;
  }
  QDialog::mousePressEvent(event);
}

QWidget* KvDialogWidget(CKvDialog* dialog) {
  return dialog ? dialog->GetNative().window.data() : nullptr;
}

CKvDialog::CKvDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId), m_parent(parent), m_native(std::make_unique<Native>()) {}

CKvDialog::~CKvDialog() { delete m_native->window.data(); }

bool CKvDialog::MakeWindow(CWnd* parent, bool child) {
  if (!QApplication::instance()) return false;
  delete m_native->window.data();
  m_native->items.clear();
  QWidget* parentWidget = KvQtWidgetOf(parent);
  if (child && !parentWidget) return false;
  auto* window = new CKvDialogWindow(this, parentWidget, m_popup && !child);
  if (child)
    window->setWindowFlags(Qt::Widget);
  else if (m_popup)
    window->setWindowFlags(Qt::Popup);
  window->setObjectName(QString::number(m_templateId));
  m_native->window = window;
  CreateControls();
  OnInitDialog();
  return true;
}

BOOL CKvDialog::DlgCreate(HINSTANCE module, UINT templateId, CWnd* parent) {
  m_module = module;
  m_templateId = templateId;
  return MakeWindow(parent, true) ? TRUE : FALSE;
}

int CKvDialog::DoModal() {
  if (!MakeWindow(m_parent, false)) return -1;
  return m_native->window->exec();
}

void CKvDialog::EndDialog(int result) {
  CKvDialogWindow* window = m_native->window;
  if (!window) return;
  if (window->isWindow())
    window->done(result);
  else
    window->hide();
}

void CKvDialog::SetWindowTextW(const wchar_t* text) {
  if (m_native->window) m_native->window->setWindowTitle(QString::fromWCharArray(text));
}

CWnd* CKvDialog::GetDlgItem(UINT id) {
  QWidget* widget = KvControl(m_native->window.data(), id);
  if (!widget) return nullptr;
  auto& item = m_native->items[id];
  if (!item || item->Widget() != widget) item = std::make_unique<CKvQtWnd>(widget);
  return item.get();
}

void CKvDialog::ShowWindow(BOOL show) {
  if (m_native->window) m_native->window->setVisible(show != FALSE);
}

void CKvDialog::CenterWindow() {
  QWidget* window = m_native->window;
  if (!window || !window->isWindow()) return;
  const QWidget* over = window->parentWidget();
  const QRect area = over ? over->frameGeometry()
                          : (window->screen() ? window->screen()->availableGeometry() : QRect());
  if (area.isValid()) window->move(area.center() - window->rect().center());
}

BOOL CKvDialog::IsWindowMade() const { return m_native->window ? TRUE : FALSE; }

CString CKvDialog::TemplateText(UINT controlId) {
  const wchar_t* text =
      KvFindDialogText(m_module ? m_module : GetResourceHandle(), m_templateId, controlId);
  return CString(text);
}

void CKvDialog::GetClientRect(RECT* rect) const {
  CKvQtWnd(m_native->window.data()).GetClientRect(rect);
}
BOOL CKvDialog::IsChildWindow() const { return CKvQtWnd(m_native->window.data()).IsChildWindow(); }
CRect CKvDialog::GetRectInParent() const {
  return CKvQtWnd(m_native->window.data()).GetRectInParent();
}
void CKvDialog::MoveWindow(const RECT& rect, BOOL repaint) {
  if (m_native->window)
    m_native->window->setGeometry(rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top);
  if (repaint && m_native->window) m_native->window->update();
}

void CKvBrowserModel::SetTarget(IKvGuiBrowserCB* callback, void* root) {
  beginResetModel();
  m_callback = callback;
  m_root = root;
  m_count = callback ? std::max(callback->GetSubObjCount(root), 0) : 0;
  m_icons.clear();
  endResetModel();
}

void CKvBrowserModel::Sync() {
  const int count = m_callback ? std::max(m_callback->GetSubObjCount(m_root), 0) : 0;
  if (count < m_count) return SetTarget(m_callback, m_root);
  if (count == m_count) return;
  beginInsertRows(QModelIndex(), m_count, count - 1);
  m_count = count;
  endInsertRows();
}

void* CKvBrowserModel::ObjectAt(int row) const {
  if (!m_callback || row < 0 || row >= m_count) return nullptr;
  try {
    return m_callback->GetSubObj(m_root, row);
  } catch (const CException&) {
    return nullptr;
  }
}

int CKvBrowserModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_count;
}

QVariant CKvBrowserModel::data(const QModelIndex& index, int role) const {
  void* object = ObjectAt(index.row());
  if (!object) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    CString text;
    m_callback->GetColString(object, 0, text);
    return KvQString(text);
  }
  if (role != Qt::DecorationRole) return {};
  auto cached = m_icons.constFind(index.row());
  if (cached != m_icons.constEnd()) return *cached;
  CSize size;
  const auto* bits = reinterpret_cast<const uchar*>(m_callback->GetIconBuf(object, 1.0, size));
  QPixmap pixmap;
  if (bits && size.cx > 0 && size.cy > 0) {
    const qsizetype stride = (static_cast<qsizetype>(size.cx) * 3 + 3) & ~qsizetype{3};
    pixmap = QPixmap::fromImage(
        QImage(bits, size.cx, size.cy, stride, QImage::Format_BGR888).mirrored(false, true));
  }
  m_icons.insert(index.row(), pixmap);
  return pixmap;
}

CKvListCtrl::CKvListCtrl(QWidget* parent) : QListView(parent) {
  setModel(&m_model);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { emit notify(GetNotifyMsg()); });
}

void CKvListCtrl::SetBrowseMode(EKvListMode mode, int showText) {
  setViewMode(mode == KV_LIST_ICON ? QListView::IconMode : QListView::ListMode);
  setIconSize(QSize(80, 60));
  setGridSize(mode == KV_LIST_ICON ? QSize(104, showText ? 90 : 70) : QSize());
  setResizeMode(QListView::Adjust);
  setMovement(QListView::Static);
  setWordWrap(false);
  setTextElideMode(Qt::ElideMiddle);
}

void CKvListCtrl::SetBrowsedTarget(IKvGuiBrowserCB* callback, void* root, int, BYTE) {
  m_model.SetTarget(callback, root);
}

BOOL CKvListCtrl::LineOutItem(void* object) {
  for (int row = 0; row < m_model.rowCount(); ++row) {
    if (m_model.ObjectAt(row) != object) continue;
    const QModelIndex index = m_model.index(row);
    setCurrentIndex(index);
    scrollTo(index);
    return TRUE;
  }
  return FALSE;
}

void CKvListCtrl::GetSelectArray(std::vector<void*>& selected) const {
  selected.clear();
  for (const QModelIndex& index : selectionModel()->selectedIndexes())
    if (void* object = m_model.ObjectAt(index.row())) selected.push_back(object);
}

int CKvListCtrl::ItemsPerScreen() const {
  const QSize grid = gridSize().isValid() ? gridSize() : QSize(104, 90);
  const QSize view = viewport()->size();
  return std::max(1, view.width() / grid.width()) * std::max(1, view.height() / grid.height());
}

void CKvCtrlSkin::SubClassWindowChildItem(HWND window, HINSTANCE) {
  m_window = KvQtWidgetOf(static_cast<CWnd*>(window));
  if (m_window) m_window->setFont(CKvGuiFont::GetFont());
}

CKvComboBox* CKvCtrlSkin::Combo(UINT id) { return KvControl<CKvComboBox>(m_window.data(), id); }

QFont CKvGuiFont::GetFont() {
  QFont font = QApplication::font();
  font.setPointSize(9);
  return font;
}

CKvSpinButton::CKvSpinButton(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (const auto& [arrow, delta] : {std::pair{Qt::UpArrow, -1}, std::pair{Qt::DownArrow, 1}}) {
    auto* button = new QToolButton(this);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFixedSize(16, 11);
    button->setObjectName(delta < 0 ? "up" : "down");
    connect(button, &QToolButton::clicked, this, [this, delta = delta] { Step(delta); });
    layout->addWidget(button);
  }
}

BOOL CKvWnd::KvCreateChildWnd(QWidget* child, QWidget* parent, UINT placeholderId) {
  QWidget* placeholder = KvControl(parent, placeholderId);
  if (!child || !placeholder) return FALSE;
  QWidget* holder = placeholder->parentWidget();
  child->setParent(holder);
  if (QLayout* layout = holder->layout()) {
    delete layout->replaceWidget(placeholder, child);  // the placeholder's item is ours
  } else {
    child->setGeometry(placeholder->geometry());
  }
  placeholder->hide();
  child->show();
  return TRUE;
}
