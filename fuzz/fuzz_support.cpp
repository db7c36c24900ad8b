// The shared fuzz world; see fuzz_support.h.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "core/catalog.h"
#include "core/memory.h"
#include "core/system_block.h"
#include "core/xml_access.h"
#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "platform/gpu.h"
#include "platform/registry.h"
#include "render/d3d_context.h"
#include "render/pixel_formats.h"
#include "render/render.h"
#include "render/material_table.h"
#include "render/texture_table.h"
#include "scene/body_names.h"
#include "scene/body_text.h"
#include "scene/engine_state.h"
#include "script/engine.h"
#include "types/type_file_writer.h"

namespace fuzz {

static std::string gFolder;
static SystemBlock* gBlock = nullptr;
static ScriptEngine* gEngine = nullptr;

static void RemoveWorld() {
  if (gFolder.empty()) return;
  std::error_code ec;
  std::filesystem::current_path("/", ec);
  std::filesystem::remove_all(gFolder, ec);
}

const std::string& World() {
  if (!gFolder.empty()) return gFolder;
  const char* base = std::getenv("KORVANE_FUZZ_TMP");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvane-fuzz-XXXXXX";
  std::string buffer = pattern;
  if (mkdtemp(buffer.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  gFolder = buffer;
  std::atexit(RemoveWorld);
  std::filesystem::current_path(gFolder);
  std::filesystem::create_directories(gFolder + "/nl");  // the text saves' folder
  // Everything the engine would look for under the user's folders stays inside the world.
  setenv("HOME", gFolder.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (gFolder + "/config").c_str(), 1);
  setenv("XDG_DOCUMENTS_DIR", (gFolder + "/documents").c_str(), 1);
  setenv("KORVANE_HEADLESS", "1", 1);
  RegistrySetFilePath((gFolder + "/config/registry.xml").c_str());

  gBlock = static_cast<SystemBlock*>(MemAlloc(sizeof(SystemBlock), 0));
  std::memset(gBlock, 0, sizeof *gBlock);
  gBlock->product = &kProductRecord;
  gBlock->language = 44;
  gBlock->fileFlags = kFileCatalogsInUse;
  gBlock->catalogs = static_cast<Catalog**>(MemAlloc(size_t(kCatalogSlots) * sizeof(Catalog*), 0));
  std::memset(gBlock->catalogs, 0, size_t(kCatalogSlots) * sizeof(Catalog*));
  gBlock->catalogSlots = kCatalogSlots;
  gSystem = gBlock;
  InitXml();
  return gFolder;
}

SystemBlock* Block() {
  World();
  return gBlock;
}

ScriptEngine* Engine() {
  World();
  if (gEngine == nullptr) {
    gEngine = CreateScriptEngine();
    if (gEngine == nullptr) std::abort();
  }
  gScriptEngine = gEngine;
  return gEngine;
}

bool WriteFile(const std::string& relative, const void* data, size_t size) {
  const std::filesystem::path path = std::filesystem::path(World()) / relative;
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

bool WriteFile(const std::string& relative, const std::string& bytes) {
  return WriteFile(relative, bytes.data(), bytes.size());
}

bool ReadFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  *bytes = out.str();
  return true;
}

void RemoveFile(const std::string& relative) {
  std::error_code ec;
  std::filesystem::remove(std::filesystem::path(World()) / relative, ec);
}

void UnmountAll() {
  SystemBlock* block = Block();
  for (int slot = 0; slot < block->catalogSlots; ++slot) {
    FreeCatalog(block->catalogs[slot]);
    block->catalogs[slot] = nullptr;
  }
}

GpuDevice* NullGpuDevice() {
  static GpuDevice* device = [] {
    GpuSetBackend(kGpuBackendNull);
    GpuSystem* system = GpuCreateSystem(kGpuSdkVersion);
    GpuPresentParameters parameters{};
    parameters.backBufferWidth = 16;
    parameters.backBufferHeight = 16;
    parameters.backBufferFormat = kGpuFmtX8R8G8B8;
    parameters.backBufferCount = 1;
    parameters.swapEffect = kGpuSwapEffectDiscard;
    parameters.windowed = 1;
    GpuDevice* made = nullptr;
    if (!system || GpuFailed(system->CreateDevice(0, kGpuDevTypeHal, nullptr, kGpuCreateHardwareVertexProcessing,
                                                  &parameters, &made)))
      __builtin_trap();
    return made;
  }();
  return device;
}

void UseNullDirect3D() {
  static DeviceRecord record{};
  static Direct3DContext context{};
  static PixelFormatDesc opaque{}, alpha{};
  if (!context.device) {
    record.device = NullGpuDevice();
    DescribePixelFormat(&opaque, kGpuFmtX8R8G8B8);
    DescribePixelFormat(&alpha, kGpuFmtA8R8G8B8);
    record.opaqueFormat = &opaque;
    record.alphaFormat = &alpha;
    context.device = &record;
  }
  gDirect3D = &context;
}

// Written below the work folder by the writer, read back with the form byte in front.
static std::string TypeFileInput(bool binary, bool (*write)(const std::string&, bool)) {
  const std::string path = World() + (binary ? "/type.bin" : "/type.txt");
  std::string bytes;
  if (!write(path, binary) || !ReadFile(path, &bytes) || bytes.empty()) return "";
  if (!binary) bytes.pop_back();
  return std::string(1, binary ? '\1' : '\0') + bytes;
}

std::string MaterialsFile(bool binary) {
  return TypeFileInput(binary, [](const std::string& path, bool b) {
    return typetool::WriteMaterialsFile(path, b, typetool::DemoMaterials());
  });
}

std::string AnimationsFile(bool binary) {
  return TypeFileInput(binary, [](const std::string& path, bool b) {
    return typetool::WriteAnimationsFile(path, b, typetool::DemoAnimations());
  });
}

namespace {
EngineState3D gBodyEngine;
MaterialRecord gBodyMaterials[3];
}  // namespace

void SetUpBodyEngine(void (*fatal)(uint32_t code, const char* file)) {
  static bool done = false;
  if (done) return;
  done = true;
  InitMathTables();
  ListInit(&gBodyEngine.loadedBodies);
  gBodyEngine.bodyCache = HashCreate();
  gEngine3D = &gBodyEngine;
  for (MaterialRecord& m : gBodyMaterials) m.transparency = TRANSP_NONE;
  gBodyMaterials[1].diffuse[0] = 200;
  gBodyMaterials[2].flags = MPF_ALPHABLEND;
  gBodyMaterials[2].value10 = 1;
  SetBodyReaderFatal(fatal);
}

EngineState3D* SceneEngine(void (*fatal)(uint32_t code, const char* file)) {
  static EngineState3D* engine = [fatal] {
    InitMathTables();
    static EngineState3D e;
    for (ListHead* list : {&e.loadedBodies, &e.scenes, &e.instances, &e.drawNodePool, &e.drawList, &e.lights,
                           &e.particleFreeList, &e.activeParticles, &e.particleList3})
      ListInit(list);
    for (HashTable** table :
         {&e.handleTable, &e.sceneTable, &e.bodyCache, &e.cutTable, &e.takeTable, &e.entryTable60, &e.effectTable})
      *table = HashCreate();
    SetBodyReaderFatal(fatal);
    return &e;
  }();
  gEngine3D = engine;
  return engine;
}

bool ResetBodyTables() {
  gMaterialTable = gBodyMaterials;
  gMaterialCount = 3;
  gTextureFixedCount = 3;
  gTextureAddedCount = 0;
  if (AllocTextureTable()) return false;
  ResetInterfaceTextureIds();
  return true;
}

}  // namespace fuzz
