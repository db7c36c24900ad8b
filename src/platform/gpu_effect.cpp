// The effect object. Parameters live in one table of nodes (top-level parameters, their array
// elements and struct members, and annotations), each leaf holding up to 16 numbers, a text or
// a texture. Each pass's programs get a prelude that declares the parameters they name as
// uniforms packed into constant registers, in declaration order, and BeginPass fills those
// registers from the current values.
#include "platform/gpu_effect.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "platform/gpu_effect_file.h"
#include "platform/gpu_internal.h"

namespace {

constexpr uint32_t kTechniqueTag = 0x20000000;
constexpr uint32_t kPassTag = 0x30000000;
constexpr uint32_t kBlockTag = 0x40000000;
constexpr uint32_t kTagMask = 0xF0000000;
constexpr uint32_t kPassesPerTechnique = 4096;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kMaxRegisters = 256;

uint32_t RegisterSpan(GpuxFbType type) {
  switch (type) {
    case kGpuxFbFloat3x3:
      return 3;
    case kGpuxFbFloat4x4:
      return 4;
    default:
      return GpuxFbTypeComponents(type) ? 1 : 0;
  }
}

const char* GlslType(GpuxFbType type) {
  switch (type) {
    case kGpuxFbBool:
      return "bool";
    case kGpuxFbInt:
      return "int";
    case kGpuxFbFloat:
      return "float";
    case kGpuxFbFloat2:
      return "vec2";
    case kGpuxFbFloat3:
      return "vec3";
    case kGpuxFbFloat4:
      return "vec4";
    case kGpuxFbFloat3x3:
      return "mat3";
    default:
      return "mat4";
  }
}

// The GLSL expression reading a value of `type` from register `k` of array `r`.
std::string GlslRead(GpuxFbType type, const std::string& r, uint32_t k) {
  auto reg = [&](uint32_t i) { return r + "[" + std::to_string(k + i) + "]"; };
  switch (type) {
    case kGpuxFbBool:
      return "(" + reg(0) + ".x != 0.0)";
    case kGpuxFbInt:
      return "int(" + reg(0) + ".x)";
    case kGpuxFbFloat:
      return reg(0) + ".x";
    case kGpuxFbFloat2:
      return reg(0) + ".xy";
    case kGpuxFbFloat3:
      return reg(0) + ".xyz";
    case kGpuxFbFloat4:
      return reg(0);
    case kGpuxFbFloat3x3:
      return "transpose(mat3(" + reg(0) + ".xyz, " + reg(1) + ".xyz, " + reg(2) + ".xyz))";
    default:
      return "transpose(mat4(" + reg(0) + ", " + reg(1) + ", " + reg(2) + ", " + reg(3) + "))";
  }
}

std::set<std::string> Identifiers(const std::string& text) {
  std::set<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isalpha(c) || c == '_') {
      size_t end = i;
      while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
      out.insert(text.substr(i, end - i));
      i = end;
    } else if (std::isdigit(c)) {
      while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_' || text[i] == '.')) ++i;
    } else {
      ++i;
    }
  }
  return out;
}

struct Node {
  std::string name;
  GpuxFbType type = kGpuxFbFloat;
  uint32_t elements = 0;      // an array node's length
  bool isElement = false;     // an element of an array (it may itself be a struct)
  bool annotation = false;
  uint32_t top = kNone;       // the top-level parameter this node belongs to
  std::vector<uint32_t> children;     // elements, or members
  std::vector<uint32_t> annotations;  // annotation nodes
  std::array<double, 16> v{};
  std::string text;
  GpuBaseTexture* texture = nullptr;

  bool Leaf() const { return elements == 0 && type != kGpuxFbStruct; }
};

struct Program {
  std::vector<uint32_t> params;      // top-level parameters the program reads, with their
  std::vector<uint32_t> registers;   // first registers
  uint32_t registerCount = 0;
};

struct Pass {
  const GpuxFbPass* desc = nullptr;
  std::vector<uint32_t> annotations;
  GpuVertexShader* vs = nullptr;
  GpuPixelShader* ps = nullptr;
  Program vertex, fragment;
};

struct Technique {
  const GpuxFbTechnique* desc = nullptr;
  std::vector<uint32_t> annotations;
  std::vector<Pass> passes;
  std::vector<bool> used;  // by top-level parameter
  bool reachable = false;  // the device reaches its profile
  bool built = false;
};

enum class Op { kBool, kInt, kFloat, kVector, kMatrix, kString, kTexture };

struct Recorded {
  GpuxHandle handle;
  Op op;
  std::array<double, 16> v;
  std::string text;
  GpuBaseTexture* texture;
};

