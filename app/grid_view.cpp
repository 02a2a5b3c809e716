#include "app/grid_view.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace lumbra {

namespace {

constexpr int kBorderReach = 2;
constexpr int kWheelNotch = 120;

// A small black arrow pointing right, centred in a cell of the indicator column.
void DrawArrow(QPainter& painter, const QRect& cell) {
  const int tip = 3;
  const int left = cell.left() + (cell.width() - tip - 1) / 2;
  const int middle = cell.top() + cell.height() / 2;
  painter.setPen(Qt::black);
  for (int i = 0; i <= tip; ++i) {
    painter.drawLine(left + i, middle - (tip - i), left + i, middle + (tip - i));
  }
}

bool IsDigit(QChar c) {
  return c >= '0' && c <= '9';
}

}  // namespace

QString FittedCellText(const QFontMetrics& metrics, const QString& text, int width, bool number) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  const QString ellipsis(QChar(0x2026));
  if (!number) return metrics.elidedText(text, Qt::ElideRight, width);
  // Blanks, the sign and the whole part's digits stay; the fraction may
  // lose digits at its end, the mark standing for them.
  qsizetype whole = 0;
  while (whole < text.size() &&
         (IsDigit(text[whole]) || text[whole] == ' ' || text[whole] == '-' || text[whole] == '+'))
    ++whole;
  if (!text.contains('E', Qt::CaseInsensitive)) {
    for (qsizetype kept = text.size() - 1; kept >= whole && kept > 0; --kept) {
      if (!IsDigit(text[kept - 1])) continue;
      const QString cut = text.left(kept) + ellipsis;
      if (metrics.horizontalAdvance(cut) <= width) return cut;
    }
  }
  const int mark = std::max(1, metrics.horizontalAdvance('#'));
  return QString(std::max(1, width / mark), '#');
}

TGridView::TGridView(IGridDataLink& link, TErrorHandler onError, QWidget* parent)
    : QAbstractScrollArea(parent) {
  // The titles are written in the cell font: the window's font in both.
  FModel = new TGridTableModel(link, font(), font(), std::move(onError), this);
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setMouseTracking(true);
  // The wheel over the scroll bar moves the current record, as over the cells.
  verticalScrollBar()->installEventFilter(this);

  FEditor = new QLineEdit(viewport());
  FEditor->setObjectName("InplaceEditor");
  FEditor->setReadOnly(true);
  FEditor->setFrame(false);
  FEditor->hide();
  FEditor->installEventFilter(this);

  connect(FModel, &QAbstractItemModel::modelReset, this, &TGridView::OnModelReset);
  connect(FModel, &QAbstractItemModel::headerDataChanged, viewport(),
          qOverload<>(&QWidget::update));
  connect(FModel, &QAbstractItemModel::columnsMoved, this,
          [this](const QModelIndex&, int from, int, const QModelIndex&, int before) {
            OnColumnMoved(from, before > from ? before - 1 : before);
          });
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          &TGridView::OnVerticalAction);
  connect(verticalScrollBar(), &QAbstractSlider::sliderReleased, this,
          &TGridView::OnVerticalReleased);
  connect(horizontalScrollBar(), &QAbstractSlider::valueChanged, this, [this](int value) {
    if (value != FLeftColumn) CloseEditor();
    FLeftColumn = value;
    viewport()->update();
  });
  OnModelReset();
}

int TGridView::VisibleRowCount() const {
  return std::max(1, (viewport()->height() - TitlePitch()) / RowPitch());
}

int TGridView::ColumnLeft(int column) const {
  if (column < FLeftColumn) return -1;
  int x = TGridModel::kIndicatorWidth + kLineWidth;
  for (int c = FLeftColumn; c < column; ++c)
    x += ColumnPitch(c);
  return x;
}

int TGridView::ColumnAt(int x) const {
  int left = TGridModel::kIndicatorWidth + kLineWidth;
  if (x < left) return -1;
  const int count = FModel->columnCount();
  for (int c = FLeftColumn; c < count; ++c) {
    left += ColumnPitch(c);
    if (x < left) return c;
  }
  return count;
}

