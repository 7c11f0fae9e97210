#include "platform/Archive.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

static_assert(std::endian::native == std::endian::little,
              "archives are little-endian and written with plain copies");

namespace {

constexpr WORD kNullTag = 0;
constexpr WORD kNewClassTag = 0xFFFF;
constexpr WORD kClassTag = 0x8000;
constexpr DWORD kBigClassTag = 0x80000000;
constexpr WORD kBigObjectTag = 0x7FFF;
constexpr DWORD kMaxMapCount = 0x3FFFFFFE;
// Objects nest through their Serialize calls; a damaged archive must not exhaust the stack.
constexpr int kMaxObjectDepth = 256;

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, const CRuntimeClass*>& Registry() {
  static std::map<std::string, const CRuntimeClass*> r;
  return r;
}

// ANSI text in old archives: UTF-8 when it is valid UTF-8, else one character per byte.
std::wstring DecodeNarrow(const std::string& bytes) {
  const CString utf8 = CString::FromUtf8(bytes);
  if (std::none_of(utf8.Str().begin(), utf8.Str().end(), KvIsEscapedByte)) return utf8.Str();
  std::wstring out;
  out.reserve(bytes.size());
  for (char c : bytes) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

thread_local int t_readDepth = 0;

}  // namespace

// ---------------------------------------------------------------------------------------
// Run-time classes

const CRuntimeClass CObject::classCObject = {"CObject", static_cast<int>(sizeof(CObject)), 0xFFFF,
                                             nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }
void CObject::Serialize(CArchive&) {}
bool CObject::IsKindOf(const CRuntimeClass* cls) const {
  return GetRuntimeClass()->IsDerivedFrom(cls);
}
bool CObject::IsSerializable() const { return GetRuntimeClass()->m_wSchema != 0xFFFF; }

CObject* CRuntimeClass::CreateObject() const {
  return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
    if (c == base) return true;
  return false;
}

const CRuntimeClass* CRuntimeClass::FromName(const char* name) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto it = Registry().find(name ? name : "");
  return it == Registry().end() ? nullptr : it->second;
}

void CRuntimeClass::Store(CArchive& ar) const {
  const auto len = static_cast<WORD>(std::strlen(m_lpszClassName));
  ar << static_cast<WORD>(m_wSchema) << len;
  ar.Write(m_lpszClassName, len);
}

const CRuntimeClass* CRuntimeClass::Load(CArchive& ar, UINT* schema) {
  WORD wSchema = 0, len = 0;
  ar >> wSchema >> len;
  if (schema) *schema = wSchema;
  char name[64];
  if (len >= sizeof(name) || ar.Read(name, len) != len) return nullptr;
  name[len] = '\0';
  return FromName(name);
}

KvClassRegistrar::KvClassRegistrar(const CRuntimeClass* cls) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  Registry()[cls->m_lpszClassName] = cls;
}

static const KvClassRegistrar kv_registrar_CObject(&CObject::classCObject);

// ---------------------------------------------------------------------------------------
// Archive

CArchive::CArchive(CFile* file, UINT mode, int bufferSize, void*)
    : m_file(file), m_loading((mode & load) != 0) {
  m_buffer.resize(bufferSize < 128 ? 128 : static_cast<std::size_t>(bufferSize));
  m_loadArray.push_back({nullptr, false});  // index 0: the null object
}

CArchive::~CArchive() {
  if (!m_closed && !m_loading) {
    try {
      Flush();
    } catch (const CException&) {
    }
  }
}

void CArchive::Fail(int cause) const {
  throw CArchiveException(cause, m_file ? m_file->GetFilePath() : CString());
}

void CArchive::FillBuffer(UINT needed) {
  if (m_pos > 0) {
    std::memmove(m_buffer.data(), m_buffer.data() + m_pos, m_end - m_pos);
    m_end -= m_pos;
    m_pos = 0;
  }
  while (m_end < needed && m_end < m_buffer.size()) {
    const UINT n =
        m_file->Read(m_buffer.data() + m_end, static_cast<UINT>(m_buffer.size() - m_end));
    if (n == 0) break;
    m_end += n;
  }
}

UINT CArchive::Read(void* buffer, UINT count) {
  if (!m_loading) Fail(CArchiveException::writeOnly);
  auto* out = static_cast<BYTE*>(buffer);
  UINT done = 0;
  while (done < count) {
    if (m_pos == m_end) {
      const UINT left = count - done;
      if (left >= m_buffer.size()) {  // large reads go straight to the file
        const UINT n = m_file->Read(out + done, left);
        done += n;
        break;
      }
      FillBuffer(1);
      if (m_pos == m_end) break;
    }
    const std::size_t n = std::min<std::size_t>(count - done, m_end - m_pos);
    std::memcpy(out + done, m_buffer.data() + m_pos, n);
    m_pos += n;
    done += static_cast<UINT>(n);
  }
  return done;
}

