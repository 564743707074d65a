// The window's size and place on the screen, its scrolling and its growing: the design's layout at the
// design's size, the file list and the preview taking what the user adds.

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>

#include "app/form1.h"
#include "dialogs/dialogstate.h"
#include "dialogs/qmtborderpanel.h"
#include "dialogs/qmtgauge.h"
#include "dialogs/qmtpropscb.h"
#include "settings/environment.h"

namespace velmora {

namespace {

// The rules of TAnchor: what of the extra width (dw) and height (dh) a control takes. The list takes
// the left half of dw, the preview the right half.
enum Rule : int {
  kMoveRight = 1,      // x + dw
  kMoveRightHalf = 2,  // x + the list's share of dw
  kWiden = 4,          // width + dw
  kWidenHalf = 8,      // width + the list's share
  kWidenRest = 16,     // width + the preview's share
  kMoveDown = 32,      // y + dh
  kGrowDown = 64,      // height + dh
  kMoveOnly = 128,     // a label that sizes itself: only its place changes
};

}  // namespace

void TForm1::RecordAnchors() {
  const std::pair<QWidget*, int> rules[] = {
      {LabelO, kMoveRight},
      {QMTBorderPanel1, kWiden},
      {eFoldZ, kWiden},
      {eFoldDo, kWiden},
      {sbOpenZ, kMoveRight},
      {sbOpenDo, kMoveRight},
      {lUwaga, kWiden},
      {CLB, kWidenHalf | kGrowDown},
      {Panel1, kMoveRightHalf | kWidenRest | kGrowDown},
      {lPodgl, kMoveRightHalf | kWidenRest | kMoveDown},
      {sbKlucz, kMoveDown},
      {eKlucz, kMoveDown},
      {Label7, kMoveDown | kMoveOnly},
      {cbZapUst, kMoveRight | kMoveDown},
      {QMTBorderPanel2, kWiden | kMoveDown},
      {cbUsunGPS, kMoveRight},
      {sbWyk, kMoveDown},
      {lProgress, kMoveRight | kMoveDown | kMoveOnly},
      {Gauge1, kWiden | kMoveDown},
      {sbStop, kMoveRight | kMoveDown},
      {sbOtworz, kMoveRight | kMoveDown},
      {cbPomijaj, kMoveDown},
      {lStan, kWiden | kMoveDown},
      {lOpcje, kMoveDown},
  };
  for (const auto& [widget, rule] : rules) anchors_.push_back({widget, widget->geometry(), rule});
  client_->setMinimumSize(kDesignSize);
}

void TForm1::LayoutControls(QSize client) {
  if (anchors_.empty()) return;  // still being built
  const int dw = std::max(0, client.width() - kDesignSize.width());
  const int dh = std::max(0, client.height() - kDesignSize.height());
  const int listShare = dw / 2;
  const QSize previewBefore = Image1->size();
  for (const TAnchor& a : anchors_) {
    QRect r = a.design;
    if (a.rules & kMoveRight) r.translate(dw, 0);
    if (a.rules & kMoveRightHalf) r.translate(listShare, 0);
    if (a.rules & kWiden) r.setWidth(r.width() + dw);
    if (a.rules & kWidenHalf) r.setWidth(r.width() + listShare);
    if (a.rules & kWidenRest) r.setWidth(r.width() + dw - listShare);
    if (a.rules & kMoveDown) r.translate(0, dh);
    if (a.rules & kGrowDown) r.setHeight(r.height() + dh);
    if (a.rules & kMoveOnly) {
      a.widget->move(r.topLeft());
    } else {
      a.widget->setGeometry(r);
    }
  }
  // The preview's picture and placeholder fill its frame as they do at the design's size.
  for (QWidget* inside : Panel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (inside == Image1) {
      inside->setGeometry(1, 1, Panel1->width(), Panel1->height());
    } else {
      inside->setGeometry(0, 0, Panel1->width(), Panel1->height());
    }
  }
  if (Image1->size() != previewBefore && !lastPreviewPath_.isEmpty()) previewTimer_->start();
}

void TForm1::FitToScreen(const std::optional<QRect>& wanted) {
  wantedGeometry_ = wanted;
  const QScreen* screen = wanted ? QGuiApplication::screenAt(wanted->center()) : nullptr;
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  // Known once the window manager has framed the window; before, the frame of the last dialog it framed.
  QMargins frame = DialogState().LastFrameMargins;
  if (isVisible() && frameGeometry() != geometry()) {
    const QRect f = frameGeometry(), g = geometry();
    frame = QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
  }
  const QSize room = area.size().shrunkBy(frame);
  QSize size = wanted ? wanted->size() : kDesignSize;
  // Too low for the design: room for the vertical scroll bar too, so no horizontal one is needed.
  if (size.height() > room.height() && size.width() <= kDesignSize.width())
    size.setWidth(kDesignSize.width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_));
  size = size.boundedTo(room).expandedTo(kMinimumWindowSize);
  resize(size);
  const QSize framed = size.grownBy(frame);
  QPoint at = wanted ? wanted->topLeft()
                     : QPoint(area.left() + (area.width() - framed.width()) / 2,
                              area.top() + (area.height() - framed.height()) / 2);
  // The whole frame inside the area, its title bar first when it cannot all be.
  at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - framed.width())));
  at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - framed.height())));
  move(at);
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (QWindow* window = windowHandle(); window && !refitted_) window->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // The frame is known once the window is exposed: fitted again with it, once.
  if (watched == windowHandle() && event->type() == QEvent::Expose && !refitted_ && windowHandle()->isExposed()) {
    refitted_ = true;
    windowHandle()->removeEventFilter(this);
    QTimer::singleShot(0, this, [this] {
      if (frameGeometry() != geometry()) FitToScreen(wantedGeometry_);
    });
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velmora
