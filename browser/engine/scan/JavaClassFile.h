#pragma once
// The classes a Java class file refers to, from its constant pool, as the
// ".class" files an applet needs. Layout (big-endian):
//
//   u4 magic 0xCAFEBABE, u2 minor, u2 major, u2 pool count n,
//   then the entries 1 .. n-1, each a tag byte and its body:
//     1 Utf8 (u2 length, modified UTF-8 bytes)   7 Class (u2 name index)
//     3 Integer, 4 Float: 4 bytes     5 Long, 6 Double: 8 bytes, two slots
//     8 String, 16 MethodType, 19 Module, 20 Package: 2 bytes
//     9, 10, 11 (member refs), 12 NameAndType, 17 Dynamic,
//     18 InvokeDynamic: 4 bytes       15 MethodHandle: 3 bytes
//
// Only the pool is read. An unknown tag ends the reading with what was read
// so far; a file that ends inside the pool is refused and leaves nothing.
#include <cstdint>
#include <string>
#include <vector>

class QIODevice;
class QString;

namespace qlon {

class TJavaClassFile {
 public:
  TJavaClassFile() = default;

  void Clear();
  // False for an empty name, a missing file, a file that is not a class
  // file, or one that ends inside its constant pool.
  bool LoadFromFile(const QString& name);
  bool LoadFromStream(QIODevice& stream);
  // Appends the name of every class the pool refers to, with ".class", once
  // each; with skipSystem, names holding "java/" (any case) are left out.
  // Array descriptors name their element class.
  void GetClassFiles(std::vector<std::string>& list, bool skipSystem) const;

  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  void ReadPool(QIODevice& stream);

  std::vector<std::string> texts_;       // the Utf8 entries, decoded
  std::vector<std::uint16_t> classes_;   // name indexes of the Class entries
  std::vector<std::int32_t> textIndex_;  // pool index -> entry of texts_, or -1
  int poolCount_ = 0;
};

}  // namespace qlon
