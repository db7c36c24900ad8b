// Catalog and packed-file builder. Mirrors the readers in src/core/catalog.cpp byte for byte: the
// index scrambling, the 0x6D slice XOR, gzip members with optional FNAME, the scrambled-gzip mask.
#include "catalog/catalog_builder.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace catalog_tool {

namespace fs = std::filesystem;

std::string ScrambleIndex(const std::string& plainText) {
  std::string out = plainText;
  for (size_t i = 0; i < out.size(); ++i) out[i] = char(uint8_t(out[i]) ^ uint8_t((i - 0xA9) & 0xFF));
  return out;
}

std::string IndexText(const std::string& dataName, const std::vector<PackedFile>& files) {
  std::string text = dataName + "\r\n";
  for (const PackedFile& f : files) text += f.name + " " + std::to_string(f.bytes.size()) + "\r\n";
  return text;
}

std::string DataBytes(const std::vector<PackedFile>& files) {
  std::string data;
  for (const PackedFile& f : files) data += f.bytes;
  for (char& c : data) c = char(uint8_t(c) ^ 0x6D);
  return data;
}

std::string GzipBytes(const std::string& data, int level, const std::string& fileName) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  gz_header header{};
  std::string nameCopy = fileName;
  if (!fileName.empty()) {
    header.name = reinterpret_cast<Bytef*>(nameCopy.data());
    header.name_max = uInt(nameCopy.size() + 1);
    header.os = 3;
    deflateSetHeader(&stream, &header);
  }
  std::string out(deflateBound(&stream, uLong(data.size())) + 64 + fileName.size(), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = uInt(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  const int status = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return status == Z_STREAM_END ? out : std::string();
}

std::string ScrambleGzip(const std::string& gzip, uint8_t mask) {
  const uint8_t key = mask ^ 0xB3;
  std::string out(1, char(mask));
  out.reserve(gzip.size() + 1);
  for (char c : gzip) out.push_back(char(uint8_t(c) ^ key));
  return out;
}

std::string RawDeflateOf(const std::string& gzip) {
  if (gzip.size() < 18) return {};
  return gzip.substr(10, gzip.size() - 18);
}

bool WriteHostFile(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out);
}

// The index reader skips a line that is empty or starts with a blank, a tab or '#', and ends a
// line at CR, LF or NUL: such a name would silently drop out of the catalog or shift every
// offset after it.
static bool IndexCanHoldName(const std::string& name) {
  if (name.empty() || name[0] == ' ' || name[0] == '\t' || name[0] == '#') return false;
  return name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool WriteCatalog(const std::string& folder, const std::string& indexName, const std::vector<PackedFile>& files,
                  std::string* error) {
  for (const PackedFile& f : files) {
    if (!IndexCanHoldName(f.name)) {
      if (error) *error = "a catalog index cannot list the name \"" + f.name + "\"";
      return false;
    }
  }
  if (indexName.size() < 4 || indexName[indexName.size() - 4] != '.') {
    if (error) *error = "index name needs a three-letter extension: " + indexName;
    return false;
  }
  std::string dataName = indexName;
  dataName[dataName.size() - 3] = 'd';
  const std::string dataBase = fs::path(dataName).filename().string();
  const std::string root = folder.empty() ? std::string(".") : folder;
  if (!WriteHostFile(root + "/" + indexName, ScrambleIndex(IndexText(dataBase, files))) ||
      !WriteHostFile(root + "/" + dataName, DataBytes(files))) {
    if (error) *error = "cannot write " + root + "/" + indexName;
    return false;
  }
  return true;
}

bool BuildCatalogFromFolder(const std::string& source, const std::string& indexPath, const FolderOptions& options,
                            std::string* error) {
  std::error_code ec;
  std::vector<PackedFile> files;
  for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::string name = fs::relative(it->path(), source).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    std::ifstream in(it->path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (options.pack || options.scramble) {
      bytes = GzipBytes(bytes, options.level);
      if (options.scramble) bytes = ScrambleGzip(bytes, uint8_t(0x5A ^ (files.size() & 0xFF)));
    }
    files.push_back({name, bytes});
  }
  if (ec) {
    if (error) *error = "cannot read " + source + ": " + ec.message();
    return false;
  }
  std::sort(files.begin(), files.end(), [](const PackedFile& a, const PackedFile& b) { return a.name < b.name; });
  const fs::path index(indexPath);
  return WriteCatalog(index.has_parent_path() ? index.parent_path().string() : ".", index.filename().string(), files,
                      error);
}

}  // namespace catalog_tool
