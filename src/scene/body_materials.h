// Body materials: the typed effect parameter records and their constructors, the parameter block
// of a material entry, the entry reader both body readers share (text and binary form), and what
// is derived from an entry: texture animation, bump and alpha flags, a face group's texture id and
// an instance's texture animation requests. The records are in scene/body_records.h. Called by
// the body readers, the render material builder and the instance natives.
#pragma once

#include <cstdint>

#include "core/data_reader.h"
#include "scene/body_records.h"

struct FaceGroup;
struct InstanceRecord;
struct UvTransform;

// The "SPTYPE_" keywords of the parameter kinds, for the text form.
extern const DataKeyword kEffectParamKindNames[];

// Constructors: a zeroed record with the slot of `name` (its texture slot) and the given values;
// null when memory runs out. Matrices are given row by row.
EffectParamRecord* NewEffectParamInt(const char* name, int32_t value);
EffectParamRecord* NewEffectParamInt2(const char* name, int32_t value);
EffectParamRecord* NewEffectParamFloat(const char* name, float value);
EffectParamRecord* NewEffectParamFloat2(const char* name, float x, float y);
EffectParamRecord* NewEffectParamFloat3(const char* name, float x, float y, float z);
EffectParamRecord* NewEffectParamFloat4(const char* name, float x, float y, float z, float w);
EffectParamRecord* NewEffectParamMatrix3(const char* name, const float values[9]);
// Kind 6 from a texture transform: its three rows of three 16.16 values.
EffectParamRecord* NewEffectParamMatrixFrom(const char* name, const UvTransform* transform);
EffectParamRecord* NewEffectParamMatrix4(const char* name, const float values[16]);
// Kind 0 with the texture id when `text` names a texture the slot can load, else kind 8 with the text.
EffectParamRecord* NewEffectParamString(const char* name, const char* text);
void FreeEffectParam(EffectParamRecord* record);

// A new list read from the reader (word, effect name, count, parameters); null when memory runs
// out. A kind outside 0..8 sets the reader's error (the list is still returned).
EffectParamList* ReadBodyMaterials(EffectParamList* list, DataReader* reader);
// A list with no parameters yet; null when memory runs out.
EffectParamList* NewEffectParamList(uint16_t word, const char* effectName);
void FreeEffectParamList(EffectParamList* list);
// The parameter whose name equals `name` ignoring case, or null.
const EffectParamRecord* FindMaterialParam(const EffectParamList* list, const char* name);

// One material entry of kind 1..6 from the reader, in the reader's form (text or binary), into a
// zeroed `entry`. `bodyFlags` (when not null) gains the body's bump (4) or else second-texture (2)
// flag. The caller checks the reader's error flag afterwards.
void ReadBodyMaterialEntry(DataReader* reader, int32_t kind, BodyMaterial* entry, uint32_t* bodyFlags);
// Flags and texture animation values from the entry's parameter list.
void MaterialApplyEffectParams(BodyMaterial* entry);
// The texture id a face group is drawn with.
int32_t GroupTextureId(const FaceGroup* group, const BodyRecord* body);
// At most this many texture animations per instance.
constexpr int32_t kMaxBodyTexAnims = 20;
// The instance's texture animation records from the body's materials (replacing none it has).
void InstCreateBodyTexAnims(InstanceRecord* instance, const BodyRecord* body);

// The text parser's scratch material table; FreeScratchMaterialParams frees the parameter lists
// it still holds (the fatal end of a parse).
extern BodyMaterial gScratchMaterials[kBodyScratchMaterials];
void FreeScratchMaterialParams();
