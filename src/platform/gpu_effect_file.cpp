// Parser of the ".fb" effect text. Each line is cut into words, numbers, quoted strings and the
// marks [ ] { } = , ; then read by its first word. Program text is taken verbatim up to its
// "end" line. Sizes are bounded so a hostile file cannot ask for huge arrays.
#include "platform/gpu_effect_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "platform/gpu_constants.h"

namespace {

// The largest array a parameter may declare; the renderer's own largest holds 10 lights.
constexpr uint32_t kMaxElements = 256;
constexpr size_t kMaxMembers = 16;

struct NamedType {
  const char* name;
  GpuxFbType type;
};

constexpr NamedType kTypes[] = {
    {"bool", kGpuxFbBool},         {"int", kGpuxFbInt},           {"float", kGpuxFbFloat},
    {"float2", kGpuxFbFloat2},     {"float3", kGpuxFbFloat3},     {"float4", kGpuxFbFloat4},
    {"float3x3", kGpuxFbFloat3x3}, {"float4x4", kGpuxFbFloat4x4}, {"texture", kGpuxFbTexture},
    {"texturecube", kGpuxFbTextureCube}, {"string", kGpuxFbString}, {"struct", kGpuxFbStruct},
};

struct NamedValue {
  const char* name;
  uint32_t value;
};

constexpr NamedValue kRenderStates[] = {
    {"ZEnable", kGpuRsZEnable},
    {"FillMode", kGpuRsFillMode},
    {"ZWriteEnable", kGpuRsZWriteEnable},
    {"AlphaTestEnable", kGpuRsAlphaTestEnable},
    {"SrcBlend", kGpuRsSrcBlend},
    {"DestBlend", kGpuRsDestBlend},
    {"CullMode", kGpuRsCullMode},
    {"ZFunc", kGpuRsZFunc},
    {"AlphaRef", kGpuRsAlphaRef},
    {"AlphaFunc", kGpuRsAlphaFunc},
    {"AlphaBlendEnable", kGpuRsAlphaBlendEnable},
    {"FogEnable", kGpuRsFogEnable},
    {"StencilEnable", kGpuRsStencilEnable},
    {"Lighting", kGpuRsLighting},
    {"ColorVertex", kGpuRsColorVertex},
    {"ColorWriteEnable", kGpuRsColorWriteEnable},
    {"BlendOp", kGpuRsBlendOp},
    {"ScissorTestEnable", kGpuRsScissorTestEnable},
    {"DepthBias", kGpuRsDepthBias},
    {"SlopeScaleDepthBias", kGpuRsSlopeScaleDepthBias},
    {"SeparateAlphaBlendEnable", kGpuRsSeparateAlphaBlendEnable},
    {"SrcBlendAlpha", kGpuRsSrcBlendAlpha},
    {"DestBlendAlpha", kGpuRsDestBlendAlpha},
    {"BlendOpAlpha", kGpuRsBlendOpAlpha},
};

constexpr NamedValue kSamplerStates[] = {
    {"AddressU", kGpuSampAddressU},   {"AddressV", kGpuSampAddressV},         {"AddressW", kGpuSampAddressW},
    {"BorderColor", kGpuSampBorderColor}, {"MagFilter", kGpuSampMagFilter}, {"MinFilter", kGpuSampMinFilter},
    {"MipFilter", kGpuSampMipFilter}, {"MipMapLodBias", kGpuSampMipMapLodBias}, {"MaxMipLevel", kGpuSampMaxMipLevel},
    {"MaxAnisotropy", kGpuSampMaxAnisotropy}, {"SrgbTexture", kGpuSampSrgbTexture},
};

// Names a literal state value may use. Blend, comparison and filter names overlap in number
// only where the device's own numbering does, so one table serves every state.
constexpr NamedValue kValueNames[] = {
    {"FALSE", 0},
    {"TRUE", 1},
    {"ZERO", kGpuBlendZero},
    {"ONE", kGpuBlendOne},
    {"SRCCOLOR", kGpuBlendSrcColor},
    {"INVSRCCOLOR", kGpuBlendInvSrcColor},
    {"SRCALPHA", kGpuBlendSrcAlpha},
    {"INVSRCALPHA", kGpuBlendInvSrcAlpha},
    {"DESTALPHA", kGpuBlendDestAlpha},
    {"INVDESTALPHA", kGpuBlendInvDestAlpha},
    {"DESTCOLOR", kGpuBlendDestColor},
    {"INVDESTCOLOR", kGpuBlendInvDestColor},
    {"ADD", kGpuBlendOpAdd},
    {"SUBTRACT", kGpuBlendOpSubtract},
    {"REVSUBTRACT", kGpuBlendOpRevSubtract},
    {"MIN", kGpuBlendOpMin},
    {"MAX", kGpuBlendOpMax},
    {"NEVER", kGpuCmpNever},
    {"LESS", kGpuCmpLess},
    {"EQUAL", kGpuCmpEqual},
    {"LESSEQUAL", kGpuCmpLessEqual},
    {"GREATER", kGpuCmpGreater},
    {"NOTEQUAL", kGpuCmpNotEqual},
    {"GREATEREQUAL", kGpuCmpGreaterEqual},
    {"ALWAYS", kGpuCmpAlways},
    {"NONE", kGpuCullNone},
    {"CW", kGpuCullCw},
    {"CCW", kGpuCullCcw},
    {"POINT", kGpuTexFilterPoint},
    {"LINEAR", kGpuTexFilterLinear},
    {"ANISOTROPIC", kGpuTexFilterAnisotropic},
    {"WRAP", kGpuTAddressWrap},
    {"MIRROR", kGpuTAddressMirror},
    {"CLAMP", kGpuTAddressClamp},
    {"BORDER", kGpuTAddressBorder},
    {"SOLID", kGpuFillSolid},
    {"WIREFRAME", kGpuFillWireframe},
};

constexpr struct {
  const char* name;
  int rank;
} kProfiles[] = {{"ps_1_1", 11}, {"ps_1_2", 12}, {"ps_1_3", 13}, {"ps_1_4", 14},
                 {"ps_2_0", 20}, {"ps_2_b", 21}, {"ps_2_a", 22}, {"ps_3_0", 30}};

enum TokenKind { kWord, kNumber, kString, kMark };

struct Token {
  TokenKind kind;
  std::string text;
  double number;
};

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool Tokenize(const std::string& line, std::vector<Token>* tokens, std::string* why) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) {
        *why = "string not closed";
        return false;
      }
      tokens->push_back({kString, line.substr(i + 1, end - i - 1), 0});
      i = end + 1;
    } else if (std::strchr("[]{}=,;", c)) {
      tokens->push_back({kMark, std::string(1, c), 0});
      ++i;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
      size_t end = i + 1;
      while (end < line.size() && (IsWordChar(line[end]) || line[end] == '.' ||
                                   ((line[end] == '-' || line[end] == '+') && (line[end - 1] == 'e' || line[end - 1] == 'E'))))
        ++end;
      std::string text = line.substr(i, end - i);
      if (text.back() == 'f') text.pop_back();
      char* stop = nullptr;
      errno = 0;
      double v = std::strtod(text.c_str(), &stop);
      if (text.size() > 2 && (text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0)) {
        v = static_cast<double>(std::strtoul(text.c_str(), &stop, 16));
      }
      if (text.empty() || *stop != '\0' || errno == ERANGE || !std::isfinite(v)) {
        *why = "bad number '" + line.substr(i, end - i) + "'";
        return false;
      }
      tokens->push_back({kNumber, text, v});
      i = end;
    } else if (IsWordChar(c)) {
      size_t end = i;
      while (end < line.size() && IsWordChar(line[end])) ++end;
      tokens->push_back({kWord, line.substr(i, end - i), 0});
      i = end;
    } else {
      *why = std::string("unexpected character '") + c + "'";
      return false;
    }
  }
  return true;
}

