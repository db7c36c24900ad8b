// Instances on hand-built trees: defaults, flag helpers, scale and size, the cached subtree size,
// world and camera-space transforms, heading alignment and subtree walks.
#include "scene/instance.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "render/texture_animation.h"
#include "scene/body_records.h"
#include "scene/cut_records.h"
#include "scene/engine_state.h"
#include "scene/instance_tree.h"
#include "scene/scene_records.h"
#include "support/engine_fixture.h"

namespace {

constexpr int32_t kOne = 0x10000;

void Attach(InstanceRecord* parent, InstanceRecord* child) {
  ListRemove(&child->node);
  ListAddTail(&parent->children, &child->node);
  child->parent = parent;
}

// root { scaled (bit 6) { grandScaled }, plain { grandPlain } }
class InstanceTree : public ::testing::Test {
 protected:
  void SetUp() override {
    for (InstanceRecord** i : {&root_, &scaled_, &plain_, &grandScaled_, &grandPlain_}) {
      *i = B3D_InstAlloc();
      ASSERT_NE(*i, nullptr);
    }
    scaled_->flags |= kInstScaledWithParent;
    Attach(root_, scaled_);
    Attach(root_, plain_);
    Attach(scaled_, grandScaled_);
    Attach(plain_, grandPlain_);
  }
  void TearDown() override { FreeInstance(root_); }

