// The pattern matcher: a two-pass compiler from pattern text to a byte program of linked nodes,
// a backtracking matcher over NUL-terminated texts, and the substitution builder. Called by the
// system-information probe and the script regular-expression natives. The state of a compilation
// or a match lives in a context record on the caller's stack, never in globals. The matcher's
// recursion depth and work are bounded, and substitution never writes past its buffer.
#include "core/pattern.h"

#include <cstring>

#include "core/memory.h"

namespace {

// Node opcodes. A node is the opcode, a 16-bit big-endian offset to the next node (0: none;
// backward for BACK) and the operand.
enum : uint8_t {
  kEnd = 0,
  kBol = 1,
  kEol = 2,
  kAny = 3,
  kAnyOf = 4,
  kAnyBut = 5,
  kBranch = 6,
  kBack = 7,
  kExactly = 8,
  kNothing = 9,
  kStar = 10,
  kPlus = 11,
  kOpen = 20,   // kOpen + n for group n
  kClose = 30,  // kClose + n
};

constexpr int kNodeHeader = 3;
constexpr uint32_t kMaxProgramSize = 32767;
constexpr const char* kMetaBytes = "^$.[()|?+*\\";

// Compiler flags of a parsed piece.
constexpr int kHasWidth = 1;  // never matches the empty text
constexpr int kSimple = 2;    // one byte wide: STAR and PLUS can repeat it in a loop
constexpr int kSpStart = 4;   // may begin with a repetition

// Deep enough for a few thousand repetitions of a group, shallow enough that the stack holds it
// under any build; the step budget stops patterns whose backtracking would take forever.
constexpr int kMaxMatchDepth = 6000;
constexpr uint64_t kMaxMatchSteps = 20000000;

bool IsRepeat(char c) { return c == '*' || c == '+' || c == '?'; }

struct Compiler {
  const char* parse;
  uint8_t* code;  // null in the sizing pass
  uint32_t emit;
  uint32_t limit;  // bytes available in the emitting pass
  int nextGroup;
  bool overflow;
};

int32_t NextNode(const uint8_t* code, int32_t node) {
  int32_t offset = (code[node + 1] << 8) | code[node + 2];
  if (offset == 0) return -1;
  return code[node] == kBack ? node - offset : node + offset;
}

void EmitByte(Compiler* c, uint8_t byte) {
  if (c->code) {
    if (c->emit >= c->limit) {
      c->overflow = true;
      return;
    }
    c->code[c->emit] = byte;
  }
  c->emit++;
}

int32_t EmitNode(Compiler* c, uint8_t op) {
  int32_t node = static_cast<int32_t>(c->emit);
  EmitByte(c, op);
  EmitByte(c, 0);
  EmitByte(c, 0);
  return node;
}

// Moves everything from `at` on up by one node header and puts an `op` node there.
void InsertNode(Compiler* c, uint8_t op, int32_t at) {
  if (c->code) {
    if (c->emit + kNodeHeader > c->limit) {
      c->overflow = true;
      return;
    }
    std::memmove(c->code + at + kNodeHeader, c->code + at, c->emit - at);
    c->code[at] = op;
    c->code[at + 1] = 0;
    c->code[at + 2] = 0;
  }
  c->emit += kNodeHeader;
}

// Points the last node of the chain that starts at `node` to `target`.
void SetTail(Compiler* c, int32_t node, int32_t target) {
  if (!c->code || c->overflow || node < 0) return;
  int32_t scan = node;
  for (int32_t next; (next = NextNode(c->code, scan)) >= 0;) scan = next;
  int32_t offset = c->code[scan] == kBack ? scan - target : target - scan;
  c->code[scan + 1] = static_cast<uint8_t>((offset >> 8) & 0xFF);
  c->code[scan + 2] = static_cast<uint8_t>(offset & 0xFF);
}

// SetTail on the operand of a BRANCH node; anything else is left alone.
void SetOperandTail(Compiler* c, int32_t node, int32_t target) {
  if (!c->code || c->overflow || node < 0 || c->code[node] != kBranch) return;
  SetTail(c, node + kNodeHeader, target);
}

int32_t ParseAlternation(Compiler* c, bool group, int* flags);

int32_t ParseClass(Compiler* c, int* flags) {
  int32_t node;
  if (*c->parse == '^') {
    node = EmitNode(c, kAnyBut);
    c->parse++;
  } else {
    node = EmitNode(c, kAnyOf);
  }
  if (*c->parse == ']' || *c->parse == '-') EmitByte(c, static_cast<uint8_t>(*c->parse++));
  while (*c->parse != '\0' && *c->parse != ']') {
    if (*c->parse != '-') {
      EmitByte(c, static_cast<uint8_t>(*c->parse++));
      continue;
    }
    c->parse++;
    if (*c->parse == ']' || *c->parse == '\0') {
      EmitByte(c, '-');
      continue;
    }
    int first = static_cast<uint8_t>(c->parse[-2]);
    int last = static_cast<uint8_t>(*c->parse);
    if (first > last + 1) return -1;
    for (int b = first + 1; b <= last; ++b) EmitByte(c, static_cast<uint8_t>(b));
    c->parse++;
  }
  EmitByte(c, 0);
  if (*c->parse != ']') return -1;
  c->parse++;
  *flags |= kHasWidth | kSimple;
  return node;
}

int32_t ParseAtom(Compiler* c, int* flags) {
  *flags = 0;
  char ch = *c->parse++;
  int32_t node;
  switch (ch) {
    case '^':
      return EmitNode(c, kBol);
    case '$':
      return EmitNode(c, kEol);
    case '.':
      *flags |= kHasWidth | kSimple;
      return EmitNode(c, kAny);
    case '[':
      return ParseClass(c, flags);
    case '(': {
      int inner;
      node = ParseAlternation(c, true, &inner);
      if (node < 0) return -1;
      *flags |= inner & (kHasWidth | kSpStart);
      return node;
    }
    case '\0':
    case '|':
    case ')':
    case '?':
    case '+':
    case '*':
      return -1;  // nothing to repeat, or no atom where one must stand
    case '\\':
      if (*c->parse == '\0') return -1;
      node = EmitNode(c, kExactly);
      EmitByte(c, static_cast<uint8_t>(*c->parse++));
      EmitByte(c, 0);
      *flags |= kHasWidth | kSimple;
      return node;
    default: {
      c->parse--;
      size_t length = std::strcspn(c->parse, kMetaBytes);
      if (length == 0) return -1;
      // An operator after a run applies to its last byte alone, which becomes the next atom.
      if (length > 1 && IsRepeat(c->parse[length])) length--;
      *flags |= kHasWidth;
      if (length == 1) *flags |= kSimple;
      node = EmitNode(c, kExactly);
      for (size_t i = 0; i < length; ++i) EmitByte(c, static_cast<uint8_t>(*c->parse++));
      EmitByte(c, 0);
      return node;
    }
  }
}

int32_t ParsePiece(Compiler* c, int* flags) {
  int atomFlags;
  int32_t node = ParseAtom(c, &atomFlags);
  if (node < 0) return -1;
  char op = *c->parse;
  if (!IsRepeat(op)) {
    *flags = atomFlags;
    return node;
  }
  // A repetition of something that can be empty would loop without consuming.
  if (!(atomFlags & kHasWidth) && op != '?') return -1;
  *flags = op != '+' ? kSpStart : kHasWidth;
  if (op == '*' && (atomFlags & kSimple)) {
    InsertNode(c, kStar, node);
  } else if (op == '*') {
    // x* as (x&|): a branch into x that loops back to itself, or nothing.
    InsertNode(c, kBranch, node);
    SetOperandTail(c, node, EmitNode(c, kBack));
    SetOperandTail(c, node, node);
    SetTail(c, node, EmitNode(c, kBranch));
    SetTail(c, node, EmitNode(c, kNothing));
  } else if (op == '+' && (atomFlags & kSimple)) {
    InsertNode(c, kPlus, node);
  } else if (op == '+') {
    // x+ as x(&|): after x, either back to x or nothing.
    int32_t next = EmitNode(c, kBranch);
    SetTail(c, node, next);
    SetTail(c, EmitNode(c, kBack), node);
    SetTail(c, next, EmitNode(c, kBranch));
    SetTail(c, node, EmitNode(c, kNothing));
  } else {
    // x? as (x|).
    InsertNode(c, kBranch, node);
    SetTail(c, node, EmitNode(c, kBranch));
    int32_t empty = EmitNode(c, kNothing);
    SetTail(c, node, empty);
    SetOperandTail(c, node, empty);
  }
  c->parse++;
  if (IsRepeat(*c->parse)) return -1;
  return node;
}

int32_t ParseBranch(Compiler* c, int* flags) {
  *flags = 0;
  int32_t node = EmitNode(c, kBranch);
  int32_t chain = -1;
  while (*c->parse != '\0' && *c->parse != '|' && *c->parse != ')') {
    int pieceFlags;
    int32_t latest = ParsePiece(c, &pieceFlags);
    if (latest < 0) return -1;
    *flags |= pieceFlags & kHasWidth;
    if (chain < 0) *flags |= pieceFlags & kSpStart;
    else SetTail(c, chain, latest);
    chain = latest;
  }
  if (chain < 0) EmitNode(c, kNothing);
  return node;
}

int32_t ParseAlternation(Compiler* c, bool group, int* flags) {
  *flags = kHasWidth;
  int32_t node = -1;
  int number = 0;
  if (group) {
    if (c->nextGroup >= kPatternGroups) return -1;
    number = c->nextGroup++;
    node = EmitNode(c, static_cast<uint8_t>(kOpen + number));
  }
  int branchFlags;
  int32_t branch = ParseBranch(c, &branchFlags);
  if (branch < 0) return -1;
  if (node >= 0) SetTail(c, node, branch);
  else node = branch;
  if (!(branchFlags & kHasWidth)) *flags &= ~kHasWidth;
  *flags |= branchFlags & kSpStart;
  while (*c->parse == '|') {
    c->parse++;
    branch = ParseBranch(c, &branchFlags);
    if (branch < 0) return -1;
    SetTail(c, node, branch);
    if (!(branchFlags & kHasWidth)) *flags &= ~kHasWidth;
    *flags |= branchFlags & kSpStart;
  }
  int32_t ender = EmitNode(c, static_cast<uint8_t>(group ? kClose + number : kEnd));
  SetTail(c, node, ender);
  if (c->code && !c->overflow) {
    for (int32_t b = node; b >= 0; b = NextNode(c->code, b)) SetOperandTail(c, b, ender);
  }
  if (group) {
    if (*c->parse != ')') return -1;
    c->parse++;
  } else if (*c->parse != '\0') {
    return -1;  // a stray ")" or anything else left over
  }
  return node;
}

// One compiling pass; false when the pattern does not compile.
bool CompilePass(Compiler* c, const char* text, int* flags) {
  c->parse = text;
  c->emit = 0;
  c->nextGroup = 1;
  c->overflow = false;
  EmitByte(c, kPatternMagic);
  return ParseAlternation(c, false, flags) >= 0 && !c->overflow;
}

void FillOptimisation(CompiledPattern* pattern, int flags) {
  const uint8_t* code = PatternProgram(pattern);
  pattern->firstByte = 0;
  pattern->anchored = 0;
  pattern->requiredText = nullptr;
  pattern->requiredLength = 0;
  int32_t scan = 1;  // the first BRANCH
  int32_t next = NextNode(code, scan);
  if (next < 0 || code[next] != kEnd) return;  // more than one top-level branch
  scan += kNodeHeader;
  if (code[scan] == kExactly) pattern->firstByte = code[scan + kNodeHeader];
  else if (code[scan] == kBol) pattern->anchored = 1;
  if (!(flags & kSpStart)) return;
  const char* longest = nullptr;
  size_t length = 0;
  for (; scan >= 0; scan = NextNode(code, scan)) {
    if (code[scan] != kExactly) continue;
    const char* literal = reinterpret_cast<const char*>(code + scan + kNodeHeader);
    size_t n = std::strlen(literal);
    if (n >= length) {
      longest = literal;
      length = n;
    }
  }
  pattern->requiredText = longest;
  pattern->requiredLength = static_cast<uint32_t>(length);
}

struct Matcher {
  const uint8_t* code;
  const char* input;
  const char* textStart;
  const char** starts;
  const char** ends;
  int depth;
  uint64_t steps;
  bool aborted;  // too deep or too long: the whole match answers "no match"
};

bool MatchFrom(Matcher* m, int32_t node);

// How often the simple node at `node` matches in a row from the input; the input moves past them.
size_t RepeatSimple(Matcher* m, int32_t node) {
  const char* operand = reinterpret_cast<const char*>(m->code + node + kNodeHeader);
  const char* p = m->input;
  switch (m->code[node]) {
    case kAny:
      p += std::strlen(p);
      break;
    case kExactly:
      while (*p != '\0' && *p == *operand) p++;
      break;
    case kAnyOf:
      while (*p != '\0' && std::strchr(operand, *p)) p++;
      break;
    case kAnyBut:
      while (*p != '\0' && !std::strchr(operand, *p)) p++;
      break;
    default:
      break;
  }
  size_t count = static_cast<size_t>(p - m->input);
  m->input = p;
  return count;
}

bool MatchChain(Matcher* m, int32_t scan) {
  while (scan >= 0) {
    if (++m->steps > kMaxMatchSteps) {
      m->aborted = true;
      return false;
    }
    int32_t next = NextNode(m->code, scan);
    const char* operand = reinterpret_cast<const char*>(m->code + scan + kNodeHeader);
    uint8_t op = m->code[scan];
    switch (op) {
      case kBol:
        if (m->input != m->textStart) return false;
        break;
      case kEol:
        if (*m->input != '\0') return false;
        break;
      case kAny:
        if (*m->input == '\0') return false;
        m->input++;
        break;
      case kExactly: {
        if (*operand != *m->input) return false;
        size_t length = std::strlen(operand);
        if (length > 1 && std::strncmp(operand, m->input, length) != 0) return false;
        m->input += length;
        break;
      }
      case kAnyOf:
        if (*m->input == '\0' || !std::strchr(operand, *m->input)) return false;
        m->input++;
        break;
      case kAnyBut:
        if (*m->input == '\0' || std::strchr(operand, *m->input)) return false;
        m->input++;
        break;
      case kNothing:
      case kBack:
        break;
      case kBranch:
        if (next < 0 || m->code[next] != kBranch) {
          next = scan + kNodeHeader;  // a single alternative: no choice to remember
        } else {
          do {
            const char* save = m->input;
            if (MatchFrom(m, scan + kNodeHeader)) return true;
            if (m->aborted) return false;
            m->input = save;
            scan = NextNode(m->code, scan);
          } while (scan >= 0 && m->code[scan] == kBranch);
          return false;
        }
        break;
      case kStar:
      case kPlus: {
        char nextByte = next >= 0 && m->code[next] == kExactly ? static_cast<char>(m->code[next + kNodeHeader]) : '\0';
        size_t minimum = op == kStar ? 0 : 1;
        const char* save = m->input;
        size_t count = RepeatSimple(m, scan + kNodeHeader);
        // Longest first; a count is only worth trying where the next literal can start.
        for (;;) {
          if (count < minimum) return false;
          m->input = save + count;
          if (nextByte == '\0' || *m->input == nextByte) {
            if (MatchFrom(m, next)) return true;
            if (m->aborted) return false;
          }
          if (count == 0) return false;
          count--;
        }
      }
      case kEnd:
        return true;
      default:
        if (op > kOpen && op < kOpen + kPatternGroups) {
          int n = op - kOpen;
          const char* save = m->input;
          if (!MatchFrom(m, next)) return false;
          // A later iteration of a repeated group has already recorded itself.
          if (!m->starts[n]) m->starts[n] = save;
          return true;
        }
        if (op > kClose && op < kClose + kPatternGroups) {
          int n = op - kClose;
          const char* save = m->input;
          if (!MatchFrom(m, next)) return false;
          if (!m->ends[n]) m->ends[n] = save;
          return true;
        }
        return false;
    }
    scan = next;
  }
  return false;  // the chain ended without END
}

bool MatchFrom(Matcher* m, int32_t node) {
  if (m->aborted) return false;
  if (m->depth >= kMaxMatchDepth) {
    m->aborted = true;
    return false;
  }
  m->depth++;
  bool matched = MatchChain(m, node);
  m->depth--;
  return matched;
}

bool TryAt(Matcher* m, CompiledPattern* pattern, const char* at) {
  for (int i = 0; i < kPatternGroups; ++i) pattern->groupStart[i] = pattern->groupEnd[i] = nullptr;
  m->input = at;
  if (!MatchFrom(m, 1)) return false;
  pattern->groupStart[0] = at;
  pattern->groupEnd[0] = m->input;
  return true;
}

int Search(CompiledPattern* pattern, const char* text) {
  if (pattern->requiredText) {
    const char* s = text;
    while ((s = std::strchr(s, pattern->requiredText[0])) != nullptr) {
      if (std::strncmp(s, pattern->requiredText, pattern->requiredLength) == 0) break;
      s++;
    }
    if (!s) return 0;
  }
  Matcher m{PatternProgram(pattern), text, text, pattern->groupStart, pattern->groupEnd, 0, 0, false};
  if (pattern->anchored) return TryAt(&m, pattern, text) ? 1 : 0;
  const char* s = text;
  if (pattern->firstByte != 0) {
    while ((s = std::strchr(s, static_cast<char>(pattern->firstByte))) != nullptr) {
      if (TryAt(&m, pattern, s)) return 1;
      if (m.aborted) return 0;
      s++;
    }
    return 0;
  }
  // Every position, the terminator's included, so an empty match at the end is found.
  do {
    if (TryAt(&m, pattern, s)) return 1;
    if (m.aborted) return 0;
  } while (*s++ != '\0');
  return 0;
}

void ClearGroups(CompiledPattern* pattern) {
  for (int i = 0; i < kPatternGroups; ++i) pattern->groupStart[i] = pattern->groupEnd[i] = nullptr;
}

}  // namespace

