#include "dbf/cursor.h"

#include <algorithm>

namespace lumbra {

bool TDbfCursor::Reaches(uint32_t position) {
  const uint32_t total = FTable.RecordCount();
  while (FLive <= position && FScanned < total) {
    if (TDbfTable::IsDeleted(FTable.RecordAt(FScanned))) {
      FDeleted.push_back(FScanned);
    } else {
      ++FLive;
    }
    ++FScanned;
  }
  return FLive > position;
}

uint32_t TDbfCursor::Count() {
  Reaches(UINT32_MAX);
  return FLive;
}

uint32_t TDbfCursor::RecordAt(uint32_t position) const {
  // FDeleted[j] - j counts the live records before the j-th deleted one; every
  // deleted record with a count not above position lies before the answer.
  size_t low = 0, high = FDeleted.size();
  while (low < high) {
    const size_t mid = (low + high) / 2;
    if (FDeleted[mid] - mid <= position) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return position + static_cast<uint32_t>(low);
}

}  // namespace lumbra
