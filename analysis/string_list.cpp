#include "analysis/string_list.h"

#include <algorithm>

namespace lumbra {

int32_t TStringList::Add(std::string text, int32_t tag) {
  int32_t position = Count();
  if (FSorted) {
    bool found = false;
    position = Find(text, found);
    if (found) return position;
  }
  FEntries.insert(FEntries.begin() + position, TEntry{std::move(text), tag});
  return position;
}

void TStringList::CheckPosition(int32_t position) const {
  if (position < 0 || position >= Count()) {
    throw EStringListError("List index out of bounds (" + std::to_string(position) + ")");
  }
}

const std::string& TStringList::TextAt(int32_t position) const {
  CheckPosition(position);
  return FEntries[static_cast<size_t>(position)].Text;
}

int32_t TStringList::TagAt(int32_t position) const {
  CheckPosition(position);
  return FEntries[static_cast<size_t>(position)].Tag;
}

void TStringList::SetTagAt(int32_t position, int32_t tag) {
  CheckPosition(position);
  FEntries[static_cast<size_t>(position)].Tag = tag;
}

int32_t TStringList::IndexOf(std::string_view text) const {
  if (FSorted) {
    bool found = false;
    const int32_t position = Find(text, found);
    return found ? position : -1;
  }
  for (int32_t i = 0; i < Count(); ++i) {
    if (Compare(FEntries[static_cast<size_t>(i)].Text, text) == 0) return i;
  }
  return -1;
}

int32_t TStringList::Find(std::string_view text, bool& found) const {
  found = false;
  int32_t low = 0;
  int32_t high = Count() - 1;
  while (low <= high) {
    const int32_t mid = (low + high) / 2;
    const int c = Compare(FEntries[static_cast<size_t>(mid)].Text, text);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) {
        // Duplicates are ignored, so the first equal probe settles it.
        found = true;
        low = mid;
      }
    }
  }
  return low;
}

void TStringList::SetSorted() {
  if (FSorted) return;
  std::stable_sort(FEntries.begin(), FEntries.end(), [this](const TEntry& a, const TEntry& b) {
    return Compare(a.Text, b.Text) < 0;
  });
  FSorted = true;
}

}  // namespace lumbra
