// The effect registry: every shader effect the renderer loads is registered once by name, so it
// can be found before it is loaded again and device loss and reset reach every loaded effect.
// Also the lookups of effect parameters in a parameter list and the name predicates of the
// material builder. The entries are in scene/effect_records.h. Called by the renderer.
#pragma once

#include <cstdint>

#include "scene/effect_records.h"

// A new entry under a new key of the engine's effect table; null when memory runs out.
EffectEntry* RegisterEffect(const char* name);
// The first entry in key order whose name equals `name` ignoring case; a null name finds none.
EffectEntry* FindEffectByName(const char* name);
// Every registered effect's interfaces, first first, before and after a device reset.
void EffectsOnLostDevice();
void EffectsOnResetDevice();
// Releases the entry's effect object, frees its name and the entry, and removes its key.
void FreeEffectEntry(EffectEntry* entry);
// Frees every entry with its effect object and empties the table.
void FreeEffectRegistry();
// Hands the renderer's effect cache the registry's operations (done when the engine starts).
void InstallEffectRegistry();

// The first of `count` records (null records skipped) with the id, or with the name ignoring
// case; null when none.
EffectParamHead* FindEffectParam(EffectParamHead* const* list, int32_t count, int32_t id);
EffectParamHead* FindEffectParamByName(EffectParamHead* const* list, int32_t count, const char* name);
// 1 when the record's name equals the key ignoring case, else 0.
int32_t NameEqualsIgnoreCase(const EffectParamHead* record, const char* key);
int32_t NameEqualsIgnoreCaseB(const EffectParamHead* record, const char* key);
