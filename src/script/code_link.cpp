// Code checking, linking and fusion for a loaded compiled script: the operand-size walk over
// the code, the check that every instruction, jump target, switch table and pool id lies
// inside its block, the conversion of operands to host order with natives bound by name, and
// the rewrite of frequent sequences into fused opcodes with jump threading. Called by the
// loader only. Every read is bounded by the code size; a chain of jumps that never ends fails.
#include <algorithm>
#include <cstring>

#include "script/loader.h"

namespace {

bool gFusionOn = true;

// Operand bytes of a plain opcode with a fixed size; -1 for the two switches.
int32_t FixedOperandBytes(uint8_t op) {
  switch (op) {
    case 5: case 71: case 76:
      return 1;
    case 6: case 13: case 14: case 15: case 17: case 18: case 19: case 20: case 21: case 22: case 24:
    case 25: case 26: case 27: case 28: case 29: case 31: case 32: case 33: case 35: case 40: case 41:
    case 44: case 48: case 72: case 77: case 110:
      return 2;
    case 7: case 11: case 50: case 51: case 52: case 53: case 54: case 55: case 56: case 57: case 58:
    case 73: case 78: case 130: case 132: case 133: case 134: case 135: case 136:
      return 4;
    case 10:
      return 8;
    case 120: case 121:
      return -1;
    default:
      return 0;
  }
}

// Operand bytes of the fused forms, as the threading pass steps them.
int32_t FusedOperandBytes(uint8_t op) {
  switch (op) {
    case 149: return 1;
    case 140: case 141: case 142: case 143: case 144: case 145: case 146: case 147: case 148: return 3;
    case 151: case 152: case 153: return 4;
    case 150: return 5;
    case 164: case 165: return 7;
    case 160: case 161: return 8;
    case 166: case 167: return 9;
    case 162: case 163: return 10;
    default: return 0;
  }
}

uint16_t ReadBE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
uint32_t ReadBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
uint16_t ReadLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t ReadLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void WriteLE16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void WriteLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Swap16(uint8_t* p) { WriteLE16(p, ReadBE16(p)); }
void Swap32(uint8_t* p) { WriteLE32(p, ReadBE32(p)); }

// Operand bytes of the instruction at pc in the file's order (big-endian counts), or -1 when
// it does not end inside the code.
int64_t FileOperandBytes(const uint8_t* code, uint32_t size, uint32_t pc, bool littleEndian) {
  uint8_t op = code[pc];
  int64_t bytes = FixedOperandBytes(op);
  auto count16 = [&](uint32_t at) -> int64_t {
    if (uint64_t(at) + 2 > size) return -1;
    return littleEndian ? ReadLE16(code + at) : ReadBE16(code + at);
  };
  if (op == 120) {
    int64_t n = count16(pc + 1);
    if (n < 0) return -1;
    bytes = 2 + 4 * (n + 2);
  } else if (op == 121) {
    int64_t a = count16(pc + 1), b = count16(pc + 3);
    if (a < 0 || b < 0) return -1;
    bytes = 4 + 4 * (2 * (a + b) + 1);
  }
  if (uint64_t(pc) + 1 + uint64_t(bytes) > size) return -1;
  return bytes;
}

// The byte at an offset, 0 beyond the code (the padding reads the same).
uint8_t At(const ScriptEngine* e, uint64_t at) { return at < e->codeSize ? e->code[at] : 0; }
int16_t AtI16(const ScriptEngine* e, uint64_t at) {
  return at + 2 <= e->codeSize ? int16_t(ReadLE16(e->code + at)) : 0;
}
// A 32-bit word inside the code; false when it would pass the end.
bool Word(const ScriptEngine* e, uint64_t at, uint32_t* out) {
  if (at + 4 > e->codeSize) return false;
  *out = ReadLE32(e->code + at);
  return true;
}

const char* PoolText(const ScriptEngine* engine, uint32_t id) {
  // The loader keeps a NUL after the pool, so every id below the size reads a terminated text.
  return id < engine->stringPoolSize ? engine->stringPool + id : "";
}

// The module row and function number a native's name binds to; 0/0 when no row lists it.
void BindNative(const ScriptEngine* engine, const char* name, uint16_t* module, uint16_t* function) {
  *module = 0;
  *function = 0;
  int32_t rows = engine->moduleCount < kModuleRowCount ? engine->moduleCount : kModuleRowCount;
  for (int32_t row = 1; row < rows; ++row) {
    const char* const* names = engine->modules[row].names;
    if (!names) continue;
    for (uint32_t k = 0; names[k] && k < 0xFFFF; ++k) {
      if (std::strcmp(names[k], name) == 0) {
        *module = uint16_t(row);
        *function = uint16_t(k);
        return;
      }
    }
  }
}

// The first instruction that is not a plain jump on the chain of jumps starting at `at`; false
// on a cycle. A fused constant jump names the start of its chain, and by the time it runs its
// own jump has been threaded to the chain's end: a jump threaded through it must land where
// it will land, also when it is threaded first.
bool ChainEnd(const ScriptEngine* e, uint32_t* at) {
  uint32_t t = *at;
  for (uint64_t steps = 0; At(e, t) == 50; ++steps) {
    if (steps > e->codeSize || !Word(e, uint64_t(t) + 1, &t)) return false;
  }
  *at = t;
  return true;
}

// Follows the target of a jump through chains of unconditional jumps; false on a cycle.
bool ThreadTarget(const ScriptEngine* e, uint32_t* target) {
  uint32_t t = *target;
  // Every step lands on a new instruction start; more steps than code bytes means a loop.
  for (uint64_t steps = 0; steps <= e->codeSize; ++steps) {
    uint32_t w = 0, x = 0;
    switch (At(e, t)) {
      case 50:
        if (!Word(e, uint64_t(t) + 1, &w)) break;
        t = w;
        continue;
      case 170:
        if (!Word(e, uint64_t(t) + 2, &w)) break;
        t = w;
        continue;
      case 176:
        if (!Word(e, uint64_t(t) + 3, &w)) break;
        t = w;
        continue;
      case 171:
        t += 6;
        continue;
      case 177:
        t += 7;
        continue;
      case 172:
        if (!Word(e, uint64_t(t) + 2, &x) || !ChainEnd(e, &x) || !Word(e, uint64_t(x) + 1, &w)) break;
        t = w;
        continue;
      case 173:
        if (!Word(e, uint64_t(t) + 2, &x) || !ChainEnd(e, &x)) break;
        t = x + 5;
        continue;
      default:
        break;
    }
    *target = t;
    return true;
  }
  return false;
}

// Rule for a constant 0 or 1 followed by a conditional: which fused form runs it.
// `jumps` is true when the constant makes the conditional jump.
uint8_t ConstantJump(uint8_t constant, uint8_t conditional, uint8_t whenJumps, uint8_t whenNot) {
  bool isOne = constant == 2;
  bool jumps = conditional == 52 ? !isOne : isOne;  // 52 jumps on false, 51 on true
  return jumps ? whenJumps : whenNot;
}

// Operand bytes of the instruction at pc of the fused code: the fused forms by their own
// sizes (the constant jumps cover their whole sequence), every other by the plain sizes.
int64_t FusedCodeOperandBytes(const uint8_t* code, uint32_t size, uint32_t pc) {
  uint8_t op = code[pc];
  if (op >= 140 && op <= 167) return FusedOperandBytes(op);
  if (op >= 170 && op <= 175) return 5;
  if (op == 176 || op == 177) return 6;
  return FileOperandBytes(code, size, pc, true);
}

uint8_t ArithmeticIndex(uint8_t op) { return op == 70 ? 0 : op == 75 ? 1 : op == 80 ? 2 : 0xFF; }

// The stack depth a fused loop-body form at pc needs for every local it names to lie inside
// the stack, which its handler then checks once: 1 + the deepest slot, counted from the top
// as the plain sequence sees it after its own pushes. 0 when a local lies above the top or
// deeper than a map byte can say: such a sequence stays plain, as the fused form would run it.
uint8_t FusedDepth(const ScriptEngine* e, uint32_t pc, uint8_t fused) {
  struct Slot {
    uint8_t at;      // operand offset after the opcode byte
    uint8_t pushes;  // values the plain sequence pushed before it reads the slot
  };
  static const Slot kCompare[] = {{1, 0}, {4, 1}};
  static const Slot kArith[] = {{1, 0}, {4, 1}, {8, 1}};
  static const Slot kTopArith[] = {{1, 0}, {5, 0}};
  static const Slot kStore[] = {{1, 0}, {4, 1}, {7, 2}};
  static const Slot kElement[] = {{1, 0}, {4, 1}};
  static const Slot kOne[] = {{1, 0}};
  const Slot* slots;
  int count;
  if (fused >= kOpLocalsCompareJump && fused < kOpLocalsArith) slots = kCompare, count = 2;
  else if (fused >= kOpLocalsArith && fused < kOpTopArithLocal) slots = kArith, count = 3;
  else if (fused >= kOpTopArithLocal && fused < kOpLocalsStoreElement) slots = kTopArith, count = 2;
  else if (fused == kOpLocalsStoreElement) slots = kStore, count = 3;
  else if (fused == kOpLocalElement) slots = kElement, count = 2;
  else slots = kOne, count = 1;
  int32_t deepest = 0;
  for (int k = 0; k < count; ++k) {
    int32_t offset = int32_t(AtI16(e, uint64_t(pc) + slots[k].at)) - 1 - slots[k].pushes;
    if (offset < 0 || offset > 254) return 0;
    if (offset > deepest) deepest = offset;
  }
  return uint8_t(deepest + 1);
}

// The loop-body sequences of kOpLocalsCompareJump and its kin. Runs after the fusion and
// threading passes, on plain instructions they left alone; marks each rewrite in the map.
void FuseLocalSequences(ScriptEngine* engine) {
  ScriptEngine* e = engine;
  uint8_t* code = engine->code;
  uint32_t size = engine->codeSize;
  uint8_t* map = code + size + kCodePadding;
  for (uint32_t pc = 1; pc < size;) {
    int64_t bytes = FusedCodeOperandBytes(code, size, pc);
    if (bytes < 0) break;
    uint64_t next = uint64_t(pc) + 1 + uint64_t(bytes);
    uint8_t fused = 0;
    uint64_t length = 0;
    if (code[pc] == 13) {
      uint8_t n0 = At(e, next), n1 = At(e, next + 3);
      if (n0 == 13 && ArithmeticIndex(n1) != 0xFF && At(e, next + 4) == 146) {
        fused = uint8_t(kOpLocalsArith + ArithmeticIndex(n1));
        length = 11;
      } else if (n0 == 13 && n1 == 24 && At(e, next + 6) == 36) {
        fused = kOpLocalsStoreElement;
        length = 10;
      } else if (n0 == 13 && n1 >= 53 && n1 <= 58) {
        fused = uint8_t(kOpLocalsCompareJump + n1 - 53);
        length = 11;
      } else if (ArithmeticIndex(n0) != 0xFF && At(e, next + 1) == 146) {
        fused = uint8_t(kOpTopArithLocal + ArithmeticIndex(n0));
        length = 8;
      } else if (n0 == 17) {
        fused = kOpLocalElement;
        length = 6;
      } else if (n0 >= 1 && n0 <= 4 && At(e, next + 1) >= 53 && At(e, next + 1) <= 58) {
        fused = uint8_t(kOpLocalConstCompareJump + At(e, next + 1) - 53);
        length = 9;
      }
    }
    if ((code[pc] == 160 || code[pc] == 161) && At(e, next) == 50) {
      fused = uint8_t(kOpLocalStepJump + code[pc] - 160);
      length = 14;
    }
    uint8_t depth = fused && pc + length <= size ? FusedDepth(e, pc, fused) : 0;
    if (depth) {
      code[pc] = fused;
      map[pc] = depth;
      next = pc + length;
    }
    pc = uint32_t(next);
  }
  // Loop steps whose jump lands on a fused loop test, which is at most as long as it is now
  // since nothing rewrites the code after this.
  for (uint32_t pc = 1; pc + 14 <= size; ++pc) {
    if (!map[pc] || (code[pc] != kOpLocalStepJump && code[pc] != kOpLocalStepJump + 1)) continue;
    uint32_t target = ReadLE32(code + pc + 10);
    if (uint64_t(target) + 11 > size || !map[target]) continue;
    uint8_t test = code[target];
    if (test < kOpLocalsCompareJump || test >= kOpLocalsArith) continue;
    code[pc] = uint8_t(kOpLocalStepCompareJump + 2 * (test - kOpLocalsCompareJump) + (code[pc] - kOpLocalStepJump));
    // One depth for the step and the test, so a turn of the loop checks it once; the step's
    // own depth is its operand, which the handler reads when the stack is shallower.
    map[pc] = std::max(map[pc], map[target]);
  }
  // Of those, the loops whose body is one fused statement between the test and the step.
  for (uint32_t pc = 1; pc + 14 <= size; ++pc) {
    if (!map[pc] || code[pc] < kOpLocalStepCompareJump || code[pc] >= kOpLocalStepCompareJump + 12) continue;
    uint32_t test = ReadLE32(code + pc + 10);
    uint64_t body = uint64_t(test) + 11;
    if (body + 11 != pc || !map[body] || code[body] < kOpLocalsArith || code[body] >= kOpTopArithLocal) continue;
    code[pc] = uint8_t(kOpLocalLoopArith + (code[pc] - kOpLocalStepCompareJump));
    map[pc] = std::max(map[pc], map[body]);
  }
}

}  // namespace