int TGridView::BorderAt(int x) const {
  int right = TGridModel::kIndicatorWidth + kLineWidth;
  int found = -1;
  for (int c = FLeftColumn; c < FModel->columnCount() && right <= x + kBorderReach + 1; ++c) {
    right += ColumnPitch(c);
    // The line right of a column is its border; of two in reach, the later wins, so
    // a column dragged down to nothing can still be widened.
    if (std::abs(x - (right - kLineWidth)) <= kBorderReach) found = c;
  }
  return found;
}

QRect TGridView::CellRect(int row, int column) const {
  const int left = ColumnLeft(column);
  if (left < 0 || row < FTopRow || row > LastRow() || column >= FModel->columnCount()) return {};
  const QRect cell(left, TitlePitch() + (row - FTopRow) * RowPitch(), FModel->ColumnWidth(column),
                   FModel->RowHeight());
  return cell.intersects(viewport()->rect()) ? cell : QRect();
}

QRect TGridView::TitleRect(int column) const {
  const int left = ColumnLeft(column);
  if (left < 0 || column >= FModel->columnCount() || left >= viewport()->width()) return {};
  return QRect(left, 0, FModel->ColumnWidth(column), FModel->TitleHeight());
}

bool TGridView::CellAt(const QPoint& pos, int& row, int& column) const {
  if (pos.y() < TitlePitch()) return false;
  row = FTopRow + (pos.y() - TitlePitch()) / RowPitch();
  column = ColumnAt(pos.x());
  return row <= LastRow() && column >= 0 && column < FModel->columnCount();
}

QString TGridView::CurrentText() const {
  const int current = FModel->CurrentRow();
  if (current < 0) return QString();
  return FModel->data(FModel->index(current, FCurrentColumn)).toString();
}

void TGridView::OpenEditor() {
  const int current = FModel->CurrentRow();
  if (current < 0) return;
  ScrollToCurrent();
  const QRect cell = CellRect(current, FCurrentColumn);
  if (cell.isEmpty()) return;
  FEditor->setFont(font());
  FEditor->setAlignment(FModel->RightAligned(FCurrentColumn) ? Qt::AlignRight : Qt::AlignLeft);
  FEditor->setText(CurrentText());
  FEditor->setGeometry(cell);
  FEditor->show();
  FEditor->setFocus(Qt::OtherFocusReason);
  FEditor->selectAll();
}

void TGridView::CloseEditor() {
  if (!FEditor->isVisible()) return;
  const bool hadFocus = FEditor->hasFocus();
  FEditor->hide();
  if (hadFocus) setFocus(Qt::OtherFocusReason);
}

void TGridView::MoveTo(int row, int column) {
  const int before = FModel->CurrentRow();
  const int beforeColumn = FCurrentColumn;
  FCurrentColumn = std::clamp(column, 0, FModel->columnCount() - 1);
  FModel->SetCurrentRow(std::clamp(row, 0, LastRow()));
  if (FModel->CurrentRow() != before || FCurrentColumn != beforeColumn) CloseEditor();
  ScrollToCurrent();
}

void TGridView::MoveBy(int rows) {
  const int current = FModel->CurrentRow();
  if (current < 0) return;
  MoveTo(current + rows, FCurrentColumn);
}

void TGridView::MoveColumnBy(int columns) {
  MoveTo(std::max(FModel->CurrentRow(), 0), FCurrentColumn + columns);
}

void TGridView::ScrollToCurrent() {
  const int visible = VisibleRowCount();
  const int current = FModel->CurrentRow();
  if (current >= 0) {
    if (current < FTopRow) FTopRow = current;
    if (current >= FTopRow + visible) FTopRow = current - visible + 1;
  }
  FTopRow = std::clamp(FTopRow, 0, std::max(0, FModel->rowCount() - visible));

  // The current column is brought into view whole, unless it alone is wider.
  const int available = viewport()->width() - TGridModel::kIndicatorWidth - kLineWidth;
  if (FCurrentColumn < FLeftColumn) FLeftColumn = FCurrentColumn;
  while (FLeftColumn < FCurrentColumn &&
         ColumnLeft(FCurrentColumn) + FModel->ColumnWidth(FCurrentColumn) >
             TGridModel::kIndicatorWidth + kLineWidth + available) {
    ++FLeftColumn;
  }
  UpdateScrollBars();
  viewport()->update();
}

