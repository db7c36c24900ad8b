// The whole renderer on the OpenGL device (SDL's offscreen driver and Mesa's software rasteriser
// when headless) over a temporary game folder holding the demo's default images and shader
// effects: the device made as the game makes it, the 3D set-up, an engine with one scene, one
// camera and one sun light, and a cube body of one part (12 triangles) with a textured
// material, made into device meshes. Instances of the cube are drawn the way the frame driver
// draws them: camera view and clear, then per instance its render matrix and its part. Used by
// the renderer's golden-frame test and the instance benchmark; needs no test framework.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gpu.h"
#include "scene/camera_records.h"
#include "scene/instance_records.h"
#include "scene/scene_records.h"

struct BodyRecord;
class BodyFixture;
class CatalogWorld;

class FrameWorld {
 public:
  FrameWorld();
  ~FrameWorld();
  FrameWorld(const FrameWorld&) = delete;
  FrameWorld& operator=(const FrameWorld&) = delete;

  // Makes the device with a back buffer of this size, the renderer and the cube; `glow` turns
  // the glow filter on in the settings. The reason in *error when it fails.
  bool Open(uint32_t width, uint32_t height, bool glow, std::string* error);

  // `count` instances of the cube facing the camera: one close in the middle, or a grid of small
  // ones filling the view.
  void PlaceCubes(int32_t count);
  InstanceRecord& cube(int32_t i) { return cubes_[static_cast<size_t>(i)]; }

  // The textured cube as body `id` in the engine's body cache, for frames the engine draws
  // itself (its meshes come with the first instance that joins an enabled scene); with `glowing`
  // its material also takes the checker as its light map, so it glows where the glow filter is on. On closing, the world takes it out of the cache,
  // resets the engine (freeing the scenes a test made there) and frees it. Null on failure.
  BodyRecord* CacheCube(int32_t id, bool glowing);
  // Any text body as body `id` in the engine's body cache, kept and freed like the cube above.
  BodyRecord* CacheBodyText(int32_t id, const std::string& text);
  // A file of the game folder (a path with "/", e.g. "textures/hull.tga"), for the bodies'
  // textures; write it before the bodies that name it are cached.
  void WriteGameFile(const std::string& relative, const std::string& bytes);

  // One frame: begin, the camera's view and clear, every cube, end. False when a step fails.
  bool DrawFrame();
  // Shows the frame (the game's present), which waits for the drawing to finish.
  void Present();
  // The back buffer as 0xAARRGGBB, rows top to bottom.
  std::vector<uint32_t> ReadBackBuffer();
  GpuSurface* backBuffer() const;
  GpuDevice* device() const;

  // Set before Open: the cube's material gets a grey light map, which the glow pass writes into
  // the back buffer's alpha.
  bool lightMapped = false;

  CameraRecord camera{};
  SceneRecord scene{};
  InstanceRecord light{};

 private:
  void Close();

  std::unique_ptr<CatalogWorld> world_;
  std::unique_ptr<BodyFixture> bodies_;
  BodyRecord* cube_ = nullptr;
  std::vector<BodyRecord*> cached_;
  std::vector<InstanceRecord> cubes_;
  bool open_ = false;
};
