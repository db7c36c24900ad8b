// The resource objects of the GPU device layer: reference counts, descriptions, locks of
// surfaces, texture levels and buffers over their bytes, declarations. Both backends use them;
// a backend only learns through the device core's hooks that bytes changed or are wanted. A
// resource whose device is gone answers kGpuErrInvalidCall and never touches the device.
#include <cstring>

#include "platform/gpu_internal.h"

namespace gpu {

namespace {

bool RectInside(const GpuRect& rect, uint32_t width, uint32_t height) {
  return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
         static_cast<uint32_t>(rect.right) <= width && static_cast<uint32_t>(rect.bottom) <= height;
}

}  // namespace

uint32_t ObjectBase::ObjectAddRef() { return ++refCount; }

uint32_t ObjectBase::ObjectRelease() {
  if (refCount == 0) return 0;
  uint32_t left = --refCount;
  if (left == 0) {
    if (device) device->ObjectDestroyed(this);
    delete this;
  }
  return left;
}

ObjectBase* AsObject(GpuUnknown* object) { return object ? dynamic_cast<ObjectBase*>(object) : nullptr; }

const char* ObjectName(GpuUnknown* object) {
  ObjectBase* base = AsObject(object);
  return base ? base->name.c_str() : "null";
}

// ---- Surfaces ----------------------------------------------------------------------------------

ObjectBase* SurfaceImpl::Owner() { return container ? static_cast<ObjectBase*>(container) : this; }

GpuResult SurfaceImpl::GetDevice(GpuDevice** out) {
  if (!out) return kGpuErrInvalidCall;
  *out = device;
  if (!device) return kGpuErrInvalidCall;
  device->AddRef();
  return kGpuOk;
}

GpuResult SurfaceImpl::GetDesc(GpuSurfaceDesc* out) {
  if (!out) return kGpuErrInvalidCall;
  *out = desc;
  return kGpuOk;
}

GpuResult SurfaceImpl::LockRect(GpuLockedRect* out, const GpuRect* rect, uint32_t flags) {
  if (!out) return kGpuErrInvalidCall;
  out->bits = nullptr;
  out->pitch = 0;
  if (!device) return kGpuErrInvalidCall;
  device->Log("LockRect(%s, %d, %d, %d, %d, 0x%x)", name.c_str(), rect ? rect->left : 0, rect ? rect->top : 0,
              rect ? rect->right : static_cast<int32_t>(desc.width),
              rect ? rect->bottom : static_cast<int32_t>(desc.height), flags);
  GpuResult injected;
  if (device->Inject("LockRect", &injected)) return injected;
  if (locked || !lockable || bytes.empty()) return kGpuErrInvalidCall;
  GpuRect whole = {0, 0, static_cast<int32_t>(desc.width), static_cast<int32_t>(desc.height)};
  GpuRect r = rect ? *rect : whole;
  if (!RectInside(r, desc.width, desc.height)) return kGpuErrInvalidCall;
  size_t offset;
  if (GpuFormatIsBlockCompressed(desc.format)) {
    if (r.left % 4 != 0 || r.top % 4 != 0) return kGpuErrInvalidCall;
    offset = static_cast<size_t>(r.top / 4) * pitch + static_cast<size_t>(r.left / 4) * GpuFormatRowBytes(desc.format, 4);
  } else {
    offset = static_cast<size_t>(r.top) * pitch + static_cast<size_t>(r.left) * GpuFormatBytesPerPixel(desc.format);
  }
  if (!(flags & kGpuLockDiscard)) device->SyncToCpu(this);
  locked = true;
  lockFlags = flags;
  out->bits = bytes.data() + offset;
  out->pitch = static_cast<int32_t>(pitch);
  return kGpuOk;
}

GpuResult SurfaceImpl::UnlockRect() {
  if (!device) return kGpuErrInvalidCall;
  device->Log("UnlockRect(%s)", name.c_str());
  if (!locked) return kGpuErrInvalidCall;
  locked = false;
  if (!(lockFlags & kGpuLockReadOnly)) device->SurfaceWritten(this);
  return kGpuOk;
}

GpuResult SurfaceImpl::GetContainer(GpuBaseTexture** out) {
  if (!out) return kGpuErrInvalidCall;
  *out = nullptr;
  if (!container) return kGpuErrNoInterface;
  container->AddRef();
  *out = container->AsBase();
  return kGpuOk;
}

// ---- Textures ----------------------------------------------------------------------------------

TextureImpl::~TextureImpl() {
  for (SurfaceImpl* surface : surfaces) {
    surface->container = nullptr;  // the surface's own count is not used for levels
    delete surface;
  }
}

GpuResult TextureImpl::GetDevice(GpuDevice** out) {
  if (!out) return kGpuErrInvalidCall;
  *out = device;
  if (!device) return kGpuErrInvalidCall;
  device->AddRef();
  return kGpuOk;
}

// A texture whose levels are made by the device shows only its top level.
uint32_t TextureImpl::GetLevelCount() { return (usage & kGpuUsageAutoGenMipmap) ? 1 : levels; }

GpuResult TextureImpl::SetAutoGenFilterType(uint32_t filter) {
  if (device) device->Log("SetAutoGenFilterType(%s, %u)", name.c_str(), filter);
  if (filter != kGpuTexFilterPoint && filter != kGpuTexFilterLinear) return kGpuErrInvalidCall;
  autoGenFilter = filter;
  return kGpuOk;
}

void TextureImpl::GenerateMipSubLevels() {
  if (device && (usage & kGpuUsageAutoGenMipmap)) device->MipsWanted(this);
}

SurfaceImpl* TextureImpl::Level(uint32_t faceIndex, uint32_t level) {
  uint32_t faces = cube ? 6 : 1;
  if (faceIndex >= faces || level >= GetLevelCount()) return nullptr;
  return surfaces[faceIndex * levels + level];
}

GpuResult TextureImpl::GetLevelDesc(uint32_t level, GpuSurfaceDesc* out) {
  SurfaceImpl* surface = Level(0, level);
  if (!surface || !out) return kGpuErrInvalidCall;
  *out = surface->desc;
  return kGpuOk;
}

GpuResult TextureImpl::GetSurfaceLevel(uint32_t level, GpuSurface** out) { return GetCubeMapSurface(0, level, out); }

GpuResult TextureImpl::GetCubeMapSurface(uint32_t faceIndex, uint32_t level, GpuSurface** out) {
  if (!out) return kGpuErrInvalidCall;
  *out = nullptr;
  SurfaceImpl* surface = Level(faceIndex, level);
  if (!surface) return kGpuErrInvalidCall;
  AddRef();
  *out = surface;
  return kGpuOk;
}

GpuResult TextureImpl::LockRect(uint32_t level, GpuLockedRect* out, const GpuRect* rect, uint32_t flags) {
  return LockRect(0, level, out, rect, flags);
}

GpuResult TextureImpl::UnlockRect(uint32_t level) { return UnlockRect(0, level); }

GpuResult TextureImpl::LockRect(uint32_t faceIndex, uint32_t level, GpuLockedRect* out, const GpuRect* rect,
                                uint32_t flags) {
  SurfaceImpl* surface = Level(faceIndex, level);
  if (!surface) return kGpuErrInvalidCall;
  return surface->LockRect(out, rect, flags);
}

GpuResult TextureImpl::UnlockRect(uint32_t faceIndex, uint32_t level) {
  SurfaceImpl* surface = Level(faceIndex, level);
  if (!surface) return kGpuErrInvalidCall;
  return surface->UnlockRect();
}

// ---- Buffers -----------------------------------------------------------------------------------

GpuResult BufferImpl::GetDevice(GpuDevice** out) {
  if (!out) return kGpuErrInvalidCall;
  *out = device;
  if (!device) return kGpuErrInvalidCall;
  device->AddRef();
  return kGpuOk;
}

GpuResult BufferImpl::Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) {
  if (!data) return kGpuErrInvalidCall;
  *data = nullptr;
  if (!device) return kGpuErrInvalidCall;
  device->Log("Lock(%s, %u, %u, 0x%x)", name.c_str(), offset, size, flags);
  GpuResult injected;
  if (device->Inject("Lock", &injected)) return injected;
  if (locked || offset > desc.size) return kGpuErrInvalidCall;
  if (size == 0) size = desc.size - offset;
  if (size > desc.size - offset) return kGpuErrInvalidCall;
  locked = true;
  lockOffset = offset;
  lockSize = size;
  lockFlags = flags;
  *data = bytes.data() + offset;
  return kGpuOk;
}

