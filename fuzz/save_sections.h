// The worlds the "MOVI" and "INS " section targets read into, shared with the seed maker so the
// seeds name the records the targets have. Movies: files "mov/00005.dat", "mov/00144.dat" and
// "mov/00800.dat" and a voice file of language 44 in the work folder, over a media backend that
// opens any file without decoding. Cockpits: a scene engine whose handle and scene tables hand
// out the same handles on every build, with free-standing records for references to name.
#pragma once

struct CameraRecord;
struct InstanceRecord;
struct SceneRecord;

namespace fuzz {

// The movie module, the sound language 44 and the files; made once.
void SetUpMovieWorld();
// Releases every record and the voice information.
void ClearMovieWorld();

struct CockpitWorld {
  InstanceRecord* instances[4];
  InstanceRecord* light;
  CameraRecord* cameras[2];
  SceneRecord* scene;  // empty
};
// A fresh GUI master and the records, under the same handles every time.
const CockpitWorld& BuildCockpitWorld();
// Frees the cockpits, the master and every engine record still there; false when a table is
// left with an entry (something lost its owner).
bool ClearCockpitWorld();

}  // namespace fuzz
