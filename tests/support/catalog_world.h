// A SystemBlock with catalog slots over a temporary game folder, for tests of the file layer, the
// catalogs and everything that loads game files. The process's current folder is the game folder
// while the world lives; the block, its catalogs and the folder go when it ends.
#pragma once

#include <string>
#include <vector>

#include "catalog/catalog_builder.h"
#include "support/temp_dir.h"

struct SystemBlock;

class CatalogWorld {
 public:
  // `slots` catalog slots (the numbered catalogs plus the spare mod slot), catalogs enabled.
  explicit CatalogWorld(int slots = 3);
  ~CatalogWorld();
  CatalogWorld(const CatalogWorld&) = delete;
  CatalogWorld& operator=(const CatalogWorld&) = delete;

  SystemBlock* block() const { return block_; }
  const TempDir& dir() const { return dir_; }

  // Writes a loose file below the game folder ("/" separators).
  void WriteLoose(const std::string& relative, const std::string& bytes) const;
  // Writes index + data file for `indexName` ("01.cat", "mods/x.cat") and mounts it into `slot`;
  // the mount result.
  int AddCatalog(int slot, const std::string& indexName, const std::vector<catalog_tool::PackedFile>& files);

 private:
  TempDir dir_;
  std::string previousDir_;
  SystemBlock* block_ = nullptr;
};
