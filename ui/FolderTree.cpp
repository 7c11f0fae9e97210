#include "ui/FolderTree.h"

#include <QApplication>
#include <QStyle>
#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <system_error>

#include "ui/QtNames.h"

namespace fs = std::filesystem;

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The path of a name inside `folder`, which has no trailing separator unless it is "/".
CString Join(const CString& folder, const CString& name) {
  return folder == L"/" ? L"/" + name : folder + L"/" + name;
}

}  // namespace

bool KvFolderNameLess(const CString& a, const CString& b) {
  const std::wstring& x = a.Str();
  const std::wstring& y = b.Str();
  std::size_t i = 0, j = 0;
  while (i < x.size() && j < y.size()) {
    if (IsDigit(x[i]) && IsDigit(y[j])) {
      // Digit runs by value: leading zeros skipped, then the longer run is the larger.
      std::size_t i0 = i, j0 = j;
      while (i0 < x.size() && x[i0] == L'0') ++i0;
      while (j0 < y.size() && y[j0] == L'0') ++j0;
      std::size_t i1 = i0, j1 = j0;
      while (i1 < x.size() && IsDigit(x[i1])) ++i1;
      while (j1 < y.size() && IsDigit(y[j1])) ++j1;
      if (i1 - i0 != j1 - j0) return i1 - i0 < j1 - j0;
      const int order = x.compare(i0, i1 - i0, y, j0, j1 - j0);
      if (order != 0) return order < 0;
      i = i1, j = j1;
      continue;
    }
    const wint_t p = std::towlower(static_cast<wint_t>(x[i]));
    const wint_t q = std::towlower(static_cast<wint_t>(y[j]));
    if (p != q) return p < q;
    ++i, ++j;
  }
  if (x.size() - i != y.size() - j) return x.size() - i < y.size() - j;
  return x < y;  // names equal but for case or zeros still have one order
}

std::vector<CString> KvReadSubfolders(const CString& folder, std::size_t limit) {
  std::vector<CString> names;
  std::error_code error;
  fs::directory_iterator it(folder.ToUtf8(), fs::directory_options::skip_permission_denied, error);
  const std::size_t maxEntries = limit * 4;
  for (std::size_t seen = 0; !error && it != fs::directory_iterator() && seen < maxEntries;
       it.increment(error), ++seen) {
    const std::string name = it->path().filename().native();
    if (name.empty() || name[0] == '.') continue;  // hidden, as file managers keep them
    std::error_code typeError;
    if (!it->is_directory(typeError)) continue;  // follows links: a link to a folder counts
    names.push_back(CString::FromUtf8(name));
    if (names.size() == limit) break;
  }
  std::sort(names.begin(), names.end(), KvFolderNameLess);
  return names;
}

struct CKvFolderModel::Node {
  CString name, path;
  Node* parent = nullptr;
  int row = 0;
  bool read = false, stale = false;
  std::vector<std::unique_ptr<Node>> children;
};

CKvFolderModel::CKvFolderModel(QObject* parent)
    : QAbstractItemModel(parent),
      m_root(std::make_unique<Node>()),
      m_icon(QApplication::style()->standardIcon(QStyle::SP_DirIcon)) {
  m_root->read = true;  // no root: nothing to read
}

CKvFolderModel::~CKvFolderModel() = default;

void CKvFolderModel::SetRoot(const CString& root) {
  beginResetModel();
  m_root = std::make_unique<Node>();
  std::wstring path = root.Str();
  while (path.size() > 1 && path.back() == L'/') path.pop_back();
  m_root->path = path;
  m_root->read = path.empty();
  endResetModel();
}

CKvFolderModel::Node* CKvFolderModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : m_root.get();
}

QModelIndex CKvFolderModel::Find(const CString& folder) {
  const std::wstring& root = m_root->path.Str();
  std::wstring rest = folder.Str();
  if (root.empty() || rest.compare(0, root.size(), root) != 0) return {};
  rest.erase(0, root == L"/" ? 1 : root.size());
  if (!rest.empty() && root != L"/") {
    if (rest[0] != L'/') return {};  // "/data2" is not below "/data"
    rest.erase(0, 1);
  }
  QModelIndex index;
  std::size_t start = 0;
  while (start < rest.size()) {
    const std::size_t end = std::min(rest.find(L'/', start), rest.size());
    const std::wstring part = rest.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == L".") continue;
    if (canFetchMore(index)) fetchMore(index);
    const Node* node = NodeOf(index);
    const auto child = std::find_if(node->children.begin(), node->children.end(),
                                    [&](const auto& c) { return c->name.Str() == part; });
    if (child == node->children.end()) return {};
    index = createIndex((*child)->row, 0, child->get());
  }
  return index;
}

