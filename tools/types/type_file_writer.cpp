// The writer of the "Materials" and "Animations" type files: every field in the order and width
// the engine's readers take it, so a file written here reads back into the same tables in either
// form. Names stand for values in the text form wherever the reader knows them.
#include "types/type_file_writer.h"

#include <cstring>

#include "core/data_reader.h"
#include "render/texture_animation.h"

namespace typetool {

namespace {

constexpr int32_t kFixedOne = 0x10000;

// A kind word: its name in the text form when the table has one, else the number.
void WriteKind(DataReader* w, int32_t value, const DataKeyword* table) {
  if (!w->binary) {
    for (const DataKeyword* pair = table; pair->name[0] != 0; ++pair) {
      if (pair->value == value) {
        FileWriteString(w, pair->name);
        return;
      }
    }
  }
  WriteInt(w, value);
}

// A 16-bit flag set: names joined by "|" in the text form.
void WriteFlags16(DataReader* w, uint16_t value, const DataKeyword* table) {
  if (w->binary) {
    WriteShort(w, value);
  } else {
    WriteEnumWord(w, value, table);
  }
}

void WriteLine(DataReader* w) { DataWriterWriteText(w, "\n"); }

void WriteMaterial(DataReader* w, const MaterialEntry& entry) {
  const MaterialRecord& m = entry.record;
  WriteByte(w, m.value0);
  WriteByte(w, m.value1);
  WriteByte(w, m.value2);
  for (uint8_t c : m.specular) WriteByte(w, c);
  for (uint8_t c : m.ambient) WriteByte(w, c);
  for (uint8_t c : m.diffuse) WriteByte(w, c);
  WriteShort(w, m.textureNumber);
  WriteByte(w, m.transparency);
  WriteShort(w, 0);  // a word no reader keeps
  WriteEnumWord(w, m.flags, kMaterialFlagNames);
  for (int32_t v : {m.width, m.height, m.values345[0], m.values345[1], m.values345[2], m.shininess, m.value6,
                    m.value7, m.value8, m.value9, m.value10, m.value11}) {
    WriteShort(w, v);
  }
  DataWriterWriteString(w, entry.name.c_str());
}

void WriteFrame(DataReader* w, int32_t type, const AnimationFrame& f) {
  if (type == TAT_TAGCOLLECTION) {
    DataWriterWriteString(w, f.texture.c_str());
    for (int32_t v : f.tagValues) WriteInt(w, v);
    return;
  }
  if (type == TAT_TAGSINGLESTEP) {
    DataWriterWriteString(w, f.texture.c_str());
    return;
  }
  WriteFlags16(w, f.flags, kTexAnimFrameFlagNames);
  DataWriterWriteString(w, f.texture.c_str());
  WriteInt(w, f.duration);
  if (f.flags & TATF_COORDS) {
    WriteFixed(w, f.offsetU);
    WriteFixed(w, f.offsetV);
  }
}

void WriteAnimation(DataReader* w, const AnimationEntry& a) {
  WriteKind(w, a.type, kTexAnimTypeNames);
  WriteFlags16(w, a.flags, kTexAnimDefinitionFlagNames);
  DataWriterWriteString(w, a.firstTexture.c_str());
  DataWriterWriteString(w, a.lastTexture.c_str());
  if (a.flags & TADF_COORDS) {
    for (int32_t v : {a.startU, a.startV, a.endU, a.endV}) WriteFixed(w, v);
  }
  if (a.type == TAT_MOVIE) {
    WriteInt(w, a.movieStream);
    for (int32_t p : a.movieParams) WriteInt(w, p);
    return;
  }
  WriteInt(w, static_cast<int32_t>(a.frames.size()));
  for (const AnimationFrame& f : a.frames) WriteFrame(w, a.type, f);
  WriteInt(w, a.closingDuration);
}

// A count and then the entries, one line each in the text form.
template <typename Entry>
bool WriteTable(const std::string& path, bool binary, const char* comment, const std::vector<Entry>& entries,
                void (*write)(DataReader*, const Entry&)) {
  DataReader w;
  DataWriterOpen(&w, path.c_str(), binary, nullptr, 0);
  DataWriterWriteText(&w, comment);
  WriteInt(&w, static_cast<int32_t>(entries.size()));
  WriteLine(&w);
  for (const Entry& entry : entries) {
    write(&w, entry);
    WriteLine(&w);
  }
  WriteLine(&w);  // the text form's last byte is not part of its content
  const bool written = !w.error;
  DataReaderClose(&w);
  return written && !w.error;
}

MaterialEntry Material(const char* name, uint16_t textureNumber, uint8_t transparency, uint32_t flags) {
  MaterialEntry e{};
  e.name = name;
  e.record.textureNumber = textureNumber;
  e.record.transparency = transparency;
  e.record.flags = flags;
  return e;
}

AnimationFrame Frame(uint16_t flags, const char* texture, int32_t duration) {
  AnimationFrame f{};
  f.flags = flags;
  f.texture = texture;
  f.duration = duration;
  return f;
}

AnimationEntry Animation(int32_t type, const char* first, const char* last, int32_t closing) {
  AnimationEntry a{};
  a.type = type;
  a.firstTexture = first;
  a.lastTexture = last;
  a.closingDuration = closing;
  return a;
}

}  // namespace

bool WriteMaterialsFile(const std::string& path, bool binary, const std::vector<MaterialEntry>& materials) {
  return WriteTable(path, binary, "/ Materials: one record per fixed texture id\n", materials, WriteMaterial);
}

bool WriteAnimationsFile(const std::string& path, bool binary, const std::vector<AnimationEntry>& animations) {
  return WriteTable(path, binary, "/ Texture animations\n", animations, WriteAnimation);
}

std::vector<MaterialEntry> DemoMaterials() {
  std::vector<MaterialEntry> m = {
      Material("", 0, TRANSP_NONE, MPF_NULL),
      Material("hull", 1, TRANSP_NONE, MPF_2SIDED | MPF_BUMPMAP),
      Material("glass", 2, 128, MPF_ALPHABLEND | MPF_TEXTUREALPHA),
      Material("panel", 3, TRANSP_NONE, MPF_GENERATED | MPF_FONTSCALE | MPF_WRITEABLE),
      Material("portrait", 4, TRANSP_NONE, MPF_IMPORTPICTURE | MPF_NOFILTERING),
  };
  MaterialRecord& hull = m[1].record;
  hull.specular[0] = 255, hull.specular[1] = 255, hull.specular[2] = 204;  // high specular
  hull.ambient[0] = hull.ambient[1] = hull.ambient[2] = 64;
  hull.diffuse[0] = hull.diffuse[1] = hull.diffuse[2] = 32;
  hull.shininess = 127;
  MaterialRecord& glass = m[2].record;
  glass.specular[0] = glass.specular[1] = glass.specular[2] = 200;
  glass.diffuse[2] = 180;
  glass.value0 = 1, glass.value6 = 2, glass.value11 = 3;
  MaterialRecord& panel = m[3].record;
  panel.width = 64;
  panel.height = 32;
  return m;
}

std::vector<AnimationEntry> DemoAnimations() {
  std::vector<AnimationEntry> a;
  // A loop over three named frames, the middle one moved.
  AnimationEntry loop = Animation(TAT_LOOP, "hull", "panel", 0);
  loop.frames = {Frame(0, "hull", 100), Frame(TATF_COORDS, "glass", 100), Frame(0, "panel", 100)};
  loop.frames[1].offsetU = kFixedOne / 2;
  loop.frames[1].offsetV = kFixedOne / 4;
  a.push_back(loop);
  // A numbered range played back and forth over half a second while its coordinates move.
  AnimationEntry range = Animation(TAT_PINGPONG, "10", "14", 500);
  range.flags = TADF_COORDS;
  range.endU = kFixedOne;
  range.endV = kFixedOne / 2;
  a.push_back(range);
  a.push_back(Animation(TAT_ONESHOT, "20", "22", 300));
  // Frame by frame, restarting at its middle frame.
  AnimationEntry reinit = Animation(TAT_TAGONESHOT_REINIT, "0", "0", 0);
  reinit.frames = {Frame(0, "hull", 100), Frame(TATF_REINITLOOP, "glass", 150), Frame(0, "panel", 100)};
  a.push_back(reinit);
  // A movie strip of stream 7 on a cell grid of quarters.
  AnimationEntry movie = Animation(TAT_MOVIE, "40", "41", 0);
  movie.flags = TADF_COORDS;
  movie.startU = movie.startV = kFixedOne / 4;
  movie.movieStream = 7;
  for (int k = 0; k < 6; ++k) movie.movieParams[k] = k + 1;
  a.push_back(movie);
  AnimationEntry tags = Animation(TAT_TAGCOLLECTION, "hull", "glass", 200);
  tags.frames = {Frame(0, "hull", 0)};
  for (int k = 0; k < 6; ++k) tags.frames[0].tagValues[k] = 10 * (k + 1);
  a.push_back(tags);
  AnimationEntry ids = Animation(TAT_TAGSINGLESTEP, "0", "0", 0);
  ids.frames = {Frame(0, "hull", 0), Frame(0, "glass", 0)};
  a.push_back(ids);
  AnimationEntry steps = Animation(TAT_TAGARRAYSINGLESTEP, "0", "0", 0);
  steps.frames = {Frame(TATF_COORDS, "panel", 0), Frame(0, "hull", 0)};
  steps.frames[0].offsetU = kFixedOne;
  a.push_back(steps);
  a.push_back(Animation(TAT_SINGLESTEP, "30", "33", 0));
  return a;
}

}  // namespace typetool
