#pragma once
// A list of key/value pairs kept as plain lines: the key of pair i is line 2i,
// its value line 2i+1. Stored that way in the capture file's host list, so a
// list read back with an odd number of lines simply has an incomplete last
// pair, which PairCount leaves out.
#include <string>
#include <string_view>
#include <vector>

namespace qlon {

class TDoubleList {
 public:
  // Line access.
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::vector<std::string>& Lines() const { return lines_; }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Clear() { lines_.clear(); }

  // Pair access; an index outside the pairs reads as empty and writes nothing.
  int PairCount() const { return Count() / 2; }
  std::string GetKey(int i) const;
  std::string GetValue(int i) const;
  void SetValue(int i, std::string_view value);
  void AddPair(std::string_view key, std::string_view value);
  void DeletePair(int i);

  // The first pair whose key (or value) equals the text ignoring ASCII case; -1 when none.
  int IndexOfKey(std::string_view text) const;
  int IndexOfValue(std::string_view text) const;

  bool operator==(const TDoubleList&) const = default;

 private:
  bool HasPair(int i) const { return i >= 0 && i < PairCount(); }
  int IndexOf(std::string_view text, int offset) const;

  std::vector<std::string> lines_;
};

}  // namespace qlon
