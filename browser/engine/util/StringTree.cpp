#include "StringTree.h"

#include <algorithm>
#include <climits>

#include <QIODevice>

#include "Profile.h"
#include "Urlutil.h"
#include "Utils.h"

namespace qlon {

namespace {

constexpr size_t kMaxChildren = 0xFFFF;
constexpr size_t kMaxText = 0xFFFF;

void WriteNode(const TTreeNode& node, QIODevice& stream) {
  WriteWord(static_cast<uint16_t>(node.Children.size()), stream);
  WriteWord(static_cast<uint16_t>(node.Text.size()), stream);
  if (!node.Text.empty() &&
      stream.write(node.Text.data(), static_cast<qint64>(node.Text.size())) != qint64(node.Text.size()))
    throw EWriteError("L'arbre des filtres ne peut pas être écrit");
  WriteInt32(node.Data, stream);
  for (const auto& child : node.Children) WriteNode(*child, stream);
}

std::unique_ptr<TTreeNode> ReadNode(QIODevice& stream, int depth) {
  if (depth > kMaxTreeDepth) throw EReadError("L'arbre des filtres est trop profond");
  const uint16_t count = ReadWordChecked(stream);
  const uint16_t length = ReadWordChecked(stream);
  QByteArray text = stream.read(length);
  if (text.size() != length) throw EReadError("L'arbre des filtres se termine au milieu d'un nœud");
  auto node = TStringTree::NewNode(std::string_view(text.constData(), text.size()), 0);
  node->Data = ReadInt32Checked(stream);
  node->Children.reserve(count);
  for (int i = 0; i < count; ++i) {
    auto child = ReadNode(stream, depth + 1);
    child->Parent = node.get();
    node->Children.push_back(std::move(child));
  }
  return node;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x + 32);
    if (y >= 'A' && y <= 'Z') y = char(y + 32);
    if (x != y) return false;
  }
  return true;
}

// A host node's text that stands for dotted addresses: digits, dots and
// masks, with exactly three dots ("10.0.*.*").
bool IsAddressPattern(std::string_view text) {
  int dots = 0;
  for (char c : text) {
    if (c == '.') ++dots;
    else if (!((c >= '0' && c <= '9') || c == '*' || c == '?')) return false;
  }
  return dots == 3;
}

bool LabelMatches(std::string_view label, std::string_view mask) {
  return EqualNoCase(label, mask) || mask == "*" || MatchWildcard(mask, label, false, false);
}

// The parts of a URL the filter walks: the host, the directory segments
// below the root, and the file name.
struct FilterPath {
  std::string host;
  std::vector<std::string> segments;
  std::string file;
};

FilterPath SplitUrl(std::string_view url) {
  TUrl u(url);
  FilterPath p;
  p.host = u.Host;
  if (u.Segments.size() > 1) p.segments.assign(u.Segments.begin() + 1, u.Segments.end());
  p.file = u.FileName;
  return p;
}

// Ini texts: the characters of the ini syntax, and "%" itself, as %XX.
constexpr std::string_view kIniEscaped = "%[]()\r\n";

std::string EscapeIniText(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (kIniEscaped.find(c) == std::string_view::npos) {
      out += c;
    } else {
      AppendPercentByte(out, static_cast<unsigned char>(c));
    }
  }
  return out;
}

