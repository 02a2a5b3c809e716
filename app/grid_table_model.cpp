#include "app/grid_table_model.h"

#include <QSize>
#include <algorithm>

namespace lumbra {

TGridTableModel::TGridTableModel(IGridDataLink& link, const QFont& cellFont, const QFont& titleFont,
                                 TErrorHandler onError, QObject* parent)
    : QAbstractTableModel(parent),
      FCellFont(cellFont),
      FTitleFont(titleFont),
      FGrid(link, FCellFont, FTitleFont),
      FOnError(std::move(onError)) {
  Reset();
}

void TGridTableModel::Reset() {
  beginResetModel();
  FErrorReported = false;
  try {
    FGrid.LayOut();
    FActive = FGrid.Active();
    FRowCount = FGrid.RowCount();
    FColumnCount = static_cast<int>(FGrid.Columns().size());
  } catch (const std::exception&) {
    // The columns of a layout that failed may name fields that are gone.
    FActive = false;
    FRowCount = 1;
    FColumnCount = 1;
    ReportCurrentError();
  }
  endResetModel();
}

void TGridTableModel::SetFonts(const QFont& cellFont, const QFont& titleFont) {
  FCellFont.SetFont(cellFont);
  FTitleFont.SetFont(titleFont);
  Reset();
}

int TGridTableModel::ColumnWidth(int column) const {
  if (!FActive) return TGridModel::kDefaultColumnWidth;
  return FGrid.Columns().at(static_cast<size_t>(column)).Width;
}

bool TGridTableModel::RightAligned(int column) const {
  return FActive && FGrid.Columns().at(static_cast<size_t>(column)).RightAligned;
}

int TGridTableModel::CurrentRow() const {
  if (!FActive) return -1;
  try {
    return FGrid.CurrentRow();
  } catch (const std::exception&) {
    ReportCurrentError();
    return -1;
  }
}

void TGridTableModel::SetCurrentRow(int row) {
  if (!FActive || row < 0 || row >= FRowCount) return;
  const int before = CurrentRow();
  if (row == before) return;
  try {
    FGrid.SetCurrentRow(row);
  } catch (const std::exception&) {
    ReportCurrentError();
  }
  const int after = CurrentRow();
  if (after == before) return;
  for (int changed : {before, after}) {
    if (changed >= 0) emit headerDataChanged(Qt::Vertical, changed, changed);
  }
}

void TGridTableModel::SetColumnWidth(int column, int width) {
  if (!FActive || column < 0 || column >= FColumnCount) return;
  FGrid.SetColumnWidth(static_cast<size_t>(column), std::max(width, 0));
  emit headerDataChanged(Qt::Horizontal, column, column);
}

void TGridTableModel::MoveColumn(int from, int to) {
  if (!FActive || from == to || from < 0 || to < 0 || from >= FColumnCount || to >= FColumnCount)
    return;
  // Qt names the destination as the column the moved one lands before.
  beginMoveColumns(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
  FGrid.MoveColumn(static_cast<size_t>(from), static_cast<size_t>(to));
  endMoveColumns();
}

bool TGridTableModel::FivePositionScrollBar() const {
  return !FActive || FGrid.FivePositionScrollBar();
}

int TGridTableModel::FivePositionValue() const {
  if (!FActive) return 0;
  try {
    return FGrid.FivePositionValue();
  } catch (const std::exception&) {
    ReportCurrentError();
    return 0;
  }
}

int TGridTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FRowCount;
}

int TGridTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FColumnCount;
}

QVariant TGridTableModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return QVariant();
  switch (role) {
    case Qt::DisplayRole:
      if (!FActive) return QString();
      try {
        return QString::fromStdString(
            FGrid.CellText(index.row(), static_cast<size_t>(index.column())));
      } catch (const std::exception&) {
        ReportCurrentError();
        return QString();
      }
    case Qt::ToolTipRole:
      if (!FActive) return QString();
      try {
        return QString::fromStdString(
            FGrid.CellTip(index.row(), static_cast<size_t>(index.column())));
      } catch (const std::exception&) {
        ReportCurrentError();
        return QString();
      }
    case Qt::TextAlignmentRole:
      return static_cast<int>((RightAligned(index.column()) ? Qt::AlignRight : Qt::AlignLeft) |
                              Qt::AlignVCenter);
    default:
      return QVariant();
  }
}

QVariant TGridTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= FColumnCount) return QVariant();
  switch (role) {
    case Qt::DisplayRole:
      if (!FActive) return QString();
      return QString::fromStdString(FGrid.Columns()[static_cast<size_t>(section)].Title);
    case Qt::TextAlignmentRole:
      return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::SizeHintRole:
      return QSize(ColumnWidth(section), TitleHeight());
    default:
      return QVariant();
  }
}

Qt::ItemFlags TGridTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TGridTableModel::ReportCurrentError() const {
  if (FErrorReported || !FOnError) return;
  FErrorReported = true;
  // The handler may show a modal box, whose event loop repaints the grid:
  // it runs once the current event is done, never inside a read.
  QMetaObject::invokeMethod(
      const_cast<TGridTableModel*>(this),
      [handler = FOnError, error = std::current_exception()] { handler(error); },
      Qt::QueuedConnection);
}

}  // namespace lumbra