void SetScriptCodeFusion(bool on) { gFusionOn = on; }

bool ValidateScriptCode(const ScriptEngine* engine) {
  const uint8_t* code = engine->code;
  uint32_t size = engine->codeSize;
  uint32_t poolSize = engine->stringPoolSize;
  if (!code || size == 0) return false;
  auto target = [&](uint32_t at) { return ReadBE32(code + at) < size; };
  auto poolId = [&](uint32_t at) { return ReadBE32(code + at) < poolSize; };
  for (uint32_t pc = 1; pc < size;) {
    int64_t bytes = FileOperandBytes(code, size, pc, false);
    if (bytes < 0) return false;
    uint8_t op = code[pc];
    switch (op) {
      case 50: case 51: case 52: case 53: case 54: case 55: case 56: case 57: case 58:
      case 132: case 134: case 136:
        if (!target(pc + 1)) return false;
        break;
      case 11: case 130: case 133: case 135:
        if (!poolId(pc + 1)) return false;
        break;
      case 120: {
        uint32_t n = ReadBE16(code + pc + 1);
        for (uint32_t k = 0; k <= n; ++k)  // the default, then n targets
          if (!target(pc + 7 + 4 * k)) return false;
        break;
      }
      case 121: {
        uint32_t a = ReadBE16(code + pc + 1), b = ReadBE16(code + pc + 3);
        if (!target(pc + 5)) return false;
        uint32_t at = pc + 9;
        for (uint32_t k = 0; k < a + b; ++k, at += 8) {
          if (k >= a && !poolId(at)) return false;
          if (!target(at + 4)) return false;
        }
        break;
      }
      default:
        break;
    }
    pc += uint32_t(1 + bytes);
  }
  return true;
}

