// Run-time classes, serialisable objects, the object list, and CArchive with the binary form
// of the original class library: little-endian values, strings as UTF-16LE with a length
// prefix, objects with class tags (a new class by schema and name, then back references).
#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/String.h"

class CObject;
class CArchive;

struct KV_PLATFORM_API CRuntimeClass {
  const char* m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;  // 0xFFFF for classes that are not serialisable
  CObject* (*m_pfnCreateObject)();
  const CRuntimeClass* m_pBaseClass;

  CObject* CreateObject() const;
  bool IsDerivedFrom(const CRuntimeClass* base) const;

  // The class registered under this name, or null.
  static const CRuntimeClass* FromName(const char* name);
  // Writes schema and name; Load reads them back and finds the class (null when unknown).
  void Store(CArchive& ar) const;
  static const CRuntimeClass* Load(CArchive& ar, UINT* schema);
};

// Registers a class by name at start-up, so that archives can create it while loading.
struct KV_PLATFORM_API KvClassRegistrar {
  explicit KvClassRegistrar(const CRuntimeClass* cls);
};

constexpr UINT VERSIONABLE_SCHEMA = 0x80000000;

class KV_PLATFORM_API CObject {
 public:
  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const;
  virtual void Serialize(CArchive& ar);
  virtual void AssertValid() const {}
  virtual void Dump() const {}
  bool IsKindOf(const CRuntimeClass* cls) const;
  bool IsSerializable() const;

  static const CRuntimeClass classCObject;
  static const CRuntimeClass* GetThisClass() { return &classCObject; }

