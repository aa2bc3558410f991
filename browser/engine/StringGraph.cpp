#include "StringGraph.h"

#include <algorithm>

namespace qlon {

int TStringGraph::IndexOf(const std::string& name) const {
  auto it = index_.find(name);
  return it == index_.end() ? -1 : it->second;
}

int TStringGraph::AddNode(const std::string& name, uint16_t tag) {
  if (int at = IndexOf(name); at >= 0) return at;
  if (Count() >= kMaxNodes) return -1;
  nodes_.push_back({name, tag, {}});
  index_[name] = Count() - 1;
  Changed();
  return Count() - 1;
}

void TStringGraph::Link(int a, int b) {
  if (a == b || a < 0 || b < 0 || a >= Count() || b >= Count()) return;
  auto add = [](std::vector<uint16_t>& edges, int to) {
    if (std::find(edges.begin(), edges.end(), uint16_t(to)) == edges.end()) edges.push_back(uint16_t(to));
  };
  add(nodes_[size_t(a)].Edges, b);
  add(nodes_[size_t(b)].Edges, a);
  Changed();
}

int TStringGraph::ForEachNeighbour(int node, const std::function<bool(const std::string&)>& callback) const {
  if (node < 0 || node >= Count()) return 0;
  const auto& edges = nodes_[size_t(node)].Edges;
  for (uint16_t to : edges)
    if (!callback(nodes_[to].Name)) break;
  return int(edges.size());
}

void TStringGraph::Clear() {
  nodes_.clear();
  index_.clear();
  Changed();
}

}  // namespace qlon