  EngineFixture fixture_;
  InstanceRecord* root_ = nullptr;
  InstanceRecord* scaled_ = nullptr;
  InstanceRecord* plain_ = nullptr;
  InstanceRecord* grandScaled_ = nullptr;
  InstanceRecord* grandPlain_ = nullptr;
};

TEST_F(InstanceTree, NewInstancesCarryTheEngineDefaults) {
  const InstanceRecord* i = grandPlain_;
  EXPECT_EQ(i->bodyId, -1);
  EXPECT_EQ(i->soundSample, -1);
  EXPECT_EQ(i->soundChannel, -1);
  EXPECT_EQ(i->subtreeSize, -1);
  EXPECT_EQ(i->scale.x, kOne);
  EXPECT_EQ(i->scale.z, kOne);
  EXPECT_EQ(i->colorModifier[0], 0);
  EXPECT_EQ(i->colorModifier[3], kOne);
  EXPECT_EQ(i->matrix.m[0][0], kOne);
  EXPECT_EQ(i->matrix.m[1][1], kOne);
  EXPECT_EQ(i->worldMatrix.m[2][2], kOne);
  EXPECT_EQ(i->flags, 0u);
  EXPECT_EQ(GetInstanceByHandle(i->handle), i);
  InstanceRecord* loose = B3D_InstAlloc();
  EXPECT_EQ(ListLast(&fixture_.engine().instances), &loose->node);
  FreeInstance(loose);
}

TEST_F(InstanceTree, InvisibilityReachesChildrenButNotGrandchildren) {
  B3D_InstSetInvis(root_, 1);
  EXPECT_TRUE(root_->flags & kInstInvisible);
  EXPECT_TRUE(scaled_->flags & kInstInvisible);
  EXPECT_TRUE(plain_->flags & kInstInvisible);
  EXPECT_FALSE(grandScaled_->flags & kInstInvisible);
  EXPECT_FALSE(grandPlain_->flags & kInstInvisible);
  grandPlain_->flags |= kInstInvisible;
  B3D_InstSetInvis(root_, 0);
  EXPECT_FALSE(plain_->flags & kInstInvisible);
  EXPECT_TRUE(grandPlain_->flags & kInstInvisible);
}

TEST_F(InstanceTree, ScaleReachesScaledChildrenAndTheTreeFormThePlainOnes) {
  root_->size = 3 * kOne;
  B3D_InstSetScale(root_, kOne + kOne / 2, 2 * kOne, kOne / 2);
  EXPECT_EQ(root_->scaledSize, 6 * kOne);
  EXPECT_EQ(scaled_->scale.y, 2 * kOne);
  EXPECT_EQ(plain_->scale.y, kOne);
  EXPECT_EQ(grandScaled_->scale.y, kOne);  // reached only through bit-6 children

  InstSetScaleTree(root_, 3 * kOne, 3 * kOne, 3 * kOne);
  EXPECT_EQ(scaled_->scale.x, 3 * kOne);
  EXPECT_EQ(plain_->scale.x, 3 * kOne);
  EXPECT_EQ(grandPlain_->scale.x, 3 * kOne);
  EXPECT_EQ(grandScaled_->scale.x, kOne);  // below a bit-6 child the tree form stops
}

TEST_F(InstanceTree, SizeRescalesTheSubtreeWithoutOverflowAndIsRefusedFromZero) {
  struct Case {
    int32_t oldSize, childSize, grandSize, newSize;
    int32_t wantChild, wantGrand;
  };
  const Case kCases[] = {
      {100, 30, 10, 200, 60, 20},
      {0x640000, 0x1E0000, 0xA0000, 0xC80000, 0x3C0000, 0x140000},  // 16.16 sizes
      {3, 10, 1, 2, 6, 0},                                          // truncating
  };
  for (const Case& c : kCases) {
    root_->size = c.oldSize;
    plain_->size = c.childSize;
    grandPlain_->size = c.grandSize;
    root_->scale.x = 5 * kOne;
    ASSERT_TRUE(B3D_InstSetSize(root_, c.newSize));
    EXPECT_EQ(plain_->size, c.wantChild) << c.oldSize;
    EXPECT_EQ(grandPlain_->size, c.wantGrand) << c.oldSize;
    EXPECT_EQ(root_->size, c.newSize);
    EXPECT_EQ(root_->scaledSize, c.newSize);
    EXPECT_EQ(root_->scale.x, kOne);
  }
  root_->size = 0;
  plain_->size = 30;
  EXPECT_FALSE(B3D_InstSetSize(root_, 200));
  EXPECT_EQ(root_->size, 0);
  EXPECT_EQ(plain_->size, 30);
  grandPlain_->size = 0;
  EXPECT_TRUE(B3D_InstSetSize(grandPlain_, 50));  // no children: nothing to rescale
  EXPECT_EQ(grandPlain_->size, 50);
}

TEST_F(InstanceTree, TotalSizeStaysCachedUntilInvalidated) {
  root_->scaledSize = 50;
  root_->size = 300;
  plain_->scaledSize = 10;
  plain_->position = FixedVector{1000, -20, 0, 0};
  scaled_->scaledSize = 5;
  scaled_->position = FixedVector{0, 0, 2 * kOne, 0};  // placed by the parent's size: 600
  EXPECT_EQ(B3D_InstGetTotalSize(root_), 1010);
  EXPECT_EQ(InstNearDistance(root_), 1010 * 6 + 37000);
  plain_->position.x = 0;
  EXPECT_EQ(B3D_InstGetTotalSize(root_), 1010);
  InstInvalidateSize(root_);
  EXPECT_EQ(B3D_InstGetTotalSize(root_), 605);
  plain_->position.x = 4000;
  EXPECT_EQ(B3D_InstGetTotalSize(root_), 605);
  B3D_InstSetScale(root_, kOne, kOne, kOne);
  EXPECT_EQ(B3D_InstGetTotalSize(root_), 4010);
}

TEST_F(InstanceTree, WorldPositionsAndMatricesFollowTheParent) {
  // The root turned a quarter about z: x goes to y, y to -x.
  root_->world = FixedVector{1000, 2000, 3000, 0};
  root_->worldMatrix = FixedMatrix{{{0, kOne, 0, 0}, {-kOne, 0, 0, 0}, {0, 0, kOne, 0}}};
  root_->scale = FixedVector{2 * kOne, kOne, kOne / 2, 0};
  root_->size = 100;
  root_->sizeVector[0] = 200;
  root_->sizeVector[1] = 300;
  plain_->position = FixedVector{10, 20, 30, 0};
  scaled_->position = FixedVector{kOne, kOne / 2, 2 * kOne, 0};
  plain_->matrix = FixedMatrix{{{0, -kOne, 0, 0}, {kOne, 0, 0, 0}, {0, 0, kOne, 0}}};  // turned back
  grandPlain_->position = FixedVector{5, 0, 0, 0};
  grandPlain_->flags |= kInstOwnMatrix14;
  grandScaled_->position = FixedVector{0, 0, 0, 0};

  InstUpdateWorldTree(root_);
  // plain: rotated (-20, 10, 30), scaled (-40, 10, 15), moved.
  EXPECT_EQ(plain_->world.x, 960);
  EXPECT_EQ(plain_->world.y, 2010);
  EXPECT_EQ(plain_->world.z, 3015);
  // scaled: rotated (-0.5, 1.0, 2.0), scaled (-1.0, 1.0, 1.0), times (100, 200, 300), moved.
  EXPECT_EQ(scaled_->world.x, 900);
  EXPECT_EQ(scaled_->world.y, 2200);
  EXPECT_EQ(scaled_->world.z, 3300);
  // A child's world matrix is the root's turned by its own: here back to the identity.
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(plain_->worldMatrix.m[r][c], r == c ? kOne : 0) << r << c;
  }
  EXPECT_EQ(scaled_->worldMatrix.m[0][1], kOne);
  // Own-matrix bit: the grandchild keeps its matrix; its position turns with the parent's world.
  EXPECT_EQ(grandPlain_->worldMatrix.m[0][0], kOne);
  EXPECT_EQ(grandPlain_->worldMatrix.m[0][1], 0);
  EXPECT_EQ(grandPlain_->world.x, 965);
  EXPECT_EQ(grandPlain_->world.y, 2010);
  EXPECT_EQ(grandScaled_->world.x, 900);

