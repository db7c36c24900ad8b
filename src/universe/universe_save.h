// The universe's save section, "SECT" ... "/SEC": the state words, the player, every object of
// the id hash with its class extension, and the take records. The save container calls
// `WriteUniverse` and `ReadUniverse` after the engine section, whose handles the object records
// name. The reader never trusts a count, a length or a reference it reads; a failed read leaves
// no object behind that the universe's lists cannot reach.
#pragma once

struct FileObject;
struct SpaceObject;

// WriteUniverse (false when a write fails) and ReadUniverse (frees the object effects and
// reloads the type tables, then reads the section into the empty universe; true when the whole
// section was read and ended with "/SEC") are declared in universe/universe.h.
// The section itself, over the type tables as they are (the fuzz target and the tests, whose
// tables are built in memory).
bool ReadUniverseSection(FileObject* file);

// One "SOBJ" record after its tag and id: the common part, the name and the class part.
bool WriteObject(SpaceObject* object, FileObject* file);
bool ReadObject(SpaceObject* object, FileObject* file);

// The simulation's per-object state the object records leave out (ram mass, order words, flight
// matrices, drains...), for every object of the id hash: written after the sections in a chunk of
// its own, so a save without it still reads. The reader, called after the universe section, takes
// only records naming an object of the same class; false on anything else.
bool WriteSimulationState(FileObject* file);
bool ReadSimulationState(FileObject* file);

// The camera words the class part leaves out (follow offset, follow axis, stop flag): a version
// word, the number of cameras, then per camera its id and the three words. Written after the
// simulation state in a chunk of its own, so older saves without it still read (their cameras
// keep those words at 0). The reader takes only records naming a camera; false on anything else.
bool WriteCameraState(FileObject* file);
bool ReadCameraState(FileObject* file);
