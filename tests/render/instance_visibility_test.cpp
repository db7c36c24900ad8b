// The visibility test of instances: untested passes for screen-space and always-drawn instances,
// failures without a body, and the bounding sphere against a camera at the origin looking along
// +z with a 90-degree field of view.
#include "render/instance_visibility.h"

#include <gtest/gtest.h>

#include "scene/body_records.h"
#include "scene/camera_records.h"
#include "scene/instance_records.h"

namespace {

constexpr int32_t kOne = 0x10000;

class InstanceVisibility : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) camera_.instance.worldMatrix.m[i][i] = kOne;
    camera_.viewRight = camera_.viewBottom = kOne;
    camera_.fieldOfView = 0x4000;
    camera_.aspectWidth = kOne;
    camera_.aspectHeight = 3 * kOne / 4;
    for (int i = 0; i < 3; ++i) instance_.worldMatrix.m[i][i] = kOne;
    instance_.scale = FixedVector{kOne, kOne, kOne, 0};
    instance_.size = kOne;
    instance_.bodyId = 3;
    part_.boundsHalf = FixedVector{10, 10, 10, 0};  // radius about 17
    partList_ = &part_;
    mesh_.partCount = 1;
    mesh_.parts = &partList_;
    meshList_ = &mesh_;
    body_.meshes = &meshList_;
    body_.meshCount = 1;
  }
  CameraRecord camera_{};
  InstanceRecord instance_{};
  BodyPart part_{};
  BodyPart* partList_ = nullptr;
  BodyMesh mesh_{};
  BodyMesh* meshList_ = nullptr;
  BodyRecord body_{};
};

TEST_F(InstanceVisibility, TheBodySphereIsTestedAgainstTheViewVolume) {
  struct Case {
    const char* name;
    FixedVector world;
    int32_t halfExtent;
    bool visible;
  };
  const Case kCases[] = {
      {"straight ahead", {0, 0, 1000, 0}, 10, true},
      {"behind the camera", {0, 0, -1000, 0}, 10, false},
      {"far to the side", {100000, 0, 1000, 0}, 10, false},
      {"beyond the far plane", {0, 0, 2100000, 0}, 10, false},
      {"behind, but large enough to reach the view", {0, 0, -20, 0}, 100, true},
      {"just outside the side plane", {1030, 0, 1000, 0}, 1, false},
      {"just outside the side plane, reaching in", {1030, 0, 1000, 0}, 30, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    instance_.world = c.world;
    part_.boundsHalf = FixedVector{c.halfExtent, c.halfExtent, c.halfExtent, 0};
    EXPECT_EQ(InstProjectToScreen(&instance_, &camera_, 1.0f, &body_), c.visible);
  }
}

TEST_F(InstanceVisibility, UntestedInstancesPassAndBodilessOnesFail) {
  instance_.world = FixedVector{0, 0, -1000, 0};  // behind the camera
  struct Case {
    const char* name;
    uint32_t flags, flags2, cameraFlags;
    int32_t bodyId;
    bool withBody;
    bool visible;
  };
  const Case kCases[] = {
      {"screen-space, no body", 0, kInst2ScreenSpace, 0, -1, false, true},
      {"instance flag 0x4", 0x4, 0, 0, 3, false, true},
      {"instance flag 0x80000", 0x80000, 0, 0, 3, false, true},
      {"camera draws everything", 0, 0, kCameraNoCulling, 3, false, true},
      {"body id 0", 0, 0, 0, 0, true, false},
      {"body not loaded", 0, 0, 0, 3, false, false},
      {"tested and behind", 0, 0, 0, 3, true, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    instance_.flags = c.flags, instance_.flags2 = c.flags2, instance_.bodyId = c.bodyId;
    camera_.cameraFlags = c.cameraFlags;
    EXPECT_EQ(InstProjectToScreen(&instance_, &camera_, 1.0f, c.withBody ? &body_ : nullptr), c.visible);
  }
}

}  // namespace
