#include "ui/QtWindow.h"

#include <QPainter>
#include <QResizeEvent>

#include "ui/HostControls.h"

namespace {

QRect ToQRect(const RECT& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

}  // namespace

void CKvQtDC::FillSolidRect(const RECT& rect, COLORREF color) {
  if (!m_image || m_image->isNull()) return;
  QPainter painter(m_image);
  painter.fillRect(ToQRect(rect), QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
}

BOOL CKvQtDC::DrawDib24(const RECT& dest, const BYTE* bits, CSize size) {
  if (!m_image || m_image->isNull() || !bits || size.cx <= 0 || size.cy <= 0) return FALSE;
  const qsizetype stride = (static_cast<qsizetype>(size.cx) * 3 + 3) & ~qsizetype{3};
  // Rows are bottom-up: the picture is read as it lies and mirrored.
  const QImage rows(bits, size.cx, size.cy, stride, QImage::Format_BGR888);
  QPainter painter(m_image);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(ToQRect(dest), rows.mirrored(false, true));
  return TRUE;
}

CKvCanvasWidget::CKvCanvasWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage& CKvCanvasWidget::Backing() {
  if (m_backing.size() != size()) {
    m_backing = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_backing.fill(Qt::black);
  }
  return m_backing;
}

void CKvCanvasWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, Backing());
}

void CKvCanvasWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (onResize) onResize();
}

void CKvQtWnd::GetClientRect(RECT* rect) const {
  if (!rect) return;
  const QSize s = m_widget ? m_widget->size() : QSize();
  *rect = CRect(0, 0, s.width(), s.height());
}

BOOL CKvQtWnd::IsChildWindow() const { return m_widget && !m_widget->isWindow(); }

CRect CKvQtWnd::GetRectInParent() const {
  if (!m_widget) return CRect();
  const QRect g = m_widget->geometry();
  return CRect(g.x(), g.y(), g.x() + g.width(), g.y() + g.height());
}

void CKvQtWnd::MoveWindow(const RECT& rect, BOOL repaint) {
  if (!m_widget) return;
  // A widget in a layout keeps the layout's width; the fitted width is its own.
  if (m_widget->parentWidget() && m_widget->parentWidget()->layout())
    m_widget->setFixedWidth(rect.right - rect.left);
  else
    m_widget->setGeometry(ToQRect(rect));
  if (repaint) m_widget->update();
}

CDC* CKvQtWnd::GetDC() {
  auto* canvas = dynamic_cast<CKvCanvasWidget*>(m_widget.data());
  if (!canvas) return nullptr;
  m_dc = std::make_unique<CKvQtDC>(&canvas->Backing());
  return m_dc.get();
}

int CKvQtWnd::ReleaseDC(CDC* dc) {
  if (!dc || dc != m_dc.get()) return 0;
  m_dc.reset();
  if (m_widget) m_widget->update();
  return 1;
}

QWidget* KvQtWidgetOf(CWnd* window) {
  if (auto* qt = dynamic_cast<CKvQtWnd*>(window)) return qt->Widget();
  if (auto* dialog = dynamic_cast<CKvDialog*>(window)) return KvDialogWidget(dialog);
  return nullptr;
}
