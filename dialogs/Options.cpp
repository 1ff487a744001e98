#include "Options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "EditEx.h"

namespace tarvo {

using namespace Qt::StringLiterals;

namespace {

constexpr int kClientWidth = 693;
constexpr int kClientHeight = 483;
constexpr int kButtonStripHeight = 41;
constexpr int kGridHeight = 178;
constexpr int kGeneralTab = 0;
constexpr int kTrimModeTab = 1;

class TMessageBoxPrompts final : public TOptionsPrompts {
 public:
  void Message(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text,
                    QMessageBox::NoButton, parent);
    box.addButton(u"OK"_s, QMessageBox::AcceptRole);
    box.exec();
  }

  void Error(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Critical, u"エラー"_s, text, QMessageBox::NoButton, parent);
    box.addButton(u"OK"_s, QMessageBox::AcceptRole);
    box.exec();
  }

  bool Confirm(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Question, u"確認"_s, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(u"はい(&Y)"_s, QMessageBox::YesRole);
    box.addButton(u"いいえ(&N)"_s, QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes;
  }
};

QLabel* BoldLabel(const QString& text) {
  auto* label = new QLabel(text);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

// Buttons here answer only to clicks: Enter must not trigger OK while a field is edited.
QPushButton* PlainButton(const QString& text, const QString& name) {
  auto* button = new QPushButton(text);
  button->setObjectName(name);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

}  // namespace

TFm_Options::TFm_Options(TTrimModeList& trimModes, TAppSettings& appSettings, QWidget* parent,
                         std::unique_ptr<TOptionsPrompts> prompts)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      trimModes_(trimModes),
      appSettings_(appSettings),
      prompts_(prompts ? std::move(prompts) : std::make_unique<TMessageBoxPrompts>()) {
  setObjectName(u"Fm_Options"_s);
  setWindowTitle(u"オプションの設定"_s);
  setFixedSize(kClientWidth, kClientHeight);

  tabs_ = new QTabWidget;
  tabs_->addTab(CreateGeneralTab(), u"全般"_s);
  tabs_->addTab(CreateTrimModeTab(), u"切り取りモード"_s);
  // The presets are what users come here for; afterwards the tab last used stays.
  tabs_->setCurrentIndex(kTrimModeTab);

  auto* ok = PlainButton(u"OK"_s, u"Btn_OK"_s);
  auto* cancel = PlainButton(u"ｷｬﾝｾﾙ"_s, u"Btn_Cancel"_s);
  connect(ok, &QPushButton::clicked, this, &TFm_Options::Btn_OKClick);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* strip = new QWidget;
  strip->setFixedHeight(kButtonStripHeight);
  auto* stripLayout = new QHBoxLayout(strip);
  stripLayout->addStretch();
  stripLayout->addWidget(ok);
  stripLayout->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tabs_);
  layout->addWidget(strip);

  // Nothing is selected before the first showing fills the grid.
  Btn_Delete->setEnabled(false);
}

TFm_Options::~TFm_Options() = default;

QWidget* TFm_Options::CreateGeneralTab() {
  auto* tab = new QWidget;
  tab->setObjectName(u"TabSheet1"_s);
  chk_AllowDropExif = new QCheckBox(u"トリミング時にExif情報を破棄する"_s);
  chk_AllowDropExif->setObjectName(u"chk_AllowDropExif"_s);
  chk_KeepThumbnails = new QCheckBox(u"トリミング時にサムネイルとプレビュー画像を元のまま残す"_s);
  chk_KeepThumbnails->setObjectName(u"chk_KeepThumbnails"_s);
  chk_KeepThumbnails->setToolTip(
      u"オフにすると、サムネイルとプレビュー画像をトリミング後の画像から作り直します。"_s);
  chk_KeepTimeStamp_Create =
      new QCheckBox(u"画像ファイルを保存する際、元のファイルの作成日付をコピーする。"_s);
  chk_KeepTimeStamp_Create->setObjectName(u"chk_KeepTimeStamp_Create"_s);
  // Linux keeps no settable creation time; the box shows the stored choice, which is kept.
  chk_KeepTimeStamp_Create->setEnabled(false);
  chk_KeepTimeStamp_Create->setToolTip(u"Linux ではファイルの作成日時を設定できません。"_s);
  chk_KeepTimeStamp_Write =
      new QCheckBox(u"画像ファイルを保存する際、元のファイルの更新日付をコピーする。"_s);
  chk_KeepTimeStamp_Write->setObjectName(u"chk_KeepTimeStamp_Write"_s);
  Cbo_gSaveFolder = new QComboBox;
  Cbo_gSaveFolder->setObjectName(u"Cbo_gSaveFolder"_s);
  Cbo_gSaveFolder->addItems(
      {u"開いた画像ファイルのあったフォルダ"_s, u"前回画像を保存したフォルダ"_s});

  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(chk_AllowDropExif);
  layout->addWidget(chk_KeepThumbnails);
  layout->addWidget(chk_KeepTimeStamp_Create);
  layout->addWidget(chk_KeepTimeStamp_Write);
  layout->addSpacing(12);
  layout->addWidget(BoldLabel(u"画像保存時の初期フォルダ"_s));
  layout->addWidget(Cbo_gSaveFolder, 0, Qt::AlignLeft);
  layout->addStretch();
  return tab;
}

QWidget* TFm_Options::CreateTrimModeTab() {
  auto* tab = new QWidget;
  tab->setObjectName(u"TabSheet2"_s);

  Grid = new QTableWidget;
  Grid->setObjectName(u"Grid"_s);
  Grid->setFixedHeight(kGridHeight);
  Grid->setColumnCount(TOptionsEditor::kColumnCount);
  for (int column = 0; column < TOptionsEditor::kColumnCount; ++column) {
    auto* header = new QTableWidgetItem(TOptionsEditor::HeaderText(column));
    header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Grid->setHorizontalHeaderItem(column, header);
  }
  Grid->verticalHeader()->hide();
  // Header and six rows fit the grid's height without scrolling.
  Grid->verticalHeader()->setDefaultSectionSize(Grid->fontMetrics().height() + 8);
  Grid->horizontalHeader()->setSectionsClickable(false);
  Grid->setShowGrid(true);
  Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  Grid->setSelectionMode(QAbstractItemView::SingleSelection);
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid->setWordWrap(false);
  Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Grid->installEventFilter(this);
  connect(Grid, &QTableWidget::currentCellChanged, this,
          [this](int row) { GridSelectCell(row + 1); });

  Txt_Title = new QLineEdit;
  Txt_Title->setObjectName(u"Txt_Title"_s);
  Txt_Explanation = new QLineEdit;
  Txt_Explanation->setObjectName(u"Txt_Explanation"_s);
  Txt_AspectRatio_X = new TEditEx;
  Txt_AspectRatio_X->setObjectName(u"Txt_AspectRatio_X"_s);
  Txt_AspectRatio_Y = new TEditEx;
  Txt_AspectRatio_Y->setObjectName(u"Txt_AspectRatio_Y"_s);
  chk_ExtendSize = new QCheckBox(u"画像読み込み時に選択範囲を画面いっぱいに拡大する。"_s);
  chk_ExtendSize->setObjectName(u"chk_ExtendSize"_s);
  Chk_FixAspectRatio = new QCheckBox(u"選択範囲の拡大・縮小時に縦横の比率を維持する。"_s);
  Chk_FixAspectRatio->setObjectName(u"Chk_FixAspectRatio"_s);

  auto* update = PlainButton(u"追加・更新"_s, u"Btn_Update"_s);
  Btn_Delete = PlainButton(u"削除"_s, u"Btn_Delete"_s);
  auto* init = PlainButton(u"初期化"_s, u"Btn_Init"_s);
  connect(update, &QPushButton::clicked, this, &TFm_Options::Btn_UpdateClick);
  connect(Btn_Delete, &QPushButton::clicked, this, &TFm_Options::Btn_DeleteClick);
  connect(init, &QPushButton::clicked, this, &TFm_Options::Btn_InitClick);

  auto* fields = new QFormLayout;
  fields->addRow(u"タイトル"_s, Txt_Title);
  fields->addRow(u"説明"_s, Txt_Explanation);
  auto* sizes = new QHBoxLayout;
  sizes->addWidget(new QLabel(u"横サイズ"_s));
  sizes->addWidget(Txt_AspectRatio_X);
  sizes->addSpacing(16);
  sizes->addWidget(new QLabel(u"縦サイズ"_s));
  sizes->addWidget(Txt_AspectRatio_Y);
  sizes->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(update);
  buttons->addWidget(Btn_Delete);
  buttons->addWidget(init);

  auto* layout = new QVBoxLayout(tab);
  layout->setContentsMargins(0, 0, 0, 6);
  layout->addWidget(Grid);
  auto* below = new QVBoxLayout;
  below->setContentsMargins(9, 6, 9, 0);
  below->addWidget(BoldLabel(u"画像読み取り時に、自動的に選択する読み取り範囲を設定します。"_s));
  below->addLayout(fields);
  below->addLayout(sizes);
  below->addWidget(chk_ExtendSize);
  below->addWidget(Chk_FixAspectRatio);
  below->addStretch();
  below->addLayout(buttons);
  layout->addLayout(below);
  return tab;
}

bool TFm_Options::Execute() {
  FormShow();
  const QScreen* screen =
      parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
  return exec() == QDialog::Accepted;
}

void TFm_Options::FormShow() {
  editor_.Show(trimModes_, appSettings_);
  chk_KeepTimeStamp_Create->setChecked(editor_.General.gKeepTimeStamp_Create);
  chk_KeepTimeStamp_Write->setChecked(editor_.General.gKeepTimeStamp_Write);
  chk_AllowDropExif->setChecked(editor_.General.gAllowDropExif);
  chk_KeepThumbnails->setChecked(editor_.General.gKeepThumbnails);
  Cbo_gSaveFolder->setCurrentIndex(editor_.General.gSaveFolder ? 1 : 0);
  RefreshGrid();
  TabSheet2Resize();
  ShowSelectedRow();
}

void TFm_Options::TabSheet2Resize() {
  // Title wide enough for two typical titles, numbers for five digits, the flag columns for
  // their longer word; the explanation takes what is left beside the vertical scroll bar.
  const QFontMetrics metrics(Grid->font());
  const int title = 2 * metrics.horizontalAdvance(u"一般的カメラ　"_s);
  const int size =
      std::max(metrics.horizontalAdvance(u"99999"_s), metrics.horizontalAdvance(u"横サイズ "_s));
  const int extend = metrics.horizontalAdvance(u"しない　"_s);
  const int ratio = metrics.horizontalAdvance(u"固定　"_s);
  const int clientWidth = Grid->width() - 2 * Grid->frameWidth();
  const int scrollBar = Grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Grid);
  const int explanation = clientWidth - title - 2 * size - extend - ratio - scrollBar;
  const int widths[TOptionsEditor::kColumnCount] = {
      title, std::max(explanation, 0), size, size, extend, ratio};
  for (int column = 0; column < TOptionsEditor::kColumnCount; ++column) {
    Grid->setColumnWidth(column, widths[column]);
  }
}

