// The OpenGL 3.3 core backend of the GPU device layer, on an SDL2 window (SDL's offscreen
// driver on Mesa's software rasteriser when headless). Resources live in GL objects beside the
// bytes the core keeps: textures and buffers are uploaded at unlock, render targets read back
// at lock. Every draw keeps the device conventions of gpu.h: rows are stored top row first, so a
// vertex program's clip y is negated and pixel centres are moved by half a pixel; clip depth
// 0..w is mapped to GL's -w..w; clockwise triangles are front faces; the alpha test runs in a
// prelude added to every fragment program. The back buffer is an RGBA8 texture whose alpha
// survives (the glow mask); Present draws it to the window through the gamma ramp, so read-backs
// never see the ramp. Only this file includes GL.
#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "platform/gpu_internal.h"
#include "platform/window_sdl.h"

namespace gpu {

namespace {

struct GlFormat {
  GLenum internal;
  GLenum format;
  GLenum type;
  GLint swizzle[4];
  bool compressed;
};

constexpr GLint kR = GL_RED, kG = GL_GREEN, kB = GL_BLUE, kA = GL_ALPHA, k1 = GL_ONE, k0 = GL_ZERO;

// How each layout of a lockable format uploads into GL unchanged: the GL format and type name
// the same bytes the format's memory layout holds.
bool FindGlFormat(uint32_t format, GlFormat* out) {
  switch (format) {
    case kGpuFmtA8R8G8B8: *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {kR, kG, kB, kA}, false}; return true;
    case kGpuFmtX8R8G8B8: *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {kR, kG, kB, k1}, false}; return true;
    case kGpuFmtA8B8G8R8: *out = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {kR, kG, kB, kA}, false}; return true;
    case kGpuFmtX8B8G8R8: *out = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {kR, kG, kB, k1}, false}; return true;
    case kGpuFmtR8G8B8: *out = {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, {kR, kG, kB, k1}, false}; return true;
    case kGpuFmtR5G6B5: *out = {GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {kR, kG, kB, k1}, false}; return true;
    case kGpuFmtX1R5G5B5:
      *out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {kR, kG, kB, k1}, false};
      return true;
    case kGpuFmtA1R5G5B5:
      *out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {kR, kG, kB, kA}, false};
      return true;
    case kGpuFmtA4R4G4B4:
      *out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {kR, kG, kB, kA}, false};
      return true;
    case kGpuFmtX4R4G4B4:
      *out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {kR, kG, kB, k1}, false};
      return true;
    case kGpuFmtL8: *out = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {kR, kR, kR, k1}, false}; return true;
    case kGpuFmtA8: *out = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {k0, k0, k0, kR}, false}; return true;
    case kGpuFmtA8L8: *out = {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {kR, kR, kR, kG}, false}; return true;
    case kGpuFmtL16: *out = {GL_R16, GL_RED, GL_UNSIGNED_SHORT, {kR, kR, kR, k1}, false}; return true;
    case kGpuFmtG16R16: *out = {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {kR, kG, k1, k1}, false}; return true;
    case kGpuFmtA2B10G10R10:
      *out = {GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, {kR, kG, kB, kA}, false};
      return true;
    case kGpuFmtA2R10G10B10:
      *out = {GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, {kR, kG, kB, kA}, false};
      return true;
    case kGpuFmtA16B16G16R16: *out = {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {kR, kG, kB, kA}, false}; return true;
    case kGpuFmtDxt1: *out = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, {kR, kG, kB, kA}, true}; return true;
    case kGpuFmtDxt2:
    case kGpuFmtDxt3: *out = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {kR, kG, kB, kA}, true}; return true;
    case kGpuFmtDxt4:
    case kGpuFmtDxt5: *out = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {kR, kG, kB, kA}, true}; return true;
    default: return false;
  }
}

struct GlObject {
  GLuint texture = 0;
  GLenum target = 0;  // GL_TEXTURE_2D or GL_TEXTURE_CUBE_MAP
  GLuint renderbuffer = 0;
  GLuint buffer = 0;
  GLuint shader = 0;
  bool mipsDirty = false;
};

GlObject* Gl(ObjectBase* object) { return object ? static_cast<GlObject*>(object->backend) : nullptr; }

struct Program {
  GLuint id = 0;
  GLint pixelFix = -1, viewport = -1, alphaFunc = -1, alphaRef = -1;
  GLint vsConst = -1, psConst = -1, vsConstI = -1, psConstI = -1, vsConstB = -1, psConstB = -1;
  GLint vsConstSize = 0, psConstSize = 0, vsConstISize = 0, psConstISize = 0, vsConstBSize = 0, psConstBSize = 0;
  GLint hasTexture = -1, colorStage = -1, alphaStage = -1, textureFactor = -1;
};

const char kVertexPrelude[] = R"(#version 330 core
#define GPU_ATTR_POSITION 0
#define GPU_ATTR_NORMAL 1
#define GPU_ATTR_COLOR0 2
#define GPU_ATTR_COLOR1 3
#define GPU_ATTR_TEXCOORD0 4
#define GPU_ATTR_TEXCOORD1 5
#define GPU_ATTR_TEXCOORD2 6
#define GPU_ATTR_TEXCOORD3 7
#define GPU_ATTR_TEXCOORD4 8
#define GPU_ATTR_TEXCOORD5 9
#define GPU_ATTR_TEXCOORD6 10
#define GPU_ATTR_TEXCOORD7 11
#define GPU_ATTR_TANGENT 12
#define GPU_ATTR_BINORMAL 13
#define GPU_ATTR_BLENDWEIGHT 14
#define GPU_ATTR_BLENDINDICES 15
uniform vec2 gpu_PixelFix;
#define main gpu_UserMain
#line 1
)";

// Clip depth 0..w becomes -w..w; y is negated because rows are stored top row first; the half
// pixel moves pixel centres onto whole coordinates.
const char kVertexEpilogue[] = R"(
#undef main
void main() {
  gpu_UserMain();
  vec4 p = gl_Position;
  gl_Position = vec4(p.x + p.w * gpu_PixelFix.x, -p.y + p.w * gpu_PixelFix.y, 2.0 * p.z - p.w, p.w);
}
)";

const char kFragmentPrelude[] = R"(#version 330 core
layout(location = 0) out vec4 gpu_FragColor;
uniform int gpu_AlphaFunc;
uniform int gpu_AlphaRef;
bool gpu_AlphaPasses(float alpha) {
  int a = int(clamp(alpha, 0.0, 1.0) * 255.0 + 0.5);
  switch (gpu_AlphaFunc) {
    case 1: return false;
    case 2: return a < gpu_AlphaRef;
    case 3: return a == gpu_AlphaRef;
    case 4: return a <= gpu_AlphaRef;
    case 5: return a > gpu_AlphaRef;
    case 6: return a != gpu_AlphaRef;
    case 7: return a >= gpu_AlphaRef;
    default: return true;
  }
}
#define main gpu_UserMain
#line 1
)";

