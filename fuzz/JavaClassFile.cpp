// Any bytes as a class file: no crash, no runaway memory; a refused file
// lists nothing, and every listed name is a class file name.
#include <cstdint>
#include <string>
#include <vector>

#include <QBuffer>

#include "FuzzCheck.h"
#include "JavaClassFile.h"

using namespace qlon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer in(&bytes);
  in.open(QIODevice::ReadOnly);
  TJavaClassFile file;
  const bool loaded = file.LoadFromStream(in);
  std::vector<std::string> all, own;
  file.GetClassFiles(all, false);
  file.GetClassFiles(own, true);
  Check(loaded || all.empty());
  Check(own.size() <= all.size());
  for (const std::string& name : all) Check(name.size() > 6 && name.ends_with(".class"));
  return 0;
}