class Effect final : public GpuxEffect {
 public:
  Effect(GpuDevice* device, std::string name) : device_(device), name_(std::move(name)) { device_->AddRef(); }

  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  GpuResult Build(const char* text, size_t size, std::string* errors) {
    std::string why;
    if (!GpuxParseEffectFile(text, size, &file_, &why)) {
      // "line N: what" becomes "name(N): what".
      int line = std::atoi(why.c_str() + 5);
      size_t colon = why.find(": ");
      *errors = name_ + "(" + std::to_string(line) + "): " + (colon == std::string::npos ? why : why.substr(colon + 2));
      return kGpuErrInvalidCall;
    }
    for (uint32_t i = 0; i < file_.params.size(); ++i) tops_.push_back(AddParam(file_.params[i], i));
    int deviceRank = GpuxProfileRank(device_->GetPixelShaderProfile());
    for (const GpuxFbTechnique& t : file_.techniques) {
      Technique tech;
      tech.desc = &t;
      tech.annotations = AddAnnotations(t.annotations);
      tech.used.assign(file_.params.size(), false);
      tech.reachable = t.profile.empty() || GpuxProfileRank(t.profile) <= deviceRank;
      for (const GpuxFbPass& p : t.passes) {
        Pass pass;
        pass.desc = &p;
        pass.annotations = AddAnnotations(p.annotations);
        MarkUsed(p, &tech.used);
        tech.passes.push_back(std::move(pass));
      }
      techniques_.push_back(std::move(tech));
    }
    for (Technique& tech : techniques_) {
      if (!tech.reachable) continue;
      for (Pass& pass : tech.passes) {
        GpuResult result = BuildPass(&pass, errors);
        if (GpuFailed(result)) return result;
      }
      tech.built = true;
    }
    GpuxHandle first = kGpuxNoHandle;
    current_ = GpuSucceeded(FindNextValidTechnique(kGpuxNoHandle, &first)) ? first : TechniqueHandle(0);
    return kGpuOk;
  }

  GpuResult GetDevice(GpuDevice** device) override {
    if (!device) return kGpuErrInvalidCall;
    device_->AddRef();
    *device = device_;
    return kGpuOk;
  }

  // ---- Parameters

  GpuxHandle GetParameterByName(GpuxHandle parent, const char* name) override {
    if (!name) return kGpuxNoHandle;
    if (parent == kGpuxNoHandle) {
      for (uint32_t i = 0; i < tops_.size(); ++i)
        if (nodes_[tops_[i]].name == name) return tops_[i] + 1;
      return kGpuxNoHandle;
    }
    const Node* p = NodeOf(parent);
    if (!p || p->type != kGpuxFbStruct || p->elements) return kGpuxNoHandle;
    for (uint32_t child : p->children)
      if (nodes_[child].name == name) return child + 1;
    return kGpuxNoHandle;
  }

  GpuxHandle GetParameterElement(GpuxHandle array, uint32_t index) override {
    const Node* p = NodeOf(array);
    if (!p || !p->elements || index >= p->children.size()) return kGpuxNoHandle;
    return p->children[index] + 1;
  }

  GpuxHandle GetAnnotationByName(GpuxHandle object, const char* name) override {
    if (!name) return kGpuxNoHandle;
    const std::vector<uint32_t>* list = nullptr;
    if (const Node* n = NodeOf(object)) list = &n->annotations;
    if (Technique* t = TechniqueOf(object)) list = &t->annotations;
    if (Pass* p = PassOf(object)) list = &p->annotations;
    if (!list) return kGpuxNoHandle;
    for (uint32_t a : *list)
      if (nodes_[a].name == name) return a + 1;
    return kGpuxNoHandle;
  }

