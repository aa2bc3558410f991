#include "StringTree.h"

#include <string>

#include <QBuffer>
#include <gtest/gtest.h>

#include "Profile.h"
#include "TempRoot.h"
#include "Utils.h"

using namespace qlon;

namespace {

// The tree written as its ini value, one top node after the other.
std::string Dump(const TTreeNode* node) {
  std::string out = node->Text + "[" + std::to_string(node->Data) + "]";
  if (node->GetChildCount()) {
    out += "(";
    for (const auto& c : node->Children) out += Dump(c.get());
    out += ")";
  }
  return out;
}
std::string Dump(const TStringTree& tree) {
  std::string out;
  for (int i = 0; i < tree.GetCount(); ++i) out += Dump(tree.GetTop(i));
  return out;
}

// Builds a filter from node texts: each row is a path of (text, mark).
void AddPath(TFilterList& f, std::initializer_list<std::pair<const char*, int>> path) {
  TTreeNode* node = f.Root();
  for (auto [text, mark] : path) {
    TTreeNode* next = TStringTree::FindChild(node, text, 0);
    if (!next) next = f.AddChild(node, TStringTree::NewNode(text, 0));
    next->Data = mark;
    node = next;
  }
}

}  // namespace

TEST(FilterList, AddMovesTheMarkToTheDeepestEntry) {
  TFilterList f;
  f.Add("http://a/b/c.htm", 2);
  f.Add("http://a/b/", 2);
  EXPECT_EQ(Dump(f), "a/[0](b/[2](c.htm[2]))");
  f.Clear();
  f.Add("http://a/b/", 2);
  f.Add("http://a/b/c.htm", 2);
  EXPECT_EQ(Dump(f), "a/[0](b/[0](c.htm[2]))");
  f.Add("http://a/b/d.htm", 1);
  EXPECT_EQ(Dump(f), "a/[0](b/[0](c.htm[2]d.htm[1]))");

  EXPECT_EQ(TFilterList::GetNodeMark(f.Find("http://A/b/c.htm")), 2);
  EXPECT_EQ(f.Find("http://a/B/c.htm"), nullptr);  // exact texts
  EXPECT_EQ(TFilterList::GetNodeMark(nullptr), 0);

  f.Replace("http://a/b/c.htm", "http://x/y/z.htm");
  EXPECT_EQ(Dump(f), "a/[0](b/[0](d.htm[1]))x/[0](y/[0](z.htm[2]))");
  f.Delete("http://a/b/");
  EXPECT_EQ(Dump(f), "a/[0]x/[0](y/[0](z.htm[2]))");
  f.Delete("http://nowhere/");
  EXPECT_EQ(Dump(f), "a/[0]x/[0](y/[0](z.htm[2]))");

  std::string deep = "http://a/";
  for (int i = 0; i < kMaxTreeDepth; ++i) deep += "d/";
  EXPECT_FALSE(f.Add(deep + "x.htm", 2));  // deeper than a stored tree may be
  EXPECT_EQ(f.Find(deep + "x.htm"), nullptr);

  f.SetDefault();
  EXPECT_EQ(f.GetCount(), 6);  // seven addresses, one of them twice
  EXPECT_TRUE(f.IsExcluded("http://www.yahoo.com/news/today.htm"));
}