CompiledPattern* PatternCompile(const char* text) {
  if (!text) return nullptr;
  Compiler c{};
  int flags = 0;
  if (!CompilePass(&c, text, &flags)) return nullptr;
  uint32_t size = c.emit;
  if (size >= kMaxProgramSize) return nullptr;

  // Counted at the size the statistics know this record by, whatever it takes here.
  uint32_t nominal = kPatternNominalHeader + size;
  auto* pattern = static_cast<CompiledPattern*>(MemAlloc(sizeof(CompiledPattern) + size, kMemUncounted));
  if (!pattern) return nullptr;
  gMemCounters.currentBytes += nominal;
  gMemCounters.totalBytes += nominal;
  gMemCounters.categoryBytes[kMemCatDefault] += nominal;
  gMemCounters.allocationCount += 1;
  pattern->programSize = size;

  c.code = PatternProgram(pattern);
  c.limit = size;
  if (!CompilePass(&c, text, &flags) || c.emit != size) {
    PatternFree(pattern);
    return nullptr;
  }
  ClearGroups(pattern);
  FillOptimisation(pattern, flags);
  return pattern;
}

int PatternExec(CompiledPattern* pattern, const char* text) {
  if (!pattern || !text || PatternProgram(pattern)[0] != kPatternMagic) return 0;
  // Positions of an earlier match may point into a text that is gone.
  ClearGroups(pattern);
  int matched = Search(pattern, text);
  if (!matched) ClearGroups(pattern);
  return matched;
}