  GpuResult SetBool(GpuxHandle h, int32_t value) override {
    std::array<double, 16> v{};
    v[0] = value ? 1.0 : 0.0;
    return Set(h, Op::kBool, v, 1, nullptr, nullptr);
  }
  GpuResult GetBool(GpuxHandle h, int32_t* value) override {
    const Node* n = Readable(h, 1);
    if (!n || !value) return kGpuErrInvalidCall;
    *value = n->v[0] != 0.0;
    return kGpuOk;
  }
  GpuResult SetInt(GpuxHandle h, int32_t value) override {
    std::array<double, 16> v{};
    v[0] = value;
    return Set(h, Op::kInt, v, 1, nullptr, nullptr);
  }
  GpuResult GetInt(GpuxHandle h, int32_t* value) override {
    const Node* n = Readable(h, 1);
    if (!n || !value) return kGpuErrInvalidCall;
    *value = ToInt(n->v[0]);
    return kGpuOk;
  }
  GpuResult SetFloat(GpuxHandle h, float value) override {
    std::array<double, 16> v{};
    v[0] = value;
    return Set(h, Op::kFloat, v, 1, nullptr, nullptr);
  }
  GpuResult GetFloat(GpuxHandle h, float* value) override {
    const Node* n = Readable(h, 1);
    if (!n || !value) return kGpuErrInvalidCall;
    *value = static_cast<float>(n->v[0]);
    return kGpuOk;
  }
  GpuResult SetVector(GpuxHandle h, const GpuVector4* value) override {
    if (!value) return kGpuErrInvalidCall;
    std::array<double, 16> v{};
    v[0] = value->x;
    v[1] = value->y;
    v[2] = value->z;
    v[3] = value->w;
    return Set(h, Op::kVector, v, 4, nullptr, nullptr);
  }
  GpuResult GetVector(GpuxHandle h, GpuVector4* value) override {
    const Node* n = Readable(h, 1);
    if (!n || !value || GpuxFbTypeComponents(n->type) > 4) return kGpuErrInvalidCall;
    *value = GpuVector4{static_cast<float>(n->v[0]), static_cast<float>(n->v[1]), static_cast<float>(n->v[2]),
                        static_cast<float>(n->v[3])};
    return kGpuOk;
  }
  GpuResult SetMatrix(GpuxHandle h, const GpuMatrix* value) override {
    if (!value) return kGpuErrInvalidCall;
    std::array<double, 16> v{};
    for (int i = 0; i < 16; ++i) v[i] = value->m[i / 4][i % 4];
    return Set(h, Op::kMatrix, v, 16, nullptr, nullptr);
  }
  GpuResult GetMatrix(GpuxHandle h, GpuMatrix* value) override {
    const Node* n = Readable(h, 9);
    if (!n || !value) return kGpuErrInvalidCall;
    GpuxMatrixIdentity(value);
    if (n->type == kGpuxFbFloat4x4) {
      for (int i = 0; i < 16; ++i) value->m[i / 4][i % 4] = static_cast<float>(n->v[i]);
    } else {
      for (int i = 0; i < 9; ++i) value->m[i / 3][i % 3] = static_cast<float>(n->v[i]);
    }
    return kGpuOk;
  }
  GpuResult SetString(GpuxHandle h, const char* value) override {
    if (!value) return kGpuErrInvalidCall;
    return Set(h, Op::kString, {}, 0, value, nullptr);
  }
  GpuResult GetString(GpuxHandle h, const char** value) override {
    const Node* n = NodeOf(h);
    if (!n || !value || n->type != kGpuxFbString) return kGpuErrInvalidCall;
    *value = n->text.c_str();
    return kGpuOk;
  }
  GpuResult SetTexture(GpuxHandle h, GpuBaseTexture* texture) override {
    return Set(h, Op::kTexture, {}, 0, nullptr, texture);
  }
  GpuResult GetTexture(GpuxHandle h, GpuBaseTexture** texture) override {
    const Node* n = NodeOf(h);
    if (!n || !texture || (n->type != kGpuxFbTexture && n->type != kGpuxFbTextureCube)) return kGpuErrInvalidCall;
    *texture = n->texture;
    if (*texture) (*texture)->AddRef();
    return kGpuOk;
  }

  int32_t IsParameterUsed(GpuxHandle parameter, GpuxHandle technique) override {
    const Node* n = NodeOf(parameter);
    Technique* t = TechniqueOf(technique);
    if (!n || !t || n->annotation) return 0;
    return t->used[n->top] ? 1 : 0;
  }

  // ---- Techniques and passes

