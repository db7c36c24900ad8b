// Factory connections: connection points from the factories' model nodes, the tree of shortest
// links grown from the base factory, the end pieces and tube segments of every link, and the
// script array that tells the scripts what was built. Called by the factory connection command.
// Never reads past the 32 points of a factory, never divides by a zero length, and ends with
// what it built when an object cannot be had.
#include "universe/factory_connections.h"

#include <cmath>
#include <cstddef>

#include "core/hash_table.h"
#include "core/memory.h"
#include "scene/instance.h"
#include "script/containers.h"
#include "script/value.h"
#include "universe/object_detail.h"
#include "universe/object_lifecycle.h"
#include "universe/object_math.h"
#include "universe/type_access.h"
#include "universe/universe.h"
#include "universe/universe_registry.h"

namespace {

constexpr int32_t kDummyKindConnection = 4;  // SDTYPE_CONNECTION
constexpr int32_t kPointOffsetFactor = 0x6666;  // 0.4: points lie this far out along their direction
constexpr uint32_t kHalfTurn = 0x8000;
constexpr double kSegmentOverlap = 0.06;  // of a segment's size, shared by neighbouring segments

struct ConnectionPoint {
  FixedVector position;   // universe units
  FixedVector direction;  // 16.16 unit vector
  FixedMatrix matrix;
};

struct FactoryRecord {
  int32_t index;
  SpaceObject* factory;  // null for an id that names no object
  FactoryRecord* parent;
  int32_t pointCount;
  ConnectionPoint points[kMaxConnectionPoints];
  int32_t ownPoint;     // towards the parent, -1 none
  int32_t parentPoint;  // the parent's point of the link, -1 none
  int32_t linkLength;
  HashTable* children;     // child records by index
  HashTable* linkObjects;  // the pieces of the link to the parent, by object id
};

constexpr int kOwnForward = -1;

struct LocalPoint {
  uint32_t yaw, pitch, roll;
  int row;  // row of the node's matrix that is the direction; kOwnForward: the point's own forward axis
  bool negate;
};

constexpr LocalPoint kFourPoints[] = {
    {0xC000, 0, 0, 0, false},
    {0x4000, 0, 0, 0, true},
    {0, 0x4000, 0x4000, 1, false},
    {0, 0xC000, 0x4000, 1, true},
};
constexpr LocalPoint kThreePoints[] = {
    {0, 0, 0, 2, false},
    {0, 0x4000, 0x4000, 1, false},
    {0, 0xC000, 0x4000, 1, true},
};
constexpr LocalPoint kDummyPoint = {0, 0x4000, 0, kOwnForward, false};

FixedVector MatrixRow(const FixedMatrix& m, int row, bool negate) {
  const int64_t s = negate ? -1 : 1;
  return {SaturateToInt32(s * m.m[row][0]), SaturateToInt32(s * m.m[row][1]), SaturateToInt32(s * m.m[row][2]), 0};
}

// p + direction * length, each product rounded as the fixed-point unit rounds.
FixedVector Along(const FixedVector& p, const FixedVector& direction, int32_t length) {
  return {SaturateToInt32(int64_t{p.x} + FixedMul(direction.x, length)),
          SaturateToInt32(int64_t{p.y} + FixedMul(direction.y, length)),
          SaturateToInt32(int64_t{p.z} + FixedMul(direction.z, length)), 0};
}

double Length(double x, double y, double z) { return std::sqrt(x * x + y * y + z * z); }

int32_t Distance(const FixedVector& a, const FixedVector& b) {
  return TruncateToInt32(Length(double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z));
}

void AddPoint(FactoryRecord* record, const LocalPoint& local, const InstanceRecord* node) {
  if (record->pointCount >= kMaxConnectionPoints) return;
  ConnectionPoint& point = record->points[record->pointCount++];
  FixedMatrix rotation;
  MatrixFromAngles(&rotation, local.yaw, local.pitch, local.roll);
  MatrixMultiply(&point.matrix, &rotation, &node->worldMatrix);
  point.direction = local.row == kOwnForward ? MatrixRow(point.matrix, 2, false)
                                             : MatrixRow(node->worldMatrix, local.row, local.negate);
  point.position = Along(node->world, point.direction, FixedMul(node->size, kPointOffsetFactor));
}

void FindPoints(FactoryRecord* record) {
  InstanceRecord* instance = record->factory ? record->factory->instance : nullptr;
  if (!instance) return;
  instance->world = instance->position;
  instance->worldMatrix = instance->matrix;
  InstUpdateWorldTree(instance);
  for (InstanceRecord* node = InstFirstChild(instance); node; node = InstNextSibling(node)) {
    // A connector node's points replace those found before; a connection dummy adds one more.
    if (node->bodyId == kConnectorBodyFour) {
      record->pointCount = 0;
      for (const LocalPoint& local : kFourPoints) AddPoint(record, local, node);
    } else if (node->bodyId == kConnectorBodyThree) {
      record->pointCount = 0;
      for (const LocalPoint& local : kThreePoints) AddPoint(record, local, node);
    } else if (FindIdTableRow(node->bodyId, kDummyKindConnection, nullptr)) {
      AddPoint(record, kDummyPoint, node);
    }
  }
  // One point takes two links.
  if (record->pointCount == 1) record->points[record->pointCount++] = record->points[0];
}

bool InTree(const FactoryRecord* record) { return record->index == 0 || record->parent; }

bool PointIsFree(const FactoryRecord* records, int32_t count, const FactoryRecord* a, int32_t point) {
  if (a->ownPoint == point) return false;
  for (int32_t i = 1; i < count; ++i) {
    if (records[i].parent == a && records[i].parentPoint == point) return false;
  }
  return true;
}

// Links one more record to the tree by the shortest free link; false when none is left.
bool GrowTree(FactoryRecord* records, int32_t count) {
  FactoryRecord* bestA = nullptr;
  FactoryRecord* bestB = nullptr;
  int32_t bestPa = -1, bestPb = -1, bestD = 0;
  for (int32_t ia = 0; ia < count; ++ia) {
    const FactoryRecord* a = &records[ia];
    if (!a->factory || !InTree(a)) continue;
    for (int32_t ib = 1; ib < count; ++ib) {
      FactoryRecord* b = &records[ib];
      if (!b->factory || InTree(b)) continue;
      for (int32_t pa = 0; pa < a->pointCount; ++pa) {
        if (!PointIsFree(records, count, a, pa)) continue;
        for (int32_t pb = 0; pb < b->pointCount; ++pb) {
          const int32_t d = Distance(a->points[pa].position, b->points[pb].position);
          if (bestB && d >= bestD) continue;
          bestA = &records[ia];
          bestB = b;
          bestPa = pa;
          bestPb = pb;
          bestD = d;
        }
      }
    }
  }
  if (!bestB) return false;
  bestB->parent = bestA;
  bestB->ownPoint = bestPb;
  bestB->parentPoint = bestPa;
  bestB->linkLength = bestD;
  if (!bestA->children) bestA->children = HashCreate();
  if (bestA->children) HashInsert(bestA->children, static_cast<uint32_t>(bestB->index) + 1, reinterpret_cast<HashValue>(bestB));
  return true;
}

// A new piece turned by `rotation`, put into the base factory's container and recorded with the
// link; the caller places it once its size is known. Null when it cannot be had.
SpaceObject* MakePiece(FactoryRecord* record, int16_t subtype, const FixedMatrix& rotation, SpaceObject* container) {
  if (!record->linkObjects) record->linkObjects = HashCreate();
  if (!record->linkObjects) return nullptr;
  SpaceObject* piece = AllocObjectRecord(kClassSpecial);
  if (!piece) return nullptr;
  if (!CreateObject(piece, MakeTypeWord(kClassSpecial, subtype))) {
    FreeObjectRecord(piece, kClassSpecial);
    return nullptr;
  }
  int32_t a = 0, b = 0, c = 0;
  MatrixToAngles(&rotation, &a, &b, &c);
  ObjSetAngles(piece, a, b, c);
  ObjAttachInstance(piece, container);
  HashInsert(record->linkObjects, piece->id, reinterpret_cast<HashValue>(piece));
  return piece;
}

int32_t PieceSize(const SpaceObject* piece) { return piece->instance ? piece->instance->size : 0; }

void PlacePiece(SpaceObject* piece, const FixedVector& at) { ObjSetPosition(piece, at.x, at.y, at.z); }

// An end piece at the point, out along its direction by its own size; `tubeEnd` is where the
// tube starts, twice that far out. False when the piece cannot be had.
bool MakeEndPiece(FactoryRecord* record, int16_t subtype, const ConnectionPoint& point, const FixedMatrix& rotation,
                  SpaceObject* container, FixedVector* tubeEnd) {
  SpaceObject* piece = MakePiece(record, subtype, rotation, container);
  if (!piece) return false;
  const int32_t size = PieceSize(piece);
  PlacePiece(piece, Along(point.position, point.direction, size));
  *tubeEnd = Along(point.position, point.direction, SaturateToInt32(int64_t{size} * 2));
  return true;
}

// Builds the link of the record to its parent; false when an object could not be had, which
// ends the building.
bool BuildLink(FactoryRecord* record, SpaceObject* container) {
  const ConnectionPoint& pa = record->parent->points[record->parentPoint];
  const ConnectionPoint& pb = record->points[record->ownPoint];
  FixedVector from, to;
  if (!MakeEndPiece(record, kSubtypeParentEndPiece, pa, pa.matrix, container, &from)) return false;
  // The child's end piece faces back along the tube.
  FixedMatrix halfTurn, childRotation;
  MatrixFromAngles(&halfTurn, kHalfTurn, 0, 0);
  MatrixMultiply(&childRotation, &halfTurn, &pb.matrix);
  if (!MakeEndPiece(record, kSubtypeChildEndPiece, pb, childRotation, container, &to)) return false;

  const FixedVector span{SaturateToInt32(int64_t{to.x} - from.x), SaturateToInt32(int64_t{to.y} - from.y),
                         SaturateToInt32(int64_t{to.z} - from.z), 0};
  FixedMatrix rotation;
  const FixedVector up{0, kFixedOne, 0, 0};
  MatrixFromTwoVectors(&rotation, &span, &up);
  SpaceObject* segment = MakePiece(record, kSubtypeTubeSegment, rotation, container);
  if (!segment) return false;
  const double size = PieceSize(segment);
  const double g = 2.0 * size - kSegmentOverlap * size;
  const double length = Length(double(to.x) - from.x, double(to.y) - from.y, double(to.z) - from.z);
  const int32_t d = TruncateToInt32(length);
  const double c = g > 0.0 && d > 0 ? std::ceil(d / g) : 0.0;
  if (c < 1.0 || c > double(INT32_MAX)) {
    // Ends at one place, or segments of no size: no tube, and the measuring segment goes again.
    HashRemove(record->linkObjects, segment->id);
    DeleteObject(segment);
    return true;
  }
  const auto count = static_cast<int32_t>(c);
  const double q = d / c;
  const double u[3] = {(double(to.x) - from.x) / length, (double(to.y) - from.y) / length,
                       (double(to.z) - from.z) / length};
  const int32_t stretch = TruncateToInt32(q / g * kFixedOne);
  for (int32_t k = 0; k < count; ++k) {
    if (k > 0) {
      segment = MakePiece(record, kSubtypeTubeSegment, rotation, container);
      if (!segment) return false;
    }
    const double t = q * (k + 0.5);
    PlacePiece(segment, {TruncateToInt32(from.x + u[0] * t), TruncateToInt32(from.y + u[1] * t),
                         TruncateToInt32(from.z + u[2] * t), 0});
    if (segment->instance) B3D_InstSetScale(segment->instance, kFixedOne, kFixedOne, stretch);
  }
  return true;
}

void WriteResult(FactoryRecord* records, int32_t n, ScriptValue* result) {
  if (!AllocArrayValue(result, n)) return;
  for (int32_t i = 1; i <= n; ++i) {
    const FactoryRecord& record = records[i];
    const int32_t m = record.linkObjects ? static_cast<int32_t>(HashCount(record.linkObjects)) : 0;
    ScriptValue entry{};
    if (!AllocArrayValue(&entry, m + 2)) continue;
    const SpaceObject* parent = record.parent ? record.parent->factory : nullptr;
    ArrayWriteInt(&entry, 0, parent ? static_cast<int32_t>(parent->id) : 0);
    ArrayWriteInt(&entry, 1, record.factory ? static_cast<int32_t>(record.factory->id) : 0);
    int32_t k = 2;
    for (uint32_t key = HashNextKey(record.linkObjects, 0); key && k < m + 2; key = HashNextKey(record.linkObjects, key)) {
      ArrayWriteInt(&entry, k++, static_cast<int32_t>(key));
    }
    ArrayWrite(result, i - 1, &entry);
    ReleaseValue(&entry);
  }
}

}  // namespace

