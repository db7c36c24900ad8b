// The two effect state managers. The base manager forwards every state call to the device. The
// pure manager, made for a pure device (which filters nothing itself), remembers what it set
// and drops a call that would set the same value again; it remembers a value only once the
// device took it, so a refused call never hides the next identical one. Called by the device
// creation (which makes the one manager), the effects and every unit that sets device state.
#include "render/state_manager.h"

#include <atomic>
#include <map>
#include <new>
#include <vector>

const StateManagerIid kIidUnknown = {0x4B560001u, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
const StateManagerIid kIidEffectStateManager = {0x4B560002u, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};

namespace {

constexpr uint32_t kCachedStages = 10;
constexpr uint32_t kCachedFloatRegisters = 256;
constexpr uint32_t kCachedBoolRegisters = 16;

bool SameIid(const StateManagerIid& a, const StateManagerIid& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}

class BaseStateManager : public RenderStateManager {
 public:
  explicit BaseStateManager(GpuDevice* device) : device_(device) { device_->AddRef(); }

  GpuResult QueryInterface(const StateManagerIid& iid, void** out) override {
    if (SameIid(iid, kIidUnknown) || SameIid(iid, kIidEffectStateManager)) {
      *out = this;
      AddRef();
      return kGpuOk;
    }
    *out = nullptr;
    return kGpuErrNoInterface;
  }
  uint32_t AddRef() override { return ++refCount_; }
  uint32_t Release() override {
    const uint32_t left = --refCount_;
    if (left == 0) delete this;
    return left;
  }

  GpuResult SetTransform(uint32_t state, const GpuMatrix* matrix) override {
    return device_->SetTransform(state, matrix);
  }
  GpuResult SetMaterial(const GpuMaterial* material) override { return device_->SetMaterial(material); }
  GpuResult SetLight(uint32_t index, const GpuLight* light) override { return device_->SetLight(index, light); }
  GpuResult LightEnable(uint32_t index, int32_t enable) override { return device_->LightEnable(index, enable); }
  GpuResult SetRenderState(uint32_t state, uint32_t value) override { return device_->SetRenderState(state, value); }
  GpuResult SetTexture(uint32_t stage, GpuBaseTexture* texture) override { return device_->SetTexture(stage, texture); }
  GpuResult SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override {
    return device_->SetTextureStageState(stage, type, value);
  }
  GpuResult SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value) override {
    return device_->SetSamplerState(sampler, type, value);
  }
  GpuResult SetNPatchMode(float segments) override { return device_->SetNPatchMode(segments); }
  GpuResult SetFVF(uint32_t fvf) override { return device_->SetFVF(fvf); }
  GpuResult SetVertexShader(GpuVertexShader* shader) override { return device_->SetVertexShader(shader); }
  GpuResult SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) override {
    return device_->SetVertexShaderConstantF(start, data, count);
  }
  GpuResult SetVertexShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) override {
    return device_->SetVertexShaderConstantI(start, data, count);
  }
  GpuResult SetVertexShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) override {
    return device_->SetVertexShaderConstantB(start, data, count);
  }
  GpuResult SetPixelShader(GpuPixelShader* shader) override { return device_->SetPixelShader(shader); }
  GpuResult SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) override {
    return device_->SetPixelShaderConstantF(start, data, count);
  }
  GpuResult SetPixelShaderConstantI(uint32_t start, const int32_t* data, uint32_t count) override {
    return device_->SetPixelShaderConstantI(start, data, count);
  }
  GpuResult SetPixelShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) override {
    return device_->SetPixelShaderConstantB(start, data, count);
  }

  void ResetStateCache() override {
    for (uint32_t stage = 0; stage < kCachedStages; ++stage) device_->SetTexture(stage, nullptr);
  }
  void NoOperation() override {}
  GpuResult SetVertexDeclaration(GpuVertexDeclaration* declaration) override {
    return device_->SetVertexDeclaration(declaration);
  }
  GpuResult SetStreamSource(uint32_t stream, GpuVertexBuffer* buffer, uint32_t offset, uint32_t stride) override {
    return device_->SetStreamSource(stream, buffer, offset, stride);
  }
  GpuResult SetIndices(GpuIndexBuffer* buffer) override { return device_->SetIndices(buffer); }

 protected:
  ~BaseStateManager() override { device_->Release(); }

  GpuDevice* device_;
  std::atomic<uint32_t> refCount_{1};
  GpuResult lastResult_ = kGpuOk;
};

