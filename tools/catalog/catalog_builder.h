// Builds the game's packed data from memory or a folder: catalog index + data file pairs,
// gzip members, key-scrambled gzip files. Used by tests and benchmarks to make fixtures by code,
// and by the mkcatalog command. Writes host files only; never reads or changes the engine's state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace catalog_tool {

struct PackedFile {
  std::string name;   // game name as listed in the index, e.g. "t\\0001-L044.pck"
  std::string bytes;  // the bytes as the game should read them back (before the slice XOR)
};

// The stored form of an index text: byte i XORed with (i - 0xA9) & 0xFF.
std::string ScrambleIndex(const std::string& plainText);
// The plain index text: the data file's name on the first line, then "name size" lines (CR LF).
std::string IndexText(const std::string& dataName, const std::vector<PackedFile>& files);
// The stored form of a data file: every byte XORed with 0x6D, files back to back.
std::string DataBytes(const std::vector<PackedFile>& files);

// One gzip member of `data` (deflate level 0-9); `fileName` non-empty adds an FNAME field.
std::string GzipBytes(const std::string& data, int level = 6, const std::string& fileName = "");
// A scrambled gzip file: a mask byte, then every gzip byte XORed with key = mask ^ 0xB3.
std::string ScrambleGzip(const std::string& gzip, uint8_t mask);
// The raw deflate stream inside a gzip member without header fields beyond the fixed ten bytes.
std::string RawDeflateOf(const std::string& gzip);

// Writes bytes to a host path, creating parent folders. False on any failure.
bool WriteHostFile(const std::string& path, const std::string& bytes);

// Writes `folder`/`indexName` (scrambled) and its data file (the index name with 'd' as the first
// extension letter). indexName may hold "/" folders (e.g. "mods/x.cat").
bool WriteCatalog(const std::string& folder, const std::string& indexName, const std::vector<PackedFile>& files,
                  std::string* error);

struct FolderOptions {
  bool pack = false;      // gzip every file
  bool scramble = false;  // and scramble it (implies pack)
  int level = 6;
};
// Collects every regular file below `source` (names joined with "\", sorted) into one catalog.
bool BuildCatalogFromFolder(const std::string& source, const std::string& indexPath, const FolderOptions& options,
                            std::string* error);

}  // namespace catalog_tool
