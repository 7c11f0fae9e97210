// The Qt side of the host's controls: the list control over a browser callback, the skinned
// combo box and its skin, the suite's font, the spin button, and the window behind a
// CKvDialog.
#pragma once

#include <QAbstractListModel>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QHash>
#include <QListView>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "ui/HostWidgets.h"
#include "ui/QtWindow.h"

class CKvDialog;

// The window of a dialog; it hands Enter, Escape and clicks outside (popup mode) to its
// owner instead of closing by itself.
class CKvDialogWindow : public QDialog {
 public:
  CKvDialogWindow(CKvDialog* owner, QWidget* parent, bool popup);
  void accept() override;
  void reject() override;

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  CKvDialog* m_owner;
  bool m_popup;
};

struct CKvDialog::Native {
  QPointer<CKvDialogWindow> window;
  std::map<UINT, std::unique_ptr<CKvQtWnd>> items;
};

QWidget* KvDialogWidget(CKvDialog* dialog);

// Rows of a list control: the callback's objects under its root, with their first column
// as text and their thumbnails as icons.
class CKvBrowserModel : public QAbstractListModel {
 public:
  void SetTarget(IKvGuiBrowserCB* callback, void* root);
  // Takes in objects added at the end since the last call (or starts over when some went).
  void Sync();
  void* ObjectAt(int row) const;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  IKvGuiBrowserCB* m_callback = nullptr;
  void* m_root = nullptr;
  int m_count = 0;
  mutable QHash<int, QPixmap> m_icons;
};

class CKvListCtrl : public QListView {
  Q_OBJECT
 public:
  explicit CKvListCtrl(QWidget* parent = nullptr);
  // The notification a list sends its owner when its selection changes.
  static UINT GetNotifyMsg() { return 0xC0F1; }
  void SetBrowseMode(EKvListMode mode, int showText);
  void SetBrowsedTarget(IKvGuiBrowserCB* callback, void* root, int, BYTE);
  // Takes in objects the callback added since the last call.
  void SyncItems() { m_model.Sync(); }
  // Selects the object and scrolls it into view; FALSE when it is not listed.
  BOOL LineOutItem(void* object);
  void GetSelectArray(std::vector<void*>& selected) const;
  // Rows that fit in the view at once.
  int ItemsPerScreen() const;

 signals:
  void notify(uint message);

 private:
  CKvBrowserModel m_model;
};

class CKvComboBox : public QComboBox {
 public:
  using QComboBox::QComboBox;
  int GetCurSel() const { return currentIndex(); }
  void SetCurSel(int index) { setCurrentIndex(index); }
};

// Skins a dialog's child controls and hands out its combo boxes by id.
class CKvCtrlSkin {
 public:
  void SubClassWindowChildItem(HWND window, HINSTANCE module);
  CKvComboBox* Combo(UINT id);

 private:
  QPointer<QWidget> m_window;
};

class CKvGuiFont {
 public:
  static QFont GetFont();
};

// A pair of arrow buttons. Up reports -1 and down +1, as the host's spin control does.
class CKvSpinButton : public QWidget {
  Q_OBJECT
 public:
  explicit CKvSpinButton(QWidget* parent = nullptr);
  void Step(int delta) { emit deltaPos(delta); }

 signals:
  void deltaPos(int delta);
};

class CKvWnd {
 public:
  // Puts `child` in place of the parent's control `placeholderId` (which it hides).
  static BOOL KvCreateChildWnd(QWidget* child, QWidget* parent, UINT placeholderId);
};

// The control of an id in a window.
template <class T = QWidget>
T* KvControl(QWidget* window, UINT id) {
  return window ? window->findChild<T*>(QString::number(id)) : nullptr;
}
