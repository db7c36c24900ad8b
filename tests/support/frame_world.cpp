// The whole renderer on the OpenGL device with a textured cube; see frame_world.h.
#include "support/frame_world.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bodies/body_text_writer.h"
#include "core/fixed_math.h"
#include "core/hash_table.h"
#include "core/system_block.h"
#include "images/image_writer.h"
#include "render/body_meshes.h"
#include "render/d3d_context.h"
#include "render/effect_cache.h"
#include "render/effect_textures.h"
#include "render/pixel_formats.h"
#include "render/render.h"
#include "render/render_matrices.h"
#include "render/texture_table.h"
#include "scene/body_text.h"
#include "scene/effect_registry.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/light_records.h"
#include "scene/part_draw.h"
#include "scene/scene.h"
#include "support/body_fixture.h"
#include "support/catalog_world.h"

namespace {

constexpr uint32_t kTexturesOn = 0x100;
// Camera flags: clear the target, clear and test depth, draw the glow output.
constexpr uint32_t kClearAndDepth = 0x10 | 0x20 | 0x04;

constexpr float kSceneScale = 0.01f;
// A single cube's centre in front of the camera, and the grid of many, in world units.
constexpr int32_t kCubeDistance = 3000;
constexpr int32_t kGridDistance = 40000;
constexpr int32_t kGridSpacing = 1600;

// The demo cube textured with "checker"; a named light map glows in the glow pass.
std::string TexturedCubeText(const char* lightMap = nullptr) {
  return bodytool::TexturedCubeBodyText("checker", lightMap ? lightMap : "");
}

// 8 x 8 texels in 2 x 2 squares of orange and blue.
std::string CheckerTga() {
  std::vector<uint32_t> pixels;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) pixels.push_back(((x / 2 + y / 2) % 2) ? 0xFF2050E0u : 0xFFF0A020u);
  const image_tool::Bytes bytes = image_tool::MakeTga(2, 32, 8, 8, pixels);
  return std::string(bytes.begin(), bytes.end());
}

// 8 x 8 texels of one mid grey: half the light, so the mask is neither empty nor full.
std::string GlowMapTga() {
  const std::vector<uint32_t> pixels(64, 0xFF808080u);
  const image_tool::Bytes bytes = image_tool::MakeTga(2, 32, 8, 8, pixels);
  return std::string(bytes.begin(), bytes.end());
}

