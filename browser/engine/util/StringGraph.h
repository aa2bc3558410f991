#pragma once
// TStringGraph: an undirected graph of named nodes (a name at most once),
// each with a 16-bit tag and its edges, without duplicates. Nodes keep the
// index they were added at; edges keep the order they were made in.
//
// Indexes and counts are native ints, so the graph holds as many nodes and
// edges as memory allows (a report over a large capture has more than
// 65,535 of both). Names and edges are hashed: adding a node or an edge
// costs the same on a node with one edge as on one with 40,000.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qlon {

class TStringGraph {
 public:
  TStringGraph() = default;
  ~TStringGraph() { Clear(); }
  TStringGraph(const TStringGraph&) = delete;
  TStringGraph& operator=(const TStringGraph&) = delete;

  // The node's index, added with the tag when the name is new.
  int AddNode(const std::string& name, uint16_t tag);
  // An edge between two different nodes (once); nothing for a bad index.
  void Link(int a, int b);
  // Calls back with each neighbour's name in edge order while it answers
  // true; the node's edge count (0 for a missing node).
  int ForEachNeighbour(int node, const std::function<bool(const std::string&)>& callback) const;
  int Count() const { return int(nodes_.size()); }
  const std::string& GetName(int index) const { return nodes_.at(size_t(index)).Name; }
  uint16_t GetTag(int index) const { return nodes_.at(size_t(index)).Tag; }
  int IndexOf(const std::string& name) const;
  void Clear();

  std::function<void(TStringGraph&)> OnChange;

 private:
  struct TNode {
    std::string Name;
    uint16_t Tag = 0;
    std::vector<int> Edges;
  };
  void Changed() {
    if (OnChange) OnChange(*this);
  }
  std::vector<TNode> nodes_;
  std::unordered_map<std::string, int> index_;
  // Each edge once, as (smaller index << 32 | larger index).
  std::unordered_set<uint64_t> edges_;
};

}  // namespace qlon
