// Effects: a ".fb" text (gpu_effect_file.h) made into parameters with current values,
// techniques and passes whose GLSL programs are built on the device. Between Begin and End,
// BeginPass sends the pass's states, textures, programs and the parameters its programs read
// through the effect's state manager (the device itself when none is given). Parameter blocks
// record Set* calls and replay them. Called by the renderer's effect cache, material builder
// and drawing code.
//
// Parameters reach the programs as uniforms by name: a program names `g_mWorld` or
// `g_LightPoint[i].pos` as if it had declared them, and the effect declares them for it, packed
// into the program's constant registers (gpu_VsConst / gpu_PsConst). Matrices keep the engine's
// row-vector convention, so `v * g_mWorld` in GLSL multiplies as the engine does. A texture
// parameter bound to sampler unit n by the pass is the program's sampler of that name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/gpu.h"
#include "platform/gpu_math.h"
#include "platform/gpu_state_manager.h"

// Names a parameter, annotation, technique, pass or parameter block of one effect; 0 is none.
using GpuxHandle = uint32_t;
constexpr GpuxHandle kGpuxNoHandle = 0;

// Begin flag: the effect leaves the device's state as its passes set it.
constexpr uint32_t kGpuxFxDoNotSaveState = 0x1;

class GpuxEffect : public GpuUnknown {
 public:
  virtual GpuResult GetDevice(GpuDevice** device) = 0;

  // ---- Parameters and annotations
  // A top-level parameter (parent 0), or a member of a struct parameter or element.
  virtual GpuxHandle GetParameterByName(GpuxHandle parent, const char* name) = 0;
  virtual GpuxHandle GetParameterElement(GpuxHandle array, uint32_t index) = 0;
  // An annotation of a parameter, technique or pass.
  virtual GpuxHandle GetAnnotationByName(GpuxHandle object, const char* name) = 0;
  // Values convert between bool, int and float as the parameter's type needs; vectors and
  // matrices take as many components as the parameter has. Annotations read like parameters.
  virtual GpuResult SetBool(GpuxHandle parameter, int32_t value) = 0;
  virtual GpuResult GetBool(GpuxHandle parameter, int32_t* value) = 0;
  virtual GpuResult SetInt(GpuxHandle parameter, int32_t value) = 0;
  virtual GpuResult GetInt(GpuxHandle parameter, int32_t* value) = 0;
  virtual GpuResult SetFloat(GpuxHandle parameter, float value) = 0;
  virtual GpuResult GetFloat(GpuxHandle parameter, float* value) = 0;
  virtual GpuResult SetVector(GpuxHandle parameter, const GpuVector4* value) = 0;
  virtual GpuResult GetVector(GpuxHandle parameter, GpuVector4* value) = 0;
  virtual GpuResult SetMatrix(GpuxHandle parameter, const GpuMatrix* value) = 0;
  virtual GpuResult GetMatrix(GpuxHandle parameter, GpuMatrix* value) = 0;
  virtual GpuResult SetString(GpuxHandle parameter, const char* value) = 0;
  // The text stays valid until the parameter is set again or the effect goes.
  virtual GpuResult GetString(GpuxHandle parameter, const char** value) = 0;
  // The effect holds a reference on a set texture.
  virtual GpuResult SetTexture(GpuxHandle parameter, GpuBaseTexture* texture) = 0;
  virtual GpuResult GetTexture(GpuxHandle parameter, GpuBaseTexture** texture) = 0;
  // True when a pass of the technique names the parameter in its programs or binds a state or
  // sampler to it (for a member or element: its top-level parameter).
  virtual int32_t IsParameterUsed(GpuxHandle parameter, GpuxHandle technique) = 0;

  // ---- Techniques and passes
  virtual GpuxHandle GetTechniqueByName(const char* name) = 0;
  virtual GpuxHandle GetTechnique(uint32_t index) = 0;
  virtual GpuxHandle GetPass(GpuxHandle technique, uint32_t index) = 0;
  // kGpuOk when the device reaches the technique's profile and its programs were built.
  virtual GpuResult ValidateTechnique(GpuxHandle technique) = 0;
  // The first valid technique after `technique` (0: from the first); kGpuErrInvalidCall and 0
  // when none is left.
  virtual GpuResult FindNextValidTechnique(GpuxHandle technique, GpuxHandle* next) = 0;
  virtual GpuResult SetTechnique(GpuxHandle technique) = 0;
  virtual GpuxHandle GetCurrentTechnique() = 0;
  virtual GpuResult Begin(uint32_t* passes, uint32_t flags) = 0;
  virtual GpuResult BeginPass(uint32_t pass) = 0;
  // Sends parameters set since BeginPass (and the states bound to them) to the device.
  virtual GpuResult CommitChanges() = 0;
  virtual GpuResult EndPass() = 0;
  virtual GpuResult End() = 0;

  // ---- Parameter blocks
  virtual GpuResult BeginParameterBlock() = 0;
  virtual GpuxHandle EndParameterBlock() = 0;
  virtual GpuResult ApplyParameterBlock(GpuxHandle block) = 0;
  virtual GpuResult DeleteParameterBlock(GpuxHandle block) = 0;

  // ---- Life
  // The effect holds a reference on its manager; null sets the device directly.
  virtual GpuResult SetStateManager(GpuEffectStateManager* manager) = 0;
  virtual GpuResult GetStateManager(GpuEffectStateManager** manager) = 0;
  virtual GpuResult OnLostDevice() = 0;
  virtual GpuResult OnResetDevice() = 0;
};

// An effect from ".fb" text. `name` is used in messages. A text that does not parse, or a
// program of a technique the device's profile reaches that does not build, fails with
// kGpuErrInvalidCall and "<name>(<line>): <what>" in *errors.
GpuResult GpuxCreateEffect(GpuDevice* device, const char* text, size_t size, const char* name, GpuxEffect** effect,
                           std::string* errors);
