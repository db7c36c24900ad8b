// The ".fb" effect text: parameters, techniques and passes with their states and GLSL 330
// programs, parsed into a description the effect object builds from. Called by
// GpuxCreateEffect (gpu_effect.h) and the fuzz target; holds no device. A file that does not
// parse is refused whole with a message naming its line.
//
// The text is read line by line; '#' starts a comment line. Lines:
//   param <type> <name>[<count>] [{ <type> <member>, ... }] [= <values>]
//       types: bool int float float2 float3 float4 float3x3 float4x4 texture texturecube string
//       struct; values are numbers, true/false, or one quoted string; an array's values run
//       element after element. Struct parameters name their members in braces.
//   annotation <type> <name> = <value>   belongs to the parameter, technique or pass above it
//   technique <name> [<profile>]          minimum pixel-program profile, e.g. ps_2_0
//   pass <name>
//   state <RenderState> = <value or parameter>
//   sampler <unit> = <texture parameter>
//   samplerstate <unit> <SamplerState> = <value or parameter>
//   vertex | fragment                     GLSL lines follow, up to a line holding only "end"
// State values are numbers, true/false or the usual names (CCW, SRCALPHA, LINEAR, WRAP, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum GpuxFbType : uint32_t {
  kGpuxFbBool,
  kGpuxFbInt,
  kGpuxFbFloat,
  kGpuxFbFloat2,
  kGpuxFbFloat3,
  kGpuxFbFloat4,
  kGpuxFbFloat3x3,
  kGpuxFbFloat4x4,
  kGpuxFbTexture,
  kGpuxFbTextureCube,
  kGpuxFbString,
  kGpuxFbStruct,
};

// Numbers a value of the type holds (0 for texture, string and struct).
uint32_t GpuxFbTypeComponents(GpuxFbType type);

struct GpuxFbMember {
  std::string name;
  GpuxFbType type;
};

struct GpuxFbAnnotation {
  std::string name;
  GpuxFbType type;
  std::vector<double> numbers;
  std::string text;
};

struct GpuxFbParam {
  std::string name;
  GpuxFbType type;
  uint32_t elements;  // 0 for a single value, else the array's length
  std::vector<GpuxFbMember> members;  // struct parameters
  std::vector<double> defaults;       // numbers, element after element (members in order)
  std::string text;                   // a string parameter's default
  std::vector<GpuxFbAnnotation> annotations;
  int line;
};

enum GpuxFbStateKind : uint32_t {
  kGpuxFbRenderState,
  kGpuxFbSamplerState,
  kGpuxFbSamplerTexture,
};

struct GpuxFbState {
  GpuxFbStateKind kind;
  uint32_t unit;   // sampler unit (sampler states and textures)
  uint32_t state;  // render or sampler state number
  uint32_t value;  // literal value when `param` is empty
  std::string param;
  int line;
};

struct GpuxFbPass {
  std::string name;
  std::vector<GpuxFbAnnotation> annotations;
  std::vector<GpuxFbState> states;  // in file order
  std::string vertex, fragment;     // GLSL text
  int vertexLine, fragmentLine;     // the line of the program's first text line
  int line;
};

struct GpuxFbTechnique {
  std::string name;
  std::string profile;  // "" for any device
  std::vector<GpuxFbAnnotation> annotations;
  std::vector<GpuxFbPass> passes;
  int line;
};

struct GpuxFbEffect {
  std::vector<GpuxFbParam> params;
  std::vector<GpuxFbTechnique> techniques;
};

// False with "line N: what" in *error when the text is no valid effect: an unknown word or
// type, a value that does not fit its type, a state or sampler bound to a parameter the file
// does not declare (or of the wrong type), a name declared twice, a pass outside a technique,
// a technique without passes or a pass without both programs, or a program never ended.
bool GpuxParseEffectFile(const char* text, size_t size, GpuxFbEffect* effect, std::string* error);

// The rank of a pixel-program profile ("ps_1_1" .. "ps_3_0"); -1 for an unknown name.
int GpuxProfileRank(const std::string& profile);