bool FindType(const std::string& name, GpuxFbType* type) {
  for (const NamedType& t : kTypes)
    if (name == t.name) {
      *type = t.type;
      return true;
    }
  return false;
}

bool FindNamed(const NamedValue* table, size_t count, const std::string& name, uint32_t* value) {
  for (size_t i = 0; i < count; ++i)
    if (name == table[i].name) {
      *value = table[i].value;
      return true;
    }
  return false;
}

bool IsNumeric(GpuxFbType type) { return GpuxFbTypeComponents(type) > 0; }

class Parser {
 public:
  Parser(GpuxFbEffect* effect, std::string* error) : effect_(effect), error_(error) {}

  bool Run(const char* text, size_t size) {
    size_t at = 0;
    int lineNumber = 0;
    while (at < size) {
      size_t end = at;
      while (end < size && text[end] != '\n') ++end;
      std::string line(text + at, end - at);
      at = end + 1;
      ++lineNumber;
      line_ = lineNumber;
      if (program_) {
        std::string trimmed = Trim(line);
        if (trimmed == "end") {
          program_ = nullptr;
        } else {
          program_->append(line).append("\n");
        }
        continue;
      }
      if (line.find('\0') != std::string::npos) return Fail("unexpected character");
      std::string trimmed = Trim(line);
      if (trimmed.empty() || trimmed[0] == '#') continue;
      std::vector<Token> tokens;
      std::string why;
      if (!Tokenize(trimmed, &tokens, &why)) return Fail(why);
      if (!Line(tokens)) return false;
    }
    if (program_) return Fail("program not ended with \"end\"", programLine_);
    return Finish();
  }

