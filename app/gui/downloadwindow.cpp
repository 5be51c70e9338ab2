#include "app/gui/downloadwindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/folders.h"
#include "app/settings.h"
#include "download/basearchives.h"

namespace quorlin {

namespace {

constexpr int kRefreshMs = 25;
constexpr int kBarSteps = 1000;  // progress bars count in thousandths of the part

QString KBps(int64_t bytesPerSecond) { return QString("%1 KB/s").arg(bytesPerSecond / 1024); }

}  // namespace

TDownloadWindowSetup TDownloadWindowSetup::FromSettings() {
  TDownloadWindowSetup setup;
  setup.Servers = {Settings.DownloadServer1, Settings.DownloadServer2};
  setup.TempFolder = quorlin::TempFolder;
  setup.DataFolder = quorlin::DataFolder;
  return setup;
}

TFormDownload::TFormDownload(TDownloadWindowSetup setup, QWidget* parent)
    : QWidget(parent), setup_(std::move(setup)) {
  FormCreate();
}

TFormDownload::~TFormDownload() {
  download_.Stop();
  download_.Wait();
}

void TFormDownload::FormCreate() {
  setWindowTitle(kDownloadWindowCaption);
  auto* top = new QHBoxLayout;
  SpeedButton1 = new QToolButton;
  SpeedButton1->setArrowType(Qt::LeftArrow);
  SpeedButton1->setToolTip("Back");
  EditURL = new QComboBox;
  EditURL->setEditable(true);
  for (const std::string& server : setup_.Servers) EditURL->addItem(QString::fromStdString(server));
  EditURL->setMinimumContentsLength(28);
  EditFileName = new QComboBox;
  for (const char* name : kBaseArchiveNames) EditFileName->addItem(name);
  BStartDownload = new QPushButton("Start Download");
  LabelGlobalSpeed = new QLabel("GlobalSpeed: 0 KB/s");
  // Wide enough for any speed, so the row does not shift while it changes.
  LabelGlobalSpeed->setMinimumWidth(
      LabelGlobalSpeed->fontMetrics().horizontalAdvance("Global Speed: 9999999 KB/s"));
  top->addWidget(SpeedButton1);
  top->addWidget(new QLabel("Server:"));
  top->addWidget(EditURL, 1);
  top->addWidget(new QLabel("File:"));
  top->addWidget(EditFileName);
  top->addWidget(BStartDownload);
  top->addWidget(LabelGlobalSpeed);

  auto* rows = new QGridLayout;
  for (int i = 0; i < kRows; ++i) {
    ButtonCancelArray[i] = new QPushButton("Cancel");
    ButtonCancelArray[i]->setEnabled(false);
    ButtonCancelArray[i]->setToolTip(QString("Cancel part %1").arg(i + 1));
    LabelProgressArray[i] = new QLabel("0 KB/s");
    LabelProgressArray[i]->setMinimumWidth(90);
    LabelProgressArray[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressBarArray[i] = new QProgressBar;
    ProgressBarArray[i]->setRange(0, kBarSteps);
    ProgressBarArray[i]->setValue(0);
    rows->addWidget(ButtonCancelArray[i], i, 0);
    rows->addWidget(LabelProgressArray[i], i, 1);
    rows->addWidget(ProgressBarArray[i], i, 2);
    connect(ButtonCancelArray[i], &QPushButton::clicked, this, [this, i] { ButtonCancelClick(i); });
  }
  rows->setColumnStretch(2, 1);

  Memo1 = new QPlainTextEdit;
  Memo1->setReadOnly(true);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(rows);
  layout->addWidget(Memo1, 1);

  timer_ = new QTimer(this);
  timer_->setInterval(kRefreshMs);
  connect(timer_, &QTimer::timeout, this, [this] { RefreshFromDownload(); });
  connect(BStartDownload, &QPushButton::clicked, this, [this] { BStartDownloadClick(); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  resize(760, 420);
}

void TFormDownload::BStartDownloadClick() {
  const std::string name = EditFileName->currentText().toStdString();
  TDownloadRequest request;
  request.Url = BaseArchiveUrl(EditURL->currentText().toStdString(), name);
  request.ArchivePath = BaseArchivePath(setup_.TempFolder, name);
  request.DestFolder = setup_.DataFolder;
  request.Parts = kRows;
  request.Limits = setup_.Limits;
  if (!download_.Start(request)) return;

  Memo1->clear();
  logShown_ = 0;
  BStartDownload->setEnabled(false);
  FAllowFormClose = false;
  FClosingForm = false;
  cancelClicked_.fill(false);
  for (int i = 0; i < kRows; ++i) {
    ProgressBarArray[i]->setRange(0, kBarSteps);
    ProgressBarArray[i]->setValue(0);
    LabelProgressArray[i]->setText(KBps(0));
    ButtonCancelArray[i]->setEnabled(false);
  }
  timer_->start();
}

void TFormDownload::ButtonCancelClick(int part) {
  ButtonCancelArray[part]->setEnabled(false);
  cancelClicked_[part] = true;
  download_.CancelPart(part);
}

void TFormDownload::SpeedButton1Click() { close(); }

void TFormDownload::closeEvent(QCloseEvent* event) {
  if (FAllowFormClose) {
    event->accept();
    return;
  }
  // The download ends within about a second; the timer closes the window then.
  if (!FClosingForm) {
    Memo1->appendPlainText(kCancellingText);
    FClosingForm = true;
    download_.Stop();
    for (QPushButton* b : ButtonCancelArray) b->setEnabled(false);
  }
  event->ignore();
}

void TFormDownload::RefreshFromDownload() {
  // Asked first: once the download has ended, everything it published is
  // there to read, its last log lines included.
  const bool ended = !download_.Running();
  ShowNewLogLines();
  ShowParts();
  LabelGlobalSpeed->setText("Global Speed: " + KBps(download_.Speed()));
  if (ended) DownloadEnded();
}

void TFormDownload::ShowNewLogLines() {
  for (const std::string& line : download_.LogLines(logShown_)) {
    Memo1->appendPlainText(QString::fromStdString(line));
    ++logShown_;
  }
}

void TFormDownload::ShowParts() {
  const int count = std::min(download_.PartCount(), kRows);
  for (int i = 0; i < count; ++i) {
    const TPartProgress p = download_.Part(i);
    QProgressBar* bar = ProgressBarArray[i];
    if (p.Length < 0) {
      bar->setRange(0, 0);  // size unknown: a busy bar
    } else {
      bar->setRange(0, kBarSteps);
      bar->setValue(p.Length == 0 ? kBarSteps : static_cast<int>(p.Received * kBarSteps / p.Length));
    }
    LabelProgressArray[i]->setText(KBps(p.Speed));
    const bool active = p.Status == TPartStatus::Waiting || p.Status == TPartStatus::Running;
    ButtonCancelArray[i]->setEnabled(active && !cancelClicked_[i] && !FClosingForm);
  }
}

void TFormDownload::DownloadEnded() {
  timer_->stop();
  for (QPushButton* b : ButtonCancelArray) b->setEnabled(false);
  BStartDownload->setEnabled(true);
  FAllowFormClose = true;
  if (FClosingForm) close();
}

}  // namespace quorlin