void CArchive::EnsureRead(void* buffer, UINT count) {
  if (Read(buffer, count) != count) Fail(CArchiveException::endOfFile);
}

void CArchive::EnsureAvailable(ULONGLONG count) {
  if (!m_loading || count <= m_end - m_pos) return;
  ULONGLONG left = 0;
  try {
    const ULONGLONG length = m_file->GetLength(), position = m_file->GetPosition();
    left = length > position ? length - position : 0;
  } catch (const CException&) {
    return;  // a stream without a length: the reads themselves will tell
  }
  if (count - (m_end - m_pos) > left) Fail(CArchiveException::endOfFile);
}

void CArchive::Write(const void* buffer, UINT count) {
  if (m_loading) Fail(CArchiveException::readOnly);
  const auto* in = static_cast<const BYTE*>(buffer);
  while (count > 0) {
    if (m_pos == m_buffer.size()) Flush();
    const std::size_t n = std::min<std::size_t>(count, m_buffer.size() - m_pos);
    std::memcpy(m_buffer.data() + m_pos, in, n);
    m_pos += n;
    in += n;
    count -= static_cast<UINT>(n);
  }
}

void CArchive::Flush() {
  if (m_loading || m_pos == 0) return;
  const std::size_t n = m_pos;
  m_pos = 0;
  m_file->Write(m_buffer.data(), static_cast<UINT>(n));
}

void CArchive::Close() {
  if (m_closed) return;
  if (!m_loading) Flush();
  m_closed = true;
}

void CArchive::Abort() { m_closed = true; }

template <typename T>
CArchive& CArchive::WriteValue(T v) {
  Write(&v, sizeof(v));
  return *this;
}

template <typename T>
CArchive& CArchive::ReadValue(T& v) {
  EnsureRead(&v, sizeof(v));
  return *this;
}

