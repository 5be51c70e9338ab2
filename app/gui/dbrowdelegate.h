#pragma once
// Draws one row of the database window's list: the players in bold with
// titles and ratings one point smaller, the event in italics, then date,
// result, length and flags; in a narrow list two lines (players, length and
// result; event, year and flags). The current row has a grey rounded
// background; ticked games are red, deleted ones grey and struck through.
#include <QStyledItemDelegate>

namespace quorlin::gui {

class DBListModel;

class DBRowDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  DBRowDelegate(const DBListModel& model, QObject* parent = nullptr)
      : QStyledItemDelegate(parent), model_(model) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Row height for a list of this font: one line + 10, or two lines + 12.
  static int RowHeight(const QFont& font, bool narrow);

 private:
  const DBListModel& model_;
};

}  // namespace quorlin::gui