void TGridView::UpdateScrollBars() {
  QScrollBar* vertical = verticalScrollBar();
  if (FModel->FivePositionScrollBar()) {
    // Without record positions the thumb cannot say how far along the record is.
    vertical->setRange(0, 4);
    vertical->setPageStep(0);
    vertical->setValue(FModel->FivePositionValue());
  } else {
    vertical->setRange(1, FModel->rowCount());
    vertical->setPageStep(VisibleRowCount());
    vertical->setValue(FModel->CurrentRow() + 1);
  }

  // Horizontally the bar scrolls by columns, as far as the last one shows whole.
  const int available = viewport()->width() - TGridModel::kIndicatorWidth - kLineWidth;
  const int count = FModel->columnCount();
  int lastLeft = count - 1;
  for (int width = ColumnPitch(lastLeft); lastLeft > 0; --lastLeft) {
    width += ColumnPitch(lastLeft - 1);
    if (width > available) break;
  }
  int shown = 0;
  for (int c = FLeftColumn, width = 0; c < count; ++c, ++shown) {
    width += ColumnPitch(c);
    if (width > available) break;
  }
  QScrollBar* horizontal = horizontalScrollBar();
  horizontal->setRange(0, std::max(lastLeft, FLeftColumn));
  horizontal->setPageStep(std::max(shown, 1));
  horizontal->setValue(FLeftColumn);
}

void TGridView::OnModelReset() {
  CloseEditor();
  FTopRow = 0;
  FLeftColumn = 0;
  FCurrentColumn = std::clamp(FCurrentColumn, 0, FModel->columnCount() - 1);
  FDrag = TDrag::None;
  ScrollToCurrent();
}

void TGridView::OnColumnMoved(int from, int to) {
  if (FCurrentColumn == from) {
    FCurrentColumn = to;
  } else if (from < FCurrentColumn && FCurrentColumn <= to) {
    --FCurrentColumn;
  } else if (to <= FCurrentColumn && FCurrentColumn < from) {
    ++FCurrentColumn;
  }
  ScrollToCurrent();
}

void TGridView::OnVerticalAction(int action) {
  QScrollBar* bar = verticalScrollBar();
  const bool five = FModel->FivePositionScrollBar();
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      MoveBy(1);
      break;
    case QAbstractSlider::SliderSingleStepSub:
      MoveBy(-1);
      break;
    case QAbstractSlider::SliderPageStepAdd:
      MoveBy(VisibleRowCount());
      break;
    case QAbstractSlider::SliderPageStepSub:
      MoveBy(-VisibleRowCount());
      break;
    case QAbstractSlider::SliderToMinimum:
      MoveTo(0, FCurrentColumn);
      break;
    case QAbstractSlider::SliderToMaximum:
      MoveTo(LastRow(), FCurrentColumn);
      break;
    case QAbstractSlider::SliderMove:
      // A five-position thumb acts where it is let go.
      if (five) return;
      MoveTo(bar->sliderPosition() - 1, FCurrentColumn);
      break;
    default:
      return;
  }
  bar->setSliderPosition(five ? FModel->FivePositionValue() : FModel->CurrentRow() + 1);
}

void TGridView::OnVerticalReleased() {
  if (!FModel->FivePositionScrollBar()) return;
  switch (verticalScrollBar()->sliderPosition()) {
    case 0:
      MoveTo(0, FCurrentColumn);
      break;
    case 1:
      MoveBy(-VisibleRowCount());
      break;
    case 3:
      MoveBy(VisibleRowCount());
      break;
    case 4:
      MoveTo(LastRow(), FCurrentColumn);
      break;
    default:
      break;
  }
  UpdateScrollBars();
}

bool TGridView::event(QEvent* event) {
  // Tab moves between columns, not to the next control.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

bool TGridView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FEditor) {
    if (event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      // Its own menu (Copy, Select All) keeps it open.
      FEditor->hide();
    } else if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      switch (key->key()) {
        case Qt::Key_Escape:
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F2:
          CloseEditor();
          return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
          // Moving on leaves the cell, and the editor with it.
          CloseEditor();
          keyPressEvent(key);
          return true;
        default:
          break;
      }
    }
    return false;
  }
  if (watched == verticalScrollBar() && event->type() == QEvent::Wheel) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return true;
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

