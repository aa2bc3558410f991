// Any bytes as the capture options of a capture file header (the first byte
// picks the file version): no crash; options that load save to a form that
// loads back to the very same bytes.
#include <cstdint>

#include <QBuffer>

#include "FuzzCheck.h"
#include "Options.h"
#include "StreamBytes.h"
#include "Utils.h"

using namespace qlon;

namespace {
QByteArray Save(const TOptions& options) {
  return test::WrittenBytes([&](QIODevice& out) { options.SaveToStream(out, 513); });
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static constexpr int kVersions[] = {19, 20, 21, 22, 513};
  const int version = kVersions[data[0] % 5];
  QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
  QBuffer in(&bytes);
  in.open(QIODevice::ReadOnly);
  TOptions options;
  try {
    options.LoadFromStream(in, version);
  } catch (const EReadError&) {
    return 0;
  }
  const QByteArray saved = Save(options);
  QByteArray copy = saved;
  QBuffer in2(&copy);
  in2.open(QIODevice::ReadOnly);
  TOptions again;
  again.LoadFromStream(in2, 513);
  Check(Save(again) == saved);
  return 0;
}