bool LinkScriptCode(ScriptEngine* engine) {
  uint8_t* code = engine->code;
  uint32_t size = engine->codeSize;
  for (uint32_t pc = 1; pc < size;) {
    int64_t bytes = FileOperandBytes(code, size, pc, false);
    if (bytes < 0) return false;
    uint8_t* p = code + pc + 1;
    uint8_t op = code[pc];
    if (op == 120) {
      uint32_t n = ReadBE16(p);
      Swap16(p);
      for (uint32_t k = 0; k < n + 2; ++k) Swap32(p + 2 + 4 * k);
    } else if (op == 121) {
      uint32_t words = 2 * (uint32_t(ReadBE16(p)) + ReadBE16(p + 2)) + 1;
      Swap16(p);
      Swap16(p + 2);
      for (uint32_t k = 0; k < words; ++k) Swap32(p + 4 + 4 * k);
    } else if (op == 130) {
      uint16_t module, function;
      BindNative(engine, PoolText(engine, ReadBE32(p)), &module, &function);
      WriteLE16(p, module);
      WriteLE16(p + 2, function);
    } else if (bytes == 2) {
      Swap16(p);
    } else if (bytes == 4) {
      Swap32(p);
    } else if (bytes == 8) {
      for (int i = 0; i < 4; ++i) {
        uint8_t t = p[i];
        p[i] = p[7 - i];
        p[7 - i] = t;
      }
    }
    pc += uint32_t(1 + bytes);
  }
  if (!gFusionOn) return true;
  if (!OptimizeScriptCode(engine)) return false;
  FuseLocalSequences(engine);
  return true;
}