size_t PatternSubstitute(const char* source, const CompiledPattern* pattern, char* destination,
                         size_t destinationSize) {
  if (!source || !pattern || !destination || PatternProgram(pattern)[0] != kPatternMagic) return 0;
  size_t length = 0;
  auto put = [&](char ch) {
    if (length + 1 < destinationSize) destination[length] = ch;
    length++;
  };
  for (const char* s = source; *s != '\0';) {
    char ch = *s++;
    int group = -1;
    if (ch == '&') {
      group = 0;
    } else if (ch == '\\' && *s >= '0' && *s <= '9') {
      group = *s++ - '0';
    }
    if (group < 0) {
      if (ch == '\\' && (*s == '\\' || *s == '&')) ch = *s++;
      put(ch);
      continue;
    }
    const char* from = pattern->groupStart[group];
    const char* to = pattern->groupEnd[group];
    if (!from || !to) continue;
    // A text changed since the match may end inside the group; stop at its terminator.
    for (const char* p = from; p < to && *p != '\0'; ++p) put(*p);
  }
  if (destinationSize > 0) destination[length < destinationSize ? length : destinationSize - 1] = '\0';
  return length;
}

void PatternFree(CompiledPattern* pattern) {
  if (!pattern) return;
  uint32_t nominal = kPatternNominalHeader + pattern->programSize;
  MemFree(pattern, 0, kMemUncounted);
  gMemCounters.currentBytes -= nominal;
  gMemCounters.categoryBytes[kMemCatDefault] -= nominal;
}
