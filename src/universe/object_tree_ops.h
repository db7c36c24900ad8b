// Walks over object trees that keep scene state in step with object state: collision shapes
// rebuilt after the bodies were freed, and the type sounds given to instances. The body command,
// the save loader and the sound reset call them; they change instances only, never objects.
#pragma once

struct SpaceObject;
struct InstanceRecord;

// Every descendant built from a model gets a new box.
void RebuildModelRapidBoxes(InstanceRecord* instance);
// ApplyTypeSoundToObjectTree over the universe's top-level list.
void ApplyTypeSoundToAllObjects();
