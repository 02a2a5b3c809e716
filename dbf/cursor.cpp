#include "dbf/cursor.h"

#include "base/progress.h"
#include "base/shortcuts.h"

namespace lumbra {

bool TDbfCursor::Reaches(uint32_t position) {
  return Scan(position, false);
}

bool TDbfCursor::Scan(uint32_t position, bool sayHowFar) {
  if (FOrder) return position < FOrder->size();
  const uint32_t total = FTable.RecordCount();
  while (FLive <= position && FScanned < total) {
    if (sayHowFar && FScanned % kProgressRecords == 0) ReportProgress(FScanned, total);
    if (FTable.IsHidden(FTable.RecordAt(FScanned))) {
      FDeleted.push_back(FScanned);
    } else {
      ++FLive;
    }
    ++FScanned;
  }
  return FLive > position;
}

uint32_t TDbfCursor::Count() {
  if (FOrder) return static_cast<uint32_t>(FOrder->size());
  Scan(UINT32_MAX, false);
  return FLive;
}

uint32_t TDbfCursor::CountSayingHowFar() {
  if (FOrder) return static_cast<uint32_t>(FOrder->size());
  Scan(UINT32_MAX, true);
  return FLive;
}

uint32_t TDbfCursor::RecordAt(uint32_t position) const {
  if (FOrder) return (*FOrder)[position];
  // FDeleted[j] - j counts the live records before the j-th deleted one; every
  // deleted record with a count not above position lies before the answer.
  const auto before = [this, position](size_t j) { return FDeleted[j] - j <= position; };
  size_t low = 0, high = FDeleted.size();
  // A walk asks for the positions in turn: the answer for an earlier
  // position is a start that the next is at most a step or two beyond. The
  // entries appended since all lie beyond any position already answered.
  if (kShortcuts && position >= FHintPosition) {
    low = FHintDeleted;
    int steps = 0;
    while (low < high && steps < 4 && before(low)) {
      ++low;
      ++steps;
    }
    // Found, unless a jump went further: the search below takes the rest.
    if (low == high || !before(low)) high = low;
  }
  while (low < high) {
    const size_t mid = (low + high) / 2;
    if (before(mid)) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  FHintPosition = position;
  FHintDeleted = low;
  return position + static_cast<uint32_t>(low);
}

void TDbfCursor::SetOrder(std::vector<uint32_t> records) {
  FOrder = std::move(records);
}

std::vector<uint32_t> TDbfCursor::TakeOrder() {
  std::vector<uint32_t> records;
  if (FOrder) {
    records = std::move(*FOrder);
  } else {
    const uint32_t count = Count();
    records.reserve(count);
    // Positions map to records in ascending order: walk both together.
    size_t deleted = 0;
    for (uint32_t index = 0; records.size() < count; ++index) {
      if (index % kProgressRecords == 0) ReportProgress(records.size(), count);
      if (deleted < FDeleted.size() && FDeleted[deleted] == index) {
        ++deleted;
      } else {
        records.push_back(index);
      }
    }
  }
  FOrder.emplace();
  return records;
}

}  // namespace lumbra
