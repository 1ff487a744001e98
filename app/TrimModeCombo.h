// The trim-mode combo: each item shows its title and, aligned after the widest title, its
// explanation.
#pragma once

#include <QStyledItemDelegate>

#include "ToolbarCombo.h"
#include "TrimModeSelector.h"

namespace tarvo {

// Fills rect with background and draws title at its top-left corner, then explanation from
// left + titleWidth + 6, each clipped to its part of rect.
void DrawTrimModeItem(QPainter& painter, const QRect& rect, const QString& title,
                      const QString& explanation, int titleWidth, const QColor& foreground,
                      const QColor& background);

// Draws the items of the drop-down list in the two columns, at least 15 pixels high each.
class TTrimModeItemDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  static constexpr int kItemHeight = 15;

  explicit TTrimModeItemDelegate(QComboBox* combo);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  const QComboBox* combo_;
};

class TTrimModeCombo : public TToolbarCombo {
  Q_OBJECT

 public:
  explicit TTrimModeCombo(QWidget* parent = nullptr);

  // Refills the items from the list, measuring the columns in the combo's font, and keeps the
  // chosen item where it still exists.
  void Rebuild(const TTrimModeList& trimModes);

  int ModeTitleWidth() const { return widths_.ModeTitleWidth; }
  int ModeDropDownWidth() const { return widths_.ModeDropDownWidth; }

  void showPopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TTrimModeWidths widths_;
};

}  // namespace tarvo