bool TFm_Options::eventFilter(QObject* watched, QEvent* event) {
  // The grid spans the tab's width, so its resizing is the tab's.
  if (watched == Grid && event->type() == QEvent::Resize) TabSheet2Resize();
  return QDialog::eventFilter(watched, event);
}

void TFm_Options::keyPressEvent(QKeyEvent* event) {
  // Escape does not close the dialog: edits are given up only by "ｷｬﾝｾﾙ" or the close box.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TFm_Options::GridSelectCell(int row) {
  editor_.SelectRow(row);
  ShowSelectedRow();
}

void TFm_Options::RefreshGrid() {
  const QSignalBlocker blocker(Grid);
  Grid->setRowCount(editor_.RowCount() - 1);
  for (int row = 1; row < editor_.RowCount(); ++row) {
    const TTrimModePreset* entry = editor_.EntryAtRow(row);
    for (int column = 0; column < TOptionsEditor::kColumnCount; ++column) {
      auto* item =
          new QTableWidgetItem(entry ? TOptionsEditor::CellText(*entry, column) : QString());
      item->setTextAlignment(
          (TOptionsEditor::IsRightAligned(column) ? Qt::AlignRight : Qt::AlignLeft) |
          Qt::AlignVCenter);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      Grid->setItem(row - 1, column, item);
    }
  }
}