  GpuxHandle GetTechniqueByName(const char* name) override {
    if (!name) return kGpuxNoHandle;
    for (uint32_t i = 0; i < techniques_.size(); ++i)
      if (techniques_[i].desc->name == name) return TechniqueHandle(i);
    return kGpuxNoHandle;
  }
  GpuxHandle GetTechnique(uint32_t index) override {
    return index < techniques_.size() ? TechniqueHandle(index) : kGpuxNoHandle;
  }
  GpuxHandle GetPass(GpuxHandle technique, uint32_t index) override {
    Technique* t = TechniqueOf(technique);
    if (!t || index >= t->passes.size()) return kGpuxNoHandle;
    return kPassTag | ((technique & ~kTagMask) * kPassesPerTechnique + index);
  }
  GpuResult ValidateTechnique(GpuxHandle technique) override {
    Technique* t = TechniqueOf(technique);
    return t && t->built ? kGpuOk : kGpuErrInvalidCall;
  }
  GpuResult FindNextValidTechnique(GpuxHandle technique, GpuxHandle* next) override {
    if (!next) return kGpuErrInvalidCall;
    *next = kGpuxNoHandle;
    uint32_t from = 0;
    if (technique != kGpuxNoHandle) {
      if (!TechniqueOf(technique)) return kGpuErrInvalidCall;
      from = (technique & ~kTagMask) + 1;
    }
    for (uint32_t i = from; i < techniques_.size(); ++i) {
      if (techniques_[i].built) {
        *next = TechniqueHandle(i);
        return kGpuOk;
      }
    }
    return kGpuErrInvalidCall;
  }
  GpuResult SetTechnique(GpuxHandle technique) override {
    if (!TechniqueOf(technique) || began_) return kGpuErrInvalidCall;
    current_ = technique;
    return kGpuOk;
  }
  GpuxHandle GetCurrentTechnique() override { return current_; }

  GpuResult Begin(uint32_t* passes, uint32_t flags) override {
    (void)flags;  // state is never saved: every caller sets what it needs before drawing
    Technique* t = TechniqueOf(current_);
    if (!t || !t->built || began_) return kGpuErrInvalidCall;
    began_ = true;
    if (passes) *passes = static_cast<uint32_t>(t->passes.size());
    return kGpuOk;
  }

  GpuResult BeginPass(uint32_t index) override {
    Technique* t = TechniqueOf(current_);
    if (!began_ || !t || index >= t->passes.size() || pass_) return kGpuErrInvalidCall;
    pass_ = &t->passes[index];
    GpuResult result = ApplyStates(false);
    Check(SetVertexShaderNow(pass_->vs), &result);
    Check(SetPixelShaderNow(pass_->ps), &result);
    Check(SendConstants(), &result);
    dirty_ = false;
    return result;
  }

  GpuResult CommitChanges() override {
    if (!pass_) return kGpuErrInvalidCall;
    if (!dirty_) return kGpuOk;
    GpuResult result = ApplyStates(true);
    Check(SendConstants(), &result);
    dirty_ = false;
    return result;
  }

  GpuResult EndPass() override {
    if (!pass_) return kGpuErrInvalidCall;
    pass_ = nullptr;
    return kGpuOk;
  }

  GpuResult End() override {
    if (!began_) return kGpuErrInvalidCall;
    pass_ = nullptr;
    began_ = false;
    return kGpuOk;
  }

  // ---- Parameter blocks

  GpuResult BeginParameterBlock() override {
    if (recording_) return kGpuErrInvalidCall;
    recording_ = true;
    record_.clear();
    return kGpuOk;
  }

  GpuxHandle EndParameterBlock() override {
    if (!recording_) return kGpuxNoHandle;
    recording_ = false;
    for (uint32_t i = 0; i < blocks_.size(); ++i) {
      if (!blocks_[i].live) {
        blocks_[i] = Block{true, std::move(record_)};
        return kBlockTag | i;
      }
    }
    blocks_.push_back(Block{true, std::move(record_)});
    return kBlockTag | static_cast<uint32_t>(blocks_.size() - 1);
  }

  GpuResult ApplyParameterBlock(GpuxHandle block) override {
    Block* b = BlockOf(block);
    if (!b) return kGpuErrInvalidCall;
    GpuResult result = kGpuOk;
    for (const Recorded& r : b->calls) {
      size_t count = r.op == Op::kMatrix ? 16 : r.op == Op::kVector ? 4 : 1;
      Check(Set(r.handle, r.op, r.v, count, r.op == Op::kString ? r.text.c_str() : nullptr, r.texture), &result);
    }
    return result;
  }

  GpuResult DeleteParameterBlock(GpuxHandle block) override {
    Block* b = BlockOf(block);
    if (!b) return kGpuErrInvalidCall;
    FreeCalls(&b->calls);
    b->live = false;
    return kGpuOk;
  }

  // ---- Life

  GpuResult SetStateManager(GpuEffectStateManager* manager) override {
    if (manager) manager->AddRef();
    if (manager_) manager_->Release();
    manager_ = manager;
    return kGpuOk;
  }
  GpuResult GetStateManager(GpuEffectStateManager** manager) override {
    if (!manager) return kGpuErrInvalidCall;
    *manager = manager_;
    if (manager_) manager_->AddRef();
    return kGpuOk;
  }
  // Programs and values live on through a device reset; nothing to give back or rebuild.
  GpuResult OnLostDevice() override { return kGpuOk; }
  GpuResult OnResetDevice() override { return kGpuOk; }