const char kFragmentEpilogue[] = R"(
#undef main
void main() {
  gpu_UserMain();
  if (!gpu_AlphaPasses(gpu_FragColor.a)) discard;
}
)";

// Pre-transformed vertices: screen position in pixels, depth 0..1 and 1/w.
const char kTransformedVertex[] = R"(#version 330 core
layout(location = 0) in vec4 inPosition;
layout(location = 2) in vec4 inDiffuse;
layout(location = 4) in vec2 inTex;
uniform vec4 gpu_Viewport;
out vec4 vDiffuse;
out vec2 vTex;
void main() {
  float w = inPosition.w != 0.0 ? 1.0 / inPosition.w : 1.0;
  float x = 2.0 * (inPosition.x + 0.5 - gpu_Viewport.x) / gpu_Viewport.z - 1.0;
  float y = 2.0 * (inPosition.y + 0.5 - gpu_Viewport.y) / gpu_Viewport.w - 1.0;
  gl_Position = vec4(x, y, 2.0 * inPosition.z - 1.0, 1.0) * w;
  vDiffuse = inDiffuse;
  vTex = inTex;
}
)";

// The first texture stage over DIFFUSE, TEXTURE, TFACTOR and CURRENT (the diffuse colour).
const char kStageFragment[] = R"(
in vec4 vDiffuse;
in vec2 vTex;
uniform sampler2D gpu_Sampler0;
uniform int gpu_HasTexture;
uniform ivec3 gpu_ColorStage;
uniform ivec3 gpu_AlphaStage;
uniform vec4 gpu_TextureFactor;
vec4 StageArg(int arg, vec4 tex) {
  int select = arg & 15;
  vec4 v = select == 2 ? tex : (select == 3 ? gpu_TextureFactor : vDiffuse);
  if ((arg & 16) != 0) v = vec4(1.0) - v;
  if ((arg & 32) != 0) v = vec4(v.a);
  return v;
}
vec4 StageOp(int op, vec4 a, vec4 b) {
  if (op == 2) return a;
  if (op == 3) return b;
  if (op == 4) return a * b;
  if (op == 5) return clamp(a * b * 2.0, 0.0, 1.0);
  if (op == 6) return clamp(a * b * 4.0, 0.0, 1.0);
  if (op == 7) return clamp(a + b, 0.0, 1.0);
  return vDiffuse;
}
void main() {
  vec4 tex = gpu_HasTexture != 0 ? texture(gpu_Sampler0, vTex) : vec4(1.0);
  if (gpu_ColorStage.x == 1) {
    gpu_FragColor = vDiffuse;
    return;
  }
  vec3 color = StageOp(gpu_ColorStage.x, StageArg(gpu_ColorStage.y, tex), StageArg(gpu_ColorStage.z, tex)).rgb;
  float alpha = gpu_AlphaStage.x == 1 ? vDiffuse.a
                                      : StageOp(gpu_AlphaStage.x, StageArg(gpu_AlphaStage.y, tex), StageArg(gpu_AlphaStage.z, tex)).a;
  gpu_FragColor = vec4(color, alpha);
}
)";

const char kPresentVertex[] = R"(#version 330 core
out vec2 vUv;
void main() {
  vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
  vUv = vec2(corner.x, 1.0 - corner.y);
  gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

// The back buffer's top row is its first stored row, so the window (bottom row first) reads it
// flipped; each channel then goes through the gamma ramp.
const char kPresentFragment[] = R"(#version 330 core
in vec2 vUv;
uniform sampler2D gpu_Frame;
uniform sampler2D gpu_Ramp;
out vec4 outColor;
void main() {
  vec3 c = texture(gpu_Frame, vUv).rgb;
  vec3 idx = (c * 255.0 + 0.5) / 256.0;
  outColor = vec4(texture(gpu_Ramp, vec2(idx.r, 0.5)).r, texture(gpu_Ramp, vec2(idx.g, 0.5)).g,
                  texture(gpu_Ramp, vec2(idx.b, 0.5)).b, 1.0);
}
)";

GLenum Primitive(uint32_t type) {
  switch (type) {
    case kGpuPtPointList: return GL_POINTS;
    case kGpuPtLineList: return GL_LINES;
    case kGpuPtLineStrip: return GL_LINE_STRIP;
    case kGpuPtTriangleList: return GL_TRIANGLES;
    case kGpuPtTriangleStrip: return GL_TRIANGLE_STRIP;
    default: return GL_TRIANGLE_FAN;
  }
}

GLenum BlendFactor(uint32_t blend, bool source) {
  switch (blend) {
    case kGpuBlendZero: return GL_ZERO;
    case kGpuBlendOne: return GL_ONE;
    case kGpuBlendSrcColor: return GL_SRC_COLOR;
    case kGpuBlendInvSrcColor: return GL_ONE_MINUS_SRC_COLOR;
    case kGpuBlendSrcAlpha: return GL_SRC_ALPHA;
    case kGpuBlendInvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    case kGpuBlendDestAlpha: return GL_DST_ALPHA;
    case kGpuBlendInvDestAlpha: return GL_ONE_MINUS_DST_ALPHA;
    case kGpuBlendDestColor: return GL_DST_COLOR;
    case kGpuBlendInvDestColor: return GL_ONE_MINUS_DST_COLOR;
    case kGpuBlendSrcAlphaSat: return GL_SRC_ALPHA_SATURATE;
    case kGpuBlendBothSrcAlpha: return source ? GL_SRC_ALPHA : GL_ONE_MINUS_SRC_ALPHA;
    case kGpuBlendBothInvSrcAlpha: return source ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    case kGpuBlendBlendFactor: return GL_CONSTANT_COLOR;
    case kGpuBlendInvBlendFactor: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return source ? GL_ONE : GL_ZERO;
  }
}

GLenum BlendEquation(uint32_t op) {
  switch (op) {
    case kGpuBlendOpSubtract: return GL_FUNC_SUBTRACT;
    case kGpuBlendOpRevSubtract: return GL_FUNC_REVERSE_SUBTRACT;
    case kGpuBlendOpMin: return GL_MIN;
    case kGpuBlendOpMax: return GL_MAX;
    default: return GL_FUNC_ADD;
  }
}

