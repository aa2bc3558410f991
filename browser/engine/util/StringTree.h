#pragma once
// A tree of texts, each node with a 32-bit data value, and the URL filter of
// a capture built on it.
//
// Stream form (inside the capture file and the capture options), the nodes
// in pre-order, root first, little-endian:
//
//   offset  size  field
//   0       2     child count (unsigned)
//   2       2     text length n (unsigned)
//   4       n     text bytes (UTF-8)
//   4+n     4     data (signed)
//   ...           then the node's children, each followed by its own
//
// So a node never has more than 65535 children nor a text of more than
// 65535 bytes: AddChild refuses what the stream could not hold. Loading is
// bounded in depth (kMaxTreeDepth) so that a crafted file cannot exhaust the
// stack, and a stream that ends inside a node raises EReadError.
//
// Filter tree: the root's children are host nodes (host name + "/"), below
// them one node per directory segment ("dir/") and file-name leaves. A
// node's data is its mark: 1 allowed, 2 excluded, 0 only a path step.
// Node texts may be "*" / "?" masks.
//
// Ini form (a profile's section): key "0", "1", ... per host node, valued
// text "[" mark "]" and, when it has children, "(" children ")", each child
// written the same way: a/[0](b/[2]) is host a/ holding directory b/
// excluded. Texts are written with "%", "[", "]", "(", ")", CR and LF as
// %XX, so that any text reads back as it was; other "%XX" read literally.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Urlutil.h"

class QIODevice;

namespace qlon {

namespace profile {
class TIniFile;
}

inline constexpr int kMaxTreeDepth = 256;
inline constexpr int kFilterAllowed = 1;
inline constexpr int kFilterExcluded = 2;

struct TTreeNode {
  TTreeNode* Parent = nullptr;
  std::vector<std::unique_ptr<TTreeNode>> Children;
  std::string Text;
  int32_t Data = 0;

  int GetChildCount() const { return static_cast<int>(Children.size()); }
};

class TStringTree {
 public:
  TStringTree();
  virtual ~TStringTree() = default;
  TStringTree(const TStringTree&) = delete;
  TStringTree& operator=(const TStringTree&) = delete;

  static std::unique_ptr<TTreeNode> NewNode(std::string_view text, int32_t data);
  // Appends the node as the parent's last child; nullptr (and the node
  // freed) for a missing parent or node, a full parent or an overlong text.
  TTreeNode* AddChild(TTreeNode* parent, std::unique_ptr<TTreeNode> node);
  TTreeNode* AddTop(std::unique_ptr<TTreeNode> node) { return AddChild(Root(), std::move(node)); }
  std::unique_ptr<TTreeNode> UnlinkChild(TTreeNode* parent, TTreeNode* node);
  void DeleteNode(TTreeNode* node);
  virtual void Clear();
  void Assign(const TStringTree& other);

  TTreeNode* Root() { return root_.get(); }
  const TTreeNode* Root() const { return root_.get(); }
  int GetCount() const { return root_->GetChildCount(); }
  TTreeNode* GetTop(int index) const { return GetChild(root_.get(), index); }
  static TTreeNode* GetChild(const TTreeNode* node, int index);
  // Mode 0: the child whose text equals `text`. Mode 1: the child whose text,
  // as a "*"/"?" mask, matches `text` ignoring case.
  static TTreeNode* FindChild(const TTreeNode* node, std::string_view text, int mode);
  // Calls `visit` on the root and, while it answers true, depth first on the
  // children; a false answer skips that node's later siblings and children.
  void ForEach(const std::function<bool(TTreeNode*)>& visit);
  static std::string GetTreeNodePath(const TTreeNode* node);

  virtual void SaveToStream(QIODevice& stream) const;
  virtual void LoadFromStream(QIODevice& stream);

  std::function<void(TStringTree&)> OnChange;
  std::function<void(TStringTree&)> OnChanging;  // before a change

 protected:
  virtual void Changing() {}

  // One notification pair for a change, however many inner steps it takes.
  class ChangeScope {
   public:
    explicit ChangeScope(TStringTree& tree);
    ~ChangeScope();
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

   private:
    TStringTree& tree_;
    bool outer_;
  };

 private:
  std::unique_ptr<TTreeNode> root_;
  bool locked_ = false;
};

class TFilterList : public TStringTree {
 public:
  TFilterList() = default;

  void SetDefault();
  // False for a URL deeper than a stored tree may be (kMaxTreeDepth levels).
  bool Add(std::string_view url, int mark);
  TTreeNode* Find(std::string_view url) const;
  void Delete(std::string_view url);
  void Replace(std::string_view oldUrl, std::string_view newUrl);
  static int GetNodeMark(const TTreeNode* node) { return node ? node->Data : 0; }
  bool IsAllowed(std::string_view url) const { return Match(TUrl(url), kFilterAllowed); }
  bool IsExcluded(std::string_view url) const { return Match(TUrl(url), kFilterExcluded); }
  // The same for a URL parsed already.
  bool IsAllowed(const TUrl& url) const { return Match(url, kFilterAllowed); }
  bool IsExcluded(const TUrl& url) const { return Match(url, kFilterExcluded); }

  bool SaveToIni(profile::TIniFile& ini, std::string_view section) const;
  void LoadFromIni(const profile::TIniFile& ini, std::string_view section);

  // Whether a host node's text (a host name or mask, then "/") stands for
  // the URL host + "/". Exposed for the filter editors.
  static bool HostMatches(std::string_view urlHost, std::string_view nodeText);

 private:
  bool Match(const TUrl& url, int mark) const;
};

}  // namespace qlon
