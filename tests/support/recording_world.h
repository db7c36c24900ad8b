// A small engine world for the recording and replay tests: one enabled scene holding one
// instance and one enabled camera, and one particle emitter, every recorded field set to a known
// value, on top of the texture world (system block, temporary folder). Also a byte builder for
// streams written by hand, which the replay reads as plain files.
#pragma once

#include <cstdint>
#include <string>

#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/camera_records.h"
#include "scene/engine_records.h"
#include "scene/engine_state.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/particle_records.h"
#include "scene/scene_cameras.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"
#include "support/texture_world.h"

constexpr int32_t kOne = 0x10000;

// Big-endian words and tags, as the stream holds them.
struct StreamBytes {
  std::string bytes;
  StreamBytes& Tag(const char* tag) {
    bytes.append(tag, 4);
    return *this;
  }
  StreamBytes& Word(uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) bytes += char(v >> s);
    return *this;
  }
  StreamBytes& Words(std::initializer_list<int32_t> values) {
    for (int32_t v : values) Word(uint32_t(v));
    return *this;
  }
  StreamBytes& Half(uint16_t v) {
    bytes += char(v >> 8);
    bytes += char(v);
    return *this;
  }
  StreamBytes& Text(const std::string& text) {
    bytes += text;
    return *this;
  }
  StreamBytes& Identity() { return Words({kOne, 0, 0, 0, kOne, 0, 0, 0, kOne}); }
  // "RECO", "RNAM" with no names and "RFRA" with the first frame's time.
  StreamBytes& Head(uint32_t t0) { return Tag("RECO").Word(1).Word(0).Tag("RNAM").Word(0).Word(0).Tag("RFRA").Word(t0); }
};

class RecordingWorld {
 public:
  RecordingWorld() {
    engine_.engine().particleTable = HashCreate();
    world.block_.gameTime = 1000;
  }
  ~RecordingWorld() {
    if (emitter) {
      ListRemove(&emitter->node);
      HashRemove(engine_.engine().particleTable, emitter->handle);
      EngineFree(emitter, sizeof(EmitterRecord));
    }
    FreeScenes();
    FreeLoose();
    HashDestroy(engine_.engine().particleTable);
  }
  RecordingWorld(const RecordingWorld&) = delete;
  RecordingWorld& operator=(const RecordingWorld&) = delete;

  // Builds the scene, instance, camera and emitter with the values the golden stream holds.
  void Build() {
    scene = B3D_SceneAlloc();
    B3D_SceneEnable(scene);
    scene->flags = kSceneEnabled;
    scene->systemScale = 0.01f;
    instance = B3D_InstAlloc();
    AddInstanceToScene(instance, scene);
    instance->position = FixedVector{1, 2, 3, 0};
    instance->flags = kInstRenderReady;
    instance->size = kOne;
    camera = B3D_CameraAlloc();
    B3D_CameraAddToScene(camera, scene);
    camera->cameraFlags = kCameraEnabled;
    camera->instance.position = FixedVector{0, 0, -10, 0};
    camera->priority = 5;
    camera->viewTop = camera->viewLeft = 0;
    camera->viewBottom = camera->viewRight = 0xFFFF;
    camera->fieldOfView = 16384;
    camera->factors[0] = camera->factors[1] = camera->factors[2] = kOne;
    emitter = EngineAllocRecord<EmitterRecord>();
    emitter->handle = HashInsertNewKey(engine_.engine().particleTable, reinterpret_cast<HashValue>(emitter));
    ListAddTail(&engine_.engine().particleList3, &emitter->node);
    emitter->position = FixedVector{5, 6, 7, 0};
    for (int i = 0; i < 3; ++i) emitter->orientation.m[i][i] = kOne;
    emitter->intensity = kOne;
    emitter->previousOrientation = Quaternion{kOne, 0, 0, 0};
    emitter->scene = scene;
  }

  // Frees every scene (with its members and cameras) and every loose instance.
  void FreeScenes() {
    while (ListNode* n = ListFirst(&engine_.engine().scenes)) B3D_SceneFree(ListRecord<SceneRecord>(n));
    scene = nullptr;
    instance = nullptr;
    camera = nullptr;
  }
  void FreeLoose() {
    while (ListNode* n = ListFirst(&engine_.engine().instances)) FreeInstance(InstanceOfNode(n));
  }

  EngineState3D& engine() { return engine_.engine(); }

  EngineFixture engine_;
  TextureWorld world;
  SceneRecord* scene = nullptr;
  InstanceRecord* instance = nullptr;
  CameraRecord* camera = nullptr;
  EmitterRecord* emitter = nullptr;
};
