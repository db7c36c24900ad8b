// The cube renderer: one depth surface of its size, and between BeginCube and End the targets
// the device had before.
#include "platform/gpu_envmap.h"

namespace {

class RenderToEnvMap final : public GpuxRenderToEnvMap {
 public:
  RenderToEnvMap(GpuDevice* device, uint32_t size, bool depthStencil, uint32_t depthFormat)
      : device_(device), size_(size), wantDepth_(depthStencil), depthFormat_(depthFormat) {
    device_->AddRef();
  }

  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  GpuResult GetDevice(GpuDevice** device) override {
    if (!device) return kGpuErrInvalidCall;
    device_->AddRef();
    *device = device_;
    return kGpuOk;
  }

  GpuResult MakeDepth() {
    if (!wantDepth_ || depth_) return kGpuOk;
    return device_->CreateDepthStencilSurface(size_, size_, depthFormat_, kGpuMultisampleNone, 0, 0, &depth_);
  }

  GpuResult BeginCube(GpuCubeTexture* cube) override {
    if (!cube || cube_ || (wantDepth_ && !depth_)) return kGpuErrInvalidCall;
    GpuSurfaceDesc desc{};
    GpuResult result = cube->GetLevelDesc(0, &desc);
    if (GpuFailed(result)) return result;
    if (desc.width != size_ || !(desc.usage & kGpuUsageRenderTarget)) return kGpuErrInvalidCall;
    result = device_->GetRenderTarget(0, &savedTarget_);
    if (GpuFailed(result)) return result;
    if (GpuFailed(device_->GetDepthStencilSurface(&savedDepth_))) savedDepth_ = nullptr;  // none set
    cube->AddRef();
    cube_ = cube;
    return kGpuOk;
  }

  GpuResult Face(uint32_t face, uint32_t mipFilter) override {
    (void)mipFilter;
    if (!cube_ || face > kGpuCubeFaceNegativeZ) return kGpuErrInvalidCall;
    GpuSurface* surface = nullptr;
    GpuResult result = cube_->GetCubeMapSurface(face, 0, &surface);
    if (GpuFailed(result)) return result;
    result = device_->SetRenderTarget(0, surface);
    surface->Release();
    if (GpuSucceeded(result) && depth_) result = device_->SetDepthStencilSurface(depth_);
    return result;
  }

  GpuResult End(uint32_t mipFilter) override {
    (void)mipFilter;
    if (!cube_) return kGpuErrInvalidCall;
    GpuResult result = device_->SetRenderTarget(0, savedTarget_);
    GpuResult depthResult = device_->SetDepthStencilSurface(savedDepth_);
    if (GpuSucceeded(result)) result = depthResult;
    savedTarget_->Release();
    if (savedDepth_) savedDepth_->Release();
    savedTarget_ = savedDepth_ = nullptr;
    GpuSurfaceDesc desc{};
    cube_->GetLevelDesc(0, &desc);
    if (desc.usage & kGpuUsageAutoGenMipmap) {
      cube_->GenerateMipSubLevels();
    } else {
      for (uint32_t face = 0; face < 6; ++face) {
        for (uint32_t level = 1; level < cube_->GetLevelCount(); ++level) {
          GpuSurface* top = nullptr;
          GpuSurface* below = nullptr;
          GpuResult r = cube_->GetCubeMapSurface(face, 0, &top);
          if (GpuSucceeded(r)) r = cube_->GetCubeMapSurface(face, level, &below);
          if (GpuSucceeded(r)) r = device_->StretchRect(top, nullptr, below, nullptr, kGpuTexFilterLinear);
          if (GpuFailed(r) && GpuSucceeded(result)) result = r;
          if (top) top->Release();
          if (below) below->Release();
        }
      }
    }
    cube_->Release();
    cube_ = nullptr;
    return result;
  }

  GpuResult OnLostDevice() override {
    if (cube_) End(0);
    if (depth_) depth_->Release();
    depth_ = nullptr;
    return kGpuOk;
  }

  GpuResult OnResetDevice() override { return MakeDepth(); }

 private:
  ~RenderToEnvMap() override {
    if (cube_) End(0);
    if (depth_) depth_->Release();
    device_->Release();
  }

  GpuDevice* device_;
  uint32_t size_;
  bool wantDepth_;
  uint32_t depthFormat_;
  uint32_t refs_ = 1;
  GpuSurface* depth_ = nullptr;
  GpuCubeTexture* cube_ = nullptr;
  GpuSurface* savedTarget_ = nullptr;
  GpuSurface* savedDepth_ = nullptr;
};

}  // namespace

GpuResult GpuxCreateRenderToEnvMap(GpuDevice* device, uint32_t size, uint32_t mipLevels, uint32_t format,
                                   int32_t depthStencil, uint32_t depthStencilFormat, GpuxRenderToEnvMap** renderer) {
  // The cube given to BeginCube decides the levels and the format drawn into.
  (void)mipLevels;
  (void)format;
  if (!renderer) return kGpuErrInvalidCall;
  *renderer = nullptr;
  if (!device || size == 0) return kGpuErrInvalidCall;
  auto* made = new RenderToEnvMap(device, size, depthStencil != 0, depthStencilFormat);
  GpuResult result = made->MakeDepth();
  if (GpuFailed(result)) {
    made->Release();
    return result;
  }
  *renderer = made;
  return kGpuOk;
}