GLenum Compare(uint32_t cmp) {
  switch (cmp) {
    case kGpuCmpNever: return GL_NEVER;
    case kGpuCmpLess: return GL_LESS;
    case kGpuCmpEqual: return GL_EQUAL;
    case kGpuCmpLessEqual: return GL_LEQUAL;
    case kGpuCmpGreater: return GL_GREATER;
    case kGpuCmpNotEqual: return GL_NOTEQUAL;
    case kGpuCmpGreaterEqual: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum StencilOp(uint32_t op) {
  switch (op) {
    case kGpuStencilOpZero: return GL_ZERO;
    case kGpuStencilOpReplace: return GL_REPLACE;
    case kGpuStencilOpIncrSat: return GL_INCR;
    case kGpuStencilOpDecrSat: return GL_DECR;
    case kGpuStencilOpInvert: return GL_INVERT;
    case kGpuStencilOpIncr: return GL_INCR_WRAP;
    case kGpuStencilOpDecr: return GL_DECR_WRAP;
    default: return GL_KEEP;
  }
}

GLint Address(uint32_t mode) {
  switch (mode) {
    case kGpuTAddressMirror: return GL_MIRRORED_REPEAT;
    case kGpuTAddressClamp: return GL_CLAMP_TO_EDGE;
    case kGpuTAddressBorder: return GL_CLAMP_TO_BORDER;
    case kGpuTAddressMirrorOnce: return GL_MIRRORED_REPEAT;
    default: return GL_REPEAT;
  }
}

// Vertex element type: component count, GL type, normalised.
bool ElementFormat(uint8_t type, GLint* size, GLenum* glType, GLboolean* normalized) {
  *normalized = GL_FALSE;
  switch (type) {
    case kGpuDeclTypeFloat1: *size = 1; *glType = GL_FLOAT; return true;
    case kGpuDeclTypeFloat2: *size = 2; *glType = GL_FLOAT; return true;
    case kGpuDeclTypeFloat3: *size = 3; *glType = GL_FLOAT; return true;
    case kGpuDeclTypeFloat4: *size = 4; *glType = GL_FLOAT; return true;
    case kGpuDeclTypeColor: *size = GL_BGRA; *glType = GL_UNSIGNED_BYTE; *normalized = GL_TRUE; return true;
    case kGpuDeclTypeUByte4: *size = 4; *glType = GL_UNSIGNED_BYTE; return true;
    case kGpuDeclTypeUByte4N: *size = 4; *glType = GL_UNSIGNED_BYTE; *normalized = GL_TRUE; return true;
    case kGpuDeclTypeShort2: *size = 2; *glType = GL_SHORT; return true;
    case kGpuDeclTypeShort4: *size = 4; *glType = GL_SHORT; return true;
    case kGpuDeclTypeShort2N: *size = 2; *glType = GL_SHORT; *normalized = GL_TRUE; return true;
    case kGpuDeclTypeShort4N: *size = 4; *glType = GL_SHORT; *normalized = GL_TRUE; return true;
    case kGpuDeclTypeUShort2N: *size = 2; *glType = GL_UNSIGNED_SHORT; *normalized = GL_TRUE; return true;
    case kGpuDeclTypeUShort4N: *size = 4; *glType = GL_UNSIGNED_SHORT; *normalized = GL_TRUE; return true;
    // Three 10-bit values; the fourth component (the two spare bits) is for programs to ignore.
    case kGpuDeclTypeUDec3: *size = 4; *glType = GL_UNSIGNED_INT_2_10_10_10_REV; return true;
    case kGpuDeclTypeDec3N: *size = 4; *glType = GL_INT_2_10_10_10_REV; *normalized = GL_TRUE; return true;
    case kGpuDeclTypeFloat16x2: *size = 2; *glType = GL_HALF_FLOAT; return true;
    case kGpuDeclTypeFloat16x4: *size = 4; *glType = GL_HALF_FLOAT; return true;
    default: return false;
  }
}

int32_t AttributeLocation(const GpuVertexElement& e) {
  switch (e.usage) {
    case kGpuDeclUsagePosition:
    case kGpuDeclUsagePositionT: return e.usageIndex == 0 ? static_cast<int32_t>(kGpuAttrPosition) : -1;
    case kGpuDeclUsageNormal: return e.usageIndex == 0 ? static_cast<int32_t>(kGpuAttrNormal) : -1;
    case kGpuDeclUsageColor: return e.usageIndex < 2 ? static_cast<int32_t>(kGpuAttrColor0 + e.usageIndex) : -1;
    case kGpuDeclUsageTexCoord: return e.usageIndex < 8 ? static_cast<int32_t>(kGpuAttrTexCoord0 + e.usageIndex) : -1;
    case kGpuDeclUsageTangent: return e.usageIndex == 0 ? static_cast<int32_t>(kGpuAttrTangent) : -1;
    case kGpuDeclUsageBinormal: return e.usageIndex == 0 ? static_cast<int32_t>(kGpuAttrBinormal) : -1;
    case kGpuDeclUsageBlendWeight: return e.usageIndex == 0 ? static_cast<int32_t>(kGpuAttrBlendWeight) : -1;
    case kGpuDeclUsageBlendIndices: return e.usageIndex == 0 ? static_cast<int32_t>(kGpuAttrBlendIndices) : -1;
    default: return -1;
  }
}

bool CompileStage(GLenum stage, const std::string& text, GLuint* out, std::string* log) {
  GLuint shader = glCreateShader(stage);
  const char* source = text.c_str();
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    if (log) {
      char buffer[4096] = {};
      glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
      *log = buffer;
    }
    glDeleteShader(shader);
    return false;
  }
  *out = shader;
  return true;
}

void SetContextAttributes() {
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
}

class GlDevice final : public DeviceCore {
 public:
  GlDevice(GpuSystem* system, const GpuAdapterModel& adapter, const GpuDeviceCreationParameters& creation)
      : DeviceCore(system, adapter, creation, false, false) {}

 protected:
  bool BackendStart() override {
    OsWindow* window = present_.deviceWindow ? present_.deviceWindow : creation_.focusWindow;
    window_ = OsWindowSdl(window);
    if (!window_) {
      if (!OsStartVideo()) return false;
      ownWindow_ = SDL_CreateWindow("", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
      window_ = ownWindow_;
    }
    if (!window_) return false;
    SetContextAttributes();
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return false;
    OsKeepGlDriverResident();
    if (epoxy_gl_version() < 33) return false;
    SDL_GL_SetSwapInterval(present_.presentationInterval == kGpuPresentIntervalImmediate ? 0 : 1);
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenFramebuffers(1, &drawFbo_);
    glGenFramebuffers(1, &readFbo_);
    glGenSamplers(static_cast<GLsizei>(kGpuMaxSamplers), samplers_);
    glGenSamplers(1, &presentSampler_);
    glSamplerParameteri(presentSampler_, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(presentSampler_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(presentSampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(presentSampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glGenBuffers(1, &upVertices_);
    glGenBuffers(1, &upIndices_);
    glGenTextures(1, &rampTexture_);
    glBindTexture(GL_TEXTURE_2D, rampTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16, 256, 1, 0, GL_RGBA, GL_UNSIGNED_SHORT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    rampUploaded_ = false;
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    anisotropic_ = epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
                   epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic");
    std::string log;
    if (!LinkProgram(kTransformedVertex, std::string(kFragmentPrelude) + kStageFragment + kFragmentEpilogue,
                     &transformed_, &log) ||
        !LinkProgram(kPresentVertex, kPresentFragment, &presentProgram_, &log)) {
      std::fprintf(stderr, "GPU device: built-in program failed: %s\n", log.c_str());
      return false;
    }
    glUseProgram(presentProgram_.id);
    glUniform1i(glGetUniformLocation(presentProgram_.id, "gpu_Frame"), 0);
    glUniform1i(glGetUniformLocation(presentProgram_.id, "gpu_Ramp"), 1);
    return true;
  }

  void BackendStop() override {
    if (context_) {
      MakeCurrent();
      for (auto& entry : programs_) glDeleteProgram(entry.second.id);
      programs_.clear();
      glDeleteProgram(transformed_.id);
      glDeleteProgram(presentProgram_.id);
      glDeleteTextures(1, &rampTexture_);
      glDeleteBuffers(1, &upVertices_);
      glDeleteBuffers(1, &upIndices_);
      glDeleteSamplers(static_cast<GLsizei>(kGpuMaxSamplers), samplers_);
      glDeleteSamplers(1, &presentSampler_);
      glDeleteFramebuffers(1, &drawFbo_);
      glDeleteFramebuffers(1, &readFbo_);
      glDeleteVertexArrays(1, &vao_);
      SDL_GL_MakeCurrent(window_, nullptr);
      SDL_GL_DeleteContext(context_);
      context_ = nullptr;
    }
    if (ownWindow_) SDL_DestroyWindow(ownWindow_);
    ownWindow_ = nullptr;
  }

  bool BackendCreate(ObjectBase* object) override {
    MakeCurrent();
    while (glGetError() != GL_NO_ERROR) {
    }
    auto* gl = new GlObject();
    object->backend = gl;
    if (auto* surface = dynamic_cast<SurfaceImpl*>(object)) {
      if (surface->role == SurfaceRole::kDepthStencil) {
        glGenRenderbuffers(1, &gl->renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, gl->renderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, static_cast<GLsizei>(surface->desc.width),
                              static_cast<GLsizei>(surface->desc.height));
      } else if (surface->pool == kGpuPoolDefault) {
        GlFormat format;
        if (surface->role == SurfaceRole::kBackBuffer) {
          format = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {kR, kG, kB, kA}, false};
        } else if (!FindGlFormat(surface->desc.format, &format)) {
          return Fail(object);
        }
        gl->target = GL_TEXTURE_2D;
        glGenTextures(1, &gl->texture);
        glBindTexture(GL_TEXTURE_2D, gl->texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        AllocateLevel(GL_TEXTURE_2D, 0, format, surface);
      }
    } else if (auto* texture = dynamic_cast<TextureImpl*>(object)) {
      if (texture->pool == kGpuPoolSystemMem || texture->pool == kGpuPoolScratch) return true;
      GlFormat format;
      if (!FindGlFormat(texture->format, &format)) return Fail(object);
      if (format.compressed && !epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc")) return Fail(object);
      gl->target = texture->cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
      glGenTextures(1, &gl->texture);
      glBindTexture(gl->target, gl->texture);
      glTexParameteri(gl->target, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(texture->levels - 1));
      glTexParameteriv(gl->target, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle);
      for (uint32_t face = 0; face < (texture->cube ? 6u : 1u); ++face) {
        GLenum target = texture->cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
        for (uint32_t level = 0; level < texture->levels; ++level)
          AllocateLevel(target, level, format, texture->surfaces[face * texture->levels + level]);
      }
    } else if (auto* buffer = dynamic_cast<BufferImpl*>(object)) {
      glGenBuffers(1, &gl->buffer);
      glBindBuffer(GL_ARRAY_BUFFER, gl->buffer);
      glBufferData(GL_ARRAY_BUFFER, buffer->desc.size, buffer->bytes.data(),
                   (buffer->desc.usage & kGpuUsageDynamic) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    }
    if (glGetError() == GL_OUT_OF_MEMORY) return Fail(object);
    return true;
  }

  void BackendDestroy(ObjectBase* object) override {
    GlObject* gl = Gl(object);
    if (!gl) return;
    MakeCurrent();
    if (gl->texture) glDeleteTextures(1, &gl->texture);
    if (gl->renderbuffer) glDeleteRenderbuffers(1, &gl->renderbuffer);
    if (gl->buffer) glDeleteBuffers(1, &gl->buffer);
    if (gl->shader) {
      for (auto it = programs_.begin(); it != programs_.end();) {
        if (it->first.first == gl->shader || it->first.second == gl->shader) {
          glDeleteProgram(it->second.id);
          it = programs_.erase(it);
        } else {
          ++it;
        }
      }
      glDeleteShader(gl->shader);
    }
    if (attachedColor_ == object || attachedDepth_ == object) attachedColor_ = attachedDepth_ = nullptr;
    delete gl;
    object->backend = nullptr;
  }

  bool BackendHoldsPixels(const SurfaceImpl* surface) override {
    const GlObject* gl = Gl(surface->container ? static_cast<ObjectBase*>(surface->container)
                                               : const_cast<SurfaceImpl*>(surface));
    if (!gl || !gl->texture) return false;
    if (surface->container) return (surface->container->usage & kGpuUsageRenderTarget) != 0;
    return true;  // a standalone surface with a texture is in the default pool
  }

  void BackendReadBack(SurfaceImpl* surface) override {
    GlFormat format;
    if (surface->role == SurfaceRole::kBackBuffer) {
      format = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {kR, kG, kB, kA}, false};
    } else if (!FindGlFormat(surface->desc.format, &format) || format.compressed) {
      return;
    }
    MakeCurrent();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    AttachColor(GL_READ_FRAMEBUFFER, surface);
    glReadPixels(0, 0, static_cast<GLsizei>(surface->desc.width), static_cast<GLsizei>(surface->desc.height),
                 format.format, format.type, surface->bytes.data());
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  }

  void BackendUpload(SurfaceImpl* surface) override {
    ObjectBase* owner = surface->container ? static_cast<ObjectBase*>(surface->container) : surface;
    GlObject* gl = Gl(owner);
    if (!gl || !gl->texture) return;
    GlFormat format;
    if (surface->role == SurfaceRole::kBackBuffer) {
      format = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, {kR, kG, kB, kA}, false};
    } else if (!FindGlFormat(surface->desc.format, &format)) {
      return;
    }
    MakeCurrent();
    glBindTexture(gl->target, gl->texture);
    GLenum target = gl->target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + surface->face : GL_TEXTURE_2D;
    auto width = static_cast<GLsizei>(surface->desc.width), height = static_cast<GLsizei>(surface->desc.height);
    if (format.compressed) {
      glCompressedTexSubImage2D(target, static_cast<GLint>(surface->level), 0, 0, width, height, format.internal,
                                static_cast<GLsizei>(surface->bytes.size()), surface->bytes.data());
    } else {
      glTexSubImage2D(target, static_cast<GLint>(surface->level), 0, 0, width, height, format.format, format.type,
                      surface->bytes.data());
    }
  }

  void BackendUploadBuffer(BufferImpl* buffer, uint32_t offset, uint32_t size, bool) override {
    GlObject* gl = Gl(buffer);
    if (!gl || size == 0) return;
    MakeCurrent();
    glBindBuffer(GL_ARRAY_BUFFER, gl->buffer);
    glBufferSubData(GL_ARRAY_BUFFER, offset, size, buffer->bytes.data() + offset);
  }

  void BackendGenerateMips(TextureImpl* texture) override {
    GlObject* gl = Gl(texture);
    if (!gl || !gl->texture) return;
    gl->mipsDirty = true;
  }

  bool BackendCompile(ShaderImpl* shader, std::string* log) override {
    MakeCurrent();
    std::string text = shader->vertex ? std::string(kVertexPrelude) + shader->source + kVertexEpilogue
                                      : std::string(kFragmentPrelude) + shader->source + kFragmentEpilogue;
    auto* gl = new GlObject();
    if (!CompileStage(shader->vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, text, &gl->shader, log)) {
      delete gl;
      return false;
    }
    shader->backend = gl;
    return true;
  }

  void BackendClear(uint32_t count, const GpuRect* rects, uint32_t flags, uint32_t color, float z,
                    uint32_t stencil) override {
    MakeCurrent();
    BindTargets();
    GLbitfield bits = 0;
    if (flags & kGpuClearTarget) bits |= GL_COLOR_BUFFER_BIT;
    if ((flags & kGpuClearZBuffer) && state_.depthStencil) bits |= GL_DEPTH_BUFFER_BIT;
    if ((flags & kGpuClearStencil) && state_.depthStencil) bits |= GL_STENCIL_BUFFER_BIT;
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glStencilMask(0xFF);
    glClearColor(Channel(color, 16), Channel(color, 8), Channel(color, 0), Channel(color, 24));
    glClearDepth(z);
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
    glEnable(GL_SCISSOR_TEST);
    const GpuViewport& v = state_.viewport;
    for (uint32_t i = 0; i < std::max(count, 1u); ++i) {
      int32_t left = static_cast<int32_t>(v.x), top = static_cast<int32_t>(v.y);
      int32_t right = static_cast<int32_t>(v.x + v.width), bottom = static_cast<int32_t>(v.y + v.height);
      if (count) {
        left = std::max(left, rects[i].left);
        top = std::max(top, rects[i].top);
        right = std::min(right, rects[i].right);
        bottom = std::min(bottom, rects[i].bottom);
      }
      if (left >= right || top >= bottom) continue;
      glScissor(left, top, right - left, bottom - top);
      glClear(bits);
    }
    glDisable(GL_SCISSOR_TEST);
    TargetWritten(state_.renderTarget);
  }

  void BackendColorFill(SurfaceImpl* surface, const GpuRect& rect, uint32_t color) override {
    MakeCurrent();
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, readFbo_);
    AttachColor(GL_DRAW_FRAMEBUFFER, surface);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_SCISSOR_TEST);
    glScissor(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    glClearColor(Channel(color, 16), Channel(color, 8), Channel(color, 0), Channel(color, 24));
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    attachedColor_ = nullptr;
    TargetWritten(surface);
  }

  bool BackendStretch(SurfaceImpl* source, const GpuRect& s, SurfaceImpl* dest, const GpuRect& d,
                      uint32_t filter) override {
    if (!HasTexture(source) || !HasTexture(dest)) return false;
    MakeCurrent();
    GLuint fbos[2];
    glGenFramebuffers(2, fbos);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbos[0]);
    AttachColor(GL_READ_FRAMEBUFFER, source);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbos[1]);
    AttachColor(GL_DRAW_FRAMEBUFFER, dest);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_SCISSOR_TEST);
    glBlitFramebuffer(s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, GL_COLOR_BUFFER_BIT,
                      filter == kGpuTexFilterLinear ? GL_LINEAR : GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDeleteFramebuffers(2, fbos);
    attachedColor_ = nullptr;
    TargetWritten(dest);
    return true;
  }

  void BackendDraw(const DrawCall& call) override {
    MakeCurrent();
    BindTargets();
    Program* program = CurrentProgram();
    if (!program) return;
    glUseProgram(program->id);
    ApplyStates(*program);
    BindTextures(*program);
    if (!BindVertices(call)) return;
    GLenum mode = Primitive(call.type);
    if (!call.indexed) {
      glDrawArrays(mode, call.upVertices ? 0 : static_cast<GLint>(call.startVertex), static_cast<GLsizei>(call.vertexCount));
    } else {
      bool wide = call.upIndices ? call.upIndexFormat == kGpuFmtIndex32 : state_.indices->desc.format == kGpuFmtIndex32;
      uint32_t indexSize = wide ? 4 : 2;
      if (call.upIndices) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIndices_);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(call.vertexCount) * indexSize, call.upIndices,
                     GL_STREAM_DRAW);
        glDrawElements(mode, static_cast<GLsizei>(call.vertexCount), wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
      } else {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, Gl(state_.indices)->buffer);
        glDrawElementsBaseVertex(mode, static_cast<GLsizei>(call.vertexCount), wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                 reinterpret_cast<const void*>(static_cast<uintptr_t>(call.startIndex) * indexSize),
                                 call.baseVertex);
      }
    }
    TargetWritten(state_.renderTarget);
  }

  void BackendPresent() override {
    MakeCurrent();
    if (!rampUploaded_ || std::memcmp(&uploadedRamp_, &gamma_, sizeof gamma_) != 0) {
      uint16_t texels[256 * 4];
      for (uint32_t i = 0; i < 256; ++i) {
        texels[i * 4] = gamma_.red[i];
        texels[i * 4 + 1] = gamma_.green[i];
        texels[i * 4 + 2] = gamma_.blue[i];
        texels[i * 4 + 3] = 65535;
      }
      glBindTexture(GL_TEXTURE_2D, rampTexture_);
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 1, GL_RGBA, GL_UNSIGNED_SHORT, texels);
      uploadedRamp_ = gamma_;
      rampUploaded_ = true;
    }
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window_, &width, &height);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    attachedColor_ = attachedDepth_ = nullptr;
    glViewport(0, 0, width, height);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glUseProgram(presentProgram_.id);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, backBuffer_ ? Gl(backBuffer_)->texture : 0);
    glBindSampler(0, presentSampler_);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, rampTexture_);
    glBindSampler(1, presentSampler_);
    for (GLuint i = 0; i < kGpuAttrCount; ++i) glDisableVertexAttribArray(i);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    SDL_GL_SwapWindow(window_);
  }

 private:
  static float Channel(uint32_t color, int shift) { return static_cast<float>((color >> shift) & 0xFF) / 255.0f; }

  bool Fail(ObjectBase* object) {
    BackendDestroy(object);
    return false;
  }

  void MakeCurrent() {
    if (SDL_GL_GetCurrentContext() != context_) SDL_GL_MakeCurrent(window_, context_);
  }

  static void AllocateLevel(GLenum target, uint32_t level, const GlFormat& format, const SurfaceImpl* surface) {
    auto width = static_cast<GLsizei>(surface->desc.width), height = static_cast<GLsizei>(surface->desc.height);
    if (format.compressed) {
      glCompressedTexImage2D(target, static_cast<GLint>(level), format.internal, width, height, 0,
                             static_cast<GLsizei>(surface->bytes.size()), surface->bytes.data());
    } else {
      glTexImage2D(target, static_cast<GLint>(level), static_cast<GLint>(format.internal), width, height, 0,
                   format.format, format.type, surface->bytes.empty() ? nullptr : surface->bytes.data());
    }
  }

  bool HasTexture(SurfaceImpl* surface) {
    GlObject* gl = Gl(surface->container ? static_cast<ObjectBase*>(surface->container) : surface);
    return gl && gl->texture;
  }

  void AttachColor(GLenum framebuffer, SurfaceImpl* surface) {
    GlObject* gl = Gl(surface->container ? static_cast<ObjectBase*>(surface->container) : surface);
    GLenum target = gl->target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + surface->face : GL_TEXTURE_2D;
    glFramebufferTexture2D(framebuffer, GL_COLOR_ATTACHMENT0, target, gl->texture, static_cast<GLint>(surface->level));
  }

  void BindTargets() {
    glBindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
    if (attachedColor_ != state_.renderTarget) {
      if (state_.renderTarget && HasTexture(state_.renderTarget)) AttachColor(GL_FRAMEBUFFER, state_.renderTarget);
      attachedColor_ = state_.renderTarget;
    }
    if (attachedDepth_ != state_.depthStencil || !depthKnown_) {
      GLuint renderbuffer = state_.depthStencil && Gl(state_.depthStencil) ? Gl(state_.depthStencil)->renderbuffer : 0;
      glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, renderbuffer);
      attachedDepth_ = state_.depthStencil;
      depthKnown_ = true;
    }
  }

  // A render target drawn into: its texture's later mip levels are out of date.
  void TargetWritten(SurfaceImpl* surface) {
    if (surface && surface->container && (surface->container->usage & kGpuUsageAutoGenMipmap))
      Gl(surface->container)->mipsDirty = true;
  }

  bool LinkProgram(const std::string& vertexText, const std::string& fragmentText, Program* program, std::string* log) {
    GLuint vs = 0, fs = 0;
    if (!CompileStage(GL_VERTEX_SHADER, vertexText, &vs, log)) return false;
    if (!CompileStage(GL_FRAGMENT_SHADER, fragmentText, &fs, log)) {
      glDeleteShader(vs);
      return false;
    }
    bool ok = LinkShaders(vs, fs, program, log);
    glDeleteShader(vs);
    glDeleteShader(fs);
    return ok;
  }

  bool LinkShaders(GLuint vs, GLuint fs, Program* program, std::string* log) {
    GLuint id = glCreateProgram();
    glAttachShader(id, vs);
    glAttachShader(id, fs);
    glLinkProgram(id);
    glDetachShader(id, vs);
    glDetachShader(id, fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(id, GL_LINK_STATUS, &ok);
    if (!ok) {
      if (log) {
        char buffer[4096] = {};
        glGetProgramInfoLog(id, sizeof buffer, nullptr, buffer);
        *log = buffer;
      }
      glDeleteProgram(id);
      return false;
    }
    program->id = id;
    program->pixelFix = glGetUniformLocation(id, "gpu_PixelFix");
    program->viewport = glGetUniformLocation(id, "gpu_Viewport");
    program->alphaFunc = glGetUniformLocation(id, "gpu_AlphaFunc");
    program->alphaRef = glGetUniformLocation(id, "gpu_AlphaRef");
    program->hasTexture = glGetUniformLocation(id, "gpu_HasTexture");
    program->colorStage = glGetUniformLocation(id, "gpu_ColorStage");
    program->alphaStage = glGetUniformLocation(id, "gpu_AlphaStage");
    program->textureFactor = glGetUniformLocation(id, "gpu_TextureFactor");
    GLint count = 0;
    glGetProgramiv(id, GL_ACTIVE_UNIFORMS, &count);
    for (GLint i = 0; i < count; ++i) {
      char name[128];
      GLint size = 0;
      GLenum type = 0;
      glGetActiveUniform(id, static_cast<GLuint>(i), sizeof name, nullptr, &size, &type, name);
      std::string base(name);
      if (base.size() > 3 && base.compare(base.size() - 3, 3, "[0]") == 0) base.resize(base.size() - 3);
      struct Slot {
        const char* name;
        GLint* location;
        GLint* size;
      };
      const Slot slots[] = {{"gpu_VsConst", &program->vsConst, &program->vsConstSize},
                            {"gpu_PsConst", &program->psConst, &program->psConstSize},
                            {"gpu_VsConstI", &program->vsConstI, &program->vsConstISize},
                            {"gpu_PsConstI", &program->psConstI, &program->psConstISize},
                            {"gpu_VsConstB", &program->vsConstB, &program->vsConstBSize},
                            {"gpu_PsConstB", &program->psConstB, &program->psConstBSize}};
      for (const Slot& slot : slots) {
        if (base == slot.name) {
          *slot.location = glGetUniformLocation(id, name);
          *slot.size = size;
        }
      }
    }
    glUseProgram(id);
    for (uint32_t i = 0; i < kGpuMaxSamplers; ++i) {
      std::string sampler = "gpu_Sampler" + std::to_string(i);
      GLint location = glGetUniformLocation(id, sampler.c_str());
      if (location >= 0) glUniform1i(location, static_cast<GLint>(i));
    }
    return true;
  }

  Program* CurrentProgram() {
    if (!state_.vertexShader) return &transformed_;
    GLuint vs = Gl(state_.vertexShader)->shader, fs = Gl(state_.pixelShader)->shader;
    auto it = programs_.find({vs, fs});
    if (it != programs_.end()) return &it->second;
    Program program;
    std::string log;
    if (!LinkShaders(vs, fs, &program, &log)) {
      shaderLog_ = log;
      std::fprintf(stderr, "GPU device: program link failed: %s\n", log.c_str());
      return nullptr;
    }
    return &(programs_[{vs, fs}] = program);
  }

  void ApplyStates(const Program& program) {
    const uint32_t* rs = state_.renderStates;
    const GpuViewport& v = state_.viewport;
    glViewport(static_cast<GLint>(v.x), static_cast<GLint>(v.y), static_cast<GLsizei>(v.width),
               static_cast<GLsizei>(v.height));
    glDepthRange(v.minZ, v.maxZ);
    if (program.pixelFix >= 0) glUniform2f(program.pixelFix, 1.0f / static_cast<float>(v.width), 1.0f / static_cast<float>(v.height));
    if (program.viewport >= 0)
      glUniform4f(program.viewport, static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.width),
                  static_cast<float>(v.height));
    bool depth = state_.depthStencil != nullptr;
    if (depth && rs[kGpuRsZEnable] != kGpuZbFalse) {
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(Compare(rs[kGpuRsZFunc]));
    } else {
      glDisable(GL_DEPTH_TEST);
    }
    glDepthMask(depth && rs[kGpuRsZWriteEnable] ? GL_TRUE : GL_FALSE);
    if (depth && rs[kGpuRsStencilEnable]) {
      glEnable(GL_STENCIL_TEST);
      glStencilFunc(Compare(rs[kGpuRsStencilFunc]), static_cast<GLint>(rs[kGpuRsStencilRef]), rs[kGpuRsStencilMask]);
      glStencilOp(StencilOp(rs[kGpuRsStencilFail]), StencilOp(rs[kGpuRsStencilZFail]), StencilOp(rs[kGpuRsStencilPass]));
      glStencilMask(rs[kGpuRsStencilWriteMask]);
    } else {
      glDisable(GL_STENCIL_TEST);
    }
    if (rs[kGpuRsAlphaBlendEnable]) {
      glEnable(GL_BLEND);
      bool separate = rs[kGpuRsSeparateAlphaBlendEnable] != 0;
      uint32_t srcAlpha = separate ? rs[kGpuRsSrcBlendAlpha] : rs[kGpuRsSrcBlend];
      uint32_t destAlpha = separate ? rs[kGpuRsDestBlendAlpha] : rs[kGpuRsDestBlend];
      glBlendFuncSeparate(BlendFactor(rs[kGpuRsSrcBlend], true), BlendFactor(rs[kGpuRsDestBlend], false),
                          BlendFactor(srcAlpha, true), BlendFactor(destAlpha, false));
      glBlendEquationSeparate(BlendEquation(rs[kGpuRsBlendOp]),
                              BlendEquation(separate ? rs[kGpuRsBlendOpAlpha] : rs[kGpuRsBlendOp]));
      uint32_t f = rs[kGpuRsBlendFactor];
      glBlendColor(Channel(f, 16), Channel(f, 8), Channel(f, 0), Channel(f, 24));
    } else {
      glDisable(GL_BLEND);
    }
    // Rows are stored top row first, so a clockwise triangle on screen is counter-clockwise in
    // GL's window coordinates: CULLMODE CCW drops GL's clockwise faces.
    glFrontFace(GL_CCW);
    if (rs[kGpuRsCullMode] == kGpuCullCw) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_FRONT);
    } else if (rs[kGpuRsCullMode] == kGpuCullCcw) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
    } else {
      glDisable(GL_CULL_FACE);
    }
    uint32_t mask = rs[kGpuRsColorWriteEnable];
    glColorMask(mask & kGpuColorWriteRed ? GL_TRUE : GL_FALSE, mask & kGpuColorWriteGreen ? GL_TRUE : GL_FALSE,
                mask & kGpuColorWriteBlue ? GL_TRUE : GL_FALSE, mask & kGpuColorWriteAlpha ? GL_TRUE : GL_FALSE);
    if (rs[kGpuRsScissorTestEnable]) {
      glEnable(GL_SCISSOR_TEST);
      const GpuRect& s = state_.scissor;
      glScissor(s.left, s.top, std::max(0, s.right - s.left), std::max(0, s.bottom - s.top));
    } else {
      glDisable(GL_SCISSOR_TEST);
    }
    GLenum fill = rs[kGpuRsFillMode] == kGpuFillPoint ? GL_POINT : rs[kGpuRsFillMode] == kGpuFillWireframe ? GL_LINE : GL_FILL;
    glPolygonMode(GL_FRONT_AND_BACK, fill);
    if (program.alphaFunc >= 0)
      glUniform1i(program.alphaFunc, rs[kGpuRsAlphaTestEnable] ? static_cast<GLint>(rs[kGpuRsAlphaFunc]) : 8);
    if (program.alphaRef >= 0) glUniform1i(program.alphaRef, static_cast<GLint>(rs[kGpuRsAlphaRef] & 0xFF));
    const uint32_t* stage = state_.stageStates[0];
    if (program.colorStage >= 0)
      glUniform3i(program.colorStage, static_cast<GLint>(stage[kGpuTssColorOp]), static_cast<GLint>(stage[kGpuTssColorArg1]),
                  static_cast<GLint>(stage[kGpuTssColorArg2]));
    if (program.alphaStage >= 0)
      glUniform3i(program.alphaStage, static_cast<GLint>(stage[kGpuTssAlphaOp]), static_cast<GLint>(stage[kGpuTssAlphaArg1]),
                  static_cast<GLint>(stage[kGpuTssAlphaArg2]));
    if (program.textureFactor >= 0) {
      uint32_t f = rs[kGpuRsTextureFactor];
      glUniform4f(program.textureFactor, Channel(f, 16), Channel(f, 8), Channel(f, 0), Channel(f, 24));
    }
    auto upload4f = [](GLint location, GLint size, const float (*data)[4]) {
      if (location >= 0 && size > 0) glUniform4fv(location, size, &data[0][0]);
    };
    upload4f(program.vsConst, std::min<GLint>(program.vsConstSize, kGpuVertexConstantsF), state_.vsConstF);
    upload4f(program.psConst, std::min<GLint>(program.psConstSize, kGpuPixelConstantsF), state_.psConstF);
    if (program.vsConstI >= 0)
      glUniform4iv(program.vsConstI, std::min<GLint>(program.vsConstISize, kGpuConstantsI), &state_.vsConstI[0][0]);
    if (program.psConstI >= 0)
      glUniform4iv(program.psConstI, std::min<GLint>(program.psConstISize, kGpuConstantsI), &state_.psConstI[0][0]);
    if (program.vsConstB >= 0)
      glUniform1iv(program.vsConstB, std::min<GLint>(program.vsConstBSize, kGpuConstantsB), state_.vsConstB);
    if (program.psConstB >= 0)
      glUniform1iv(program.psConstB, std::min<GLint>(program.psConstBSize, kGpuConstantsB), state_.psConstB);
  }

  void BindTextures(const Program& program) {
    bool builtIn = &program == &transformed_;
    if (builtIn && program.hasTexture >= 0) glUniform1i(program.hasTexture, state_.textures[0] ? 1 : 0);
    uint32_t count = builtIn ? 1 : kGpuMaxSamplers;
    for (uint32_t unit = 0; unit < count; ++unit) {
      TextureImpl* texture = state_.textures[unit];
      GlObject* gl = Gl(texture);
      glActiveTexture(GL_TEXTURE0 + unit);
      if (!gl || !gl->texture) {
        glBindTexture(GL_TEXTURE_2D, 0);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        continue;
      }
      glBindTexture(gl->target, gl->texture);
      if (gl->mipsDirty) {
        glGenerateMipmap(gl->target);
        gl->mipsDirty = false;
      }
      const uint32_t* ss = state_.samplerStates[unit];
      GLuint sampler = samplers_[unit];
      glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, Address(ss[kGpuSampAddressU]));
      glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, Address(ss[kGpuSampAddressV]));
      glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, Address(ss[kGpuSampAddressW]));
      bool linearMin = ss[kGpuSampMinFilter] >= kGpuTexFilterLinear;
      bool linearMag = ss[kGpuSampMagFilter] >= kGpuTexFilterLinear;
      GLint minFilter;
      if (ss[kGpuSampMipFilter] == kGpuTexFilterNone || texture->levels == 1)
        minFilter = linearMin ? GL_LINEAR : GL_NEAREST;
      else if (ss[kGpuSampMipFilter] == kGpuTexFilterPoint)
        minFilter = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
      else
        minFilter = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
      glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, minFilter);
      glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, linearMag ? GL_LINEAR : GL_NEAREST);
      float lod;
      std::memcpy(&lod, &ss[kGpuSampMipMapLodBias], sizeof lod);
      glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, lod);
      glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, static_cast<float>(ss[kGpuSampMaxMipLevel]));
      uint32_t b = ss[kGpuSampBorderColor];
      const float border[4] = {Channel(b, 16), Channel(b, 8), Channel(b, 0), Channel(b, 24)};
      glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
      if (anisotropic_) {
        bool wanted = ss[kGpuSampMinFilter] == kGpuTexFilterAnisotropic || ss[kGpuSampMagFilter] == kGpuTexFilterAnisotropic;
        float level = wanted ? static_cast<float>(std::clamp(ss[kGpuSampMaxAnisotropy], 1u, adapter_.caps.maxAnisotropy)) : 1.0f;
        glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, level);
      }
      glBindSampler(unit, sampler);
    }
    glActiveTexture(GL_TEXTURE0);
  }

  bool BindVertices(const DrawCall& call) {
    std::vector<GpuVertexElement> fvfElements;
    const std::vector<GpuVertexElement>* elements;
    uint32_t fvfStride = 0;
    if (state_.declaration) {
      elements = &state_.declaration->elements;
    } else {
      if (!DeclarationFromFvf(state_.fvf, &fvfElements, &fvfStride)) return false;
      elements = &fvfElements;
    }
    bool enabled[kGpuAttrCount] = {};
    if (call.upVertices) {
      glBindBuffer(GL_ARRAY_BUFFER, upVertices_);
      glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(call.upVertexCount) * call.upStride, call.upVertices,
                   GL_STREAM_DRAW);
    }
    for (const GpuVertexElement& e : *elements) {
      int32_t location = AttributeLocation(e);
      GLint size;
      GLenum type;
      GLboolean normalized;
      if (location < 0 || enabled[location] || !ElementFormat(e.type, &size, &type, &normalized)) continue;
      uintptr_t offset = e.offset;
      GLsizei stride;
      if (call.upVertices) {
        if (e.stream != 0) continue;
        stride = static_cast<GLsizei>(call.upStride);
      } else {
        const StreamBinding& stream = state_.streams[e.stream];
        if (!stream.buffer || !Gl(stream.buffer)) continue;
        glBindBuffer(GL_ARRAY_BUFFER, Gl(stream.buffer)->buffer);
        stride = static_cast<GLsizei>(stream.stride ? stream.stride : fvfStride);
        offset += stream.offset;
      }
      glEnableVertexAttribArray(static_cast<GLuint>(location));
      glVertexAttribPointer(static_cast<GLuint>(location), size, type, normalized, stride,
                            reinterpret_cast<const void*>(offset));
      enabled[location] = true;
    }
    for (uint32_t i = 0; i < kGpuAttrCount; ++i) {
      if (enabled[i]) continue;
      glDisableVertexAttribArray(i);
      // A missing diffuse colour is opaque white.
      if (i == kGpuAttrColor0) glVertexAttrib4f(i, 1.0f, 1.0f, 1.0f, 1.0f);
      else glVertexAttrib4f(i, 0.0f, 0.0f, 0.0f, 1.0f);
    }
    return true;
  }

  SDL_Window* window_ = nullptr;
  SDL_Window* ownWindow_ = nullptr;
  SDL_GLContext context_ = nullptr;
  GLuint vao_ = 0, drawFbo_ = 0, readFbo_ = 0;
  GLuint samplers_[kGpuMaxSamplers] = {};
  GLuint presentSampler_ = 0;
  GLuint upVertices_ = 0, upIndices_ = 0;
  GLuint rampTexture_ = 0;
  GpuGammaRamp uploadedRamp_{};
  bool rampUploaded_ = false;
  bool anisotropic_ = false;
  Program transformed_;
  Program presentProgram_;
  std::map<std::pair<GLuint, GLuint>, Program> programs_;
  ObjectBase* attachedColor_ = nullptr;
  ObjectBase* attachedDepth_ = nullptr;
  bool depthKnown_ = false;
};

}  // namespace

