#include "fields/grid_model.h"

#include <algorithm>
#include <iterator>

namespace lumbra {

namespace {

constexpr size_t kCachedRows = 512;

}  // namespace

TGridModel::TGridModel(IGridDataLink& link, const IFontMetrics& cellFont,
                       const IFontMetrics& titleFont)
    : FLink(link), FCellFont(cellFont), FTitleFont(titleFont) {}

int TGridModel::DefaultWidth(const TField& field, const std::string& title) const {
  const int w = FCellFont.TextWidth("0");
  const int o = FCellFont.Overhang();
  const int width = (w - o) * field.DefaultDisplayWidth() + o + 4;
  const int titleWidth = FTitleFont.TextWidth(title) + 4;
  return std::max(width, titleWidth);
}

void TGridModel::LayOut() {
  InvalidateRows();
  FActive = FLink.LinkActive();
  if (!FActive) {
    FColumns.clear();
    FColumns.push_back(TGridColumn{});
    return;
  }
  if (FLink.LinkUnidirectional()) {
    throw EDatabaseError("Operation not allowed on a unidirectional dataset");
  }
  const TFields& fields = FLink.LinkFields();
  if (fields.size() > kMaxGridFields) {
    throw EDatabaseError("Grid requested to display more than 256 columns");
  }
  std::vector<TGridColumn> columns;
  columns.reserve(fields.size());
  for (const auto& field : fields) {
    // A column that already shows this field keeps its width.
    auto same = std::find_if(FColumns.begin(), FColumns.end(),
                             [&](const TGridColumn& c) { return c.Field == field.get(); });
    if (same != FColumns.end()) {
      columns.push_back(*same);
      continue;
    }
    TGridColumn column;
    column.Field = field.get();
    column.Title = field->FieldName();
    column.Width = DefaultWidth(*field, column.Title);
    column.RightAligned = field->IsNumeric();
    columns.push_back(std::move(column));
  }
  if (columns.empty()) columns.push_back(TGridColumn{});
  FColumns = std::move(columns);
}

int TGridModel::RowHeight() const {
  return FCellFont.TextHeight("Wg") + 3 + 1;
}

int TGridModel::TitleHeight() const {
  return FTitleFont.TextHeight("Wg") + 4;
}

int32_t TGridModel::RowCount() {
  if (!FActive) return 1;
  const int32_t count = FLink.LinkRecordCount();
  return count > 0 ? count : 1;
}

int32_t TGridModel::CurrentRow() const {
  if (!FActive) return -1;
  const int32_t recNo = FLink.LinkRecNo();
  return recNo > 0 ? recNo - 1 : -1;
}

void TGridModel::SetCurrentRow(int32_t row) {
  if (FActive && row >= 0 && row < FLink.LinkRecordCount()) FLink.LinkSetRecNo(row + 1);
}

const std::vector<std::string>& TGridModel::RowTexts(int32_t row) {
  auto found = FRows.find(row);
  if (found != FRows.end()) {
    FRowOrder.splice(FRowOrder.end(), FRowOrder, found->second.Use);
    return found->second.Texts;
  }
  std::vector<std::string> texts;
  texts.reserve(FColumns.size());
  const int32_t current = FLink.LinkRecNo();
  FLink.LinkSetRecNo(row + 1);
  try {
    for (const TGridColumn& column : FColumns) {
      texts.push_back(column.Field != nullptr ? column.Field->DisplayText() : std::string());
    }
  } catch (...) {
    if (current > 0) FLink.LinkSetRecNo(current);
    throw;
  }
  if (current > 0) FLink.LinkSetRecNo(current);
  if (FRowOrder.size() >= kCachedRows) {
    FRows.erase(FRowOrder.front());
    FRowOrder.pop_front();
  }
  FRowOrder.push_back(row);
  return FRows.emplace(row, TCachedRow{std::move(texts), std::prev(FRowOrder.end())})
      .first->second.Texts;
}

std::string TGridModel::CellTip(int32_t row, size_t column) {
  std::string text = CellText(row, column);
  const TField* field = text.empty() ? nullptr : FColumns[column].Field;
  if (field == nullptr || field->Class() != TFieldClass::Memo) return text;
  const int32_t current = FLink.LinkRecNo();
  FLink.LinkSetRecNo(row + 1);
  try {
    text = field->AsString();
  } catch (...) {
    if (current > 0) FLink.LinkSetRecNo(current);
    throw;
  }
  if (current > 0) FLink.LinkSetRecNo(current);
  if (text.size() <= kTipBytes) return text;
  size_t cut = kTipBytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    --cut;
  text.resize(cut);
  return text + "...";
}

std::string TGridModel::CellText(int32_t row, size_t column) {
  if (!FActive || column >= FColumns.size() || row < 0 || row >= FLink.LinkRecordCount()) {
    return "";
  }
  return RowTexts(row)[column];
}

void TGridModel::SetColumnWidth(size_t column, int width) {
  if (column >= FColumns.size()) return;
  FColumns[column].Width = width;
  FColumns[column].UserWidth = true;
}

void TGridModel::MoveColumn(size_t from, size_t to) {
  if (!FActive || from >= FColumns.size() || to >= FColumns.size() || from == to) return;
  const auto& fields = FLink.LinkFields();
  TField* moved = FColumns[from].Field;
  TField* target = FColumns[to].Field;
  // The field takes the place in the field list of the column it lands on.
  size_t fieldFrom = fields.size(), fieldTo = fields.size();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].get() == moved) fieldFrom = i;
    if (fields[i].get() == target) fieldTo = i;
  }
  TGridColumn column = std::move(FColumns[from]);
  FColumns.erase(FColumns.begin() + static_cast<std::ptrdiff_t>(from));
  FColumns.insert(FColumns.begin() + static_cast<std::ptrdiff_t>(to), std::move(column));
  if (fieldFrom < fields.size() && fieldTo < fields.size()) FLink.LinkMoveField(fieldFrom, fieldTo);
  InvalidateRows();
}

bool TGridModel::FivePositionScrollBar() const {
  return !FActive || FLink.LinkFiltered();
}

int TGridModel::FivePositionValue() const {
  if (!FActive) return 0;
  const int32_t recNo = FLink.LinkRecNo();
  if (recNo <= 1) return 0;
  if (recNo >= FLink.LinkRecordCount()) return 4;
  return 2;
}

void TGridModel::InvalidateRows() {
  FRows.clear();
  FRowOrder.clear();
}

}  // namespace lumbra