GpuResult BufferImpl::Unlock() {
  if (!device) return kGpuErrInvalidCall;
  device->Log("Unlock(%s)", name.c_str());
  if (!locked) return kGpuErrInvalidCall;
  locked = false;
  if (!(lockFlags & kGpuLockReadOnly)) device->BufferWritten(this, lockOffset, lockSize, lockFlags & kGpuLockDiscard);
  return kGpuOk;
}

GpuResult BufferImpl::GetDesc(GpuBufferDesc* out) {
  if (!out) return kGpuErrInvalidCall;
  *out = desc;
  return kGpuOk;
}

// ---- Declarations ------------------------------------------------------------------------------

GpuResult DeclarationImpl::GetDeclaration(GpuVertexElement* out, uint32_t* count) {
  if (!count) return kGpuErrInvalidCall;
  *count = static_cast<uint32_t>(elements.size() + 1);
  if (out) {
    if (!elements.empty()) std::memcpy(out, elements.data(), elements.size() * sizeof(GpuVertexElement));
    out[elements.size()] = kGpuDeclEnd;
  }
  return kGpuOk;
}

uint32_t DeclTypeSize(uint8_t type) {
  switch (type) {
    case kGpuDeclTypeFloat1: return 4;
    case kGpuDeclTypeFloat2: return 8;
    case kGpuDeclTypeFloat3: return 12;
    case kGpuDeclTypeFloat4: return 16;
    case kGpuDeclTypeColor:
    case kGpuDeclTypeUByte4:
    case kGpuDeclTypeUByte4N:
    case kGpuDeclTypeShort2:
    case kGpuDeclTypeShort2N:
    case kGpuDeclTypeUShort2N:
    case kGpuDeclTypeUDec3:
    case kGpuDeclTypeDec3N:
    case kGpuDeclTypeFloat16x2: return 4;
    case kGpuDeclTypeShort4:
    case kGpuDeclTypeShort4N:
    case kGpuDeclTypeUShort4N:
    case kGpuDeclTypeFloat16x4: return 8;
    default: return 0;
  }
}