bool GlProbe(uint32_t* maxAnisotropy, bool* compressedTextures) {
  static bool probed = false, ok = false;
  static uint32_t anisotropy = 1;
  static bool compressed = false;
  if (!probed) {
    probed = true;
    if (OsStartVideo()) {
      SDL_Window* window = SDL_CreateWindow("", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
      if (window) {
        SetContextAttributes();
        SDL_GLContext context = SDL_GL_CreateContext(window);
        if (context) {
          OsKeepGlDriverResident();
          ok = epoxy_gl_version() >= 33;
          if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
              epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic")) {
            float value = 1.0f;
            glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &value);
            anisotropy = static_cast<uint32_t>(std::max(1.0f, value));
          }
          compressed = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
          SDL_GL_MakeCurrent(window, nullptr);
          SDL_GL_DeleteContext(context);
        }
        SDL_DestroyWindow(window);
      }
    }
  }
  *maxAnisotropy = anisotropy;
  *compressedTextures = compressed;
  return ok;
}

DeviceCore* CreateGlDevice(GpuSystem* system, const GpuAdapterModel& adapter,
                           const GpuDeviceCreationParameters& creation, GpuPresentParameters* parameters) {
  auto* device = new GlDevice(system, adapter, creation);
  if (!device->Start(parameters)) {
    device->Release();
    return nullptr;
  }
  return device;
}

}  // namespace gpu