TEST(FilterList, IncludeAndExcludeDecisions) {
  TFilterList f;
  AddPath(f, {{"blocked.com/", 2}});
  AddPath(f, {{"a.example.com/", 2}});
  AddPath(f, {{"10.0.0.1/", 2}});
  AddPath(f, {{"localhost/", 1}});
  AddPath(f, {{"*.cdn.net/", 2}});
  AddPath(f, {{"192.168.*.*/", 2}});
  AddPath(f, {{"site.org/", 0}, {"pub/", 1}, {"private/", 2}});
  AddPath(f, {{"site.org/", 0}, {"*", 0}, {"*.gif", 2}});
  AddPath(f, {{"site.org/", 0}, {"img*/", 0}, {"a*b.htm", 2}});
  AddPath(f, {{"mask.org/", 0}, {"img*/", 0}, {"a*b.htm", 2}});
  AddPath(f, {{"docs.org/", 0}, {"d/", 0}, {"x.htm", 2}});

  struct Case { const char* url; bool allowed; bool excluded; };
  const Case cases[] = {
      {"http://blocked.com/", false, true},
      {"http://BLOCKED.com/any/deep/page.htm?q=1", false, true},
      // every label counts, the last one too
      {"http://a.example.com/x.htm", false, true},
      {"http://a.example.org/x.htm", false, false},
      {"http://b.example.com/x.htm", false, false},
      {"http://10.0.0.1/", false, true},
      {"http://10.0.0.2/", false, false},
      {"http://localhost/", true, false},
      {"http://intranet/", false, false},
      // a leading "*" stands for one or more labels, not for none
      {"http://img.cdn.net/p.gif", false, true},
      {"http://a.b.cdn.net/p.gif", false, true},
      {"http://cdn.net/p.gif", false, false},
      // addresses match address patterns only
      {"http://192.168.3.4/", false, true},
      {"http://192.169.3.4/", false, false},
      // directories and files below a neutral host
      {"http://site.org/pub/x.htm", true, false},
      {"http://site.org/pub/private/x.htm", true, true},  // each question walks past other marks
      {"http://site.org/other/p.gif", false, true},         // "*" matches any directory
      {"http://site.org/other/p.jpg", false, false},
      {"http://site.org/img/ab.htm", false, false},          // "*" found first, then "*.gif"
      // masks match empty spans
      {"http://mask.org/img/ab.htm", false, true},
      {"http://mask.org/imgs/axxb.htm", false, true},
      {"http://mask.org/im/ab.htm", false, false},
      {"http://docs.org/d/x.htm", false, true},
      {"http://docs.org/d/y.htm", false, false},
      {"http://docs.org/d/", false, false},
      {"http://docs.org/x.htm", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(f.IsAllowed(c.url), c.allowed) << c.url;
    EXPECT_EQ(f.IsExcluded(c.url), c.excluded) << c.url;
  }
  EXPECT_FALSE(TFilterList().IsExcluded("http://blocked.com/"));
}

TEST(FilterList, HostRule) {
  struct Case { const char* host; const char* node; bool match; };
  const Case cases[] = {
      {"www.example.com", "www.example.com/", true},  {"www.example.com", "www.example.org/", false},
      {"www.example.com", "example.com/", false},     {"www.example.com", "*.example.com/", true},
      {"www.example.com", "www.*.com/", true},        {"www.example.com", "w?w.example.com/", true},
      {"www.example.com", "*/", true},                {"10.1.2.3", "*/", true},
      {"localhost", "localhost/", true},              {"localhost", "intranet/", false},
      {"10.1.2.3", "10.1.2.3/", true},                {"10.1.2.3", "10.1.2.*/", true},
      {"10.1.2.3", "*.1.2.3/", true},                 {"1.2.3.4", "*.example.com/", false},
      {"a.b.c.d", "1.2.3.4/", false},                 {"example.com", "example.com./", false},
      {"", "/", true},                                {"", "a/", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TFilterList::HostMatches(c.host, c.node), c.match) << c.host << " ~ " << c.node;
}

TEST(FilterList, IniFormRoundTripsAnyText) {
  qlon::test::TempRoot root;
  qlon::test::TempDir dir;
  profile::TIniFile ini(dir.path() / "profiles.ini");
  TFilterList f;
  f.Add("http://a/b/", 2);
  f.Add("http://h/dir(1)/[x]%25.htm", 1);
  f.Add("http://h/other/", 2);
  ASSERT_TRUE(f.SaveToIni(ini, "Mon profil"));
  EXPECT_EQ(ini.ReadString("Mon profil", "0", ""), "a/[0](b/[2])");
  EXPECT_EQ(ini.ReadString("Mon profil", "1", ""),
            "h/[0](dir%281%29/[0](%255Bx%255D%2525.htm[1])other/[2])");

  TFilterList back;
  back.LoadFromIni(ini, "mon PROFIL");
  EXPECT_EQ(Dump(back), Dump(f));
  EXPECT_TRUE(back.IsAllowed("http://h/dir(1)/[x]%25.htm"));

  // A shorter tree leaves no stale entries behind.
  TFilterList one;
  one.Add("http://z/", 2);
  ASSERT_TRUE(one.SaveToIni(ini, "Mon profil"));
  back.LoadFromIni(ini, "Mon profil");
  EXPECT_EQ(Dump(back), "z/[2]");
}

TEST(FilterList, IniValuesThatEndEarlyOrHoldJunk) {
  qlon::test::TempRoot root;
  qlon::test::TempDir dir;
  qlon::test::WriteFileBytes(dir.path() / "p.ini",
                             "[P]\n0=no bracket\n1=a/[2](b/[1](c[2]\n2=x/[7]y\n3=%41/[1]\n5=after/[1]\n");
  profile::TIniFile ini(dir.path() / "p.ini");
  TFilterList f;
  f.LoadFromIni(ini, "P");
  EXPECT_EQ(Dump(f), "[0]a/[2](b/[1](c[2]))x/[7]%41/[1]");  // stops at the missing key 4

  std::string deep = "0=";
  for (int i = 0; i < 2 * kMaxTreeDepth; ++i) deep += "d/[0](";
  qlon::test::WriteFileBytes(dir.path() / "p.ini", "[P]\n" + deep + "\n");
  f.LoadFromIni(ini, "P");
  EXPECT_GE(f.GetCount(), 1);
}

TEST(StringTree, StreamFormAndItsLimits) {
  TFilterList f;
  f.Add("http://a/b/", 2);
  QByteArray bytes;
  QBuffer out(&bytes);
  out.open(QIODevice::WriteOnly);
  f.SaveToStream(out);
  const char expected[] =
      "\x01\x00" "\x00\x00" "\x00\x00\x00\x00"         // root: 1 child, "", 0
      "\x01\x00" "\x02\x00" "a/" "\x00\x00\x00\x00"    // a/
      "\x00\x00" "\x02\x00" "b/" "\x02\x00\x00\x00";   // b/ mark 2
  EXPECT_EQ(bytes, QByteArray(expected, sizeof expected - 1));

  TStringTree back;
  QBuffer in(&bytes);
  in.open(QIODevice::ReadOnly);
  back.LoadFromStream(in);
  EXPECT_EQ(Dump(back), "a/[0](b/[2])");

  QByteArray cut = bytes.left(bytes.size() - 3);
  QBuffer truncated(&cut);
  truncated.open(QIODevice::ReadOnly);
  EXPECT_THROW(back.LoadFromStream(truncated), EReadError);

  QByteArray bomb;
  for (int i = 0; i < kMaxTreeDepth + 10; ++i) bomb.append("\x01\x00\x00\x00\x00\x00\x00\x00", 8);
  QBuffer deep(&bomb);
  deep.open(QIODevice::ReadOnly);
  EXPECT_THROW(back.LoadFromStream(deep), EReadError);

  TStringTree t;
  EXPECT_EQ(t.AddTop(TStringTree::NewNode(std::string(70000, 'x'), 0)), nullptr);
  EXPECT_EQ(t.AddChild(nullptr, TStringTree::NewNode("x", 0)), nullptr);
}

TEST(StringTree, NotifiesOncePerChange) {
  TFilterList f;
  std::string events;
  f.OnChanging = [&](TStringTree&) { events += "<"; };
  f.OnChange = [&](TStringTree&) { events += ">"; };
  f.Add("http://a/b/c/d.htm", 2);
  f.Delete("http://a/b/");
  f.Replace("http://a/", "http://z/");
  TFilterList other;
  other.Add("http://q/", 1);
  f.Assign(other);
  EXPECT_EQ(events, "<><><><>");
  EXPECT_EQ(Dump(f), "q/[1]");
}

TEST(StringTree, WalksAndPaths) {
  TFilterList f;
  f.Add("http://a/b/c.htm", 2);
  f.Add("http://a/x/", 1);
  f.Add("http://z/", 1);
  std::string seen;
  f.ForEach([&](TTreeNode* n) {
    seen += n->Text + ";";
    return n->Text != "b/";  // skips b/'s children and its later siblings
  });
  EXPECT_EQ(seen, ";a/;b/;z/;");
  const TTreeNode* leaf = f.Find("http://a/b/c.htm");
  EXPECT_EQ(TStringTree::GetTreeNodePath(leaf), "a/b/c.htm");
  EXPECT_EQ(TStringTree::FindChild(f.GetTop(0), "X/", 1)->Text, "x/");
  EXPECT_EQ(TStringTree::FindChild(f.GetTop(0), "X/", 0), nullptr);
  EXPECT_EQ(f.GetTop(5), nullptr);
}