void TFm_Options::ShowSelectedRow() {
  {
    const QSignalBlocker blocker(Grid);
    Grid->setCurrentCell(editor_.SelectedRow() - 1, 0);
  }
  const TPresetFields& fields = editor_.Fields();
  Txt_Title->setText(fields.Title);
  Txt_Explanation->setText(fields.Explanation);
  Txt_AspectRatio_X->setText(fields.AspectRatio_X);
  Txt_AspectRatio_Y->setText(fields.AspectRatio_Y);
  chk_ExtendSize->setChecked(fields.ExtendSize);
  Chk_FixAspectRatio->setChecked(fields.FixAspectRatio);
  Btn_Delete->setEnabled(editor_.DeleteEnabled());
}

void TFm_Options::Btn_UpdateClick() {
  const TPresetFields fields{Txt_Title->text(),           Txt_Explanation->text(),
                             Txt_AspectRatio_X->text(),   Txt_AspectRatio_Y->text(),
                             chk_ExtendSize->isChecked(), Chk_FixAspectRatio->isChecked()};
  QString badNumber;
  switch (editor_.Update(fields, badNumber)) {
    case TOptionsEditor::TUpdateResult::Incomplete:
      prompts_->Message(this, QString::fromUtf8(kMsgFillAllFields));
      return;
    case TOptionsEditor::TUpdateResult::NotAnInteger:
      prompts_->Error(this, QString::fromUtf8(kMsgNotAnInteger).replace(u"%s"_s, badNumber));
      return;
    case TOptionsEditor::TUpdateResult::Updated:
      RefreshGrid();
      return;
    case TOptionsEditor::TUpdateResult::Added:
      RefreshGrid();
      ShowSelectedRow();
      return;
  }
}

void TFm_Options::Btn_DeleteClick() {
  editor_.DeleteSelected();
  RefreshGrid();
  ShowSelectedRow();
}

void TFm_Options::Btn_InitClick() {
  if (!prompts_->Confirm(this, QString::fromUtf8(kMsgResetTrimModes))) return;
  editor_.Initialise();
  RefreshGrid();
  ShowSelectedRow();
}

void TFm_Options::Btn_OKClick() {
  editor_.General.gKeepTimeStamp_Create = chk_KeepTimeStamp_Create->isChecked();
  editor_.General.gKeepTimeStamp_Write = chk_KeepTimeStamp_Write->isChecked();
  editor_.General.gSaveFolder = Cbo_gSaveFolder->currentIndex() == 1;
  editor_.General.gAllowDropExif = chk_AllowDropExif->isChecked();
  editor_.General.gKeepThumbnails = chk_KeepThumbnails->isChecked();
  editor_.Commit(trimModes_, appSettings_);
  accept();
}

}  // namespace tarvo
