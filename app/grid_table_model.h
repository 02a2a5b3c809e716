// The grid model as a Qt item model: one row per record of the table (one
// blank row when there is none to show), one column per grid column, titles
// as horizontal header data. The grid view reads it; nothing edits it.
#pragma once

#include <QAbstractTableModel>
#include <exception>
#include <functional>

#include "app/grid_font_metrics.h"
#include "fields/grid_model.h"

namespace lumbra {

// Where an error caught at a Qt boundary goes, as it was thrown.
using TErrorHandler = std::function<void(std::exception_ptr error)>;

class TGridTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  // link must outlive the model. Errors met while reading or laying out go to
  // onError after the current event, the first one only until the next Reset:
  // a cell that cannot be read fails again at every repaint. Lays out at once.
  TGridTableModel(IGridDataLink& link, const QFont& cellFont, const QFont& titleFont,
                  TErrorHandler onError, QObject* parent = nullptr);

  // Lays the grid out again and resets the model; run when the table opens or
  // closes, its data source is switched, or the fonts change. A layout that
  // fails leaves the blank grid.
  void Reset();
  void SetFonts(const QFont& cellFont, const QFont& titleFont);

  bool Active() const { return FActive; }
  int RowHeight() const { return FGrid.RowHeight(); }
  int TitleHeight() const { return FGrid.TitleHeight(); }
  int ColumnWidth(int column) const;
  bool RightAligned(int column) const;
  // The row of the table's current record, or -1 when there is none.
  int CurrentRow() const;
  // Makes row's record the current one; rows outside the table are ignored.
  void SetCurrentRow(int row);
  // A width set by dragging the column's border; it lasts until the next Reset.
  void SetColumnWidth(int column, int width);
  // Moves the column and its field in the table's field list.
  void MoveColumn(int from, int to);

  // Vertical scroll bar: record positions, or five positions (0 at the first
  // record, 4 at the end, 2 anywhere else) when the table cannot give them.
  bool FivePositionScrollBar() const;
  int FivePositionValue() const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // Hands the exception being handled to the error handler, queued, when it
  // is the first since the last Reset. Call only inside a catch block.
  void ReportCurrentError() const;

  TQtFontMetrics FCellFont;
  TQtFontMetrics FTitleFont;
  // Reading cells fills the grid model's row cache, so it changes under const.
  mutable TGridModel FGrid;
  TErrorHandler FOnError;
  bool FActive = false;
  int FRowCount = 1;
  int FColumnCount = 1;
  mutable bool FErrorReported = false;
};

}  // namespace lumbra
