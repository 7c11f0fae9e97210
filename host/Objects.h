// The suite's serialisable object base, its owning object list and the thumbnail object.
#pragma once

#include "platform/Archive.h"
#include "platform/Geometry.h"

class KV_HOST_API CKvObject : public CObject {
  DECLARE_SERIAL(CKvObject)
 public:
  CKvObject() = default;
  CKvObject(const CKvObject&) = default;
  ~CKvObject() override = default;

  // Virtual assignment: derived classes copy their own members from an object of their
  // class. The base has nothing to copy.
  virtual CKvObject& operator=(const CKvObject& other);
  // The base writes nothing; derived classes call it first.
  void Serialize(CArchive& ar) override;
  // 1 when `other` is an object of the same class that holds the same values, else 0.
  virtual int Compare(const CKvObject* other) const;
  // A new object of the same class assigned from this one; null when it cannot be made.
  virtual CKvObject* MakeCopy() const;
  // Assigns from another object of the same class; 0 when it is not one.
  virtual int Assign(CKvObject* other);
};

// An owning list of CKvObject pointers: DeleteAll, DeleteAt and the destructor delete the
// objects; CObList's RemoveAll and RemoveAt only drop the pointers.
class KV_HOST_API CKvObList : public CObList {
  DECLARE_SERIAL(CKvObList)
 public:
  CKvObList() = default;
  ~CKvObList() override;

  virtual void DeleteAll();
  void DeleteAt(POSITION pos);
  // Replaces the content with copies (MakeCopy) of the other list's objects.
  void CopyFrom(const CKvObList& other);
  CKvObList& operator=(const CKvObList& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }

  // Loading accepts only objects of CKvObject classes created by this read: a damaged
  // archive cannot make the list own an object twice or own one held elsewhere.
  void Serialize(CArchive& ar) override;
};

// A small thumbnail: rows bottom-up, padded to 4 bytes, of 24 (or 32) bits per pixel, in a
// fixed global-memory block that the object owns.
class KV_HOST_API CKvIconObj : public CKvObject {
  DECLARE_SERIAL(CKvIconObj)
 public:
  CKvIconObj() = default;
  CKvIconObj(const CKvIconObj& other);
  ~CKvIconObj() override;

  CKvObject& operator=(const CKvObject& other) override;
  CKvIconObj& operator=(const CKvIconObj& other);

  // Takes over a fixed global block (as KvGuiMakeIcon returns) holding a picture of `size`
  // pixels at `bits` per pixel; the previous icon is freed. A null block empties the icon.
  void SetIcon(BYTE* globalBlock, CSize size, int bits = 24);
  CSize GetIconSize() const { return m_size; }
  int GetIconBitCount() const { return m_bits; }
  const BYTE* GetIconBits() const { return m_bytes; }
  std::size_t GetIconBytes() const;
  bool IsEmpty() const { return m_bytes == nullptr; }
  void Empty();

  int Compare(const CKvObject* other) const override;
  void Serialize(CArchive& ar) override;

  static std::size_t RowBytes(int width, int bits);
  // Icons larger than this on a side are damage when loading.
  static constexpr int kMaxSide = 1024;

 private:
  BYTE* m_bytes = nullptr;
  CSize m_size;
  int m_bits = 24;
};
