// mkcatalog: packs a folder into a catalog (index + data file), or one file into a packed file.
//   mkcatalog [-z] [-s] <folder> <out.cat>   every file below folder, "-z" gzip, "-s" scrambled gzip
//   mkcatalog -pack [-s] <in> <out>          one gzip (or scrambled gzip) file
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "catalog/catalog_builder.h"

static int Usage() {
  std::fputs("usage: mkcatalog [-z] [-s] <folder> <out.cat>\n       mkcatalog -pack [-s] <in> <out>\n", stderr);
  return 2;
}

int main(int argc, char** argv) {
  catalog_tool::FolderOptions options;
  bool packOne = false;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    if (std::strcmp(argv[i], "-z") == 0) options.pack = true;
    else if (std::strcmp(argv[i], "-s") == 0) options.scramble = true;
    else if (std::strcmp(argv[i], "-pack") == 0) packOne = true;
    else return Usage();
  }
  if (argc - i != 2) return Usage();
  std::string error;
  if (packOne) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "mkcatalog: cannot read %s\n", argv[i]);
      return 1;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string packed = catalog_tool::GzipBytes(bytes, options.level);
    if (options.scramble) packed = catalog_tool::ScrambleGzip(packed, 0x5A);
    if (!catalog_tool::WriteHostFile(argv[i + 1], packed)) {
      std::fprintf(stderr, "mkcatalog: cannot write %s\n", argv[i + 1]);
      return 1;
    }
    return 0;
  }
  if (!catalog_tool::BuildCatalogFromFolder(argv[i], argv[i + 1], options, &error)) {
    std::fprintf(stderr, "mkcatalog: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
