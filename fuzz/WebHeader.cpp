// Any bytes as the header area of a capture file: no crash, a clear result;
// a header that reads writes back to a form that reads to the same bytes.
#include <cstdint>

#include <QBuffer>

#include "FuzzCheck.h"
#include "Web.h"

using namespace qlon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kWebHeaderSize) return 0;
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  bytes.append(QByteArray(qsizetype(kWebHeaderSize) - bytes.size(), '\0'));  // the zeros of the area
  QBuffer in(&bytes);
  in.open(QIODevice::ReadOnly);
  TWeb web;
  const TWebLoadResult result = web.ReadHeader(in);
  Check(result >= wlOk && result <= wlReadError);
  if (result != wlOk) return 0;
  QByteArray saved = web.HeaderBytes();
  QBuffer again(&saved);
  again.open(QIODevice::ReadOnly);
  TWeb back;
  Check(back.ReadHeader(again) == wlOk);
  Check(back.HeaderBytes() == saved);
  return 0;
}