 protected:
  CObject() = default;
  CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(name) (name::GetThisClass())

#define DECLARE_DYNAMIC(name)                                         \
 public:                                                              \
  static const CRuntimeClass class##name;                             \
  static const CRuntimeClass* GetThisClass() { return &class##name; } \
  const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(name) \
  DECLARE_DYNAMIC(name)         \
  static CObject* CreateObject();

#define DECLARE_SERIAL(name) DECLARE_DYNCREATE(name)

#define KV_IMPLEMENT_RUNTIMECLASS(name, base, schema, create)                                     \
  const CRuntimeClass name::class##name = {#name, static_cast<int>(sizeof(name)), schema, create, \
                                           RUNTIME_CLASS(base)};                                  \
  const CRuntimeClass* name::GetRuntimeClass() const { return &name::class##name; }               \
  static const KvClassRegistrar kv_registrar_##name(&name::class##name);

#define IMPLEMENT_DYNAMIC(name, base) KV_IMPLEMENT_RUNTIMECLASS(name, base, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(name, base)              \
  CObject* name::CreateObject() { return new name; } \
  KV_IMPLEMENT_RUNTIMECLASS(name, base, 0xFFFF, name::CreateObject)

#define IMPLEMENT_SERIAL(name, base, schema)         \
  CObject* name::CreateObject() { return new name; } \
  KV_IMPLEMENT_RUNTIMECLASS(name, base, schema, name::CreateObject)

class KV_PLATFORM_API CArchive {
 public:
  enum Mode : UINT { store = 0, load = 1, bNoFlushOnDelete = 2 };

  // Reads from or writes to the file through a buffer of bufferSize bytes.
  CArchive(CFile* file, UINT mode, int bufferSize = 4096, void* buffer = nullptr);
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;
  // Flushes a storing archive (errors dropped) unless Close or Abort came first.
  ~CArchive();

  bool IsLoading() const { return m_loading; }
  bool IsStoring() const { return !m_loading; }
  CFile* GetFile() const { return m_file; }

  // Reads up to count bytes; fewer only at the end of the data.
  UINT Read(void* buffer, UINT count);
  void Write(const void* buffer, UINT count);
  // Reads exactly count bytes or throws CArchiveException(endOfFile).
  void EnsureRead(void* buffer, UINT count);
  // Throws CArchiveException(endOfFile) when the data left cannot hold count bytes (when
  // the file tells its length), so that a loader allocates nothing for data that is not
  // there.
  void EnsureAvailable(ULONGLONG count);
  void Flush();
  void Close();
  void Abort();

  // Object counts in the original form: a WORD, or 0xFFFF and a DWORD.
  void WriteCount(DWORD_PTR count);
  DWORD_PTR ReadCount();

  void WriteObject(const CObject* object);
  // Reads an object written by WriteObject: a new one (created here; the caller owns it) or
  // a back reference to one read earlier. Throws CArchiveException for unknown classes,
  // damaged tags or an object that is not a `required` (when given).
  CObject* ReadObject(const CRuntimeClass* required);
  // TRUE when the last ReadObject created its object rather than returning a reference to
  // an earlier one or null. Owning containers accept only new objects, so that damaged
  // archives cannot make them own an object twice.
  bool LastObjectWasNew() const { return m_lastObjectNew; }

  // Writes the class tag alone (and maps the class); reads it back.
  void WriteClass(const CRuntimeClass* cls);
  const CRuntimeClass* ReadClass(const CRuntimeClass* required = nullptr, UINT* schema = nullptr,
                                 DWORD* objectTag = nullptr);

  CArchive& operator<<(BYTE v);
  CArchive& operator<<(WORD v);
  CArchive& operator<<(DWORD v);
  CArchive& operator<<(LONG v);
  CArchive& operator<<(short v);
  CArchive& operator<<(char v);
  CArchive& operator<<(bool v);
  CArchive& operator<<(LONGLONG v);
  CArchive& operator<<(ULONGLONG v);
  CArchive& operator<<(float v);
  CArchive& operator<<(double v);
  CArchive& operator<<(const CString& s);
  CArchive& operator<<(const CObject* object);

  CArchive& operator>>(BYTE& v);
  CArchive& operator>>(WORD& v);
  CArchive& operator>>(DWORD& v);
  CArchive& operator>>(LONG& v);
  CArchive& operator>>(short& v);
  CArchive& operator>>(char& v);
  CArchive& operator>>(bool& v);
  CArchive& operator>>(LONGLONG& v);
  CArchive& operator>>(ULONGLONG& v);
  CArchive& operator>>(float& v);
  CArchive& operator>>(double& v);
  CArchive& operator>>(CString& s);
  CArchive& operator>>(CObject*& object);

  // Longest string a loading archive accepts, in characters; longer lengths are damage.
  static constexpr ULONGLONG kMaxStringLength = 1u << 20;

 private:
  void FillBuffer(UINT needed);
  template <typename T>
  CArchive& WriteValue(T v);
  template <typename T>
  CArchive& ReadValue(T& v);
  [[noreturn]] void Fail(int cause) const;

  CFile* m_file;
  bool m_loading;
  bool m_closed = false;
  std::vector<BYTE> m_buffer;
  std::size_t m_pos = 0;  // next byte in the buffer
  std::size_t m_end = 0;  // end of valid bytes (loading)
  bool m_lastObjectNew = false;

  // Storing: objects and classes already written, by their index.
  std::unordered_map<const void*, DWORD> m_storeMap;
  // Loading: index -> class or object; an entry is a class when its flag is set.
  struct LoadEntry {
    const void* p;
    bool isClass;
  };
  std::vector<LoadEntry> m_loadArray;
  DWORD m_mapCount = 1;
};

// A doubly linked list of object pointers. It does not own its objects.
struct KvObListNode;
using POSITION = KvObListNode*;

class KV_PLATFORM_API CObList : public CObject {
  DECLARE_SERIAL(CObList)
 public:
  CObList() = default;
  CObList(const CObList&) = delete;
  CObList& operator=(const CObList&) = delete;
  ~CObList() override;

  INT_PTR GetCount() const { return m_count; }
  INT_PTR GetSize() const { return m_count; }
  bool IsEmpty() const { return m_count == 0; }

  CObject*& GetHead();
  CObject*& GetTail();
  CObject* RemoveHead();
  POSITION AddHead(CObject* p);
  POSITION AddTail(CObject* p);
  void AddTail(CObList* other);
  void RemoveAll();

  POSITION GetHeadPosition() const { return m_head; }
  POSITION GetTailPosition() const { return m_tail; }
  CObject*& GetNext(POSITION& pos);
  CObject*& GetAt(POSITION pos);
  void SetAt(POSITION pos, CObject* p);
  void RemoveAt(POSITION pos);
  POSITION InsertBefore(POSITION pos, CObject* p);
  POSITION InsertAfter(POSITION pos, CObject* p);
  POSITION Find(const CObject* p, POSITION after = nullptr) const;
  POSITION FindIndex(INT_PTR index) const;

  void Serialize(CArchive& ar) override;

 private:
  KvObListNode* m_head = nullptr;
  KvObListNode* m_tail = nullptr;
  INT_PTR m_count = 0;
};

struct KvObListNode {
  KvObListNode* next;
  KvObListNode* prev;
  CObject* data;
};
