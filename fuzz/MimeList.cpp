// Any bytes as "mime.def": no crash; a table that loads saves to a form that
// loads back to the very same bytes, and lookups on it are safe.
#include <cstdint>
#include <string>

#include <QBuffer>

#include "FuzzCheck.h"
#include "Mime.h"
#include "StreamBytes.h"
#include "Utils.h"

using namespace qlon;

namespace {
QByteArray Save(const TMimeList& list) {
  return test::WrittenBytes([&](QIODevice& out) { list.SaveToStream(out); });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer in(&bytes);
  in.open(QIODevice::ReadOnly);
  TMimeList list;
  try {
    if (!list.LoadFromStream(in)) return 0;
  } catch (const EReadError&) {
    return 0;
  }
  Check(list.Count() <= kMimeMaxSlots);
  const QByteArray saved = Save(list);
  TMimeList again;
  QByteArray copy = saved;
  QBuffer in2(&copy);
  in2.open(QIODevice::ReadOnly);
  Check(again.LoadFromStream(in2));
  Check(Save(again) == saved);
  const std::string tail(bytes.constData() + in.pos(), static_cast<size_t>(size - in.pos()));
  list.FindExtension(tail);
  list.FindType(tail);
  list.AddType(tail, tail, 0, 3, true);
  return 0;
}
