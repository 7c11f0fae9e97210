// Windows and device contexts, reduced to the operations the library calls: client
// rectangle, child test, move, get and release a device context, fill a rectangle, draw a
// 24-bit picture. The Qt layer implements them over widgets; CBufferDC implements a device
// context over a pixel buffer for tests and tools.
#pragma once

#include <vector>

#include "platform/Geometry.h"

class CDC {
 public:
  virtual ~CDC() = default;
  virtual void FillSolidRect(const RECT& rect, COLORREF color) = 0;
  // Draws a 24-bit picture, rows bottom-up and padded to 4 bytes (bytes B, G, R), stretched
  // into `dest`.
  virtual BOOL DrawDib24(const RECT& dest, const BYTE* bits, CSize size) = 0;
};

class CWnd {
 public:
  virtual ~CWnd() = default;
  virtual void GetClientRect(RECT* rect) const = 0;
  // TRUE for a child window (one placed in a parent's client area).
  virtual BOOL IsChildWindow() const = 0;
  // The window's rectangle in its parent's client coordinates.
  virtual CRect GetRectInParent() const = 0;
  virtual void MoveWindow(const RECT& rectInParent, BOOL repaint = TRUE) = 0;
  // A device context for painting the client area, or null; give it back with ReleaseDC.
  virtual CDC* GetDC() = 0;
  virtual int ReleaseDC(CDC* dc) = 0;
  HWND GetSafeHwnd() const { return const_cast<CWnd*>(this); }
};

// A device context over width x height pixels of 32 bits (bytes B, G, R, A; alpha set to
// 255 where drawn), rows top to bottom. Drawing is clipped to the buffer.
class KV_PLATFORM_API CBufferDC : public CDC {
 public:
  CBufferDC(DWORD* pixels, int width, int height)
      : m_pixels(pixels), m_width(width), m_height(height) {}
  void FillSolidRect(const RECT& rect, COLORREF color) override;
  BOOL DrawDib24(const RECT& dest, const BYTE* bits, CSize size) override;

 private:
  DWORD* m_pixels;
  int m_width;
  int m_height;
};

// A bitmap loaded from a module's resources: the raw bytes of its information header,
// colour table and rows.
class CBitmap {
 public:
  BOOL Attach(const BYTE* data, std::size_t size) {
    m_data.assign(data, data + size);
    return !m_data.empty();
  }
  void DeleteObject() { m_data.clear(); }
  const std::vector<BYTE>& GetData() const { return m_data; }
  bool IsEmpty() const { return m_data.empty(); }

 private:
  std::vector<BYTE> m_data;
};
