#pragma once

// The self-drawn check box: a classic square box with a tick, or a small on/off switch, followed by a
// caption that can be bold, greyed or word-wrapped. Its settings are entries of the property bag.

#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "dialogs/qmtpropspanel.h"

namespace velmora {

// A colour reference: red in the low byte, then green, then blue (65535 is yellow).
using TColorRef = std::uint32_t;

class TQMTPropsCB : public TQMTPropsPanel {
  Q_OBJECT
 public:
  static constexpr int kLineHeight = 15;
  static constexpr TColorRef kDefaultHighlighter = 254u | (233u << 8) | (169u << 16);

  explicit TQMTPropsCB(QWidget* parent = nullptr);

  // Not in the bag. With WordWrap on, setting it lays the caption out again.
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  // Bag "checked". Setting it in code repaints and fires no clicked().
  bool Checked() const;
  void SetChecked(bool checked);
  // Bag "newStyle": true draws the switch, false the classic box.
  bool NewStyle() const;
  void SetNewStyle(bool on);
  // Bag "enabled": the box's own flag; the widget itself stays enabled. False greys the caption and
  // makes a click do nothing at all.
  bool Enabled() const;
  void SetEnabled(bool enabled);
  // Bag "bold".
  bool Bold() const;
  void SetBold(bool bold);
  // Bag "WordWrap". On: LayoutWrappedCaption; off: no wrapped lines and height 15.
  bool WordWrap() const;
  void SetWordWrap(bool on);
  // Bag "HiglighterColor": the fill of a checked switch.
  TColorRef HiglighterColor() const;
  void SetHiglighterColor(TColorRef color);

  // The hint shown as a tool tip while ShowHint is on. A paint turns it on with the caption as hint when the
  // caption is clipped (no word wrap), and off with word wrap.
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool show);
  void SetHint(const QString& hint);

  // The caption's lines while WordWrap is on, absent otherwise.
  const std::optional<QStringList>& WrappedLines() const { return wrappedLines_; }
  // Wraps the caption at the width after the box and sets the height to 15 per line.
  void LayoutWrappedCaption();

  // A click: toggles Checked and emits clicked() when Enabled; nothing at all otherwise.
  void Click();

  // The control's pixels as a paint draws them (before OnPaint). At a device pixel ratio of 1 pixel for
  // pixel as designed; above it the same shapes drawn at that resolution, so they stay sharp.
  QImage RenderImage(qreal devicePixelRatio = 1.0) const;

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Space toggles the box like a click, as with every other check box.
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool BoolProp(const char* key) const;
  void SetBoolProp(const char* key, bool value);
  int CaptionLeft() const { return NewStyle() ? 28 : 19; }
  QFont CaptionFont() const;
  void UpdateHint();
  void DrawBoxPixels(QImage& image, int v) const;
  void DrawBoxScaled(QImage& image, int v) const;

  std::optional<QStringList> wrappedLines_;
  QString caption_;
  bool showHint_ = false;
  QString hint_;
};

}  // namespace velmora