int32_t CreateFactoryConnections(SpaceObject* base, ScriptValue* factoryIds, ScriptValue* result) {
  const int32_t n = factoryIds ? GetArraySize(factoryIds) : 0;
  const size_t bytes = sizeof(FactoryRecord) * (static_cast<size_t>(n) + 1);
  const uint32_t memFlags = MemCategoryFlags(kMemCatUniverse);
  auto* records = static_cast<FactoryRecord*>(MemAlloc(bytes, memFlags));
  if (!records) {
    if (result) {
      ReleaseValue(result);
      SetValueInt(result, 0);
    }
    return 0;
  }
  for (int32_t i = 0; i <= n; ++i) {
    FactoryRecord& record = records[i];
    record.index = i;
    record.ownPoint = record.parentPoint = -1;
    if (i == 0) {
      record.factory = base;
    } else {
      const ScriptValue* id = ArrayElementPtr(factoryIds, i - 1);
      if (id && id->type == kValueInt && id->i != 0 && gUniverse) {
        record.factory = FindObjectById(gUniverse, static_cast<uint32_t>(id->i));
      }
    }
    FindPoints(&record);
  }
  for (int32_t step = 0; step < n; ++step) {
    if (!GrowTree(records, n + 1)) break;
  }
  SpaceObject* container = base ? base->parent : nullptr;
  for (int32_t i = 1; i <= n; ++i) {
    if (records[i].parent && !BuildLink(&records[i], container)) break;
  }
  if (result) {
    ReleaseValue(result);
    WriteResult(records, n, result);
  }
  for (int32_t i = 0; i <= n; ++i) {
    HashDestroy(records[i].children);
    HashDestroy(records[i].linkObjects);
  }
  MemFree(records, bytes, memFlags);
  return 1;
}