  // Bit 16: children do not take the root's scale.
  root_->flags |= kInstNoChildScale;
  InstUpdateWorldTree(root_);
  EXPECT_EQ(plain_->world.x, 980);
  EXPECT_EQ(plain_->world.z, 3030);
}

TEST_F(InstanceTree, CameraSpaceMarksFarInstancesAboveOneHundredMillion) {
  InstanceRecord* camera = B3D_InstAlloc();
  camera->position = FixedVector{0, 0, -1000, 0};
  struct Case {
    int32_t z;
    bool far;
  };
  const Case kCases[] = {{100000000 - 1000, false}, {100000001 - 1000, true}, {-200000000, false}};
  for (const Case& c : kCases) {
    root_->world = FixedVector{0, 0, c.z, 0};
    InstUpdateCameraCoords(root_, camera);
    EXPECT_EQ(root_->cameraPos.z, c.z + 1000);
    EXPECT_EQ(static_cast<bool>(root_->flags2 & kInst2Far), c.far) << c.z;
    EXPECT_TRUE(root_->flags & kInstCameraCoordsDone);
    EXPECT_TRUE(grandPlain_->flags & kInstCameraCoordsDone);
  }
  // Rows of the camera's matrix pick the axes; velocities only for instances with a sound.
  camera->matrix = FixedMatrix{{{0, kOne, 0, 0}, {-kOne, 0, 0, 0}, {0, 0, kOne, 0}}};
  camera->velocity = FixedVector{0, 5, 0, 0};
  root_->world = FixedVector{30, 40, 0, 0};
  root_->velocity = FixedVector{0, 25, 0, 0};
  root_->soundSample = 3;
  InstUpdateCameraCoords(root_, camera);
  EXPECT_EQ(root_->cameraPos.x, 40);
  EXPECT_EQ(root_->cameraPos.y, -30);
  EXPECT_EQ(root_->cameraPos.z, 1000);
  EXPECT_EQ(root_->cameraVelocity.x, 20);
  EXPECT_EQ(root_->cameraVelocity.y, 0);
  FreeInstance(camera);
}