bool DeclarationFromFvf(uint32_t fvf, std::vector<GpuVertexElement>* elements, uint32_t* stride) {
  elements->clear();
  uint16_t offset = 0;
  auto add = [&](uint8_t type, uint8_t usage, uint8_t index) {
    elements->push_back({0, offset, type, kGpuDeclMethodDefault, usage, index});
    offset = static_cast<uint16_t>(offset + DeclTypeSize(type));
  };
  switch (fvf & kGpuFvfPositionMask) {
    case kGpuFvfXyz: add(kGpuDeclTypeFloat3, kGpuDeclUsagePosition, 0); break;
    case kGpuFvfXyzRhw: add(kGpuDeclTypeFloat4, kGpuDeclUsagePositionT, 0); break;
    default: return false;
  }
  if (fvf & kGpuFvfNormal) add(kGpuDeclTypeFloat3, kGpuDeclUsageNormal, 0);
  if (fvf & kGpuFvfPSize) add(kGpuDeclTypeFloat1, kGpuDeclUsagePSize, 0);
  if (fvf & kGpuFvfDiffuse) add(kGpuDeclTypeColor, kGpuDeclUsageColor, 0);
  if (fvf & kGpuFvfSpecular) add(kGpuDeclTypeColor, kGpuDeclUsageColor, 1);
  uint32_t texCount = (fvf & kGpuFvfTexCountMask) >> kGpuFvfTexCountShift;
  if (texCount > 8) return false;
  for (uint32_t i = 0; i < texCount; ++i) {
    // Each set's size code sits in two bits from bit 16; 0 means two coordinates.
    static const uint8_t kTypes[4] = {kGpuDeclTypeFloat2, kGpuDeclTypeFloat3, kGpuDeclTypeFloat4, kGpuDeclTypeFloat1};
    add(kTypes[(fvf >> (16 + 2 * i)) & 3], kGpuDeclUsageTexCoord, static_cast<uint8_t>(i));
  }
  *stride = offset;
  return true;
}

}  // namespace gpu