void TGridView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    if (FModel->CurrentRow() >= 0) QGuiApplication::clipboard()->setText(CurrentText());
    event->accept();
    return;
  }
  const bool control = event->modifiers() & Qt::ControlModifier;
  const int lastColumn = FModel->columnCount() - 1;
  const int current = std::max(FModel->CurrentRow(), 0);
  switch (event->key()) {
    case Qt::Key_Up:
      MoveBy(-1);
      break;
    case Qt::Key_Down:
      MoveBy(1);
      break;
    case Qt::Key_PageUp:
      MoveBy(-VisibleRowCount());
      break;
    case Qt::Key_PageDown:
      MoveBy(VisibleRowCount());
      break;
    case Qt::Key_Left:
      MoveColumnBy(-1);
      break;
    case Qt::Key_Right:
      MoveColumnBy(1);
      break;
    case Qt::Key_Home:
      MoveTo(control ? 0 : current, control ? FCurrentColumn : 0);
      break;
    case Qt::Key_End:
      MoveTo(control ? LastRow() : current, control ? FCurrentColumn : lastColumn);
      break;
    case Qt::Key_Tab:
      if (FCurrentColumn < lastColumn) {
        MoveColumnBy(1);
      } else if (current < LastRow()) {
        MoveTo(current + 1, 0);
      }
      break;
    case Qt::Key_Backtab:
      if (FCurrentColumn > 0) {
        MoveColumnBy(-1);
      } else if (current > 0) {
        MoveTo(current - 1, lastColumn);
      }
      break;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OpenEditor();
      break;
    case Qt::Key_Insert:
    case Qt::Key_Delete:
      // The tables are read-only: nothing is inserted or deleted.
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void TGridView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  FPressPos = pos;
  if (pos.y() < TitlePitch()) {
    if (!FModel->Active()) return;
    FDragColumn = BorderAt(pos.x());
    if (FDragColumn >= 0) {
      FDrag = TDrag::Resizing;
      FPressWidth = FModel->ColumnWidth(FDragColumn);
      return;
    }
    FDragColumn = ColumnAt(pos.x());
    if (FDragColumn >= 0 && FDragColumn < FModel->columnCount()) FDrag = TDrag::TitlePressed;
    return;
  }
  const int row = FTopRow + (pos.y() - TitlePitch()) / RowPitch();
  if (row > LastRow()) return;
  const int column = ColumnAt(pos.x());
  MoveTo(row, column >= 0 && column < FModel->columnCount() ? column : FCurrentColumn);
}

void TGridView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  switch (FDrag) {
    case TDrag::None: {
      const bool onBorder = FModel->Active() && pos.y() < TitlePitch() && BorderAt(pos.x()) >= 0;
      if (onBorder) {
        viewport()->setCursor(Qt::SplitHCursor);
      } else {
        viewport()->unsetCursor();
      }
      return;
    }
    case TDrag::Resizing:
      FModel->SetColumnWidth(FDragColumn, FPressWidth + pos.x() - FPressPos.x());
      UpdateScrollBars();
      return;
    case TDrag::TitlePressed:
      if ((pos - FPressPos).manhattanLength() < QApplication::startDragDistance()) return;
      FDrag = TDrag::Moving;
      [[fallthrough]];
    case TDrag::Moving:
      FDropColumn = std::clamp(ColumnAt(pos.x()), std::min(FLeftColumn, FModel->columnCount() - 1),
                               FModel->columnCount() - 1);
      viewport()->update();
      return;
  }
}

void TGridView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const TDrag drag = FDrag;
  FDrag = TDrag::None;
  if (drag == TDrag::Moving) {
    FModel->MoveColumn(FDragColumn, FDropColumn);
    viewport()->update();
  }
}

void TGridView::mouseDoubleClickEvent(QMouseEvent* event) {
  int row = 0, column = 0;
  if (event->button() != Qt::LeftButton || !CellAt(event->position().toPoint(), row, column)) {
    return;
  }
  MoveTo(row, column);
  OpenEditor();
}

bool TGridView::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
  auto* help = static_cast<QHelpEvent*>(event);
  int row = 0, column = 0;
  const QString tip = FModel->Active() && CellAt(help->pos(), row, column)
                          ? FModel->data(FModel->index(row, column), Qt::ToolTipRole).toString()
                          : QString();
  if (tip.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), tip, viewport(), CellRect(row, column));
  }
  return true;
}

void TGridView::wheelEvent(QWheelEvent* event) {
  FWheelDelta += event->angleDelta().y();
  const int notches = FWheelDelta / kWheelNotch;
  FWheelDelta -= notches * kWheelNotch;
  if (notches != 0) MoveBy(-notches * QApplication::wheelScrollLines());
  event->accept();
}

