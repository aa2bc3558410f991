#include <gtest/gtest.h>

#include <QBuffer>
#include <QString>

#include "JavaClassFile.h"
#include "TempRoot.h"

namespace {
using namespace qlon;

// Builds a class file's head and constant pool; slots counts pool indexes.
class ClassBuilder {
 public:
  ClassBuilder() { U4(0xCAFEBABE).U2(3).U2(45); }
  ClassBuilder& U1(unsigned v) { pool_.append(char(v & 0xFF)); return *this; }
  ClassBuilder& U2(unsigned v) { return U1(v >> 8).U1(v); }
  ClassBuilder& U4(quint32 v) { return U2(v >> 16).U2(v & 0xFFFF); }
  int Utf8(const QByteArray& bytes) {
    U1(1).U2(static_cast<unsigned>(bytes.size()));
    pool_ += bytes;
    return ++slots_;
  }
  int Class(unsigned nameIndex) { U1(7).U2(nameIndex); return ++slots_; }
  int Raw(unsigned tag, int bodyBytes, int width = 1) {
    U1(tag);
    pool_.append(QByteArray(bodyBytes, '\x01'));
    slots_ += width;
    return slots_;
  }
  // Head and pool with the count the entries need (or the one given).
  QByteArray Bytes(int count = -1, bool trailer = true) const {
    QByteArray head = pool_.left(8);
    const int n = count < 0 ? slots_ + 1 : count;
    head.append(char((n >> 8) & 0xFF)).append(char(n & 0xFF));
    // Access flags and this class after the pool.
    return head + pool_.mid(8) + (trailer ? QByteArray("\x00\x21\x00\x02", 4) : QByteArray());
  }

 private:
  QByteArray pool_;
  int slots_ = 0;
};

std::vector<std::string> Classes(const QByteArray& bytes, bool skipSystem, bool* loaded = nullptr) {
  QByteArray copy = bytes;
  QBuffer b(&copy);
  b.open(QIODevice::ReadOnly);
  TJavaClassFile file;
  const bool ok = file.LoadFromStream(b);
  if (loaded) *loaded = ok;
  std::vector<std::string> list;
  file.GetClassFiles(list, skipSystem);
  return list;
}

TEST(JavaClassPool, EveryTagKindAndTheSkipFlag) {
  ClassBuilder c;
  const int own = c.Utf8("applet/Main");
  c.Raw(3, 4);
  c.Raw(4, 4);
  c.Raw(5, 8, 2);  // a long and a double take two slots each
  c.Raw(6, 8, 2);
  const int sys = c.Utf8("java/lang/Object");
  c.Raw(8, 2);
  for (unsigned tag : {9u, 10u, 11u, 12u, 17u, 18u}) c.Raw(tag, 4);
  c.Raw(15, 3);
  for (unsigned tag : {16u, 19u, 20u}) c.Raw(tag, 2);
  const int sysUpper = c.Utf8("JAVA/awt/Color");
  const int helper = c.Class(sysUpper + 2);  // names the entry after it
  const int helperName = c.Utf8("applet/Helper");
  c.Class(own);
  c.Class(sys);
  c.Class(sysUpper);
  c.Class(c.Utf8("[[Lapplet/Cell;"));
  c.Class(c.Utf8("[I"));
  c.Class(own);      // the same class twice is one file
  c.Class(9999);     // out of the pool
  c.Class(3);        // not a text entry
  ASSERT_EQ(helperName, helper + 1);
  bool ok = false;
  EXPECT_EQ(Classes(c.Bytes(), true, &ok),
            (std::vector<std::string>{"applet/Helper.class", "applet/Main.class", "applet/Cell.class"}));
  EXPECT_TRUE(ok);
  EXPECT_EQ(Classes(c.Bytes(), false),
            (std::vector<std::string>{"applet/Helper.class", "applet/Main.class", "java/lang/Object.class",
                                      "JAVA/awt/Color.class", "applet/Cell.class"}));
}

TEST(JavaClassPool, TextDecoding) {
  ClassBuilder c;
  // "é" (C3 A9), an embedded NUL (C0 80 and a raw 0), U+20AC and U+1F600
  // (a surrogate pair of two 3-byte sequences) in modified UTF-8.
  const int name = c.Utf8(QByteArray("p/\xC3\xA9t\xC0\x80\x00\xE2\x82\xAC\xED\xA0\xBD\xED\xB8\x80", 17));
  c.Class(name);
  EXPECT_EQ(Classes(c.Bytes(), false), std::vector<std::string>{"p/\xC3\xA9t\xE2\x82\xAC\xF0\x9F\x98\x80.class"});
}

TEST(JavaClassPool, MalformedFilesEndCleanly) {
  ClassBuilder c;
  c.Class(c.Utf8("a/B"));
  c.Raw(2, 0);  // tag 2 is unknown: the reading stops here
  c.Class(c.Utf8("a/Lost"));
  bool ok = false;
  EXPECT_EQ(Classes(c.Bytes(), false, &ok), std::vector<std::string>{"a/B.class"});
  EXPECT_TRUE(ok);

  const QByteArray whole = ClassBuilder().Bytes();
  ClassBuilder d;
  d.Class(d.Utf8("a/B"));
  const QByteArray full = d.Bytes();
  // Every truncation inside the head or pool is refused and lists nothing.
  for (int cut = 0; cut < full.size() - 4; ++cut) {
    EXPECT_TRUE(Classes(full.left(cut), false, &ok).empty()) << cut;
    EXPECT_FALSE(ok) << cut;
  }
  // A huge count over a short file, a text longer than the file, and a
  // wrong magic are refused too.
  ClassBuilder e;
  e.U1(1).U2(0xFFFF).U1('a');
  for (const QByteArray& bad : {d.Bytes(65535, false), e.Bytes(2, false),
                                QByteArray("\xCA\xFE\xBA\xBF") + full.mid(4)}) {
    EXPECT_TRUE(Classes(bad, false, &ok).empty());
    EXPECT_FALSE(ok);
  }
  EXPECT_TRUE(Classes(whole, false, &ok).empty());
  EXPECT_TRUE(ok);
}

TEST(JavaClassPool, LoadFromFile) {
  test::TempDir dir;
  ClassBuilder c;
  c.Class(c.Utf8("x/Y"));
  const std::string path = (dir.path() / "Y.class").string();
  const QByteArray bytes = c.Bytes();
  test::WriteFileBytes(path, bytes.toStdString());
  TJavaClassFile file;
  ASSERT_TRUE(file.LoadFromFile(QString::fromStdString(path)));
  std::vector<std::string> list{"kept"};
  file.GetClassFiles(list, true);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", "x/Y.class"}));
  EXPECT_FALSE(file.LoadFromFile(QString()));
  EXPECT_FALSE(file.LoadFromFile(QString::fromStdString((dir.path() / "none.class").string())));
  list.clear();
  file.GetClassFiles(list, false);
  EXPECT_TRUE(list.empty());  // a failed load leaves nothing behind
}

}  // namespace