 private:
  struct Block {
    bool live;
    std::vector<Recorded> calls;
  };

  ~Effect() override {
    for (Node& n : nodes_)
      if (n.texture) n.texture->Release();
    for (Block& b : blocks_) FreeCalls(&b.calls);
    FreeCalls(&record_);
    for (Technique& t : techniques_) {
      for (Pass& p : t.passes) {
        if (p.vs) p.vs->Release();
        if (p.ps) p.ps->Release();
      }
    }
    if (manager_) manager_->Release();
    device_->Release();
  }

  static void FreeCalls(std::vector<Recorded>* calls) {
    for (Recorded& r : *calls)
      if (r.texture) r.texture->Release();
    calls->clear();
  }

  static int32_t ToInt(double v) {
    if (!(v > -2147483648.0)) return INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(v);
  }

  static void Check(GpuResult r, GpuResult* result) {
    if (GpuFailed(r) && GpuSucceeded(*result)) *result = r;
  }

  static GpuxHandle TechniqueHandle(uint32_t index) { return kTechniqueTag | index; }

  Node* NodeOf(GpuxHandle h) {
    if (h == kGpuxNoHandle || (h & kTagMask) || h > nodes_.size()) return nullptr;
    return &nodes_[h - 1];
  }
  Technique* TechniqueOf(GpuxHandle h) {
    if ((h & kTagMask) != kTechniqueTag || (h & ~kTagMask) >= techniques_.size()) return nullptr;
    return &techniques_[h & ~kTagMask];
  }
  Pass* PassOf(GpuxHandle h) {
    if ((h & kTagMask) != kPassTag) return nullptr;
    uint32_t t = (h & ~kTagMask) / kPassesPerTechnique, p = (h & ~kTagMask) % kPassesPerTechnique;
    if (t >= techniques_.size() || p >= techniques_[t].passes.size()) return nullptr;
    return &techniques_[t].passes[p];
  }
  Block* BlockOf(GpuxHandle h) {
    if ((h & kTagMask) != kBlockTag || (h & ~kTagMask) >= blocks_.size() || !blocks_[h & ~kTagMask].live) return nullptr;
    return &blocks_[h & ~kTagMask];
  }

  // A leaf with at least `components` numbers (a parameter or an annotation).
  const Node* Readable(GpuxHandle h, uint32_t components) {
    const Node* n = NodeOf(h);
    if (!n || !n->Leaf() || GpuxFbTypeComponents(n->type) == 0) return nullptr;
    if (GpuxFbTypeComponents(n->type) < components) return nullptr;
    return n;
  }

  GpuResult Set(GpuxHandle h, Op op, const std::array<double, 16>& v, size_t count, const char* text,
                GpuBaseTexture* texture) {
    Node* n = NodeOf(h);
    if (!n || n->annotation || !n->Leaf()) return kGpuErrInvalidCall;
    uint32_t components = GpuxFbTypeComponents(n->type);
    switch (op) {
      case Op::kString:
        if (n->type != kGpuxFbString) return kGpuErrInvalidCall;
        n->text = text;
        break;
      case Op::kTexture:
        if (n->type != kGpuxFbTexture && n->type != kGpuxFbTextureCube) return kGpuErrInvalidCall;
        if (texture) texture->AddRef();
        if (n->texture) n->texture->Release();
        n->texture = texture;
        break;
      case Op::kMatrix:
        if (n->type == kGpuxFbFloat4x4) {
          n->v = v;
        } else if (n->type == kGpuxFbFloat3x3) {
          for (int i = 0; i < 9; ++i) n->v[i] = v[(i / 3) * 4 + i % 3];
        } else {
          return kGpuErrInvalidCall;
        }
        break;
      default: {
        if (components == 0 || (op == Op::kVector && components > 4)) return kGpuErrInvalidCall;
        size_t take = std::min<size_t>(count, components);
        for (size_t i = 0; i < take; ++i) {
          double x = v[i];
          if (n->type == kGpuxFbBool) x = x != 0.0 ? 1.0 : 0.0;
          if (n->type == kGpuxFbInt) x = ToInt(x);
          n->v[i] = x;
        }
      }
    }
    dirty_ = true;
    if (recording_) {
      if (texture) texture->AddRef();
      record_.push_back(Recorded{h, op, v, text ? text : "", texture});
    }
    return kGpuOk;
  }

  // ---- Building