CString CKvFolderModel::PathOf(const QModelIndex& index) const { return NodeOf(index)->path; }

QModelIndex CKvFolderModel::index(int row, int column, const QModelIndex& parent) const {
  const Node* node = NodeOf(parent);
  if (column != 0 || row < 0 || row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex CKvFolderModel::parent(const QModelIndex& child) const {
  const Node* node = NodeOf(child)->parent;
  if (!node || node == m_root.get()) return {};
  return createIndex(node->row, 0, const_cast<Node*>(node));
}

int CKvFolderModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  return static_cast<int>(NodeOf(parent)->children.size());
}

int CKvFolderModel::columnCount(const QModelIndex&) const { return 1; }

QVariant CKvFolderModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Node* node = NodeOf(index);
  switch (role) {
    case Qt::DisplayRole:
      return KvQString(node->name);
    case Qt::ToolTipRole:
      return KvQString(node->path);
    case Qt::DecorationRole:
      return m_icon;
    case kPathBytesRole: {
      const std::string bytes = node->path.ToUtf8();
      return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    default:
      return {};
  }
}

// A node not yet read may have folders: it shows an expander until it is read.
bool CKvFolderModel::hasChildren(const QModelIndex& parent) const {
  const Node* node = NodeOf(parent);
  return !node->read || !node->children.empty();
}

bool CKvFolderModel::canFetchMore(const QModelIndex& parent) const { return !NodeOf(parent)->read; }

void CKvFolderModel::fetchMore(const QModelIndex& parent) {
  Node* node = NodeOf(parent);
  if (node->read) return;
  node->read = true;
  const std::vector<CString> names = KvReadSubfolders(node->path, kMaxChildren);
  if (names.empty()) {
    if (parent.isValid()) emit dataChanged(parent, parent);  // the expander goes
    return;
  }
  Insert(parent, 0, names.data(), names.data() + names.size());
}

void CKvFolderModel::Insert(const QModelIndex& parent, std::size_t row, const CString* first,
                            const CString* last) {
  Node* node = NodeOf(parent);
  const std::size_t count = static_cast<std::size_t>(last - first);
  beginInsertRows(parent, static_cast<int>(row), static_cast<int>(row + count) - 1);
  std::vector<std::unique_ptr<Node>> added;
  added.reserve(count);
  for (const CString* name = first; name != last; ++name) {
    auto child = std::make_unique<Node>();
    child->name = *name;
    child->path = Join(node->path, *name);
    child->parent = node;
    added.push_back(std::move(child));
  }
  auto& children = node->children;
  children.insert(children.begin() + static_cast<std::ptrdiff_t>(row),
                  std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
  for (std::size_t i = row; i < children.size(); ++i) children[i]->row = static_cast<int>(i);
  endInsertRows();
}

void CKvFolderModel::MarkStale(const QModelIndex& index) { NodeOf(index)->stale = true; }

void CKvFolderModel::Refresh(const QModelIndex& parent) {
  Node* node = NodeOf(parent);
  if (!node->read || !node->stale) return;
  node->stale = false;
  const std::vector<CString> names = KvReadSubfolders(node->path, kMaxChildren);
  auto& children = node->children;
  // Both lists are in display order: one pass finds the runs of folders gone and new. Each
  // run renumbers the rows after it, so past 64 runs the rest is replaced in one run each way.
  std::size_t row = 0, i = 0;
  for (int runs = 0; row < children.size() || i < names.size(); ++runs) {
    if (row < children.size() && i < names.size() && children[row]->name == names[i]) {
      ++row, ++i, --runs;
      continue;
    }
    std::size_t end = row;
    while (end < children.size() &&
           (runs >= 64 || i == names.size() || KvFolderNameLess(children[end]->name, names[i])))
      ++end;
    if (end > row) {
      beginRemoveRows(parent, static_cast<int>(row), static_cast<int>(end) - 1);
      children.erase(children.begin() + static_cast<std::ptrdiff_t>(row),
                     children.begin() + static_cast<std::ptrdiff_t>(end));
      for (std::size_t k = row; k < children.size(); ++k) children[k]->row = static_cast<int>(k);
      endRemoveRows();
      continue;
    }
    std::size_t last = i;
    while (last < names.size() && (runs >= 64 || row == children.size() ||
                                   KvFolderNameLess(names[last], children[row]->name)))
      ++last;
    Insert(parent, row, names.data() + i, names.data() + last);
    row += last - i;
    i = last;
  }
  if (children.empty() && parent.isValid()) emit dataChanged(parent, parent);
}
