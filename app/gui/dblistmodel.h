#pragma once
// The database window's game list as a Qt model over the browser's list: a
// row's texts are read from the game's index record only when the view asks
// for them, so a list of any length costs one record read per row shown.
#include <QAbstractTableModel>

#include "app/dbbrowser.h"
#include "app/dbrows.h"

namespace quorlin::gui {

enum TDBListColumn { kColPlayers, kColEvent, kColDate, kColResult, kColLength, kColFlags, kColCount };

class DBListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit DBListModel(TDatabaseBrowser& browser, QObject* parent = nullptr)
      : QAbstractTableModel(parent), browser_(browser) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // The browser's list changed (another database, a search, marks written).
  void Reload();
  // Texts of list row `row` (0-based), read on demand.
  const TDBRowText& RowAt(int row) const { return Row(row + 1); }
  // Two-line rows with the year alone (a narrow list); rows are read again.
  void SetNarrow(bool narrow);
  bool Narrow() const { return narrow_; }
  // Index records read since the last Reload (the cost of what was shown).
  int RecordsRead() const { return recordsRead_; }

 private:
  const TDBRowText& Row(int listIndex) const;

  TDatabaseBrowser& browser_;
  mutable int cachedIndex_ = 0;  // list index of cached_, 0 none
  mutable TDBRowText cached_;
  mutable int recordsRead_ = 0;
  bool narrow_ = false;
};

}  // namespace quorlin::gui