  std::vector<uint32_t> AddAnnotations(const std::vector<GpuxFbAnnotation>& list) {
    std::vector<uint32_t> out;
    for (const GpuxFbAnnotation& a : list) {
      Node n;
      n.name = a.name;
      n.type = a.type;
      n.annotation = true;
      for (size_t i = 0; i < a.numbers.size() && i < 16; ++i) n.v[i] = a.numbers[i];
      n.text = a.text;
      out.push_back(static_cast<uint32_t>(nodes_.size()));
      nodes_.push_back(std::move(n));
    }
    return out;
  }

  // Adds a value node of `type` (a struct with `members`) and its members; fills defaults from
  // `defaults` starting at *at.
  uint32_t AddValue(const std::string& name, GpuxFbType type, const std::vector<GpuxFbMember>& members, uint32_t top,
                    bool isElement, const std::vector<double>& defaults, size_t* at) {
    uint32_t index = static_cast<uint32_t>(nodes_.size());
    Node n;
    n.name = name;
    n.type = type;
    n.top = top;
    n.isElement = isElement;
    nodes_.push_back(std::move(n));
    if (type == kGpuxFbStruct) {
      for (const GpuxFbMember& m : members) {
        uint32_t child = AddValue(m.name, m.type, {}, top, false, defaults, at);
        nodes_[index].children.push_back(child);
      }
    } else {
      uint32_t components = GpuxFbTypeComponents(type);
      for (uint32_t i = 0; i < components && *at < defaults.size(); ++i) nodes_[index].v[i] = defaults[(*at)++];
      // A float4x4 default of nine numbers, or none, stays as written; no identity is implied.
    }
    return index;
  }

  uint32_t AddParam(const GpuxFbParam& p, uint32_t top) {
    size_t at = 0;
    uint32_t index;
    if (p.elements) {
      index = static_cast<uint32_t>(nodes_.size());
      Node n;
      n.name = p.name;
      n.type = p.type;
      n.elements = p.elements;
      n.top = top;
      nodes_.push_back(std::move(n));
      for (uint32_t e = 0; e < p.elements; ++e) {
        uint32_t child = AddValue(p.name, p.type, p.members, top, true, p.defaults, &at);
        nodes_[index].children.push_back(child);
      }
    } else {
      index = AddValue(p.name, p.type, p.members, top, false, p.defaults, &at);
      nodes_[index].text = p.text;
    }
    std::vector<uint32_t> annotations = AddAnnotations(p.annotations);
    nodes_[index].annotations = annotations;
    return index;
  }

  int TopIndex(const std::string& name) const {
    for (uint32_t i = 0; i < file_.params.size(); ++i)
      if (file_.params[i].name == name) return static_cast<int>(i);
    return -1;
  }

  void MarkUsed(const GpuxFbPass& pass, std::vector<bool>* used) const {
    std::set<std::string> names = Identifiers(pass.vertex);
    std::set<std::string> fragment = Identifiers(pass.fragment);
    names.insert(fragment.begin(), fragment.end());
    for (const GpuxFbState& s : pass.states)
      if (!s.param.empty()) names.insert(s.param);
    for (uint32_t i = 0; i < file_.params.size(); ++i)
      if (names.count(file_.params[i].name)) (*used)[i] = true;
  }

  uint32_t RegisterCount(uint32_t top) const {
    const GpuxFbParam& p = file_.params[top];
    uint32_t per = 0;
    if (p.type == kGpuxFbStruct) {
      for (const GpuxFbMember& m : p.members) per += RegisterSpan(m.type);
    } else {
      per = RegisterSpan(p.type);
    }
    return per * (p.elements ? p.elements : 1);
  }

  // The GLSL text of a struct value or a plain value at register *k.
  std::string ValueRead(const GpuxFbParam& p, const std::string& r, uint32_t* k) const {
    if (p.type != kGpuxFbStruct) {
      std::string s = GlslRead(p.type, r, *k);
      *k += RegisterSpan(p.type);
      return s;
    }
    std::string s = p.name + "_t(";
    for (size_t i = 0; i < p.members.size(); ++i) {
      if (i) s += ", ";
      s += GlslRead(p.members[i].type, r, *k);
      *k += RegisterSpan(p.members[i].type);
    }
    return s + ")";
  }

  std::string ValueType(const GpuxFbParam& p) const {
    return p.type == kGpuxFbStruct ? p.name + "_t" : GlslType(p.type);
  }

