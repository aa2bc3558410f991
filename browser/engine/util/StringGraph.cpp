#include "StringGraph.h"

#include <algorithm>

namespace qlon {

int TStringGraph::IndexOf(const std::string& name) const {
  auto it = index_.find(name);
  return it == index_.end() ? -1 : it->second;
}

int TStringGraph::AddNode(const std::string& name, uint16_t tag) {
  const auto [it, added] = index_.try_emplace(name, Count());
  if (!added) return it->second;
  nodes_.push_back({name, tag, {}});
  Changed();
  return it->second;
}

void TStringGraph::Link(int a, int b) {
  if (a == b || a < 0 || b < 0 || a >= Count() || b >= Count()) return;
  const auto [low, high] = std::minmax(a, b);
  if (edges_.insert(uint64_t(uint32_t(low)) << 32 | uint32_t(high)).second) {
    nodes_[size_t(a)].Edges.push_back(b);
    nodes_[size_t(b)].Edges.push_back(a);
  }
  Changed();
}

int TStringGraph::ForEachNeighbour(int node, const std::function<bool(const std::string&)>& callback) const {
  if (node < 0 || node >= Count()) return 0;
  const auto& edges = nodes_[size_t(node)].Edges;
  for (int to : edges)
    if (!callback(nodes_[size_t(to)].Name)) break;
  return int(edges.size());
}

void TStringGraph::Clear() {
  nodes_.clear();
  index_.clear();
  edges_.clear();
  Changed();
}

}  // namespace qlon
