// Reads a property list and writes it back, for the comparison with
// Python's plistlib (plist_differential.py): plist_roundtrip IN BINARY XML.
// Writes BINARY always and XML when XML can carry the value. Exit 0 when
// read and written, 2 when the file was refused (the reason on stderr), 3
// when what was written reads back other than what was read.
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/sim/PropertyList.h"

using namespace tl::sim;

int main(int argc, char** argv) {
  if (argc != 4) return 64;
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string why;
  auto value = readPropertyList(bytes.str(), &why);
  if (!value) return std::cerr << why << "\n", 2;
  const char* paths[] = {argv[2], argv[3]};
  for (auto format : {PlistFormat::Binary, PlistFormat::Xml}) {
    auto written = writePropertyList(*value, format, &why);
    if (!written) {
      if (format == PlistFormat::Binary) return std::cerr << why << "\n", 2;
      continue;
    }
    auto back = readPropertyList(*written, &why);
    if (!back || !identicalValues(*back, *value)) return std::cerr << "reads back differently: " << why << "\n", 3;
    std::ofstream(paths[format == PlistFormat::Xml], std::ios::binary) << *written;
  }
  return 0;
}