  GpuResult Prelude(const GpuxFbPass& pass, const std::string& source, const char* registers, Program* program,
                    std::string* text, int line, std::string* errors) {
    std::set<std::string> names = Identifiers(source);
    std::string body;
    uint32_t k = 0;
    for (uint32_t i = 0; i < file_.params.size(); ++i) {
      const GpuxFbParam& p = file_.params[i];
      if (!names.count(p.name) || RegisterCount(i) == 0) continue;
      if (k + RegisterCount(i) > kMaxRegisters) {
        *errors = name_ + "(" + std::to_string(line) + "): the program reads more than " +
                  std::to_string(kMaxRegisters) + " constant registers";
        return kGpuErrInvalidCall;
      }
      program->params.push_back(i);
      program->registers.push_back(k);
      if (p.type == kGpuxFbStruct) {
        body += "struct " + p.name + "_t {";
        for (const GpuxFbMember& m : p.members) body += std::string(" ") + GlslType(m.type) + " " + m.name + ";";
        body += " };\n";
      }
      if (p.elements == 0 && p.type != kGpuxFbStruct) {
        body += "#define " + p.name + " (" + GlslRead(p.type, registers, k) + ")\n";
        k += RegisterSpan(p.type);
        continue;
      }
      std::string type = ValueType(p);
      std::string all = p.elements ? type + "[" + std::to_string(p.elements) + "]" : type;
      body += all + " gpu_param_" + p.name + "() { return ";
      if (p.elements) {
        body += all + "(";
        for (uint32_t e = 0; e < p.elements; ++e) body += (e ? ", " : "") + ValueRead(p, registers, &k);
        body += ")";
      } else {
        body += ValueRead(p, registers, &k);
      }
      body += "; }\n#define " + p.name + " gpu_param_" + p.name + "()\n";
    }
    program->registerCount = k;
    std::string head;
    if (k) head = std::string("uniform vec4 ") + registers + "[" + std::to_string(k) + "];\n";
    std::set<std::string> bound;
    for (const GpuxFbState& s : pass.states) {
      if (s.kind != kGpuxFbSamplerTexture || !names.count(s.param) || !bound.insert(s.param).second) continue;
      int top = TopIndex(s.param);
      std::string sampler = "gpu_Sampler" + std::to_string(s.unit);
      head += std::string("uniform ") + (file_.params[top].type == kGpuxFbTextureCube ? "samplerCube " : "sampler2D ") +
              sampler + ";\n#define " + s.param + " " + sampler + "\n";
    }
    *text = head + body + "#line " + std::to_string(line) + "\n" + source;
    return kGpuOk;
  }

  // The file line a compiler message names ("0:12(5): error ..."), else `fallback`.
  static int LogLine(const char* log, int fallback) {
    if (!log) return fallback;
    const char* p = std::strstr(log, "0:");
    if (!p) return fallback;
    int line = std::atoi(p + 2);
    return line > 0 ? line : fallback;
  }

  GpuResult BuildPass(Pass* pass, std::string* errors) {
    const GpuxFbPass& p = *pass->desc;
    std::string vs, ps;
    GpuResult result = Prelude(p, p.vertex, "gpu_VsConst", &pass->vertex, &vs, p.vertexLine, errors);
    if (GpuFailed(result)) return result;
    result = Prelude(p, p.fragment, "gpu_PsConst", &pass->fragment, &ps, p.fragmentLine, errors);
    if (GpuFailed(result)) return result;
    result = device_->CreateVertexShader(vs.c_str(), &pass->vs);
    if (GpuFailed(result)) {
      const char* log = device_->GetShaderLog();
      *errors = name_ + "(" + std::to_string(LogLine(log, p.vertexLine)) + "): vertex program of pass '" + p.name +
                "' does not build: " + (log ? log : "");
      return kGpuErrInvalidCall;
    }
    result = device_->CreatePixelShader(ps.c_str(), &pass->ps);
    if (GpuFailed(result)) {
      const char* log = device_->GetShaderLog();
      *errors = name_ + "(" + std::to_string(LogLine(log, p.fragmentLine)) + "): fragment program of pass '" +
                p.name + "' does not build: " + (log ? log : "");
      return kGpuErrInvalidCall;
    }
    return kGpuOk;
  }

  // ---- Applying

  uint32_t StateValue(const GpuxFbState& s) {
    if (s.param.empty()) return s.value;
    const Node& n = nodes_[tops_[TopIndex(s.param)]];
    double v = n.v[0];
    if (n.type == kGpuxFbFloat) return static_cast<uint32_t>(ToInt(std::round(v)));
    return static_cast<uint32_t>(ToInt(v));
  }