CArchive& CArchive::operator<<(BYTE v) { return WriteValue(v); }
CArchive& CArchive::operator<<(WORD v) { return WriteValue(v); }
CArchive& CArchive::operator<<(DWORD v) { return WriteValue(v); }
CArchive& CArchive::operator<<(LONG v) { return WriteValue(v); }
CArchive& CArchive::operator<<(short v) { return WriteValue(v); }
CArchive& CArchive::operator<<(char v) { return WriteValue(v); }
CArchive& CArchive::operator<<(bool v) { return WriteValue(static_cast<BYTE>(v ? 1 : 0)); }
CArchive& CArchive::operator<<(LONGLONG v) { return WriteValue(v); }
CArchive& CArchive::operator<<(ULONGLONG v) { return WriteValue(v); }
CArchive& CArchive::operator<<(float v) { return WriteValue(v); }
CArchive& CArchive::operator<<(double v) { return WriteValue(v); }
CArchive& CArchive::operator>>(BYTE& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(WORD& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(DWORD& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(LONG& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(short& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(char& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(LONGLONG& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(ULONGLONG& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(float& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(double& v) { return ReadValue(v); }
CArchive& CArchive::operator>>(bool& v) {
  BYTE b = 0;
  ReadValue(b);
  v = b != 0;
  return *this;
}

// Strings: a length prefix, preceded by 0xFF 0xFFFE for UTF-16 text.
CArchive& CArchive::operator<<(const CString& s) {
  const std::u16string u = KvToUtf16(s.Str());
  const ULONGLONG len = u.size();
  *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFE);
  if (len < 0xFF) {
    *this << static_cast<BYTE>(len);
  } else if (len < 0xFFFE) {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(len);
  } else if (len < 0xFFFFFFFF) {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(len);
  } else {
    *this << static_cast<BYTE>(0xFF) << static_cast<WORD>(0xFFFF) << static_cast<DWORD>(0xFFFFFFFF)
          << len;
  }
  for (char16_t c : u) *this << static_cast<WORD>(c);
  return *this;
}

CArchive& CArchive::operator>>(CString& s) {
  int charSize = 1;
  ULONGLONG len = 0;
  BYTE b = 0;
  WORD w = 0;
  *this >> b;
  if (b < 0xFF) {
    len = b;
  } else {
    *this >> w;
    if (w == 0xFFFE) {
      charSize = 2;
      *this >> b;
      if (b < 0xFF) {
        len = b;
        w = 0;
      } else {
        *this >> w;
      }
    }
    if (b == 0xFF) {
      if (w < 0xFFFF) {
        len = w;
      } else {
        DWORD d = 0;
        *this >> d;
        if (d < 0xFFFFFFFF) {
          len = d;
        } else {
          *this >> len;
        }
      }
    }
  }
  if (len > kMaxStringLength) Fail(CArchiveException::badIndex);
  EnsureAvailable(len * static_cast<ULONGLONG>(charSize));
  if (charSize == 2) {
    std::u16string u(static_cast<std::size_t>(len), u'\0');
    EnsureRead(u.data(), static_cast<UINT>(len * 2));
    s = CString(KvFromUtf16(u));
  } else {
    std::string bytes(static_cast<std::size_t>(len), '\0');
    EnsureRead(bytes.data(), static_cast<UINT>(len));
    s = CString(DecodeNarrow(bytes));
  }
  return *this;
}

void CArchive::WriteCount(DWORD_PTR count) {
  if (count < 0xFFFF) {
    *this << static_cast<WORD>(count);
  } else {
    *this << static_cast<WORD>(0xFFFF);
    if (count < 0xFFFFFFFF) {
      *this << static_cast<DWORD>(count);
    } else {
      *this << static_cast<DWORD>(0xFFFFFFFF) << static_cast<ULONGLONG>(count);
    }
  }
}

DWORD_PTR CArchive::ReadCount() {
  WORD w = 0;
  *this >> w;
  if (w != 0xFFFF) return w;
  DWORD d = 0;
  *this >> d;
  if (d != 0xFFFFFFFF) return d;
  ULONGLONG q = 0;
  *this >> q;
  return static_cast<DWORD_PTR>(q);
}

void CArchive::WriteClass(const CRuntimeClass* cls) {
  if (!cls || cls->m_wSchema == 0xFFFF) Fail(CArchiveException::badClass);
  auto it = m_storeMap.find(cls);
  if (it != m_storeMap.end()) {
    const DWORD index = it->second;
    if (index < kBigObjectTag) {
      *this << static_cast<WORD>(kClassTag | index);
    } else {
      *this << kBigObjectTag << static_cast<DWORD>(kBigClassTag | index);
    }
    return;
  }
  *this << kNewClassTag;
  cls->Store(*this);
  if (m_mapCount >= kMaxMapCount) Fail(CArchiveException::badIndex);
  m_storeMap[cls] = m_mapCount++;
}

void CArchive::WriteObject(const CObject* object) {
  if (!object) {
    *this << kNullTag;
    return;
  }
  auto it = m_storeMap.find(object);
  if (it != m_storeMap.end()) {
    const DWORD index = it->second;
    if (index < kBigObjectTag) {
      *this << static_cast<WORD>(index);
    } else {
      *this << kBigObjectTag << index;
    }
    return;
  }
  WriteClass(object->GetRuntimeClass());
  if (m_mapCount >= kMaxMapCount) Fail(CArchiveException::badIndex);
  m_storeMap[object] = m_mapCount++;
  const_cast<CObject*>(object)->Serialize(*this);
}

const CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* required, UINT* schemaOut,
                                         DWORD* objectTag) {
  if (!m_loading) Fail(CArchiveException::writeOnly);
  WORD tag = 0;
  *this >> tag;
  DWORD obTag = 0;
  if (tag == kBigObjectTag) {
    *this >> obTag;
  } else {
    obTag = (static_cast<DWORD>(tag & kClassTag) << 16) | (tag & ~kClassTag);
  }
  if (!(obTag & kBigClassTag)) {
    if (objectTag) *objectTag = obTag;
    return nullptr;
  }
  const CRuntimeClass* cls = nullptr;
  UINT schema = 0;
  if (tag == kNewClassTag) {
    cls = CRuntimeClass::Load(*this, &schema);
    if (!cls) Fail(CArchiveException::badClass);
    if (!(cls->m_wSchema & VERSIONABLE_SCHEMA) && schema != cls->m_wSchema)
      Fail(CArchiveException::badSchema);
    if (m_mapCount >= kMaxMapCount) Fail(CArchiveException::badIndex);
    m_loadArray.push_back({cls, true});
    ++m_mapCount;
  } else {
    const DWORD index = obTag & ~kBigClassTag;
    if (index == 0 || index >= m_loadArray.size() || !m_loadArray[index].isClass)
      Fail(CArchiveException::badIndex);
    cls = static_cast<const CRuntimeClass*>(m_loadArray[index].p);
    schema = cls->m_wSchema;
  }
  if (required && !cls->IsDerivedFrom(required)) Fail(CArchiveException::badClass);
  if (schemaOut) *schemaOut = schema;
  return cls;
}

CObject* CArchive::ReadObject(const CRuntimeClass* required) {
  m_lastObjectNew = false;
  DWORD obTag = 0;
  const CRuntimeClass* cls = ReadClass(required, nullptr, &obTag);
  if (!cls) {
    if (obTag == kNullTag) return nullptr;
    if (obTag >= m_loadArray.size() || m_loadArray[obTag].isClass || !m_loadArray[obTag].p)
      Fail(CArchiveException::badIndex);
    auto* object = static_cast<CObject*>(const_cast<void*>(m_loadArray[obTag].p));
    if (required && !object->IsKindOf(required)) Fail(CArchiveException::badClass);
    return object;
  }
  if (t_readDepth >= kMaxObjectDepth) Fail(CArchiveException::badIndex);
  CObject* object = cls->CreateObject();
  if (!object) Fail(CArchiveException::badClass);
  const std::size_t index = m_loadArray.size();
  m_loadArray.push_back({object, false});
  ++m_mapCount;
  ++t_readDepth;
  try {
    object->Serialize(*this);
  } catch (...) {
    --t_readDepth;
    // The object is half made; nobody else holds it yet.
    m_loadArray[index].p = nullptr;
    delete object;
    throw;
  }
  --t_readDepth;
  m_lastObjectNew = true;
  return object;
}

CArchive& CArchive::operator<<(const CObject* object) {
  WriteObject(object);
  return *this;
}

CArchive& CArchive::operator>>(CObject*& object) {
  object = ReadObject(nullptr);
  return *this;
}

// ---------------------------------------------------------------------------------------
// Object list

IMPLEMENT_SERIAL(CObList, CObject, 0)

CObList::~CObList() { RemoveAll(); }

CObject*& CObList::GetHead() {
  if (!m_head) AfxThrowInvalidArgException();
  return m_head->data;
}

CObject*& CObList::GetTail() {
  if (!m_tail) AfxThrowInvalidArgException();
  return m_tail->data;
}

CObject* CObList::RemoveHead() {
  if (!m_head) AfxThrowInvalidArgException();
  CObject* p = m_head->data;
  RemoveAt(m_head);
  return p;
}

POSITION CObList::AddHead(CObject* p) {
  return m_head ? InsertBefore(m_head, p) : InsertAfter(nullptr, p);
}

POSITION CObList::AddTail(CObject* p) { return InsertAfter(m_tail, p); }

void CObList::AddTail(CObList* other) {
  if (!other || other == this) return;
  for (POSITION pos = other->GetHeadPosition(); pos;) AddTail(other->GetNext(pos));
}

void CObList::RemoveAll() {
  for (KvObListNode* n = m_head; n;) {
    KvObListNode* next = n->next;
    delete n;
    n = next;
  }
  m_head = m_tail = nullptr;
  m_count = 0;
}

CObject*& CObList::GetNext(POSITION& pos) {
  if (!pos) AfxThrowInvalidArgException();
  KvObListNode* n = pos;
  pos = n->next;
  return n->data;
}

CObject*& CObList::GetAt(POSITION pos) {
  if (!pos) AfxThrowInvalidArgException();
  return pos->data;
}

void CObList::SetAt(POSITION pos, CObject* p) {
  if (!pos) AfxThrowInvalidArgException();
  pos->data = p;
}

void CObList::RemoveAt(POSITION pos) {
  if (!pos) AfxThrowInvalidArgException();
  (pos->prev ? pos->prev->next : m_head) = pos->next;
  (pos->next ? pos->next->prev : m_tail) = pos->prev;
  delete pos;
  --m_count;
}

POSITION CObList::InsertBefore(POSITION pos, CObject* p) {
  if (!pos) return AddHead(p);
  auto* n = new KvObListNode{pos, pos->prev, p};
  (pos->prev ? pos->prev->next : m_head) = n;
  pos->prev = n;
  ++m_count;
  return n;
}

POSITION CObList::InsertAfter(POSITION pos, CObject* p) {
  if (!pos) pos = m_tail;
  auto* n = new KvObListNode{nullptr, pos, p};
  if (pos) {
    n->next = pos->next;
    (pos->next ? pos->next->prev : m_tail) = n;
    pos->next = n;
  } else {  // empty list
    m_head = m_tail = n;
  }
  ++m_count;
  return n;
}

POSITION CObList::Find(const CObject* p, POSITION after) const {
  for (KvObListNode* n = after ? after->next : m_head; n; n = n->next)
    if (n->data == p) return n;
  return nullptr;
}

POSITION CObList::FindIndex(INT_PTR index) const {
  if (index < 0 || index >= m_count) return nullptr;
  KvObListNode* n = m_head;
  while (index-- > 0) n = n->next;
  return n;
}

void CObList::Serialize(CArchive& ar) {
  CObject::Serialize(ar);
  if (ar.IsStoring()) {
    ar.WriteCount(static_cast<DWORD_PTR>(m_count));
    for (KvObListNode* n = m_head; n; n = n->next) ar << n->data;
  } else {
    for (DWORD_PTR count = ar.ReadCount(); count > 0; --count) {
      CObject* p = nullptr;
      ar >> p;
      AddTail(p);
    }
  }
}
