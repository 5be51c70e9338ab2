#include "app/gui/dblistmodel.h"

#include <QBrush>
#include <QFont>

namespace quorlin::gui {

int DBListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : browser_.Count(); }

int DBListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColCount; }

const TDBRowText& DBListModel::Row(int listIndex) const {
  if (cachedIndex_ != listIndex) {
    ReadDBRow(browser_.Db(), browser_.Entry(listIndex).num, narrow_, cached_);
    cachedIndex_ = listIndex;
    ++recordsRead_;
  }
  return cached_;
}

QVariant DBListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= browser_.Count()) return {};
  const int listIndex = index.row() + 1;
  if (role == Qt::CheckStateRole && index.column() == kColPlayers)
    return browser_.Entry(listIndex).selected ? Qt::Checked : Qt::Unchecked;
  if (role != Qt::DisplayRole && role != Qt::ForegroundRole && role != Qt::FontRole &&
      role != Qt::TextAlignmentRole)
    return {};
  if (role == Qt::TextAlignmentRole) {
    const bool right = index.column() == kColLength;
    return QVariant::fromValue(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
  }
  const TDBRowText& row = Row(listIndex);
  if (role == Qt::ForegroundRole) return row.deleted ? QBrush(Qt::gray) : QVariant();
  if (role == Qt::FontRole) {
    if (!row.deleted) return {};
    QFont f;
    f.setStrikeOut(true);
    return f;
  }
  switch (index.column()) {
    case kColPlayers: return QString::fromStdString(row.Players());
    case kColEvent: return QString::fromStdString(row.event);
    case kColDate: return QString::fromStdString(row.date);
    case kColResult: return QString::fromStdString(row.result);
    case kColLength: return QString::fromStdString(row.length);
    case kColFlags: return QString::fromStdString(row.flags);
    default: return {};
  }
}

QVariant DBListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  static const char* const kTitles[kColCount] = {"Players", "Event", "Date", "Result", "Moves", "Flags"};
  return section >= 0 && section < kColCount ? tr(kTitles[section]) : QVariant();
}

Qt::ItemFlags DBListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.column() == kColPlayers) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool DBListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != kColPlayers) return false;
  const int listIndex = index.row() + 1;
  const bool want = value.toInt() == Qt::Checked;
  if (browser_.Entry(listIndex).selected != want) browser_.ToggleSelected(listIndex);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

void DBListModel::SetNarrow(bool narrow) {
  if (narrow == narrow_) return;
  narrow_ = narrow;
  cachedIndex_ = 0;
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, kColCount - 1));
}

void DBListModel::Reload() {
  beginResetModel();
  cachedIndex_ = 0;
  recordsRead_ = 0;
  endResetModel();
}

}  // namespace quorlin::gui