  GpuResult ApplyStates(bool boundOnly) {
    GpuResult result = kGpuOk;
    for (const GpuxFbState& s : pass_->desc->states) {
      if (boundOnly && s.param.empty()) continue;
      switch (s.kind) {
        case kGpuxFbRenderState:
          Check(manager_ ? manager_->SetRenderState(s.state, StateValue(s)) : device_->SetRenderState(s.state, StateValue(s)),
                &result);
          break;
        case kGpuxFbSamplerState:
          Check(manager_ ? manager_->SetSamplerState(s.unit, s.state, StateValue(s))
                         : device_->SetSamplerState(s.unit, s.state, StateValue(s)),
                &result);
          break;
        case kGpuxFbSamplerTexture: {
          GpuBaseTexture* texture = nodes_[tops_[TopIndex(s.param)]].texture;
          Check(manager_ ? manager_->SetTexture(s.unit, texture) : device_->SetTexture(s.unit, texture), &result);
          break;
        }
      }
    }
    return result;
  }

  GpuResult SetVertexShaderNow(GpuVertexShader* shader) {
    return manager_ ? manager_->SetVertexShader(shader) : device_->SetVertexShader(shader);
  }
  GpuResult SetPixelShaderNow(GpuPixelShader* shader) {
    return manager_ ? manager_->SetPixelShader(shader) : device_->SetPixelShader(shader);
  }

  // Writes a value node's registers (a struct's members in order) from register *k.
  void Pack(uint32_t node, std::vector<float>* regs, uint32_t* k) {
    const Node& n = nodes_[node];
    if (n.type == kGpuxFbStruct) {
      for (uint32_t child : n.children) Pack(child, regs, k);
      return;
    }
    float* r = regs->data() + static_cast<size_t>(*k) * 4;
    if (n.type == kGpuxFbFloat4x4) {
      for (int i = 0; i < 16; ++i) r[i] = static_cast<float>(n.v[i]);
    } else if (n.type == kGpuxFbFloat3x3) {
      for (int i = 0; i < 9; ++i) r[(i / 3) * 4 + i % 3] = static_cast<float>(n.v[i]);
    } else {
      for (uint32_t i = 0; i < GpuxFbTypeComponents(n.type); ++i) r[i] = static_cast<float>(n.v[i]);
    }
    *k += RegisterSpan(n.type);
  }

  std::vector<float> ProgramRegisters(const Program& program) {
    std::vector<float> regs(static_cast<size_t>(program.registerCount) * 4, 0.0f);
    for (size_t i = 0; i < program.params.size(); ++i) {
      uint32_t k = program.registers[i];
      const Node& top = nodes_[tops_[program.params[i]]];
      if (top.elements) {
        for (uint32_t child : top.children) Pack(child, &regs, &k);
      } else {
        Pack(tops_[program.params[i]], &regs, &k);
      }
    }
    return regs;
  }

  GpuResult SendConstants() {
    GpuResult result = kGpuOk;
    if (pass_->vertex.registerCount) {
      std::vector<float> regs = ProgramRegisters(pass_->vertex);
      Check(manager_ ? manager_->SetVertexShaderConstantF(0, regs.data(), pass_->vertex.registerCount)
                     : device_->SetVertexShaderConstantF(0, regs.data(), pass_->vertex.registerCount),
            &result);
    }
    if (pass_->fragment.registerCount) {
      std::vector<float> regs = ProgramRegisters(pass_->fragment);
      Check(manager_ ? manager_->SetPixelShaderConstantF(0, regs.data(), pass_->fragment.registerCount)
                     : device_->SetPixelShaderConstantF(0, regs.data(), pass_->fragment.registerCount),
            &result);
    }
    return result;
  }

  GpuDevice* device_;
  std::string name_;
  uint32_t refs_ = 1;
  GpuxFbEffect file_;
  std::vector<Node> nodes_;
  std::vector<uint32_t> tops_;  // node of each top-level parameter
  std::vector<Technique> techniques_;
  std::vector<Block> blocks_;
  std::vector<Recorded> record_;
  bool recording_ = false;
  GpuEffectStateManager* manager_ = nullptr;
  GpuxHandle current_ = kGpuxNoHandle;
  bool began_ = false;
  bool dirty_ = false;
  Pass* pass_ = nullptr;
};

}  // namespace

GpuResult GpuxCreateEffect(GpuDevice* device, const char* text, size_t size, const char* name, GpuxEffect** effect,
                           std::string* errors) {
  std::string ignored;
  if (!errors) errors = &ignored;
  errors->clear();
  if (!device || !effect) return kGpuErrInvalidCall;
  *effect = nullptr;
  GpuResult injected;
  if (gpu::TakeInjection("CreateEffect", &injected)) return injected;
  auto* made = new Effect(device, name ? name : "effect");
  GpuResult result = made->Build(text, size, errors);
  if (GpuFailed(result)) {
    made->Release();
    return result;
  }
  *effect = made;
  return kGpuOk;
}
