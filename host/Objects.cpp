#include "host/Objects.h"

#include <cstring>
#include <unordered_set>

#include "platform/GlobalMemory.h"

IMPLEMENT_SERIAL(CKvObject, CObject, 0)
IMPLEMENT_SERIAL(CKvObList, CObList, 0)
IMPLEMENT_SERIAL(CKvIconObj, CKvObject, 0)

CKvObject& CKvObject::operator=(const CKvObject&) { return *this; }

void CKvObject::Serialize(CArchive& ar) { CObject::Serialize(ar); }

int CKvObject::Compare(const CKvObject* other) const {
  return other && other->GetRuntimeClass() == GetRuntimeClass() ? 1 : 0;
}

CKvObject* CKvObject::MakeCopy() const {
  CObject* made = GetRuntimeClass()->CreateObject();
  auto* copy = dynamic_cast<CKvObject*>(made);
  if (!copy) {
    delete made;
    return nullptr;
  }
  try {
    *copy = *this;
  } catch (const CException&) {
    delete copy;
    return nullptr;
  }
  return copy;
}

int CKvObject::Assign(CKvObject* other) {
  if (!other || other->GetRuntimeClass() != GetRuntimeClass()) return 0;
  if (other != this) *this = *other;
  return 1;
}

// ---------------------------------------------------------------------------------------

CKvObList::~CKvObList() { DeleteAll(); }

void CKvObList::DeleteAll() {
  while (!IsEmpty()) delete RemoveHead();
}

void CKvObList::DeleteAt(POSITION pos) {
  if (!pos) return;
  CObject* p = GetAt(pos);
  RemoveAt(pos);
  delete p;
}

void CKvObList::CopyFrom(const CKvObList& other) {
  if (&other == this) return;
  DeleteAll();
  for (POSITION pos = other.GetHeadPosition(); pos;) {
    const auto* item = dynamic_cast<const CKvObject*>(const_cast<CKvObList&>(other).GetNext(pos));
    if (!item) continue;
    if (CKvObject* copy = item->MakeCopy()) AddTail(copy);
  }
}

void CKvObList::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    CObList::Serialize(ar);
    return;
  }
  CObject::Serialize(ar);
  std::unordered_set<const CObject*> seen;
  for (POSITION pos = GetHeadPosition(); pos;) seen.insert(GetNext(pos));
  for (DWORD_PTR count = ar.ReadCount(); count > 0; --count) {
    CObject* p = ar.ReadObject(RUNTIME_CLASS(CKvObject));
    if (!p) continue;
    if (!ar.LastObjectWasNew() || !seen.insert(p).second)
      AfxThrowArchiveException(CArchiveException::badIndex);
    AddTail(p);
  }
}

// ---------------------------------------------------------------------------------------

CKvIconObj::CKvIconObj(const CKvIconObj& other) : CKvObject(other) { *this = other; }

CKvIconObj::~CKvIconObj() { Empty(); }

void CKvIconObj::Empty() {
  if (m_bytes) GlobalFree(m_bytes);
  m_bytes = nullptr;
  m_size = CSize();
}

std::size_t CKvIconObj::RowBytes(int width, int bits) {
  return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
}

std::size_t CKvIconObj::GetIconBytes() const {
  if (!m_bytes) return 0;
  return RowBytes(m_size.cx, m_bits) * static_cast<std::size_t>(m_size.cy);
}

void CKvIconObj::SetIcon(BYTE* globalBlock, CSize size, int bits) {
  // A null block is no icon, whatever size comes with it.
  if (globalBlock && globalBlock == m_bytes) {
    m_size = size;
    m_bits = bits;
    return;
  }
  Empty();
  if (!globalBlock || size.cx <= 0 || size.cy <= 0) {
    if (globalBlock) GlobalFree(globalBlock);
    return;
  }
  m_bytes = globalBlock;
  m_size = size;
  m_bits = bits == 32 ? 32 : 24;
}

CKvObject& CKvIconObj::operator=(const CKvObject& other) {
  if (const auto* icon = dynamic_cast<const CKvIconObj*>(&other)) *this = *icon;
  return *this;
}

CKvIconObj& CKvIconObj::operator=(const CKvIconObj& other) {
  if (this == &other) return *this;
  CKvObject::operator=(other);
  if (other.IsEmpty()) {
    Empty();
    return *this;
  }
  const std::size_t n = other.GetIconBytes();
  auto* copy = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, n));
  if (!copy) AfxThrowMemoryException();
  std::memcpy(copy, other.m_bytes, n);
  SetIcon(copy, other.m_size, other.m_bits);
  return *this;
}

int CKvIconObj::Compare(const CKvObject* other) const {
  const auto* icon = dynamic_cast<const CKvIconObj*>(other);
  if (!icon) return 0;
  if (icon->m_size != m_size || icon->m_bits != m_bits || icon->IsEmpty() != IsEmpty()) return 0;
  return IsEmpty() || std::memcmp(m_bytes, icon->m_bytes, GetIconBytes()) == 0 ? 1 : 0;
}

// Archive form: width, height (LONG), bits (WORD), byte count (DWORD), the bytes.
void CKvIconObj::Serialize(CArchive& ar) {
  CKvObject::Serialize(ar);
  if (ar.IsStoring()) {
    ar << static_cast<LONG>(m_size.cx) << static_cast<LONG>(m_size.cy) << static_cast<WORD>(m_bits)
       << static_cast<DWORD>(GetIconBytes());
    if (m_bytes) ar.Write(m_bytes, static_cast<UINT>(GetIconBytes()));
    return;
  }
  LONG cx = 0, cy = 0;
  WORD bits = 0;
  DWORD bytes = 0;
  ar >> cx >> cy >> bits >> bytes;
  Empty();
  if (cx == 0 && cy == 0 && bytes == 0) return;
  if (cx <= 0 || cy <= 0 || cx > kMaxSide || cy > kMaxSide || (bits != 24 && bits != 32) ||
      bytes != RowBytes(cx, bits) * static_cast<std::size_t>(cy))
    AfxThrowArchiveException(CArchiveException::badIndex);
  ar.EnsureAvailable(bytes);
  KvGlobalPtr block(GlobalAlloc(GMEM_FIXED, bytes));
  if (!block) AfxThrowMemoryException();
  ar.EnsureRead(block.get(), bytes);
  SetIcon(static_cast<BYTE*>(block.release()), CSize(cx, cy), bits);
}