class PureDeviceStateManager final : public BaseStateManager {
 public:
  explicit PureDeviceStateManager(GpuDevice* device)
      : BaseStateManager(device), textures_(kCachedStages), samplerStates_(kCachedStages), stageStates_(kCachedStages) {}

  GpuResult SetRenderState(uint32_t state, uint32_t value) override {
    return ThroughMap(renderStates_, state, value, [&] { return device_->SetRenderState(state, value); });
  }
  GpuResult SetTexture(uint32_t stage, GpuBaseTexture* texture) override {
    if (stage < kCachedStages && textures_[stage] == texture) return kGpuOk;
    if (!Made(device_->SetTexture(stage, texture))) return lastResult_;
    if (stage < kCachedStages) textures_[stage] = texture;
    return lastResult_;
  }
  GpuResult SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override {
    if (stage >= kCachedStages) return device_->SetTextureStageState(stage, type, value);
    return ThroughMap(stageStates_[stage], type, value,
                      [&] { return device_->SetTextureStageState(stage, type, value); });
  }
  GpuResult SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value) override {
    if (sampler >= kCachedStages) return device_->SetSamplerState(sampler, type, value);
    return ThroughMap(samplerStates_[sampler], type, value,
                      [&] { return device_->SetSamplerState(sampler, type, value); });
  }
  GpuResult SetVertexShader(GpuVertexShader* shader) override {
    return ThroughPointer(currentVertexShader_, shader, [&] { return device_->SetVertexShader(shader); });
  }
  GpuResult SetPixelShader(GpuPixelShader* shader) override {
    return ThroughPointer(currentPixelShader_, shader, [&] { return device_->SetPixelShader(shader); });
  }
  GpuResult SetVertexShaderConstantF(uint32_t start, const float* data, uint32_t count) override {
    return ThroughFloats(vsFloat_, start, data, count,
                         [&] { return device_->SetVertexShaderConstantF(start, data, count); });
  }
  GpuResult SetPixelShaderConstantF(uint32_t start, const float* data, uint32_t count) override {
    return ThroughFloats(psFloat_, start, data, count,
                         [&] { return device_->SetPixelShaderConstantF(start, data, count); });
  }
  GpuResult SetVertexShaderConstantB(uint32_t start, const int32_t* data, uint32_t count) override {
    if (count == 1 && start < kCachedBoolRegisters && vsBool_[start] == data[0]) return kGpuOk;
    if (!Made(device_->SetVertexShaderConstantB(start, data, count))) return lastResult_;
    // Every register the call set is remembered, so none keeps a value the device replaced.
    for (uint32_t i = 0; i < count && start + i < kCachedBoolRegisters; ++i) vsBool_[start + i] = data[i];
    return lastResult_;
  }
  GpuResult SetVertexDeclaration(GpuVertexDeclaration* declaration) override {
    return ThroughPointer(currentDeclaration_, declaration,
                          [&] { return device_->SetVertexDeclaration(declaration); });
  }
  GpuResult SetIndices(GpuIndexBuffer* buffer) override {
    return ThroughPointer(currentIndices_, buffer, [&] { return device_->SetIndices(buffer); });
  }
  GpuResult SetStreamSource(uint32_t stream, GpuVertexBuffer* buffer, uint32_t offset, uint32_t stride) override {
    const Stream wanted{stream, buffer, offset, stride, true};
    if (stream_.set && stream_.number == stream && stream_.buffer == buffer && stream_.offset == offset &&
        stream_.stride == stride)
      return kGpuOk;
    if (Made(device_->SetStreamSource(stream, buffer, offset, stride))) stream_ = wanted;
    return lastResult_;
  }

  void ResetStateCache() override {
    renderStates_.clear();
    for (auto& map : samplerStates_) map.clear();
    for (auto& map : stageStates_) map.clear();
    for (uint32_t stage = 0; stage < kCachedStages; ++stage) {
      textures_[stage] = nullptr;
      device_->SetTexture(stage, nullptr);
    }
    currentDeclaration_ = nullptr;
    currentIndices_ = nullptr;
    currentVertexShader_ = nullptr;
    currentPixelShader_ = nullptr;
    stream_ = Stream{};
    for (int32_t& b : vsBool_) b = 0;
    for (float& f : vsFloat_) f = 0.0f;
    for (float& f : psFloat_) f = 0.0f;
  }

 private:
  struct Stream {
    uint32_t number = 0;
    GpuVertexBuffer* buffer = nullptr;
    uint32_t offset = 0;
    uint32_t stride = 0;
    bool set = false;
  };

  bool Made(GpuResult result) {
    lastResult_ = result;
    return GpuSucceeded(result);
  }

  template <typename Call>
  GpuResult ThroughMap(std::map<uint32_t, uint32_t>& map, uint32_t key, uint32_t value, Call call) {
    const auto found = map.find(key);
    if (found != map.end() && found->second == value) return kGpuOk;
    if (Made(call())) map[key] = value;
    return lastResult_;
  }

  template <typename T, typename Call>
  GpuResult ThroughPointer(T*& current, T* wanted, Call call) {
    if (current == wanted) return kGpuOk;
    if (Made(call())) current = wanted;
    return lastResult_;
  }

  // A range is filtered only when it lies wholly in the cache and every component compares
  // equal (a NaN never does); registers past the cache are sent and not remembered.
  template <typename Call>
  GpuResult ThroughFloats(float* cache, uint32_t start, const float* data, uint32_t count, Call call) {
    const bool cached = start < kCachedFloatRegisters;
    const uint32_t end = cached ? (count < kCachedFloatRegisters - start ? start + count : kCachedFloatRegisters) : start;
    if (cached && count > 0 && end - start == count) {
      bool same = true;
      for (uint32_t i = count * 4; i-- > 0 && same;) same = cache[start * 4 + i] == data[i];
      if (same) return kGpuOk;
    }
    if (!Made(call())) return lastResult_;
    for (uint32_t i = (end - start) * 4; i-- > 0;) cache[start * 4 + i] = data[i];
    return lastResult_;
  }

  std::map<uint32_t, uint32_t> renderStates_;
  std::vector<GpuBaseTexture*> textures_;
  std::vector<std::map<uint32_t, uint32_t>> samplerStates_;
  std::vector<std::map<uint32_t, uint32_t>> stageStates_;
  int32_t vsBool_[kCachedBoolRegisters] = {};
  float psFloat_[kCachedFloatRegisters * 4] = {};
  float vsFloat_[kCachedFloatRegisters * 4] = {};
  GpuVertexDeclaration* currentDeclaration_ = nullptr;
  GpuIndexBuffer* currentIndices_ = nullptr;
  GpuVertexShader* currentVertexShader_ = nullptr;
  GpuPixelShader* currentPixelShader_ = nullptr;
  Stream stream_;
};

}  // namespace

RenderStateManager* CreateStateManager(GpuDevice* device) {
  if (!device) return nullptr;
  GpuDeviceCreationParameters parameters{};
  if (GpuFailed(device->GetCreationParameters(&parameters))) return nullptr;
  if (parameters.behaviorFlags & kGpuCreatePureDevice) return new (std::nothrow) PureDeviceStateManager(device);
  return new (std::nothrow) BaseStateManager(device);
}