void TGridView::scrollContentsBy(int, int) {
  // Nothing is scrolled by pixels: the grid paints from its top row and left column.
  viewport()->update();
}

void TGridView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  CloseEditor();
  ScrollToCurrent();
}

void TGridView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) FModel->SetFonts(font(), font());
  if (event->type() == QEvent::EnabledChange) viewport()->update();
}

void TGridView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TGridView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

void TGridView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QPalette& colours = palette();
  const QRect area = viewport()->rect();
  painter.fillRect(area, colours.color(QPalette::Base));
  const QColor lineColour = colours.color(QPalette::Mid);
  const QColor fixedColour = colours.color(QPalette::Button);
  const QColor textColour =
      colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text);
  const QColor titleColour =
      colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
  const int columns = FModel->columnCount();
  const int current = FModel->CurrentRow();
  const bool showSelection = hasFocus() && isEnabled() && current >= 0;

  // Columns on screen, with their left edges.
  std::vector<std::pair<int, int>> shown;
  for (int c = FLeftColumn, x = TGridModel::kIndicatorWidth + kLineWidth;
       c < columns && x < area.width(); x += ColumnPitch(c), ++c) {
    shown.emplace_back(c, x);
  }
  auto drawLines = [&](const QRect& cell) {
    painter.fillRect(QRect(cell.right() + 1, cell.top(), kLineWidth, cell.height() + kLineWidth),
                     lineColour);
    painter.fillRect(QRect(cell.left(), cell.bottom() + 1, cell.width() + kLineWidth, kLineWidth),
                     lineColour);
  };
  const QFontMetrics metrics = fontMetrics();
  auto drawText = [&](const QRect& cell, const QString& text, Qt::Alignment alignment,
                      bool number) {
    const QRect room = cell.adjusted(kCellMargin, kCellMargin, -kCellMargin, 0);
    painter.save();
    painter.setClipRect(cell);
    painter.drawText(room, static_cast<int>(alignment | Qt::AlignTop | Qt::TextSingleLine),
                     FittedCellText(metrics, text, room.width(), number));
    painter.restore();
  };

  // The title row, its corner above the indicator column included.
  const QRect corner(0, 0, TGridModel::kIndicatorWidth, FModel->TitleHeight());
  painter.fillRect(corner, fixedColour);
  drawLines(corner);
  painter.setPen(titleColour);
  for (const auto& [column, x] : shown) {
    const QRect cell(x, 0, FModel->ColumnWidth(column), FModel->TitleHeight());
    painter.fillRect(cell, fixedColour);
    drawLines(cell);
    drawText(cell, FModel->headerData(column, Qt::Horizontal).toString(), Qt::AlignLeft, false);
  }

  // Only the rows on screen are read.
  for (int row = FTopRow, y = TitlePitch(); row <= LastRow() && y < area.height();
       ++row, y += RowPitch()) {
    const QRect indicator(0, y, TGridModel::kIndicatorWidth, FModel->RowHeight());
    painter.fillRect(indicator, fixedColour);
    drawLines(indicator);
    if (row == current) DrawArrow(painter, indicator);
    for (const auto& [column, x] : shown) {
      const QRect cell(x, y, FModel->ColumnWidth(column), FModel->RowHeight());
      const bool selected = showSelection && row == current && column == FCurrentColumn;
      if (selected) painter.fillRect(cell, colours.color(QPalette::Highlight));
      drawLines(cell);
      const QModelIndex index = FModel->index(row, column);
      painter.setPen(selected ? colours.color(QPalette::HighlightedText) : textColour);
      drawText(cell, FModel->data(index).toString(),
               Qt::Alignment(FModel->data(index, Qt::TextAlignmentRole).toInt()),
               FModel->RightAligned(column));
    }
  }

  // Where a dragged title would land.
  if (FDrag == TDrag::Moving && FDropColumn >= 0) {
    const int left = ColumnLeft(FDropColumn);
    if (left >= 0) {
      const int x = FDropColumn > FDragColumn ? left + FModel->ColumnWidth(FDropColumn) : left;
      painter.fillRect(QRect(x - 1, 0, 2, area.height()), colours.color(QPalette::Highlight));
    }
  }
}

}  // namespace lumbra
