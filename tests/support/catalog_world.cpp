// A SystemBlock with catalog slots over a temporary game folder; see catalog_world.h.
#include "support/catalog_world.h"

#include <cstring>
#include <filesystem>

#include "core/catalog.h"
#include "core/memory.h"
#include "core/system_block.h"

CatalogWorld::CatalogWorld(int slots) {
  previousDir_ = std::filesystem::current_path().string();
  std::filesystem::current_path(dir_.path());
  block_ = static_cast<SystemBlock*>(MemAlloc(sizeof(SystemBlock), 0));
  std::memset(block_, 0, sizeof *block_);
  block_->product = &kProductRecord;
  block_->language = 44;
  block_->fileFlags = kFileCatalogsInUse;
  block_->catalogs = static_cast<Catalog**>(MemAlloc(size_t(slots) * sizeof(Catalog*), 0));
  block_->catalogSlots = int16_t(slots);
  gSystem = block_;
}

CatalogWorld::~CatalogWorld() {
  for (int slot = 0; slot < block_->catalogSlots; ++slot) FreeCatalog(block_->catalogs[slot]);
  MemFree(block_->catalogs, size_t(block_->catalogSlots) * sizeof(Catalog*), 0);
  block_->modName = FreeString(block_->modName);
  if (gSystem == block_) gSystem = nullptr;
  MemFree(block_, sizeof(SystemBlock), 0);
  std::error_code ec;
  std::filesystem::current_path(previousDir_, ec);
}

void CatalogWorld::WriteLoose(const std::string& relative, const std::string& bytes) const {
  dir_.Write(relative, bytes);
}

int CatalogWorld::AddCatalog(int slot, const std::string& indexName,
                             const std::vector<catalog_tool::PackedFile>& files) {
  std::string error;
  if (!catalog_tool::WriteCatalog(dir_.path(), indexName, files, &error)) return 0;
  std::string gameName = indexName;
  for (char& c : gameName)
    if (c == '/') c = '\\';
  return MountCatalog(slot, gameName.c_str(), true);
}
