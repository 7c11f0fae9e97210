// Windows and device contexts over Qt: a CWnd over any QWidget, and a canvas widget whose
// device context paints into a backing image that is shown on the next paint (Qt paints a
// widget only inside its paint event, the library draws whenever it likes).
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/Window.h"

// A device context over a QImage.
class CKvQtDC : public CDC {
 public:
  explicit CKvQtDC(QImage* image) : m_image(image) {}
  void FillSolidRect(const RECT& rect, COLORREF color) override;
  BOOL DrawDib24(const RECT& dest, const BYTE* bits, CSize size) override;

 private:
  QImage* m_image;
};

// A widget that shows what was drawn into its device context; `onResize` asks its owner
// to draw again at the new size.
class CKvCanvasWidget : public QWidget {
 public:
  explicit CKvCanvasWidget(QWidget* parent = nullptr);
  QImage& Backing();
  std::function<void()> onResize;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage m_backing;
};

// A CWnd over a widget it does not own. A canvas widget gives a device context.
class CKvQtWnd : public CWnd {
 public:
  explicit CKvQtWnd(QWidget* widget) : m_widget(widget) {}
  QWidget* Widget() const { return m_widget; }

  void GetClientRect(RECT* rect) const override;
  BOOL IsChildWindow() const override;
  CRect GetRectInParent() const override;
  void MoveWindow(const RECT& rectInParent, BOOL repaint = TRUE) override;
  CDC* GetDC() override;
  int ReleaseDC(CDC* dc) override;

 private:
  QPointer<QWidget> m_widget;
  std::unique_ptr<CKvQtDC> m_dc;
};

// The widget behind a window of the library or the host, or null.
QWidget* KvQtWidgetOf(CWnd* window);
