#include "app/gui/settingsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "app/application.h"
#include "app/settings.h"
#include "app/settingsapply.h"
#include "rules/notation.h"
#include "rules/variants.h"

namespace quorlin::gui {

SettingsDialog::SettingsDialog(TApplication& app, QWidget* parent) : QDialog(parent), app_(app) {
  setWindowTitle(tr("Settings"));
  auto* form = new QFormLayout;

  GameType = new QComboBox(this);
  for (int v = 1; v <= kVariantCount; ++v) GameType->addItem(QString::fromStdString(VariantTable[v].Name));
  GameType->setCurrentIndex(std::clamp(app_.CurrentVariant(), 1, kVariantCount) - 1);
  form->addRow(tr("Game:"), GameType);
  connect(GameType, &QComboBox::activated, this, [this](int item) {
    // SelectVariant stops the engines itself before it touches the table.
    ApplyGameType(app_, item);
  });

  SpanishBlack = new QCheckBox(tr("Spanish board on the dark squares"), this);
  SpanishBlack->setChecked(Settings.SpanishBlack.load());
  form->addRow(QString(), SpanishBlack);
  connect(SpanishBlack, &QCheckBox::toggled, this,
          [this](bool on) { WhenIdle([this, on] { ApplySpanishBlack(app_, on); }); });

  PoolStyle = new QComboBox(this);
  PoolStyle->addItems({tr("Classic"), tr("Jamaican"), tr("Unified")});
  PoolStyle->setCurrentIndex(std::clamp(Settings.PoolStyle.load(), 0, 2));
  form->addRow(tr("Pool board:"), PoolStyle);
  connect(PoolStyle, &QComboBox::activated, this,
          [this](int style) { WhenIdle([this, style] { ApplyPoolStyle(app_, style); }); });

  FlipBoard = new QCheckBox(tr("Brazilian board mirrored"), this);
  FlipBoard->setChecked(VariantTable[kBrazilian].intface.BoardMirrored);
  form->addRow(QString(), FlipBoard);
  connect(FlipBoard, &QCheckBox::toggled, this,
          [this](bool on) { WhenIdle([this, on] { ApplyFlipBoard(app_, on); }); });

  Philippine = new QCheckBox(tr("Philippine notation"), this);
  Philippine->setChecked(ForcePhilippinesNotation);
  form->addRow(QString(), Philippine);
  connect(Philippine, &QCheckBox::toggled, this,
          [this](bool on) { WhenIdle([this, on] { ApplyPhilippineNotation(app_, on); }); });

  BoardSize = new QSlider(Qt::Horizontal, this);
  BoardSize->setRange(kMinBoardSize, kMaxBoardSize);
  BoardSize->setValue(Settings.BrdSize.load());
  auto* sizeLabel = new QLabel(QString("%1%").arg(BoardSize->value()), this);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(BoardSize, 1);
  sizeRow->addWidget(sizeLabel);
  form->addRow(tr("Board size:"), sizeRow);
  connect(BoardSize, &QSlider::valueChanged, this, [this, sizeLabel](int v) {
    sizeLabel->setText(QString("%1%").arg(ApplyBoardSize(v)));
    app_.RequestBoardRedraw(false);
  });

  Threads = new QSpinBox(this);
  Threads->setRange(0, kMaxThreads);
  Threads->setSpecialValueText(tr("no limit"));
  Threads->setValue(Settings.ThreadsCount.load());
  form->addRow(tr("Search threads:"), Threads);
  connect(Threads, &QSpinBox::valueChanged, this, [](int v) { ApplyThreadsCount(v); });

  auto toggle = [this, form](QCheckBox*& box, const QString& text, std::atomic<bool>& setting) {
    box = new QCheckBox(text, this);
    box->setChecked(setting.load());
    form->addRow(QString(), box);
    connect(box, &QCheckBox::toggled, this, [this, &setting](bool on) {
      setting = on;
      app_.RequestBoardRedraw(true);
    });
  };
  toggle(Coordinates, tr("Coordinates"), Settings.Showcoords);
  toggle(Highlight, tr("Mark last move"), Settings.Highlightmoves);
  toggle(Sound, tr("Sound"), Settings.SoundOn);
  toggle(AutoCapture, tr("Auto capture"), Settings.AutoCapture);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  timer_ = new QTimer(this);
  timer_->setInterval(25);
  connect(timer_, &QTimer::timeout, this, [this] { ApplyPending(); });
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::WhenIdle(std::function<void()> change) {
  app_.StopEngines();
  pending_.push_back(std::move(change));
  ApplyPending();
  if (ChangesPending()) timer_->start();
}

void SettingsDialog::ApplyPending() {
  if (pending_.empty() || !EnginesIdle(app_)) return;
  auto changes = std::move(pending_);
  pending_.clear();
  for (auto& change : changes) change();
  timer_->stop();
  if (closing_) Close();
}

void SettingsDialog::done(int result) {
  // Whatever still waits is applied before the settings are written: the
  // window closes once the engines have stopped.
  closing_ = true;
  result_ = result;
  if (ChangesPending()) {
    hide();
    timer_->start();
    return;
  }
  Close();
}

void SettingsDialog::Close() {
  closing_ = false;
  SaveSettings();
  QDialog::done(result_);
}

}  // namespace quorlin::gui