bool OptimizeScriptCode(ScriptEngine* engine) {
  ScriptEngine* e = engine;
  uint8_t* code = engine->code;
  uint32_t size = engine->codeSize;

  // Fusion: only the first opcode byte of a sequence changes, so every other offset stays valid.
  for (uint32_t pc = 1; pc < size;) {
    uint8_t op = code[pc];
    int64_t bytes = FileOperandBytes(code, size, pc, true);
    if (bytes < 0) break;
    uint64_t next = uint64_t(pc) + 1 + uint64_t(bytes);
    uint8_t n0 = At(e, next);
    switch (op) {
      case 13: case 14: case 15: {
        int16_t a = AtI16(e, pc + 1);
        if (n0 == 16) {
          code[pc] = uint8_t(140 + op - 13);
        } else if (n0 == 23) {
          code[pc] = uint8_t((At(e, next + 1) == 36 ? 151 : 143) + op - 13);
        } else if (op == 13 && a == 1 && n0 == 20 && AtI16(e, next + 1) == 2 && At(e, next + 3) == 36 &&
                   At(e, next + 4) == 131) {
          code[pc] = code[pc + 1] = code[pc + 2] = 131;  // "return the argument" returns at once
        } else if (op == 13 && n0 == 2 && (At(e, next + 1) == 70 || At(e, next + 1) == 75) &&
                   At(e, next + 2) == 20 && AtI16(e, next + 3) == int16_t(a + 1)) {
          bool add = At(e, next + 1) == 70;
          uint8_t opposite = add ? 75 : 70;
          uint64_t after = next + 5;
          if (At(e, after) == 36) {
            code[pc] = add ? 160 : 161;
          } else if (At(e, after) == 2 && At(e, after + 1) == opposite) {
            code[pc] = At(e, after + 2) == 36 ? (add ? 162 : 163) : (add ? 166 : 167);
          } else {
            code[pc] = add ? 164 : 165;
          }
        }
        break;
      }
      case 20: case 21: case 22:
        if (n0 == 36) code[pc] = uint8_t(146 + op - 20);
        else if (op == 20 && n0 == 35) code[pc] = 150;
        break;
      case 23:
        if (n0 == 36) code[pc] = 149;
        break;
      case 100:
        if (n0 == 52) code[pc] = 174;
        else if (n0 == 51) code[pc] = 175;
        break;
      case 1: case 2:
        if (n0 == 51 || n0 == 52) {
          code[pc] = ConstantJump(op, n0, 170, 171);
        } else if (n0 == 50) {
          uint32_t t = 0;
          if (!Word(e, next + 1, &t)) break;
          uint64_t steps = 0;
          while (At(e, t) == 50) {
            if (++steps > size || !Word(e, uint64_t(t) + 1, &t)) return false;
          }
          uint8_t x = At(e, t);
          if (x == 51 || x == 52) code[pc] = ConstantJump(op, x, 172, 173);
        } else if (n0 == 100 && (At(e, next + 1) == 51 || At(e, next + 1) == 52)) {
          // "not" flips the constant before the conditional sees it.
          code[pc] = ConstantJump(op == 1 ? 2 : 1, At(e, next + 1), 176, 177);
        }
        break;
      default:
        break;
    }
    pc = uint32_t(next);
  }

  // Jump threading over the fused code.
  for (uint32_t pc = 1; pc < size;) {
    uint8_t op = code[pc];
    int64_t bytes;
    if (op == 50 || op == 51 || op == 52) {
      uint32_t t;
      if (!Word(e, uint64_t(pc) + 1, &t)) break;
      if (!ThreadTarget(e, &t)) return false;
      WriteLE32(code + pc + 1, t);
      bytes = 4;
    } else if (op >= 140 && op <= 167) {
      bytes = FusedOperandBytes(op);
    } else if (op > 167) {
      bytes = 0;  // 170-177 are stepped byte by byte, so the jumps inside them are threaded too
    } else {
      bytes = FileOperandBytes(code, size, pc, true);
      if (bytes < 0) break;
    }
    pc += uint32_t(1 + bytes);
  }
  return true;
}