TEST_F(InstanceTree, OverrideEffectModesReachTheWholeSubtree) {
  struct Case {
    int32_t mode;
    int32_t code;
  };
  const Case kCases[] = {{1, -4}, {2, -3}, {3, -2}, {4, -1}, {8, -6}, {5, 0}, {0, 0}, {-1, 0}};
  for (const Case& c : kCases) {
    grandScaled_->alphaOverride = 99;
    EXPECT_TRUE(B3D_InstSetOverrideEffect(root_, c.mode));
    EXPECT_EQ(root_->overrideEffect, c.code) << c.mode;
    EXPECT_EQ(grandScaled_->overrideEffect, c.code) << c.mode;
    EXPECT_EQ(grandScaled_->alphaOverride, 0);
  }
}

TEST_F(InstanceTree, FlagHelpersCoverTheSubtreeAndFrameMarksStayDuringReplay) {
  InstOrFlags(nullptr, 1, 1);
  InstOrFlags(plain_, kInstFrameMark, kInst2NotSaved);
  EXPECT_TRUE(grandPlain_->flags & kInstFrameMark);
  EXPECT_TRUE(grandPlain_->flags2 & kInst2NotSaved);
  EXPECT_FALSE(root_->flags & kInstFrameMark);
  fixture_.engine().engineFlags |= kEngineReplaying;
  InstClearFrameMark(root_);
  EXPECT_TRUE(grandPlain_->flags & kInstFrameMark);
  fixture_.engine().engineFlags &= ~kEngineReplaying;
  InstClearFrameMark(root_);
  EXPECT_FALSE(grandPlain_->flags & kInstFrameMark);
  InstMarkSubtree(root_, 0);
  EXPECT_TRUE(grandScaled_->flags & kInstSubtreeOff);
  InstMarkSubtree(scaled_, 1);
  EXPECT_FALSE(grandScaled_->flags & kInstSubtreeOff);
  EXPECT_TRUE(root_->flags & kInstSubtreeOff);
  B3D_InstSetSizeUsed(plain_, -1);
  EXPECT_FALSE(plain_->flags & kInstSizeUsed);
  B3D_InstSetSizeUsed(plain_, 0);
  EXPECT_TRUE(plain_->flags & kInstSizeUsed);
  B3D_InstSetAlphaOverrideRecursive(plain_, 77);
  EXPECT_EQ(grandPlain_->alphaOverride, 77);
  EXPECT_EQ(root_->alphaOverride, 0);
}

TEST_F(InstanceTree, HeadingFollowsTheCameraSpacePositionOnAllFourAxes) {
  SceneRecord scene{};
  struct Case {
    int32_t x, y;
    uint32_t angle;
  };
  const uint32_t eighth = ArcTanTable[kOne];  // the table's own value for 45 degrees
  const Case kCases[] = {{500, 0, 0},
                         {0, 500, 16384},
                         {-500, 0, 32768},
                         {0, -500, 49152},
                         {0, 0, 0},
                         {300, 300, eighth},
                         {-300, -300, 32768 + eighth},
                         {-7, 700, 16384u + ArcTanTable[655]}};
  root_->scene = &scene;
  plain_->flags |= kInstHeadingFollows;
  for (const Case& c : kCases) {
    plain_->cameraPos = FixedVector{c.x, c.y, 9, 0};
    MatrixFromAngles(&plain_->matrix, 1, 2, 3);
    InstAlignHeading(root_);
    FixedMatrix expected;
    MatrixFromAngles(&expected, 0, 0, c.angle);
    for (int r = 0; r < 3; ++r) {
      for (int col = 0; col < 3; ++col) EXPECT_EQ(plain_->matrix.m[r][col], expected.m[r][col]) << c.x << "," << c.y;
    }
  }
  // Without a parent in a scene the heading is left alone.
  root_->scene = nullptr;
  MatrixFromAngles(&plain_->matrix, 1, 2, 3);
  const FixedMatrix before = plain_->matrix;
  InstAlignHeading(root_);
  EXPECT_EQ(plain_->matrix.m[0][0], before.m[0][0]);
  EXPECT_EQ(plain_->matrix.m[1][2], before.m[1][2]);
}

