#include "TrimModeCombo.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QPainter>
#include <QStylePainter>
#include <algorithm>

#include "Fonts.h"
#include "ViewMapping.h"

namespace tarvo {

namespace {

// Room between the title column and the explanation column.
constexpr int kColumnGap = 6;

constexpr int kExplanationRole = Qt::UserRole;

void DrawClippedText(QPainter& painter, const QRect& rect, const QString& text,
                     const QColor& background) {
  if (rect.width() <= 0) return;
  painter.save();
  painter.setClipRect(rect);
  painter.fillRect(rect, background);
  painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  painter.restore();
}

}  // namespace

void DrawTrimModeItem(QPainter& painter, const QRect& rect, const QString& title,
                      const QString& explanation, int titleWidth, const QColor& foreground,
                      const QColor& background) {
  painter.save();
  painter.setPen(foreground);
  DrawClippedText(painter, rect, title, background);
  QRect explanationRect = rect;
  explanationRect.setLeft(rect.left() + titleWidth + kColumnGap);
  DrawClippedText(painter, explanationRect, explanation, background);
  painter.restore();
}

TTrimModeItemDelegate::TTrimModeItemDelegate(QComboBox* combo)
    : QStyledItemDelegate(combo), combo_(combo) {}

void TTrimModeItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
  const bool selected = option.state.testFlag(QStyle::State_Selected);
  const QPalette& palette = option.palette;
  const auto* combo = qobject_cast<const TTrimModeCombo*>(combo_);
  painter->setFont(combo_->font());
  DrawTrimModeItem(*painter, option.rect, index.data(Qt::DisplayRole).toString(),
                   index.data(kExplanationRole).toString(),
                   combo != nullptr ? combo->ModeTitleWidth() : 0,
                   palette.color(selected ? QPalette::HighlightedText : QPalette::Text),
                   palette.color(selected ? QPalette::Highlight : QPalette::Base));
}

QSize TTrimModeItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
  // Fixed for the font: 15 pixels, or the font's line where a 15-pixel face needs more room.
  return {QStyledItemDelegate::sizeHint(option, index).width(),
          std::max(kItemHeight, QFontMetrics(combo_->font()).height())};
}

TTrimModeCombo::TTrimModeCombo(QWidget* parent) : TToolbarCombo(parent) {
  setFont(GothicFont());
  setItemDelegate(new TTrimModeItemDelegate(this));
}

void TTrimModeCombo::Rebuild(const TTrimModeList& trimModes) {
  const int previous = currentIndex();
  clear();
  const QFontMetrics metrics(font());
  widths_ = MeasureTrimModes(
      trimModes, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); });
  for (const TTrimModePreset& preset : trimModes) {
    addItem(preset.Title);
    setItemData(count() - 1, preset.Explanation, kExplanationRole);
  }
  setCurrentIndex(RebuiltTrimModeIndex(previous, count()));
}

void TTrimModeCombo::showPopup() { ShowPopupAtLeast(ModeDropDownWidth()); }

void TTrimModeCombo::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText.clear();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  if (currentIndex() < 0) return;
  const QRect field =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  // The closed combo shows the chosen item as the list does, cut at the field's width.
  const bool focused = hasFocus();
  const QPalette& colors = palette();
  DrawTrimModeItem(painter, field, itemText(currentIndex()),
                   itemData(currentIndex(), kExplanationRole).toString(), ModeTitleWidth(),
                   colors.color(focused ? QPalette::HighlightedText : QPalette::Text),
                   colors.color(focused ? QPalette::Highlight : QPalette::Base));
}

}  // namespace tarvo
