#pragma once
// Byte arrays as streams, for the tests and fuzz targets of the binary file
// formats: what a writer puts on a stream, and a reader run over given bytes.
#include <utility>

#include <QBuffer>
#include <QByteArray>

namespace qlon::test {

template <class Write>
QByteArray WrittenBytes(Write&& write) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  std::forward<Write>(write)(buffer);
  return bytes;
}

template <class Read>
auto ReadFromBytes(QByteArray bytes, Read&& read) {
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  return std::forward<Read>(read)(buffer);
}

}  // namespace qlon::test