 private:
  static std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
  }

  bool Fail(const std::string& why, int line = 0) {
    *error_ = "line " + std::to_string(line ? line : line_) + ": " + why;
    return false;
  }

  bool Line(const std::vector<Token>& t) {
    if (t[0].kind != kWord) return Fail("a line must start with a word");
    const std::string& word = t[0].text;
    if (word == "param") return Param(t);
    if (word == "annotation") return Annotation(t);
    if (word == "technique") return Technique(t);
    if (word == "pass") return Pass(t);
    if (word == "state") return State(t, kGpuxFbRenderState);
    if (word == "samplerstate") return State(t, kGpuxFbSamplerState);
    if (word == "sampler") return State(t, kGpuxFbSamplerTexture);
    if (word == "vertex" || word == "fragment") {
      if (t.size() != 1) return Fail("'" + word + "' stands alone on its line");
      GpuxFbPass* pass = CurrentPass();
      if (!pass) return Fail("program outside a pass");
      std::string& program = word == "vertex" ? pass->vertex : pass->fragment;
      if (!program.empty()) return Fail("second " + word + " program in a pass");
      (word == "vertex" ? pass->vertexLine : pass->fragmentLine) = line_ + 1;
      program_ = &program;
      programLine_ = line_;
      return true;
    }
    return Fail("unknown word '" + word + "'");
  }

  GpuxFbPass* CurrentPass() {
    if (effect_->techniques.empty() || effect_->techniques.back().passes.empty()) return nullptr;
    return &effect_->techniques.back().passes.back();
  }

  // Values after '=' up to the end: numbers and true/false, or a single string.
  bool Values(const std::vector<Token>& t, size_t from, std::vector<double>* numbers, std::string* text, bool* isText) {
    *isText = false;
    for (size_t i = from; i < t.size(); ++i) {
      const Token& k = t[i];
      if (k.kind == kMark && k.text == ",") continue;
      if (k.kind == kNumber) {
        numbers->push_back(k.number);
      } else if (k.kind == kWord && (k.text == "true" || k.text == "false")) {
        numbers->push_back(k.text == "true" ? 1.0 : 0.0);
      } else if (k.kind == kString && t.size() == from + 1) {
        *text = k.text;
        *isText = true;
      } else {
        return Fail("bad value '" + k.text + "'");
      }
    }
    return true;
  }

  bool CheckName(const std::string& name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0]))) return Fail("bad name '" + name + "'");
    if (!names_.insert(name).second) return Fail("'" + name + "' declared twice");
    return true;
  }

  bool Param(const std::vector<Token>& t) {
    size_t i = 1;
    GpuxFbParam p{};
    p.line = line_;
    if (i >= t.size() || !FindType(t[i].text, &p.type)) return Fail("unknown type" + (i < t.size() ? " '" + t[i].text + "'" : ""));
    ++i;
    if (i >= t.size() || t[i].kind != kWord) return Fail("parameter without a name");
    p.name = t[i++].text;
    if (i < t.size() && t[i].text == "[") {
      if (i + 2 >= t.size() || t[i + 1].kind != kNumber || t[i + 2].text != "]") return Fail("bad array size");
      double n = t[i + 1].number;
      if (n < 1 || n > kMaxElements || n != std::floor(n)) return Fail("array size out of range");
      p.elements = static_cast<uint32_t>(n);
      i += 3;
    }
    if (p.type == kGpuxFbStruct) {
      if (i >= t.size() || t[i].text != "{") return Fail("struct without members");
      ++i;
      std::set<std::string> memberNames;
      while (i < t.size() && t[i].text != "}") {
        if (t[i].text == "," || t[i].text == ";") {
          ++i;
          continue;
        }
        GpuxFbMember m{};
        if (!FindType(t[i].text, &m.type) || !IsNumeric(m.type)) return Fail("bad member type '" + t[i].text + "'");
        if (++i >= t.size() || t[i].kind != kWord) return Fail("member without a name");
        m.name = t[i++].text;
        if (!memberNames.insert(m.name).second) return Fail("member '" + m.name + "' declared twice");
        p.members.push_back(m);
        if (p.members.size() > kMaxMembers) return Fail("too many members");
      }
      if (i >= t.size()) return Fail("struct members not closed");
      ++i;
      if (p.members.empty()) return Fail("struct without members");
    }
    if (i < t.size()) {
      if (t[i].text != "=") return Fail("expected '=' after the parameter");
      bool isText = false;
      if (!Values(t, i + 1, &p.defaults, &p.text, &isText)) return false;
      uint32_t per = 0;
      for (const GpuxFbMember& m : p.members) per += GpuxFbTypeComponents(m.type);
      if (p.type != kGpuxFbStruct) per = GpuxFbTypeComponents(p.type);
      size_t most = static_cast<size_t>(per) * (p.elements ? p.elements : 1);
      if (p.type == kGpuxFbString) {
        if (!isText || p.elements) return Fail("a string takes one quoted value");
      } else if (isText || per == 0 || p.defaults.size() > most) {
        return Fail("default does not fit '" + p.name + "'");
      }
    }
    if (!CheckName(p.name)) return false;
    effect_->params.push_back(std::move(p));
    target_ = &effect_->params.back().annotations;
    return true;
  }

  bool Annotation(const std::vector<Token>& t) {
    if (!target_) return Fail("annotation without a parameter, technique or pass above it");
    GpuxFbAnnotation a{};
    if (t.size() < 5 || !FindType(t[1].text, &a.type) || a.type == kGpuxFbStruct || a.type == kGpuxFbTexture ||
        a.type == kGpuxFbTextureCube)
      return Fail("bad annotation");
    if (t[2].kind != kWord || t[3].text != "=") return Fail("bad annotation");
    a.name = t[2].text;
    bool isText = false;
    if (!Values(t, 4, &a.numbers, &a.text, &isText)) return false;
    if ((a.type == kGpuxFbString) != isText || a.numbers.size() > GpuxFbTypeComponents(a.type))
      return Fail("annotation value does not fit '" + a.name + "'");
    for (const GpuxFbAnnotation& other : *target_)
      if (other.name == a.name) return Fail("annotation '" + a.name + "' given twice");
    target_->push_back(std::move(a));
    return true;
  }

  bool Technique(const std::vector<Token>& t) {
    if (t.size() < 2 || t.size() > 3 || t[1].kind != kWord) return Fail("technique needs a name");
    GpuxFbTechnique tech{};
    tech.name = t[1].text;
    tech.line = line_;
    if (t.size() == 3) {
      tech.profile = t[2].text;
      if (GpuxProfileRank(tech.profile) < 0) return Fail("unknown profile '" + tech.profile + "'");
    }
    for (const GpuxFbTechnique& other : effect_->techniques)
      if (other.name == tech.name) return Fail("technique '" + tech.name + "' declared twice");
    if (!CloseTechnique()) return false;
    effect_->techniques.push_back(std::move(tech));
    target_ = &effect_->techniques.back().annotations;
    return true;
  }

  bool Pass(const std::vector<Token>& t) {
    if (effect_->techniques.empty()) return Fail("pass outside a technique");
    if (t.size() != 2 || t[1].kind != kWord) return Fail("pass needs a name");
    if (!ClosePass()) return false;
    GpuxFbPass pass{};
    pass.name = t[1].text;
    pass.line = line_;
    effect_->techniques.back().passes.push_back(std::move(pass));
    target_ = &effect_->techniques.back().passes.back().annotations;
    return true;
  }

  const GpuxFbParam* FindParam(const std::string& name) const {
    for (const GpuxFbParam& p : effect_->params)
      if (p.name == name) return &p;
    return nullptr;
  }

  bool State(const std::vector<Token>& t, GpuxFbStateKind kind) {
    GpuxFbPass* pass = CurrentPass();
    if (!pass) return Fail("state outside a pass");
    GpuxFbState s{};
    s.kind = kind;
    s.line = line_;
    size_t i = 1;
    if (kind != kGpuxFbRenderState) {
      if (i >= t.size() || t[i].kind != kNumber || t[i].number < 0 || t[i].number >= 16 ||
          t[i].number != std::floor(t[i].number))
        return Fail("sampler unit must be 0 to 15");
      s.unit = static_cast<uint32_t>(t[i].number);
      ++i;
    }
    if (kind != kGpuxFbSamplerTexture) {
      if (i >= t.size()) return Fail("state without a name");
      bool known = kind == kGpuxFbRenderState
                       ? FindNamed(kRenderStates, std::size(kRenderStates), t[i].text, &s.state)
                       : FindNamed(kSamplerStates, std::size(kSamplerStates), t[i].text, &s.state);
      if (!known) return Fail("unknown state '" + t[i].text + "'");
      ++i;
    }
    if (i + 2 != t.size() || t[i].text != "=") return Fail("expected '= value'");
    const Token& v = t[i + 1];
    if (kind == kGpuxFbSamplerTexture) {
      const GpuxFbParam* p = v.kind == kWord ? FindParam(v.text) : nullptr;
      if (!p || (p->type != kGpuxFbTexture && p->type != kGpuxFbTextureCube) || p->elements)
        return Fail("sampler needs a texture parameter");
      s.param = v.text;
    } else if (v.kind == kNumber) {
      if (v.number < 0 || v.number > 4294967295.0) return Fail("state value out of range");
      s.value = static_cast<uint32_t>(v.number);
    } else if (v.kind == kWord && FindNamed(kValueNames, std::size(kValueNames), v.text, &s.value)) {
    } else if (v.kind == kWord && (v.text == "true" || v.text == "false")) {
      s.value = v.text == "true";
    } else if (v.kind == kWord) {
      const GpuxFbParam* p = FindParam(v.text);
      if (!p || p->elements || GpuxFbTypeComponents(p->type) != 1)
        return Fail("'" + v.text + "' is no value and no bool, int or float parameter");
      s.param = v.text;
    } else {
      return Fail("bad state value");
    }
    pass->states.push_back(std::move(s));
    return true;
  }

  bool ClosePass() {
    GpuxFbPass* pass = CurrentPass();
    if (pass && (pass->vertex.empty() || pass->fragment.empty()))
      return Fail("pass '" + pass->name + "' needs a vertex and a fragment program", pass->line);
    return true;
  }

  bool CloseTechnique() {
    if (effect_->techniques.empty()) return true;
    if (!ClosePass()) return false;
    const GpuxFbTechnique& tech = effect_->techniques.back();
    if (tech.passes.empty()) return Fail("technique '" + tech.name + "' has no pass", tech.line);
    return true;
  }

  bool Finish() {
    if (!CloseTechnique()) return false;
    if (effect_->techniques.empty()) return Fail("no technique", line_ ? line_ : 1);
    return true;
  }

  GpuxFbEffect* effect_;
  std::string* error_;
  int line_ = 0;
  std::string* program_ = nullptr;
  int programLine_ = 0;
  std::vector<GpuxFbAnnotation>* target_ = nullptr;
  std::set<std::string> names_;
};

}  // namespace

uint32_t GpuxFbTypeComponents(GpuxFbType type) {
  switch (type) {
    case kGpuxFbBool:
    case kGpuxFbInt:
    case kGpuxFbFloat:
      return 1;
    case kGpuxFbFloat2:
      return 2;
    case kGpuxFbFloat3:
      return 3;
    case kGpuxFbFloat4:
      return 4;
    case kGpuxFbFloat3x3:
      return 9;
    case kGpuxFbFloat4x4:
      return 16;
    default:
      return 0;
  }
}

int GpuxProfileRank(const std::string& profile) {
  for (const auto& p : kProfiles)
    if (profile == p.name) return p.rank;
  return -1;
}

bool GpuxParseEffectFile(const char* text, size_t size, GpuxFbEffect* effect, std::string* error) {
  std::string ignored;
  if (!error) error = &ignored;
  if (!effect) return false;
  *effect = GpuxFbEffect{};
  if (!text) size = 0;
  Parser parser(effect, error);
  if (!parser.Run(text, size)) {
    *effect = GpuxFbEffect{};
    return false;
  }
  return true;
}
