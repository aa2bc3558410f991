// Any bytes as a stored filter tree: no crash and no runaway recursion; what
// loads saves back to the very bytes it was read from; matching any URL on
// the loaded tree is safe.
#include <cstdint>
#include <string>

#include <QBuffer>

#include "FuzzCheck.h"
#include "StringTree.h"
#include "Utils.h"

using namespace qlon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer in(&bytes);
  in.open(QIODevice::ReadOnly);
  TFilterList tree;
  try {
    tree.LoadFromStream(in);
  } catch (const EReadError&) {
    return 0;
  }
  const qint64 used = in.pos();
  QByteArray saved;
  QBuffer out(&saved);
  out.open(QIODevice::WriteOnly);
  tree.SaveToStream(out);
  Check(saved == bytes.left(used));

  const std::string tail(bytes.constData() + used, static_cast<size_t>(size - used));
  for (const std::string& url : {"http://" + tail, "http://a.b.c/" + tail + "/x.htm", tail}) {
    tree.IsAllowed(url);
    tree.IsExcluded(url);
    tree.Add(url, 2);
    Check(tree.Find(url) == nullptr || TFilterList::GetNodeMark(tree.Find(url)) == 2);
  }
  return 0;
}