std::string ShippedEffect(const std::string& name) {
  std::ifstream in(std::filesystem::path(KORVANE_SOURCE_DIR) / "data/demo/shaders" / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void DetachLoaded(BodyRecord* body) {
  if (!body || !body->node.succ) return;
  ListRemove(&body->node);
  body->node.succ = nullptr;
}

BodyPart* CubePart(BodyRecord* body) {
  if (!body || body->meshCount < 1 || !body->meshes[0] || body->meshes[0]->partCount < 1) return nullptr;
  return body->meshes[0]->parts[0];
}

}  // namespace

FrameWorld::FrameWorld() = default;

FrameWorld::~FrameWorld() { Close(); }

bool FrameWorld::Open(uint32_t width, uint32_t height, bool glow, std::string* error) {
  world_ = std::make_unique<CatalogWorld>();
  SystemBlock* block = world_->block();
  block->screenWidth = static_cast<int16_t>(width);
  block->screenHeight = static_cast<int16_t>(height);
  block->colourDepth = 32;
  block->videoFlags = kVideoFlagWindowed;
  block->d3dFlags = kTexturesOn | kD3DLineZTest;
  block->d3dFlags2 = glow ? kD3D2Glow : 0;
  block->fontScale = 1;
  block->shaderQuality = 2;  // the device's own profile, which keeps the glow filter
  block->textureQuality = 2;
  for (const image_tool::NamedFile& file : image_tool::DemoDefaultImages()) {
    world_->WriteLoose(file.name, std::string(file.bytes.begin(), file.bytes.end()));
  }
  world_->WriteLoose("textures/checker.tga", CheckerTga());
  world_->WriteLoose("textures/glowmap.tga", GlowMapTga());
  bodies_ = std::make_unique<BodyFixture>();
  open_ = true;

  GpuSetBackend(kGpuBackendOpenGl);
  if (CreateDirect3D() != 1) {
    *error = "no graphics context";
    return false;
  }
  // The device comes up in the smallest windowed size (1024 x 768) and is then reset to the frame's size,
  // as a window resized before the first frame would be.
  block->screenWidth = 1024;
  block->screenHeight = 768;
  if (SelectDisplayMode() != 1 || CreateD3DDevice() != 1) {
    *error = "the device could not be made";
    return false;
  }
  DeviceRecord* record = gDirect3D->device;
  record->backBuffer->Release();
  record->depthStencil->Release();
  record->backBuffer = record->depthStencil = nullptr;
  record->presentParameters.backBufferWidth = width;
  record->presentParameters.backBufferHeight = height;
  // The glow mask lives in the back buffer's alpha, so a glowing frame keeps one.
  if (glow) {
    record->presentParameters.backBufferFormat = kGpuFmtA8R8G8B8;
    DescribePixelFormat(record->backBufferFormat, kGpuFmtA8R8G8B8);
  }
  block->screenWidth = static_cast<int16_t>(width);
  block->screenHeight = static_cast<int16_t>(height);
  if (GpuFailed(record->device->Reset(&record->presentParameters)) ||
      GpuFailed(record->device->GetBackBuffer(0, 0, kGpuBackBufferTypeMono, &record->backBuffer)) ||
      GpuFailed(record->device->GetDepthStencilSurface(&record->depthStencil))) {
    *error = "the device could not be reset to the frame's size";
    return false;
  }
  // Every effect the drawing may ask for, in the folder the device chose.
  const std::string folder = std::string("shader/") + gDirect3D->device->shaderFolder;
  std::string slashed = folder;
  for (char& c : slashed)
    if (c == '\\') c = '/';
  for (const char* effect : {"standard_lighting.fb", "z_only.fb", "effects.fb", "bloom.fb", "particles.fb"}) {
    world_->WriteLoose(slashed + "/" + effect, ShippedEffect(effect));
  }
  if (!InitRender3D()) {
    *error = "the 3D set-up failed";
    return false;
  }

  cube_ = bodies_->ParseText(1, TexturedCubeText(lightMapped ? "glowmap" : nullptr));
  if (!cube_ || !BodyCreateMeshes(cube_)) {
    *error = "the cube body could not be made";
    return false;
  }
  BodyLoadTextures(cube_);

  scene.systemScale = kSceneScale;
  ListInit(&scene.members);
  ListInit(&scene.cameras);
  ListInit(&scene.renderEntries);
  camera.instance.flags = kInstCamera;
  camera.instance.scene = &scene;
  MatrixSetIdentity(&camera.instance.worldMatrix);
  camera.fieldOfView = 0x4000;
  camera.aspectWidth = kFixedOne * static_cast<int32_t>(width) / static_cast<int32_t>(height);
  camera.aspectHeight = kFixedOne;
  camera.viewRight = camera.viewBottom = kFixedOne;
  camera.cameraFlags = kClearAndDepth;
  camera.background[0] = 20;
  camera.background[1] = 30;
  camera.background[2] = 60;
  if (!ViewportCreate(&camera)) {
    *error = "no viewport";
    return false;
  }

  // One sun light above, left of and behind the camera.
  light.flags = kInstLight | 0x800000;
  light.lightRange = 2450001;
  light.lightColor[0] = light.lightColor[1] = light.lightColor[2] = 256;
  light.world = FixedVector{-600, 800, -400, 0};
  for (LightSlot& slot : gEngine3D->lightSlots) slot.light = -1;
  gEngine3D->activeLights[0] = &light;
  gEngine3D->activeLights[1] = nullptr;
  gEngine3D->lightSlots[0].light = 0;
  return true;
}

void FrameWorld::PlaceCubes(int32_t count) {
  cubes_.assign(static_cast<size_t>(count), InstanceRecord{});
  const int32_t side = static_cast<int32_t>(std::ceil(std::sqrt(static_cast<double>(count))));
  for (int32_t i = 0; i < count; ++i) {
    InstanceRecord& c = cubes_[static_cast<size_t>(i)];
    c.flags = 0x2;  // drawable
    c.scene = &scene;
    c.bodyId = -1;
    c.size = 800;  // world units per body unit: the cube is 16 units wide
    c.scale = FixedVector{kFixedOne, kFixedOne, kFixedOne, 0};
    c.colorModifier[1] = kFixedOne;
    // Turned so three faces show.
    MatrixFromAngles(&c.worldMatrix, 0x1800, 0x0C00, 0);
    c.matrix = c.worldMatrix;
    if (count == 1) {
      c.world = FixedVector{0, 0, kCubeDistance, 0};
    } else {
      // A square grid far enough away to fill the view with small cubes.
      const int32_t column = i % side - side / 2;
      const int32_t row = i / side - side / 2;
      c.world = FixedVector{column * kGridSpacing, row * kGridSpacing, kGridDistance, 0};
    }
  }
}

bool FrameWorld::DrawFrame() {
  GpuDevice* gpu = device();
  BodyPart* part = CubePart(cube_);
  if (!gpu || !part) return false;
  if (GpuFailed(gpu->BeginScene())) return false;
  bool ok = CameraApplyView(&scene, &camera) && SceneClear(&camera);
  for (InstanceRecord& c : cubes_) {
    if (!InstBuildRenderMatrix(part->renderSection, &c, &camera)) ok = false;
    if (!DrawInstancePart(part, &c, &camera)) ok = false;
  }
  gpu->EndScene();
  return ok;
}

void FrameWorld::Present() {
  if (GpuDevice* gpu = device()) gpu->Present(nullptr, nullptr, nullptr, nullptr);
}

GpuDevice* FrameWorld::device() const {
  return gDirect3D && gDirect3D->device ? gDirect3D->device->device : nullptr;
}

GpuSurface* FrameWorld::backBuffer() const {
  return gDirect3D && gDirect3D->device ? gDirect3D->device->backBuffer : nullptr;
}

std::vector<uint32_t> FrameWorld::ReadBackBuffer() {
  std::vector<uint32_t> pixels;
  GpuSurface* target = backBuffer();
  GpuDevice* gpu = device();
  if (!target || !gpu) return pixels;
  GpuSurfaceDesc desc{};
  target->GetDesc(&desc);
  GpuSurface* copy = nullptr;
  if (GpuFailed(gpu->CreateOffscreenPlainSurface(desc.width, desc.height, desc.format, kGpuPoolSystemMem, &copy))) {
    return pixels;
  }
  GpuLockedRect locked{};
  if (GpuSucceeded(gpu->GetRenderTargetData(target, copy)) &&
      GpuSucceeded(copy->LockRect(&locked, nullptr, kGpuLockReadOnly))) {
    pixels.resize(static_cast<size_t>(desc.width) * desc.height);
    for (uint32_t y = 0; y < desc.height; ++y) {
      std::memcpy(&pixels[static_cast<size_t>(y) * desc.width],
                  static_cast<const uint8_t*>(locked.bits) + static_cast<size_t>(y) * locked.pitch, desc.width * 4);
    }
    copy->UnlockRect();
  }
  copy->Release();
  return pixels;
}

BodyRecord* FrameWorld::CacheCube(int32_t id, bool glowing) {
  return CacheBodyText(id, TexturedCubeText(glowing ? "checker" : nullptr));
}

void FrameWorld::WriteGameFile(const std::string& relative, const std::string& bytes) {
  if (world_) world_->WriteLoose(relative, bytes);
}

BodyRecord* FrameWorld::CacheBodyText(int32_t id, const std::string& text) {
  BodyRecord* body = bodies_ ? bodies_->ParseText(id, text) : nullptr;
  if (!body) return nullptr;
  cached_.push_back(body);
  // Parsing may have put it in the cache already. Its meshes are made by the instances that
  // join an enabled scene, as in the game.
  if (B3D_FindBody(id) != body && !BodyCacheInsert(id, body)) return nullptr;
  return body;
}

void FrameWorld::Close() {
  if (!open_) return;
  open_ = false;
  if (!cached_.empty()) {
    // A reset frees every body of the engine's loaded list; the world's bodies leave that list
    // first and stay in the cache, so the instances the reset frees still give their uses back.
    for (BodyRecord* body : cached_) DetachLoaded(body);
    DetachLoaded(cube_);
    ResetEngine3D();
    for (BodyRecord* body : cached_) {
      BodyReleaseUse(body);
      for (int16_t m = 0; m < body->meshCount; ++m) BodyReleaseMeshes(body->meshes[m]);
      FreeBody(body);
    }
    cached_.clear();
  }
  if (cube_) {
    BodyReleaseUse(cube_);
    for (int16_t m = 0; m < cube_->meshCount; ++m) BodyReleaseMeshes(cube_->meshes[m]);
    FreeBody(cube_);
    cube_ = nullptr;
  }
  ViewportFree(&camera);
  if (gEngine3D) gEngine3D->activeLights[0] = nullptr;
  EffectTexturesUnbindAll();
  FreeEffectRegistry();
  for (int32_t id = 0; gTextureTable && id < gTextureFixedCount + gTextureAddedCount; ++id) {
    if (gTextureTable[id].image) ReleaseImageHandle(&gTextureTable[id].image);
  }
  FreeRenderGlobals();
  ReleaseVertexDeclarations();
  FreeDirect3DContext();
  ClearPixelFormatTable();
  bodies_.reset();
  world_.reset();
}