std::string UnescapeIniText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      uint32_t code = 0;
      if (HexToInt(text.substr(i + 1, 2), code) && code < 256 &&
          kIniEscaped.find(char(code)) != std::string_view::npos) {
        out += char(code);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

void WriteIniNode(const TTreeNode& node, std::string& out) {
  out += EscapeIniText(node.Text);
  out += '[';
  out += std::to_string(node.Data);
  out += ']';
  if (node.Children.empty()) return;
  out += '(';
  for (const auto& child : node.Children) WriteIniNode(*child, out);
  out += ')';
}

// Parses "text[mark]" and an optional "(children)" at `i`. A value that
// ends early keeps what was read; false tells the caller to stop.
bool ParseIniNode(TStringTree& tree, TTreeNode* parent, std::string_view v, size_t& i, int depth) {
  if (depth > kMaxTreeDepth) return false;
  size_t open = v.find('[', i);
  if (open == std::string_view::npos) return false;
  TTreeNode* node = tree.AddChild(parent, TStringTree::NewNode(UnescapeIniText(v.substr(i, open - i)), 0));
  if (!node) return false;
  i = open + 1;
  bool negative = i < v.size() && v[i] == '-';
  if (negative) ++i;
  int64_t mark = 0;
  while (i < v.size() && v[i] >= '0' && v[i] <= '9') mark = std::min<int64_t>(mark * 10 + (v[i++] - '0'), INT32_MAX);
  node->Data = static_cast<int32_t>(negative ? -mark : mark);
  if (i >= v.size() || v[i] != ']') return false;
  ++i;
  if (i < v.size() && v[i] == '(') {
    ++i;
    while (i < v.size() && v[i] != ')')
      if (!ParseIniNode(tree, node, v, i, depth + 1)) return false;
    if (i >= v.size()) return false;
    ++i;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- TStringTree

TStringTree::TStringTree() : root_(NewNode("", 0)) {}

TStringTree::ChangeScope::ChangeScope(TStringTree& tree) : tree_(tree), outer_(!tree.locked_) {
  if (!outer_) return;
  tree_.Changing();
  if (tree_.OnChanging) tree_.OnChanging(tree_);
  tree_.locked_ = true;
}

TStringTree::ChangeScope::~ChangeScope() {
  if (!outer_) return;
  tree_.locked_ = false;
  if (tree_.OnChange) tree_.OnChange(tree_);
}

std::unique_ptr<TTreeNode> TStringTree::NewNode(std::string_view text, int32_t data) {
  auto node = std::make_unique<TTreeNode>();
  node->Text.assign(text);
  node->Data = data;
  return node;
}

TTreeNode* TStringTree::AddChild(TTreeNode* parent, std::unique_ptr<TTreeNode> node) {
  if (!parent || !node || parent->Children.size() >= kMaxChildren || node->Text.size() > kMaxText)
    return nullptr;
  ChangeScope scope(*this);
  node->Parent = parent;
  parent->Children.push_back(std::move(node));
  return parent->Children.back().get();
}

std::unique_ptr<TTreeNode> TStringTree::UnlinkChild(TTreeNode* parent, TTreeNode* node) {
  if (!parent || !node) return nullptr;
  for (auto it = parent->Children.begin(); it != parent->Children.end(); ++it) {
    if (it->get() != node) continue;
    ChangeScope scope(*this);
    std::unique_ptr<TTreeNode> owned = std::move(*it);
    parent->Children.erase(it);
    owned->Parent = nullptr;
    return owned;
  }
  return nullptr;
}

void TStringTree::DeleteNode(TTreeNode* node) {
  if (!node || node == root_.get()) return;
  ChangeScope scope(*this);
  UnlinkChild(node->Parent, node);  // the node and its subtree go with the returned owner
}

void TStringTree::Clear() {
  ChangeScope scope(*this);
  root_->Children.clear();
}

void TStringTree::Assign(const TStringTree& other) {
  if (&other == this) return;
  ChangeScope scope(*this);
  Clear();
  root_->Text = other.root_->Text;
  root_->Data = other.root_->Data;
  std::function<void(const TTreeNode&, TTreeNode*)> copy = [&](const TTreeNode& from, TTreeNode* to) {
    for (const auto& child : from.Children) copy(*child, AddChild(to, NewNode(child->Text, child->Data)));
  };
  copy(*other.root_, root_.get());
}

TTreeNode* TStringTree::GetChild(const TTreeNode* node, int index) {
  if (!node || index < 0 || index >= node->GetChildCount()) return nullptr;
  return node->Children[index].get();
}

TTreeNode* TStringTree::FindChild(const TTreeNode* node, std::string_view text, int mode) {
  if (!node) return nullptr;
  for (const auto& child : node->Children) {
    if (mode == 0 ? child->Text == text : MatchWildcard(child->Text, text, false, false))
      return child.get();
  }
  return nullptr;
}

void TStringTree::ForEach(const std::function<bool(TTreeNode*)>& visit) {
  if (!visit(root_.get())) return;
  std::function<void(TTreeNode*)> walk = [&](TTreeNode* parent) {
    for (size_t i = 0; i < parent->Children.size(); ++i) {
      TTreeNode* child = parent->Children[i].get();
      if (!visit(child)) return;
      walk(child);
    }
  };
  walk(root_.get());
}

std::string TStringTree::GetTreeNodePath(const TTreeNode* node) {
  std::vector<const TTreeNode*> chain;
  for (; node; node = node->Parent) chain.push_back(node);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += (*it)->Text;
  return path;
}

void TStringTree::SaveToStream(QIODevice& stream) const { WriteNode(*root_, stream); }

void TStringTree::LoadFromStream(QIODevice& stream) {
  ChangeScope scope(*this);
  Clear();
  root_ = ReadNode(stream, 0);
}

// ---------------------------------------------------------------- TFilterList

void TFilterList::SetDefault() {
  // Portals, search engines and browser vendors: start pages that every
  // site links to and that no capture means to follow.
  static constexpr std::string_view kDefaults[] = {
      "http://www.yahoo.com/",    "http://www.altavista.com/", "http://www.lycos.com/",
      "http://www.excite.com/",   "http://www.netscape.com/",  "http://www.microsoft.com/",
      "http://www.yahoo.com/",
  };
  ChangeScope scope(*this);
  Clear();
  for (std::string_view url : kDefaults) Add(url, kFilterExcluded);
}

bool TFilterList::Add(std::string_view url, int mark) {
  FilterPath p = SplitUrl(url);
  // Host, directories and file must stay within the depth a stored tree may have.
  if (p.segments.size() + 2 > size_t(kMaxTreeDepth)) return false;
  ChangeScope scope(*this);
  auto step = [&](TTreeNode* current, const std::string& text, bool clearMark) -> TTreeNode* {
    if (clearMark && current->Data == mark) current->Data = 0;
    TTreeNode* next = FindChild(current, text, 0);
    return next ? next : AddChild(current, NewNode(text, 0));
  };
  TTreeNode* current = step(Root(), p.host + "/", false);
  for (const std::string& segment : p.segments)
    if (current) current = step(current, segment, true);
  if (current && !p.file.empty()) current = step(current, p.file, true);
  if (!current) return false;  // a level that the tree cannot hold
  current->Data = mark;
  return true;
}

TTreeNode* TFilterList::Find(std::string_view url) const {
  FilterPath p = SplitUrl(url);
  TTreeNode* node = FindChild(Root(), p.host + "/", 0);
  for (const std::string& segment : p.segments)
    if (node) node = FindChild(node, segment, 0);
  if (node && !p.file.empty()) node = FindChild(node, p.file, 0);
  return node;
}

void TFilterList::Delete(std::string_view url) {
  if (TTreeNode* node = Find(url)) DeleteNode(node);
}

void TFilterList::Replace(std::string_view oldUrl, std::string_view newUrl) {
  TTreeNode* node = Find(oldUrl);
  if (!node) return;
  ChangeScope scope(*this);
  int mark = node->Data;
  DeleteNode(node);
  Add(newUrl, mark);
}

bool TFilterList::HostMatches(std::string_view urlHost, std::string_view nodeText) {
  if (!urlHost.empty() && urlHost.back() == '/') urlHost.remove_suffix(1);
  if (!nodeText.empty() && nodeText.back() == '/') nodeText.remove_suffix(1);
  if (nodeText == "*") return true;
  // A dotted address never stands for a name, nor a name for an address.
  if (IsNumericAddress(urlHost) != IsAddressPattern(nodeText)) return false;
  std::vector<std::string> host = SplitString(urlHost, '.');
  std::vector<std::string> mask = SplitString(nodeText, '.');
  if (!urlHost.empty() && urlHost.back() == '.') host.emplace_back();
  if (!nodeText.empty() && nodeText.back() == '.') mask.emplace_back();
  size_t skip = 0;
  if (mask.size() < host.size()) {
    // A leading "*" label stands for any number of labels: *.example.com
    // covers a.example.com and a.b.example.com.
    if (mask.empty() || mask.front() != "*" || IsAddressPattern(nodeText)) return false;
    skip = host.size() - mask.size();
  } else if (mask.size() > host.size()) {
    return false;
  }
  for (size_t i = 0; i < mask.size(); ++i) {
    size_t h = (i == 0) ? 0 : i + skip;
    if (i == 0 && skip) continue;  // the absorbing "*"
    if (!LabelMatches(host[h], mask[i])) return false;
  }
  return true;
}

bool TFilterList::Match(const TUrl& url, int mark) const {
  if (GetCount() == 0) return false;
  const TTreeNode* current = nullptr;
  for (const auto& top : Root()->Children)
    if (HostMatches(url.Host, top->Text)) {
      current = top.get();
      break;
    }
  if (!current) return false;
  if (current->Data == mark) return true;
  if (current->Data != 0 && current->Children.empty()) return false;
  // The directory segments below the root, then the file name.
  for (size_t i = 1; i < url.Segments.size(); ++i) {
    current = FindChild(current, url.Segments[i], 1);
    if (!current) return false;
    if (current->Data == mark) return true;
  }
  if (!url.FileName.empty() && !current->Children.empty()) {
    const TTreeNode* leaf = FindChild(current, url.FileName, 1);
    return leaf && leaf->Data == mark;
  }
  return false;
}

bool TFilterList::SaveToIni(profile::TIniFile& ini, std::string_view section) const {
  bool ok = true;
  int key = 0;
  for (const auto& top : Root()->Children) {
    std::string value;
    WriteIniNode(*top, value);
    ok = ini.WriteString(section, std::to_string(key++), value) && ok;
  }
  // Keys of a longer tree saved before would read back as entries.
  while (ini.ValueExists(section, std::to_string(key))) ok = ini.DeleteKey(section, std::to_string(key++)) && ok;
  return ok;
}

void TFilterList::LoadFromIni(const profile::TIniFile& ini, std::string_view section) {
  ChangeScope scope(*this);
  Clear();
  for (int key = 0;; ++key) {
    std::string value = ini.ReadString(section, std::to_string(key), "");
    if (value.empty()) break;
    size_t i = 0;
    if (value.find('[') == std::string::npos)
      AddTop(NewNode("", 0));
    else
      ParseIniNode(*this, Root(), value, i, 0);
  }
}

}  // namespace qlon