TEST_F(InstanceTree, SubtreeWalkIsPreOrderAndStaysInsideItsRoot) {
  std::vector<InstanceRecord*> walked;
  for (InstanceRecord* i = root_; i; i = InstSubtreeNext(i, root_)) walked.push_back(i);
  EXPECT_EQ(walked, (std::vector<InstanceRecord*>{root_, scaled_, grandScaled_, plain_, grandPlain_}));
  walked.clear();
  for (InstanceRecord* i = scaled_; i; i = InstSubtreeNext(i, scaled_)) walked.push_back(i);
  EXPECT_EQ(walked, (std::vector<InstanceRecord*>{scaled_, grandScaled_}));
  EXPECT_EQ(InstSubtreeNext(grandPlain_, grandPlain_), nullptr);

  std::vector<InstanceRecord*> applied;
  static std::vector<InstanceRecord*>* sink;
  sink = &applied;
  InstSubtreeApply([](InstanceRecord* i, intptr_t) { sink->push_back(i); }, root_, 0);
  EXPECT_EQ(applied, (std::vector<InstanceRecord*>{root_, scaled_, grandScaled_, plain_, grandPlain_}));
}

TEST_F(InstanceTree, CutPathSearchesFindPlayingDescendants) {
  PathRecord paths[2] = {};
  paths[0].serial = 11;
  paths[0].name = const_cast<char*>("Turret");
  paths[1].serial = 12;
  paths[1].name = const_cast<char*>("Hatch");
  CutRecord cut{};
  cut.handle = 40;
  cut.pathCount = 2;
  cut.paths = paths;
  ASSERT_TRUE(HashInsert(fixture_.engine().cutTable, 40, reinterpret_cast<HashValue>(&cut)));
  grandScaled_->cutHandle = 40;
  grandScaled_->pathNumber = 1;
  plain_->cutHandle = 40;
  plain_->pathNumber = 0;
  grandPlain_->cutHandle = 40;
  grandPlain_->pathNumber = 7;  // no such path

  EXPECT_EQ(InstFindByCutPath(root_, &cut, 12), grandScaled_);
  EXPECT_EQ(InstFindByCutPath(plain_, &cut, 11), nullptr);  // the root itself is not tested
  EXPECT_EQ(InstFindByPathName(root_, "hatch"), grandScaled_);
  EXPECT_EQ(InstFindByPathName(plain_, "TURRET"), plain_);
  EXPECT_EQ(InstFindByPathSerial(root_, 11), plain_);
  EXPECT_EQ(InstFindPart(scaled_, "turret"), plain_);  // among the siblings' subtrees
  EXPECT_EQ(InstFindPart(root_, "turret"), nullptr);   // no parent and no scene
  HashRemove(fixture_.engine().cutTable, 40);
}

