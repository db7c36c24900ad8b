// Fuzz target of the "GALA" save section: the input is read into a grid; when it is accepted, it
// must write back to the same bytes, and routes over it must answer without leaving the grid.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/file_object.h"
#include "fuzz_support.h"
#include "universe/galaxy_grid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<GalaxyGrid> grid = std::make_unique<GalaxyGrid>();
  ClearGalaxyGrid(grid.get());
  if (!fuzz::WriteFile("gala.bin", data, size)) return 0;
  FileObject file;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, (fuzz::World() + "/gala.bin").c_str(), "rb", false)) return 0;
  const bool accepted = ReadGalaxyGrid(grid.get(), &file);
  FileClose(&file);
  if (!accepted) return 0;
  FileObjectInit(&file);
  if (!FileOpenFromCatalog(&file, (fuzz::World() + "/gala.out").c_str(), "wb", false)) return 0;
  const bool written = WriteGalaxyGrid(grid.get(), &file);
  FileClose(&file);
  std::string back;
  if (!written || !fuzz::ReadFile(fuzz::World() + "/gala.out", &back)) __builtin_trap();
  if (back.size() != kGalaxyChunkSize || std::memcmp(back.data(), data, kGalaxyChunkSize) != 0) __builtin_trap();
  const int32_t origin[3] = {0, 0, 0};
  const uint32_t weights[kGalaxyOwners] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  for (int32_t t = 0; t < kGalaxyCells; t += 37) {
    FindWeightedRoute(grid.get(), 0, 0, t / kGalaxyColumns, t % kGalaxyColumns, origin, origin, weights);
    GetRouteFirstGate(grid.get(), 23, 19, t / kGalaxyColumns, t % kGalaxyColumns);
  }
  return 0;
}
