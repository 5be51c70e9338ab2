#pragma once
// The "Download Bases" window: picks a server and an archive, starts a
// TDownload and shows what it publishes — one row per part with a cancel
// button, a speed label and a progress bar, the overall speed and the log.
//
// The window only reads the download's published state, from a timer on the
// user-interface thread; the download's threads never touch a control.
// Closing the window stops every part and waits (without blocking the event
// loop) until the download has ended.
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "download/download.h"

class QCloseEvent;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace quorlin {

inline constexpr const char* kDownloadWindowCaption = "Download Bases";
inline constexpr const char* kCancellingText = "Cancelling the download process may take some time.";

struct TDownloadWindowSetup {
  std::vector<std::string> Servers;  // the "Server:" entries; the first is selected
  std::string TempFolder;            // where archives are kept
  std::string DataFolder;            // where they are unpacked
  TTransferLimits Limits;

  // The two server settings, TempFolder and DataFolder.
  static TDownloadWindowSetup FromSettings();
};

class TFormDownload : public QWidget {
 public:
  static constexpr int kRows = kDefaultPartCount;

  explicit TFormDownload(TDownloadWindowSetup setup, QWidget* parent = nullptr);
  ~TFormDownload() override;

  // Controls, named as the window's users (and its tests) know them.
  QToolButton* SpeedButton1 = nullptr;  // back
  QComboBox* EditURL = nullptr;
  QComboBox* EditFileName = nullptr;
  QPushButton* BStartDownload = nullptr;
  QLabel* LabelGlobalSpeed = nullptr;
  std::array<QPushButton*, kRows> ButtonCancelArray{};
  std::array<QLabel*, kRows> LabelProgressArray{};
  std::array<QProgressBar*, kRows> ProgressBarArray{};
  QPlainTextEdit* Memo1 = nullptr;

  bool AllowFormClose() const { return FAllowFormClose; }
  bool ClosingForm() const { return FClosingForm; }
  const TDownload& Download() const { return download_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void BStartDownloadClick();
  void ButtonCancelClick(int part);
  void SpeedButton1Click();

  // Timer steps: copy the published state into the controls.
  void RefreshFromDownload();
  void ShowNewLogLines();
  void ShowParts();
  void DownloadEnded();

  TDownloadWindowSetup setup_;
  TDownload download_;
  QTimer* timer_ = nullptr;
  size_t logShown_ = 0;
  std::array<bool, kRows> cancelClicked_{};
  bool FAllowFormClose = true;  // no download runs: the window may close
  bool FClosingForm = false;    // the window is closing: every part is to stop
};

}  // namespace quorlin
