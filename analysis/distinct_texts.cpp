#include "analysis/distinct_texts.h"

#include <algorithm>

namespace lumbra {

namespace {

int32_t Incremented(int32_t count) {
  return static_cast<int32_t>(static_cast<uint32_t>(count) + 1u);
}

}  // namespace

void TDistinctTexts::Add(std::string_view text) {
  if (auto known = FBySpelling.find(text); known != FBySpelling.end()) {
    TEntry& entry = FEntries[known->second];
    entry.Count = Incremented(entry.Count);
    return;
  }
  const auto spelling = FBySpelling.emplace(std::string(text), FEntries.size()).first;
  auto [byKey, isNew] = FByKey.emplace(FCollation.SortKey(text), FEntries.size());
  if (isNew) {
    FEntries.push_back(TEntry{spelling->first, byKey->first, 1});
  } else {
    // Another spelling of a known text, e.g. in other letter case.
    spelling->second = byKey->second;
    TEntry& entry = FEntries[byKey->second];
    entry.Count = Incremented(entry.Count);
  }
}

std::vector<const TDistinctTexts::TEntry*> TDistinctTexts::SortedEntries() const {
  std::vector<const TEntry*> sorted;
  sorted.reserve(FEntries.size());
  for (const TEntry& entry : FEntries)
    sorted.push_back(&entry);
  std::sort(sorted.begin(), sorted.end(),
            [](const TEntry* a, const TEntry* b) { return a->Key < b->Key; });
  return sorted;
}

}  // namespace lumbra
