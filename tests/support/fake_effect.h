// An effect interface for tests of the renderer's effect users: it answers every query with
// "nothing", writes the calls that matter to them (texture sets, device loss and reset) as
// lines into a log the test owns, can be told to refuse texture sets and runs a test's check on
// device loss. References are not counted: the test owns the object.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/gpu_effect.h"

class FakeEffect : public GpuxEffect {
 public:
  FakeEffect(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}
  ~FakeEffect() override = default;

  // Texture sets answer this (kGpuOk by default).
  GpuResult setTextureAnswer = kGpuOk;
  int setTextureCalls = 0;
  // Runs inside OnLostDevice, so a test can see what was already released at that point.
  std::function<void()> onLostDevice;

  uint32_t AddRef() override { return 1; }
  uint32_t Release() override { return 1; }
  GpuResult GetDevice(GpuDevice**) override { return kGpuErrInvalidCall; }
  GpuxHandle GetParameterByName(GpuxHandle, const char*) override { return kGpuxNoHandle; }
  GpuxHandle GetParameterElement(GpuxHandle, uint32_t) override { return kGpuxNoHandle; }
  GpuxHandle GetAnnotationByName(GpuxHandle, const char*) override { return kGpuxNoHandle; }
  GpuResult SetBool(GpuxHandle, int32_t) override { return kGpuErrInvalidCall; }
  GpuResult GetBool(GpuxHandle, int32_t*) override { return kGpuErrInvalidCall; }
  GpuResult SetInt(GpuxHandle, int32_t) override { return kGpuErrInvalidCall; }
  GpuResult GetInt(GpuxHandle, int32_t*) override { return kGpuErrInvalidCall; }
  GpuResult SetFloat(GpuxHandle, float) override { return kGpuErrInvalidCall; }
  GpuResult GetFloat(GpuxHandle, float*) override { return kGpuErrInvalidCall; }
  GpuResult SetVector(GpuxHandle, const GpuVector4*) override { return kGpuErrInvalidCall; }
  GpuResult GetVector(GpuxHandle, GpuVector4*) override { return kGpuErrInvalidCall; }
  GpuResult SetMatrix(GpuxHandle, const GpuMatrix*) override { return kGpuErrInvalidCall; }
  GpuResult GetMatrix(GpuxHandle, GpuMatrix*) override { return kGpuErrInvalidCall; }
  GpuResult SetString(GpuxHandle, const char*) override { return kGpuErrInvalidCall; }
  GpuResult GetString(GpuxHandle, const char**) override { return kGpuErrInvalidCall; }
  GpuResult SetTexture(GpuxHandle parameter, GpuBaseTexture* texture) override {
    ++setTextureCalls;
    Log("SetTexture " + std::to_string(parameter) + (texture ? " texture" : " null"));
    return setTextureAnswer;
  }
  GpuResult GetTexture(GpuxHandle, GpuBaseTexture**) override { return kGpuErrInvalidCall; }
  int32_t IsParameterUsed(GpuxHandle, GpuxHandle) override { return 0; }
  GpuxHandle GetTechniqueByName(const char*) override { return kGpuxNoHandle; }
  GpuxHandle GetTechnique(uint32_t) override { return kGpuxNoHandle; }
  GpuxHandle GetPass(GpuxHandle, uint32_t) override { return kGpuxNoHandle; }
  GpuResult ValidateTechnique(GpuxHandle) override { return kGpuErrInvalidCall; }
  GpuResult FindNextValidTechnique(GpuxHandle, GpuxHandle*) override { return kGpuErrInvalidCall; }
  GpuResult SetTechnique(GpuxHandle) override { return kGpuErrInvalidCall; }
  GpuxHandle GetCurrentTechnique() override { return kGpuxNoHandle; }
  GpuResult Begin(uint32_t*, uint32_t) override { return kGpuErrInvalidCall; }
  GpuResult BeginPass(uint32_t) override { return kGpuErrInvalidCall; }
  GpuResult CommitChanges() override { return kGpuErrInvalidCall; }
  GpuResult EndPass() override { return kGpuErrInvalidCall; }
  GpuResult End() override { return kGpuErrInvalidCall; }
  GpuResult BeginParameterBlock() override { return kGpuErrInvalidCall; }
  GpuxHandle EndParameterBlock() override { return kGpuxNoHandle; }
  GpuResult ApplyParameterBlock(GpuxHandle) override { return kGpuErrInvalidCall; }
  GpuResult DeleteParameterBlock(GpuxHandle) override { return kGpuErrInvalidCall; }
  GpuResult SetStateManager(GpuEffectStateManager*) override { return kGpuErrInvalidCall; }
  GpuResult GetStateManager(GpuEffectStateManager**) override { return kGpuErrInvalidCall; }
  GpuResult OnLostDevice() override {
    if (onLostDevice) onLostDevice();
    return Log("lost");
  }
  GpuResult OnResetDevice() override { return Log("reset"); }

 private:
  GpuResult Log(std::string line) {
    if (log_) log_->push_back(name_ + ": " + line);
    return kGpuOk;
  }

  std::string name_;
  std::vector<std::string>* log_;
};
