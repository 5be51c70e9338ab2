#pragma once
// The search window: header criteria (players with rating ranges, colours
// ignored or not, years, game length, results, tournament, annotator, site)
// and, when ticked, the main window's position. "Search" checks the fields,
// runs the header pass at once and the position pass as background work
// with a progress bar and a cancel button; the games found go to the
// database window's list.
#include <QDialog>
#include <array>
#include <functional>

#include "app/backgroundjob.h"
#include "app/searchform.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace quorlin {
class TApplication;
}

namespace quorlin::gui {

class SearchDialog : public QDialog {
  Q_OBJECT
 public:
  // `found` receives the games found when the search is complete.
  SearchDialog(TApplication& app, std::function<void(TDBList)> found, QWidget* parent = nullptr);
  ~SearchDialog() override;

  TSearchForm Form() const;
  // "Search": false (with the message shown, nothing searched) when the
  // fields are bad or no database is open.
  bool StartSearch();
  bool Searching() const { return job_.Active(); }
  void CancelSearch() { job_.Cancel(); }
  QString Message() const;

  QLineEdit *White = nullptr, *Black = nullptr, *Tournament = nullptr, *Annotator = nullptr, *Site = nullptr;
  QSpinBox *WhiteEloMin = nullptr, *WhiteEloMax = nullptr, *BlackEloMin = nullptr, *BlackEloMax = nullptr;
  QSpinBox *YearStart = nullptr, *YearEnd = nullptr, *MoveStart = nullptr, *MoveEnd = nullptr;
  QCheckBox* IgnoreColours = nullptr;
  QCheckBox* Position = nullptr;
  std::array<QCheckBox*, kResultCount> Results{};

 private:
  void Poll();
  void Finish(TDBList list);

  TApplication& app_;
  std::function<void(TDBList)> found_;
  QLabel* message_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* search_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QTimer* timer_ = nullptr;
  TBackgroundJob job_;
  // Written by the job, read after Join.
  TDBList jobFound_;
  std::string jobError_;
};

}  // namespace quorlin::gui
