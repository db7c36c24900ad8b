// Writes cut descriptions in the two cut forms (see cut_writer.h). The text form spells the
// path flags as their letters; the binary form writes the flag word.
#include "engine_types/cut_writer.h"

#include <cstdio>
#include <cstdlib>

#include "core/byte_order.h"

namespace typetool {

namespace {

constexpr uint32_t kKeyFlags = 0;  // a position and three angles

std::string Num(int32_t v) { return std::to_string(v) + "; "; }

std::string FixedText(int32_t v) {
  char text[64];
  std::snprintf(text, sizeof text, "%f; ", v / 65536.0);
  return text;
}

std::string Letters(uint32_t flags) {
  std::string s;
  if (flags & 0x1) s += "c ";
  if (flags & 0x2) s += (flags & 0x4) ? "ld " : (flags & 0x8) ? "lp " : (flags & 0x10) ? "ls " : "l ";
  if (flags & 0x20) s += "f ";
  if (flags & 0x80) s += "j ";
  if (flags & 0x100) s += "p ";
  if (flags & 0x200) s += "s ";
  return s;
}

std::string KeyText(const CutKey& k) {
  std::string s = Num(static_cast<int32_t>(kKeyFlags)) + Num(k.x) + Num(k.y) + Num(k.z);
  for (int32_t a : k.angles) s += FixedText(a);
  return s + Num(k.delta) + Num(0) + "\n";
}

std::string KeyBinary(const CutKey& k) {
  std::string s = Be32(kKeyFlags) + Be32(static_cast<uint32_t>(k.x)) + Be32(static_cast<uint32_t>(k.y)) +
                  Be32(static_cast<uint32_t>(k.z));
  for (int32_t a : k.angles) s += Be32(static_cast<uint32_t>(a));
  return s + Be32(static_cast<uint32_t>(k.delta)) + Be32(0);
}

}  // namespace

std::string Be32(uint32_t value) {
  unsigned char bytes[4];
  StoreBE32(bytes, value);
  return std::string(reinterpret_cast<const char*>(bytes), 4);
}

std::string Cstr(const std::string& text) { return text + std::string(1, '\0'); }

std::string CutText(const CutContent& cut) {
  std::string s = "/ cut written by the engine's cut writer\nVER: " + Num(cut.version) + "\n";
  for (const CutPathPlan& p : cut.paths) {
    s += "P " + Num(p.serial) + "B " + p.body + ";\n";
    s += "C " + Num(static_cast<int32_t>(p.mask)) + "F " + Num(p.f);
    if (!p.name.empty()) s += "N " + p.name + "; ";
    if (!p.constraints.empty()) {
      s += "K " + Num(static_cast<int32_t>(p.constraints.size()));
      for (const auto& [a, b] : p.constraints) s += Num(a) + FixedText(b);
    }
    if (!p.notes.empty()) {
      s += "T ";
      for (const auto& [time, text] : p.notes) s += Num(time) + text + "; ";
      s += Num(-1);
    }
    s += Letters(p.flags) + "E\n";
    for (const auto& block : p.blocks) {
      s += "{ ";
      if (cut.version >= 2) s += Num(p.blockKind);
      s += Num(static_cast<int32_t>(block.size())) + "\n";
      for (const CutKey& k : block) s += KeyText(k);
      s += "}\n";
    }
  }
  return s + "\n";
}

std::string CutBinary(const CutContent& cut) {
  std::string s = "CUT1INFO" + Cstr("written by the engine's cut writer") + "/INF";
  s += Be32(static_cast<uint32_t>(cut.version)) + Be32(static_cast<uint32_t>(cut.paths.size()));
  for (const CutPathPlan& p : cut.paths) {
    s += "PATH" + Be32(static_cast<uint32_t>(p.serial));
    if (cut.version >= 6) s += Cstr(p.body);
    else s += Be32(static_cast<uint32_t>(std::atoi(p.body.c_str())));
    s += Be32(p.mask) + Be32(static_cast<uint32_t>(p.f)) + Be32(p.flags);
    if (!p.name.empty()) s += "NAME" + Cstr(p.name) + "/NAM";
    if (!p.constraints.empty()) {
      s += "CONS" + Be32(static_cast<uint32_t>(p.constraints.size()));
      for (const auto& [a, b] : p.constraints) s += Be32(static_cast<uint32_t>(a)) + Be32(static_cast<uint32_t>(b));
      s += "/CON";
    }
    s += Be32(static_cast<uint32_t>(p.notes.size()));
    if (!p.notes.empty()) {
      s += "NOTE";
      for (const auto& [time, text] : p.notes) s += Be32(static_cast<uint32_t>(time)) + Cstr(text);
      s += "/NOT";
    }
    s += Be32(static_cast<uint32_t>(p.blocks.size()));
    if (!p.blocks.empty()) {
      s += "STAT";
      for (const auto& block : p.blocks) {
        s += Be32(static_cast<uint32_t>(p.blockKind)) + Be32(static_cast<uint32_t>(block.size()));
        for (const CutKey& k : block) s += KeyBinary(k);
      }
      s += "/STA";
    }
    s += "/PAT";
  }
  return s + "/CUT";
}

}  // namespace typetool
