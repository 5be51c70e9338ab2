#pragma once
// The settings window: the variant played, the Spanish, Pool and Brazilian
// board options, board size, search threads and the display and play
// switches. Each change takes effect at once; changes to the variant table
// wait until the engines have stopped. The settings file is written when the
// window closes.
#include <QDialog>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QSlider;
class QSpinBox;
class QTimer;

namespace quorlin {
class TApplication;
}

namespace quorlin::gui {

class SettingsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit SettingsDialog(TApplication& app, QWidget* parent = nullptr);
  ~SettingsDialog() override;

  QComboBox* GameType = nullptr;
  QCheckBox* SpanishBlack = nullptr;
  QComboBox* PoolStyle = nullptr;
  QCheckBox* FlipBoard = nullptr;
  QCheckBox* Philippine = nullptr;
  QSlider* BoardSize = nullptr;
  QSpinBox* Threads = nullptr;
  QCheckBox *Coordinates = nullptr, *Highlight = nullptr, *Sound = nullptr, *AutoCapture = nullptr;

  // Changes waiting for the engines to stop.
  bool ChangesPending() const { return !pending_.empty(); }
  // Applies what waits once the engines are idle (the timer calls it).
  void ApplyPending();

 protected:
  void done(int result) override;

 private:
  // Stops the engines and queues `change` for when they are idle.
  void WhenIdle(std::function<void()> change);
  // Writes the settings file and closes.
  void Close();

  TApplication& app_;
  std::vector<std::function<void()>> pending_;
  QTimer* timer_ = nullptr;
  bool closing_ = false;
  int result_ = 0;
};

}  // namespace quorlin::gui
