// The layout and contents of a data grid, without a screen: which columns it
// shows, their titles, widths and alignment, how tall its rows are, and the
// display texts of the rows on screen. A window draws it; tests measure it
// through a font interface.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/exception.h"
#include "fields/fields.h"

namespace lumbra {

// Text measurement in one font.
class IFontMetrics {
 public:
  virtual ~IFontMetrics() = default;
  virtual int TextWidth(std::string_view text) const = 0;
  virtual int TextHeight(std::string_view text) const = 0;
  // Extra width italic or bold text may spill over; 0 for most fonts.
  virtual int Overhang() const { return 0; }
};

// What a grid needs of its table, through its data source.
class IGridDataLink {
 public:
  virtual ~IGridDataLink() = default;
  // The data source is on and its table open.
  virtual bool LinkActive() const = 0;
  // Requires LinkActive() for every call below.
  virtual const TFields& LinkFields() const = 0;
  virtual int32_t LinkRecordCount() = 0;
  // 1-based current record; 0 when there is none.
  virtual int32_t LinkRecNo() const = 0;
  virtual void LinkSetRecNo(int32_t recNo) = 0;
  // A filter is in force: the table gives no record positions to scroll by.
  virtual bool LinkFiltered() const = 0;
  // Moves the field at from to position to in the table's field list.
  virtual void LinkMoveField(size_t from, size_t to) = 0;
  // Tables that can only move forward cannot be shown.
  virtual bool LinkUnidirectional() const { return false; }
};

struct TGridColumn {
  TField* Field = nullptr;  // none for the empty column of a blank grid
  std::string Title;
  int Width = 64;
  bool UserWidth = false;  // set by dragging a border; lives as long as the column
  bool RightAligned = false;
};

// The most fields a grid maps before refusing.
inline constexpr size_t kMaxGridFields = 268'435'455;

class TGridModel {
 public:
  TGridModel(IGridDataLink& link, const IFontMetrics& cellFont, const IFontMetrics& titleFont);

  static constexpr int kIndicatorWidth = 11;
  static constexpr int kDefaultColumnWidth = 64;

  // Lays the grid out again; run when the link becomes active or inactive,
  // when the table's fields change, and when the fonts change. Throws
  // EDatabaseError past kMaxGridFields fields or for a forward-only table.
  void LayOut();

  bool Active() const { return FActive; }
  // Data columns, in field order, without the indicator column.
  const std::vector<TGridColumn>& Columns() const { return FColumns; }
  int RowHeight() const;
  int TitleHeight() const;
  // Data rows: one per record while active with records; otherwise one blank row.
  int32_t RowCount();
  // The row of the current record, or -1 when there is none.
  int32_t CurrentRow() const;
  // Makes row the table's current record. Requires an active link.
  void SetCurrentRow(int32_t row);

  // The display text of a cell; "" for blank rows and the empty column.
  // Reads the record at row without moving the table's current record.
  std::string CellText(int32_t row, size_t column);

  // What the cell's tooltip says: its display text, or for a memo of text
  // the start of the memo (at most kTipBytes, whole characters, "..." after
  // when cut). Reads the record at row without moving the current record.
  std::string CellTip(int32_t row, size_t column);
  static constexpr size_t kTipBytes = 500;

  // A width set by dragging a border.
  void SetColumnWidth(size_t column, int width);
  // A column dragged by its title to another place; its field moves along.
  void MoveColumn(size_t from, size_t to);

  // Vertical scroll bar: record positions when unfiltered, else five positions.
  bool FivePositionScrollBar() const;
  // 0 at the first record, 4 at the end, 2 anywhere else.
  int FivePositionValue() const;

  // Drops cached texts; the rows are read again when next shown.
  void InvalidateRows();

 private:
  int DefaultWidth(const TField& field, const std::string& title) const;
  const std::vector<std::string>& RowTexts(int32_t row);

  IGridDataLink& FLink;
  const IFontMetrics& FCellFont;
  const IFontMetrics& FTitleFont;
  bool FActive = false;
  std::vector<TGridColumn> FColumns;
  // Display texts of recently shown rows, so repainting reads nothing again,
  // each with its place in the use order.
  struct TCachedRow {
    std::vector<std::string> Texts;
    std::list<int32_t>::iterator Use;
  };
  std::unordered_map<int32_t, TCachedRow> FRows;
  std::list<int32_t> FRowOrder;  // least recently used first
};

}  // namespace lumbra
