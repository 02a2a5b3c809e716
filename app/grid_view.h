// A read-only data grid over a table's data link: the title row, the indicator
// column with an arrow at the current record, one column per field and one
// row per record, painted from the rows on screen only. Keys, the mouse wheel
// and the vertical scroll bar move the table's current record; the grid
// follows it. Column borders in the title row can be dragged to resize a
// column, and a title dragged to another place moves its column and field.
//
// A text wider than its cell is cut with a visible mark, and a number never
// loses a digit before its decimal separator (it gives way to "#" marks
// instead), so it is never read as another number; the cell's tooltip holds
// the whole text. F2, Enter or a double-click opens the in-place editor on
// the current cell: the cell's text, read-only, to select and copy; Escape or
// leaving the cell closes it. Ctrl+C copies the current cell's text.
//
// The vertical scroll bar is the grid's own: it shows the current record's
// position among the records (range 1 to the record count, a page of the
// visible rows), or, when the table is filtered, five positions: 0 at the
// first record, 4 at the end, 2 anywhere else.
#pragma once

#include <QAbstractScrollArea>
#include <QPoint>
#include <QString>

#include "app/grid_table_model.h"

class QFontMetrics;
class QLineEdit;

namespace lumbra {

// text as it fits width pixels in metrics' font: whole, or cut at its end
// with an ellipsis. A number (number set) keeps every character up to its
// last digit before the decimal separator; where that does not fit, or it
// has an exponent, it is all "#" marks.
QString FittedCellText(const QFontMetrics& metrics, const QString& text, int width, bool number);

class TGridView final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kCellMargin = 2;
  static constexpr int kLineWidth = 1;

  // Shows link's table, which must outlive the view. Errors that may not leave
  // a Qt event go to onError (see TGridTableModel).
  TGridView(IGridDataLink& link, TErrorHandler onError, QWidget* parent = nullptr);

  TGridTableModel& Model() { return *FModel; }
  // Lays the grid out again: its table opened or closed, its data source
  // switched on or off. Column widths set by dragging are dropped.
  void Reset() { FModel->Reset(); }

  // The first data row and data column on screen.
  int TopRow() const { return FTopRow; }
  int LeftColumn() const { return FLeftColumn; }
  int CurrentColumn() const { return FCurrentColumn; }
  // Data rows that fit whole below the title row; at least one.
  int VisibleRowCount() const;
  // Where a data cell, or a column's title, is drawn, in viewport
  // coordinates; empty when it is off screen.
  QRect CellRect(int row, int column) const;
  QRect TitleRect(int column) const;

  // The in-place editor, object name "InplaceEditor": shown while open.
  QLineEdit* Editor() const { return FEditor; }
  // Opens the editor on the current cell; nothing when there is none.
  void OpenEditor();
  void CloseEditor();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  enum class TDrag { None, Resizing, TitlePressed, Moving };

  int TitlePitch() const { return FModel->TitleHeight() + kLineWidth; }
  int RowPitch() const { return FModel->RowHeight() + kLineWidth; }
  int ColumnPitch(int column) const { return FModel->ColumnWidth(column) + kLineWidth; }
  // Left edge of a column on screen, or -1 when it is scrolled off to the left.
  int ColumnLeft(int column) const;
  // The data column at x: -1 over the indicator, columnCount() past the last.
  int ColumnAt(int x) const;
  // The column whose right border is within reach of x in the title row, or -1.
  int BorderAt(int x) const;
  int LastRow() const { return FModel->rowCount() - 1; }

  // The data cell at a viewport position; false outside the data rows and columns.
  bool CellAt(const QPoint& pos, int& row, int& column) const;
  // The current cell's display text; "" when there is none.
  QString CurrentText() const;
  void MoveTo(int row, int column);
  void MoveBy(int rows);
  void MoveColumnBy(int columns);
  void ScrollToCurrent();
  void UpdateScrollBars();
  void OnModelReset();
  void OnColumnMoved(int from, int to);
  void OnVerticalAction(int action);
  void OnVerticalReleased();

  TGridTableModel* FModel = nullptr;
  QLineEdit* FEditor = nullptr;
  int FTopRow = 0;
  int FLeftColumn = 0;
  int FCurrentColumn = 0;
  int FWheelDelta = 0;
  TDrag FDrag = TDrag::None;
  int FDragColumn = -1;
  int FDropColumn = -1;
  QPoint FPressPos;
  int FPressWidth = 0;
};

}  // namespace lumbra
