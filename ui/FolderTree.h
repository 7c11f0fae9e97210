// The panel's folder tree: the folders below a drive's mount point, each read when its node is
// first expanded. Paths are kept as CStrings, whose mapping of the file system's bytes is
// lossless, so a folder whose name is not UTF-8 is shown and listed like any other.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/String.h"

// The names of the folders directly inside `folder` (links to folders too, hidden ones not),
// in display order: case-insensitive, digit runs by value. At most `limit` names are kept and
// the scan stops after 4 x `limit` entries, so that a huge folder costs a bounded wait.
std::vector<CString> KvReadSubfolders(const CString& folder, std::size_t limit);
// Whether `a` sorts before `b` in the tree.
bool KvFolderNameLess(const CString& a, const CString& b);

class CKvFolderModel : public QAbstractItemModel {
 public:
  // A node's full path as the file system's bytes (QByteArray).
  static constexpr int kPathBytesRole = Qt::UserRole + 1;
  // Folders kept per node: far more than a tree is browsed with, few enough to read at once.
  static constexpr std::size_t kMaxChildren = 50000;

  explicit CKvFolderModel(QObject* parent = nullptr);
  ~CKvFolderModel() override;

  // Shows the folders below `root`; an empty root empties the tree.
  void SetRoot(const CString& root);
  // The node of `folder` below the root, reading the folders on the way to it; invalid when
  // the folder is the root itself or is not in the tree (hidden, gone, past the limit).
  QModelIndex Find(const CString& folder);
  // The node's full path, without a trailing separator; the root's for an invalid index.
  CString PathOf(const QModelIndex& index) const;
  // A folder shows what it held when it was last opened: closing it (MarkStale) and opening
  // it again (Refresh) reads it again, adding the folders made and removing those gone
  // meanwhile while the others keep their nodes, their state and the view's selection.
  void MarkStale(const QModelIndex& index);
  void Refresh(const QModelIndex& index);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  struct Node;
  Node* NodeOf(const QModelIndex& index) const;
  void Insert(const QModelIndex& parent, std::size_t row, const CString* first,
              const CString* last);

  std::unique_ptr<Node> m_root;
  QIcon m_icon;
};
