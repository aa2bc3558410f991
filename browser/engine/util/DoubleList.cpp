#include "DoubleList.h"

#include <algorithm>

#include "Types.h"

namespace qlon {

std::string TDoubleList::GetKey(int i) const { return HasPair(i) ? lines_[2 * i] : std::string(); }

std::string TDoubleList::GetValue(int i) const {
  return HasPair(i) ? lines_[2 * i + 1] : std::string();
}

void TDoubleList::SetValue(int i, std::string_view value) {
  if (HasPair(i)) lines_[2 * i + 1] = value;
}

void TDoubleList::AddPair(std::string_view key, std::string_view value) {
  lines_.emplace_back(key);
  lines_.emplace_back(value);
}

void TDoubleList::DeletePair(int i) {
  if (i < 0 || 2 * static_cast<std::size_t>(i) >= lines_.size()) return;
  const auto first = lines_.begin() + 2 * i;
  lines_.erase(first, std::min(first + 2, lines_.end()));
}

int TDoubleList::IndexOfKey(std::string_view text) const { return IndexOf(text, 0); }

int TDoubleList::IndexOfValue(std::string_view text) const { return IndexOf(text, 1); }

int TDoubleList::IndexOf(std::string_view text, int offset) const {
  for (int i = 0; i < PairCount(); ++i)
    if (SameTextAscii(lines_[2 * i + offset], text)) return i;
  return -1;
}

}  // namespace qlon