TEST_F(InstanceTree, LinkedPartsAreTheSiblingsNamedByTheBodysBonesAndTurnInvisible) {
  PathRecord path{};
  path.name = const_cast<char*>("Turret");
  CutRecord cut{};
  cut.handle = 41;
  cut.pathCount = 1;
  cut.paths = &path;
  ASSERT_TRUE(HashInsert(fixture_.engine().cutTable, 41, reinterpret_cast<HashValue>(&cut)));
  grandPlain_->cutHandle = 41;
  char turret[] = "turret";
  char missing[] = "Hatch";
  char* bones[] = {turret, missing};
  BodyMesh mesh{};
  mesh.boneCount = 2;
  mesh.boneNames = bones;
  BodyMesh* meshes[] = {&mesh};
  BodyRecord body{};
  body.meshCount = 1;
  body.meshes = meshes;

  InstResolveLinkedParts(scaled_, &body);  // without flags2 bit 5 nothing happens
  EXPECT_EQ(scaled_->linkedParts, nullptr);
  scaled_->flags2 |= kInst2HasLinkedParts;
  InstResolveLinkedParts(scaled_, &body);
  ASSERT_EQ(scaled_->linkedPartCount, 2);
  EXPECT_EQ(scaled_->linkedParts[0], grandPlain_);
  EXPECT_EQ(scaled_->linkedParts[1], nullptr);
  EXPECT_TRUE(grandPlain_->flags & kInstInvisible);
  InstFreeLinkedParts(scaled_);
  EXPECT_EQ(scaled_->linkedPartCount, 0);
  EXPECT_EQ(scaled_->linkedParts, nullptr);
  InstResolveLinkedParts(scaled_, &body);  // freed with the tree
  HashRemove(fixture_.engine().cutTable, 41);
}

TEST_F(InstanceTree, AbsoluteAndLocalTransformsIgnoreScaleAndFlags) {
  root_->position = FixedVector{1000, 0, 0, 0};
  root_->matrix = FixedMatrix{{{0, kOne, 0, 0}, {-kOne, 0, 0, 0}, {0, 0, kOne, 0}}};
  root_->scale = FixedVector{3 * kOne, 3 * kOne, 3 * kOne, 0};
  plain_->position = FixedVector{10, 0, 0, 0};
  plain_->flags |= kInstScaledWithParent;
  grandPlain_->position = FixedVector{0, 7, 0, 0};
  FixedVector position;
  GetInstanceAbsPos(grandPlain_, &position);
  EXPECT_EQ(position.x, 1000 - 7);
  EXPECT_EQ(position.y, 10);
  EXPECT_EQ(position.z, 0);
  FixedMatrix matrix;
  GetInstanceAbsMatrix(grandPlain_, &matrix);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(matrix.m[r][c], root_->matrix.m[r][c]);
  }
  // A world point seen from an instance: its rows dotted with the offset.
  InstanceRecord* probe = B3D_InstAlloc();
  probe->world = FixedVector{1000, 30, 0, 0};
  WorldToInstanceLocal(probe, root_);
  EXPECT_EQ(probe->cameraPos.x, 30);
  EXPECT_EQ(probe->cameraPos.y, 0);
  FreeInstance(probe);
}

TEST_F(InstanceTree, TextureCoordinatesMakeOneImmediateStateOnce) {
  FixedMatrix m = {{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}}};
  ASSERT_TRUE(B3D_InstSetAnimTextureCoords(plain_, 33, &m));
  ASSERT_EQ(plain_->texAnimCount, 1);
  const TexAnimState* state = plain_->texAnims;
  EXPECT_EQ(state->anim, -33);
  EXPECT_EQ(state->flags, kTexAnimImmediate);
  EXPECT_TRUE(plain_->flags2 & kInst2HasTexAnim);
  EXPECT_EQ(state->uv.row1[3], 8);
  EXPECT_EQ(state->uv.row2[2], 11);
  m.m[0][0] = 100;
  ASSERT_TRUE(B3D_InstSetAnimTextureCoords(plain_, 34, &m));
  EXPECT_EQ(plain_->texAnims, state);
  EXPECT_EQ(state->uv.row0[0], 100);
  EXPECT_EQ(state->anim, -33);
  InstFreeTexAnim(plain_);
  EXPECT_EQ(plain_->texAnimCount, 0);
  EXPECT_EQ(plain_->texAnims, nullptr);
}

}  // namespace
