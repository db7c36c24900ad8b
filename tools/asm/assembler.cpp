// The byte-code assembler behind korvane-asm and the script tests: a line parser, label fix-ups,
// an interned string pool, the chunk writer and the pool scrambler. Everything it writes outside
// the opcode bytes is big-endian, value by value; it never emits a fused opcode (the loader
// makes those) and never reads or writes anything but its own buffers.
#include "asm/assembler.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/byte_order.h"

namespace {

enum OperandKind {
  kOpNone,
  kOpI8,
  kOpI16,
  kOpU16,
  kOpI32,
  kOpTarget,      // u32 code offset of a jump (label or number)
  kOpPoolText,    // u32 pool id of a text
  kOpCodeOffset,  // u32 code offset of a callee (label or number)
  kOpDouble,
  kOpDense,
  kOpSparse,
};

struct Mnemonic {
  const char* name;
  uint8_t opcode;
  OperandKind kind;
};

// The plain instruction set. Names are ours; the opcode numbers and operand widths are what the
// loader and interpreter expect.
const Mnemonic kMnemonics[] = {
    {"push0", 1, kOpNone},      {"push1", 2, kOpNone},      {"push2", 3, kOpNone},
    {"push3", 4, kOpNone},      {"pushb", 5, kOpI8},        {"pushw", 6, kOpI16},
    {"pushi", 7, kOpI32},       {"pushd0", 8, kOpNone},     {"pushd1", 9, kOpNone},
    {"pushd", 10, kOpDouble},   {"pushs", 11, kOpPoolText}, {"nop", 12, kOpNone},
    {"ldl", 13, kOpI16},        {"ldg", 14, kOpI16},        {"ldm", 15, kOpI16},
    {"ldel", 16, kOpNone},      {"ldell", 17, kOpI16},      {"ldelg", 18, kOpI16},
    {"ldelm", 19, kOpI16},      {"stl", 20, kOpI16},        {"stg", 21, kOpI16},
    {"stm", 22, kOpI16},        {"stel", 23, kOpNone},      {"stell", 24, kOpI16},
    {"stelg", 25, kOpI16},      {"stelm", 26, kOpI16},      {"mvl", 27, kOpI16},
    {"mvg", 28, kOpI16},        {"mvm", 29, kOpI16},        {"mvel", 30, kOpNone},
    {"mvell", 31, kOpI16},      {"mvelg", 32, kOpI16},      {"mvelm", 33, kOpI16},
    {"dup", 34, kOpNone},       {"popn", 35, kOpU16},       {"pop", 36, kOpNone},
    {"mkarray", 40, kOpI16},    {"mktable", 41, kOpI16},    {"size", 42, kOpNone},
    {"new", 43, kOpNone},       {"newc", 44, kOpI16},       {"delete", 45, kOpNone},
    {"this", 46, kOpNone},      {"isa", 47, kOpNone},       {"classtest", 48, kOpI16},
    {"jmp", 50, kOpTarget},     {"jt", 51, kOpTarget},      {"jf", 52, kOpTarget},
    {"jne", 53, kOpTarget},     {"jeq", 54, kOpTarget},     {"jlt", 55, kOpTarget},
    {"jgt", 56, kOpTarget},     {"jngt", 57, kOpTarget},    {"jnlt", 58, kOpTarget},
    {"add", 70, kOpNone},       {"addb", 71, kOpI8},        {"addw", 72, kOpI16},
    {"addi", 73, kOpI32},       {"inc", 74, kOpNone},       {"sub", 75, kOpNone},
    {"subb", 76, kOpI8},        {"subw", 77, kOpI16},       {"subi", 78, kOpI32},
    {"dec", 79, kOpNone},       {"mul", 80, kOpNone},       {"div", 81, kOpNone},
    {"mod", 82, kOpNone},       {"and", 83, kOpNone},       {"or", 84, kOpNone},
    {"xor", 85, kOpNone},       {"land", 86, kOpNone},      {"lor", 87, kOpNone},
    {"shl", 88, kOpNone},       {"shr", 89, kOpNone},       {"ne", 90, kOpNone},
    {"eq", 91, kOpNone},        {"lt", 92, kOpNone},        {"gt", 93, kOpNone},
    {"ngt", 94, kOpNone},       {"nlt", 95, kOpNone},       {"not", 100, kOpNone},
    {"neg", 101, kOpNone},      {"compl", 102, kOpNone},    {"check", 110, kOpI16},
    {"launch", 111, kOpNone},   {"switch", 120, kOpDense},  {"sswitch", 121, kOpSparse},
    {"native", 130, kOpPoolText}, {"ret", 131, kOpNone},    {"call", 132, kOpCodeOffset},
    {"callname", 133, kOpPoolText}, {"callobj", 134, kOpCodeOffset},
    {"callthis", 135, kOpPoolText}, {"callself", 136, kOpCodeOffset},
};

// Field type codes the loader's field initialiser knows.
struct FieldTypeName {
  const char* name;
  uint32_t code;
};
const FieldTypeName kFieldTypes[] = {
    {"zero", 0}, {"int", 1}, {"str", 2}, {"array", 8}, {"table", 9}, {"float", 14},
};

struct Token {
  std::string text;
  bool quoted = false;
};

struct MethodDef {
  std::string name;
  Token entry;
  uint32_t frame = 0;
  uint32_t params = 0;
  int line = 0;
};

struct FieldDef {
  uint32_t w1 = 0;
  uint32_t value = 0;
  uint32_t type = 0;
  uint32_t w4 = 0;
};

struct ClassDef {
  uint32_t id = 0;
  uint32_t superId = 0xFFFFFFFFu;
  uint32_t word = 0;
  std::vector<MethodDef> methods;
  std::vector<FieldDef> fields;
};

struct PatchDef {
  uint32_t key = 0;
  std::vector<std::pair<Token, Token>> pairs;
  int line = 0;
};

struct Fixup {
  uint32_t offset;  // where the u32 goes in the code
  std::string label;
  int line;
};

struct SparseText {
  std::string text;
  Token target;
};

struct Assembly {
  std::vector<uint8_t> code;
  std::vector<uint32_t> instructions;
  std::vector<uint8_t> pool;
  std::map<std::string, uint32_t> labels;
  std::map<std::string, uint32_t> strings;
  std::vector<Fixup> fixups;
  std::vector<ClassDef> classes;
  std::vector<MethodDef> functions;
  std::vector<FieldDef> globals;
  std::vector<PatchDef> patches;
  uint32_t version = 801;
  uint32_t headerWord = 0;
  bool inClass = false;
  int line = 0;
  std::string error;
};

bool Fail(Assembly& a, const std::string& message) {
  if (a.error.empty()) a.error = "line " + std::to_string(a.line) + ": " + message;
  return false;
}

// Splits a line into tokens: blanks and commas separate, ';' starts a comment outside quotes,
// quoted texts take the escapes \n \t \r \0 \\ \" and \xHH.
bool Tokenize(Assembly& a, const std::string& line, std::vector<Token>& out) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == ',' || c == '\r') {
      ++i;
      continue;
    }
    if (c == ';') break;
    Token t;
    if (c == '"') {
      t.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d != '\\') {
          t.text += d;
          continue;
        }
        if (i >= line.size()) return Fail(a, "escape at end of line");
        char e = line[i++];
        switch (e) {
          case 'n': t.text += '\n'; break;
          case 't': t.text += '\t'; break;
          case 'r': t.text += '\r'; break;
          case '0': t.text += '\0'; break;
          case '\\': t.text += '\\'; break;
          case '"': t.text += '"'; break;
          case 'x': {
            if (i + 2 > line.size()) return Fail(a, "bad \\x escape");
            std::string hex = line.substr(i, 2);
            char* end = nullptr;
            long v = std::strtol(hex.c_str(), &end, 16);
            if (*end != '\0') return Fail(a, "bad \\x escape");
            t.text += char(v);
            i += 2;
            break;
          }
          default: return Fail(a, std::string("unknown escape \\") + e);
        }
      }
      if (!closed) return Fail(a, "unterminated text");
    } else {
      while (i < line.size()) {
        char d = line[i];
        if (d == ' ' || d == '\t' || d == ',' || d == ';' || d == '\r') break;
        t.text += d;
        ++i;
      }
    }
    out.push_back(t);
  }
  return true;
}

bool ParseInt(const Token& t, int64_t& out) {
  if (t.quoted || t.text.empty()) return false;
  const char* s = t.text.c_str();
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(s, &end, 0);
  if (errno != 0 || *end != '\0') return false;
  out = v;
  return true;
}

bool NumberIn(Assembly& a, const Token& t, int64_t lo, int64_t hi, int64_t& out) {
  if (!ParseInt(t, out)) return Fail(a, "number expected, got '" + t.text + "'");
  if (out < lo || out > hi) return Fail(a, "number out of range: " + t.text);
  return true;
}

bool Word(Assembly& a, const Token& t, uint32_t& out) {
  int64_t v;
  if (!NumberIn(a, t, INT32_MIN, UINT32_MAX, v)) return false;
  out = uint32_t(v);
  return true;
}

uint32_t Intern(Assembly& a, const std::string& text) {
  auto it = a.strings.find(text);
  if (it != a.strings.end()) return it->second;
  if (a.pool.empty()) a.pool.push_back(0);  // id 0 means "no text" to the engine
  uint32_t id = uint32_t(a.pool.size());
  a.pool.insert(a.pool.end(), text.begin(), text.end());
  a.pool.push_back(0);
  a.strings[text] = id;
  return id;
}

bool InternToken(Assembly& a, const Token& t, uint32_t& id) {
  if (t.text.find('\0') != std::string::npos) return Fail(a, "a pool text cannot hold a NUL");
  id = Intern(a, t.text);
  return true;
}

void Put8(std::vector<uint8_t>& v, uint8_t x) { v.push_back(x); }
void Put16(std::vector<uint8_t>& v, uint16_t x) {
  unsigned char b[2];
  StoreBE16(b, x);
  v.insert(v.end(), b, b + 2);
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  unsigned char b[4];
  StoreBE32(b, x);
  v.insert(v.end(), b, b + 4);
}

// A code address operand: a number is written as it stands, a name is fixed up at the end.
bool PutTarget(Assembly& a, const Token& t) {
  int64_t v;
  if (ParseInt(t, v)) {
    if (v < 0 || v > int64_t(UINT32_MAX)) return Fail(a, "code offset out of range: " + t.text);
    Put32(a.code, uint32_t(v));
    return true;
  }
  if (t.quoted || t.text.empty()) return Fail(a, "label expected");
  a.fixups.push_back({uint32_t(a.code.size()), t.text, a.line});
  Put32(a.code, 0);
  return true;
}

bool ResolveTarget(Assembly& a, const Token& t, int line, uint32_t& out) {
  int64_t v;
  if (ParseInt(t, v)) {
    if (v < 0 || v > int64_t(UINT32_MAX)) {
      a.line = line;
      return Fail(a, "code offset out of range: " + t.text);
    }
    out = uint32_t(v);
    return true;
  }
  auto it = a.labels.find(t.text);
  if (it == a.labels.end()) {
    a.line = line;
    return Fail(a, "undefined label '" + t.text + "'");
  }
  out = it->second;
  return true;
}

bool Expect(Assembly& a, const std::vector<Token>& args, size_t n, const char* what) {
  if (args.size() != n) return Fail(a, std::string(what) + " takes " + std::to_string(n) + " operand(s)");
  return true;
}

bool EmitInstruction(Assembly& a, const Mnemonic& m, const std::vector<Token>& args) {
  std::vector<uint8_t>& c = a.code;
  int64_t v = 0;
  if (m.kind != kOpDense && m.kind != kOpSparse) {
    if (!Expect(a, args, m.kind == kOpNone ? 0 : 1, m.name)) return false;
  }
  Put8(c, m.opcode);
  switch (m.kind) {
    case kOpNone: return true;
    case kOpI8:
      if (!NumberIn(a, args[0], -128, 255, v)) return false;
      Put8(c, uint8_t(v));
      return true;
    case kOpI16:
      if (!NumberIn(a, args[0], -32768, 65535, v)) return false;
      Put16(c, uint16_t(v));
      return true;
    case kOpU16:
      if (!NumberIn(a, args[0], 0, 65535, v)) return false;
      Put16(c, uint16_t(v));
      return true;
    case kOpI32:
      if (!NumberIn(a, args[0], INT32_MIN, UINT32_MAX, v)) return false;
      Put32(c, uint32_t(v));
      return true;
    case kOpTarget:
    case kOpCodeOffset: return PutTarget(a, args[0]);
    case kOpPoolText: {
      uint32_t id;
      if (!InternToken(a, args[0], id)) return false;
      Put32(c, id);
      return true;
    }
    case kOpDouble: {
      char* end = nullptr;
      double d = std::strtod(args[0].text.c_str(), &end);
      if (args[0].quoted || args[0].text.empty() || *end != '\0') return Fail(a, "number expected");
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      Put32(c, uint32_t(bits >> 32));
      Put32(c, uint32_t(bits));
      return true;
    }
    case kOpDense: {
      // switch base default target...
      if (args.size() < 2) return Fail(a, "switch takes a base, a default and targets");
      size_t n = args.size() - 2;
      if (n > 65535) return Fail(a, "too many switch targets");
      if (!NumberIn(a, args[0], INT32_MIN, INT32_MAX, v)) return false;
      Put16(c, uint16_t(n));
      Put32(c, uint32_t(v));
      for (size_t i = 1; i < args.size(); ++i)
        if (!PutTarget(a, args[i])) return false;
      return true;
    }
    case kOpSparse: {
      // sswitch default key target key target ...; int keys sorted signed, text keys by bytes
      if (args.empty() || args.size() % 2 != 1) return Fail(a, "sswitch takes a default and key/target pairs");
      std::vector<std::pair<int32_t, Token>> ints;
      std::vector<SparseText> texts;
      for (size_t i = 1; i < args.size(); i += 2) {
        if (args[i].quoted) {
          texts.push_back({args[i].text, args[i + 1]});
        } else {
          if (!NumberIn(a, args[i], INT32_MIN, INT32_MAX, v)) return false;
          ints.push_back({int32_t(v), args[i + 1]});
        }
      }
      if (ints.size() > 65535 || texts.size() > 65535) return Fail(a, "too many switch keys");
      std::stable_sort(ints.begin(), ints.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
      std::stable_sort(texts.begin(), texts.end(), [](const SparseText& x, const SparseText& y) {
        return std::lexicographical_compare(x.text.begin(), x.text.end(), y.text.begin(), y.text.end(),
                                            [](char p, char q) { return uint8_t(p) < uint8_t(q); });
      });
      Put16(c, uint16_t(ints.size()));
      Put16(c, uint16_t(texts.size()));
      if (!PutTarget(a, args[0])) return false;
      for (const auto& [key, target] : ints) {
        Put32(c, uint32_t(key));
        if (!PutTarget(a, target)) return false;
      }
      for (const SparseText& t : texts) {
        uint32_t id;
        if (!InternToken(a, Token{t.text, true}, id)) return false;
        Put32(c, id);
        if (!PutTarget(a, t.target)) return false;
      }
      return true;
    }
  }
  return true;
}

// Splits "key=value" options off the end of a directive's operands.
bool TakeOptions(Assembly& a, std::vector<Token>& args, std::map<std::string, Token>& options) {
  std::vector<Token> rest;
  for (const Token& t : args) {
    size_t eq = t.quoted ? std::string::npos : t.text.find('=');
    if (eq == std::string::npos) {
      rest.push_back(t);
      continue;
    }
    std::string key = t.text.substr(0, eq);
    if (options.count(key)) return Fail(a, "option '" + key + "' given twice");
    options[key] = Token{t.text.substr(eq + 1), false};
  }
  args = rest;
  return true;
}

bool OptionWord(Assembly& a, std::map<std::string, Token>& options, const char* key, uint32_t& out) {
  auto it = options.find(key);
  if (it == options.end()) return true;
  bool ok = Word(a, it->second, out);
  options.erase(it);
  return ok;
}

bool NoMoreOptions(Assembly& a, const std::map<std::string, Token>& options) {
  if (options.empty()) return true;
  return Fail(a, "unknown option '" + options.begin()->first + "'");
}

// .field / .global TYPE [VALUE] [w1=N] [rev=N]
bool ParseField(Assembly& a, std::vector<Token> args, FieldDef& f) {
  std::map<std::string, Token> options;
  if (!TakeOptions(a, args, options)) return false;
  if (!OptionWord(a, options, "w1", f.w1) || !OptionWord(a, options, "rev", f.w4)) return false;
  if (!NoMoreOptions(a, options)) return false;
  if (args.empty() || args.size() > 2) return Fail(a, "a field takes a type and at most one value");
  bool named = false;
  for (const FieldTypeName& t : kFieldTypes) {
    if (args[0].text == t.name && !args[0].quoted) {
      f.type = t.code;
      named = true;
    }
  }
  if (!named && !Word(a, args[0], f.type)) return false;
  if (args.size() == 1) return true;
  const Token& value = args[1];
  if (f.type == 2 && value.quoted) return InternToken(a, value, f.value);
  if (f.type == 14) {
    char* end = nullptr;
    float x = std::strtof(value.text.c_str(), &end);
    if (value.quoted || value.text.empty() || *end != '\0') return Fail(a, "number expected");
    std::memcpy(&f.value, &x, sizeof x);
    return true;
  }
  return Word(a, value, f.value);
}

// .method / .func NAME ENTRY [frame=N] [params=N]
bool ParseMethod(Assembly& a, std::vector<Token> args, MethodDef& m) {
  std::map<std::string, Token> options;
  if (!TakeOptions(a, args, options)) return false;
  if (!OptionWord(a, options, "frame", m.frame) || !OptionWord(a, options, "params", m.params)) return false;
  if (!NoMoreOptions(a, options)) return false;
  if (args.size() != 2) return Fail(a, "a method takes a name and an entry label");
  uint32_t id;
  if (!InternToken(a, args[0], id)) return false;
  m.name = args[0].text;
  m.entry = args[1];
  m.line = a.line;
  return true;
}

bool Directive(Assembly& a, const std::string& name, std::vector<Token> args) {
  if (name == ".version" || name == ".header") {
    uint32_t v;
    if (!Expect(a, args, 1, name.c_str()) || !Word(a, args[0], v)) return false;
    (name == ".version" ? a.version : a.headerWord) = v;
    return true;
  }
  if (name == ".class") {
    if (a.inClass) return Fail(a, ".class inside a class (missing .end)");
    std::map<std::string, Token> options;
    if (!TakeOptions(a, args, options)) return false;
    ClassDef c;
    if (!OptionWord(a, options, "super", c.superId) || !OptionWord(a, options, "word", c.word)) return false;
    if (!NoMoreOptions(a, options)) return false;
    if (!Expect(a, args, 1, ".class") || !Word(a, args[0], c.id)) return false;
    a.classes.push_back(c);
    a.inClass = true;
    return true;
  }
  if (name == ".end") {
    if (!a.inClass) return Fail(a, ".end without .class");
    a.inClass = false;
    return Expect(a, args, 0, ".end");
  }
  if (name == ".method") {
    if (!a.inClass) return Fail(a, ".method outside a class (use .func for functions)");
    MethodDef m;
    if (!ParseMethod(a, args, m)) return false;
    a.classes.back().methods.push_back(m);
    return true;
  }
  if (name == ".func") {
    if (a.inClass) return Fail(a, ".func inside a class (use .method)");
    MethodDef m;
    if (!ParseMethod(a, args, m)) return false;
    a.functions.push_back(m);
    return true;
  }
  if (name == ".field") {
    if (!a.inClass) return Fail(a, ".field outside a class (use .global)");
    FieldDef f;
    if (!ParseField(a, args, f)) return false;
    a.classes.back().fields.push_back(f);
    return true;
  }
  if (name == ".global") {
    if (a.inClass) return Fail(a, ".global inside a class (use .field)");
    FieldDef f;
    if (!ParseField(a, args, f)) return false;
    a.globals.push_back(f);
    return true;
  }
  if (name == ".patch") {
    if (args.empty() || args.size() % 2 != 1) return Fail(a, ".patch takes a key and old/new pairs");
    PatchDef p;
    p.line = a.line;
    if (!Word(a, args[0], p.key)) return false;
    for (size_t i = 1; i < args.size(); i += 2) p.pairs.push_back({args[i], args[i + 1]});
    a.patches.push_back(p);
    return true;
  }
  if (name == ".string") {
    for (const Token& t : args) {
      uint32_t id;
      if (!InternToken(a, t, id)) return false;
    }
    return true;
  }
  if (name == ".byte") {
    int64_t v;
    for (const Token& t : args) {
      if (!NumberIn(a, t, -128, 255, v)) return false;
      Put8(a.code, uint8_t(v));
    }
    return true;
  }
  if (name == ".u16") {
    int64_t v;
    for (const Token& t : args) {
      if (!NumberIn(a, t, -32768, 65535, v)) return false;
      Put16(a.code, uint16_t(v));
    }
    return true;
  }
  if (name == ".u32") {
    for (const Token& t : args)
      if (!PutTarget(a, t)) return false;
    return true;
  }
  return Fail(a, "unknown directive " + name);
}

bool AssembleLine(Assembly& a, const std::string& line) {
  std::vector<Token> tokens;
  if (!Tokenize(a, line, tokens)) return false;
  size_t i = 0;
  while (i < tokens.size() && !tokens[i].quoted && tokens[i].text.size() > 1 && tokens[i].text.back() == ':') {
    std::string label = tokens[i].text.substr(0, tokens[i].text.size() - 1);
    if (a.labels.count(label)) return Fail(a, "label '" + label + "' defined twice");
    a.labels[label] = uint32_t(a.code.size());
    ++i;
  }
  if (i == tokens.size()) return true;
  if (tokens[i].quoted) return Fail(a, "instruction expected");
  std::string head = tokens[i].text;
  std::vector<Token> args(tokens.begin() + long(i) + 1, tokens.end());
  if (head[0] == '.') return Directive(a, head, args);
  for (const Mnemonic& m : kMnemonics) {
    if (head != m.name) continue;
    a.instructions.push_back(uint32_t(a.code.size()));
    return EmitInstruction(a, m, args);
  }
  return Fail(a, "unknown instruction '" + head + "'");
}

void PutMethod(Assembly& a, std::vector<uint8_t>& out, const MethodDef& m, bool& ok) {
  uint32_t entry = 0;
  if (!ResolveTarget(a, m.entry, m.line, entry)) ok = false;
  Put32(out, entry);
  Put32(out, a.strings[m.name]);
  Put32(out, m.frame);
  Put32(out, m.params);
}

void PutField(std::vector<uint8_t>& out, const FieldDef& f) {
  Put32(out, f.w1);
  Put32(out, f.value);
  Put32(out, f.type);
  Put32(out, f.w4);
}

bool Contains(const std::vector<std::string>& list, const char* id) {
  return std::find(list.begin(), list.end(), std::string(id)) != list.end();
}

void PutChunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body, const AsmOptions& o) {
  if (Contains(o.omitChunks, id)) return;
  int times = Contains(o.duplicateChunks, id) ? 2 : 1;
  for (int i = 0; i < times; ++i) {
    out.insert(out.end(), id, id + 4);
    Put32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
  }
}

}  // namespace

void ScrambleStringPool(std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return;
  bytes[0] = uint8_t(~bytes[0]);
  for (size_t i = 1; i < bytes.size(); ++i) bytes[i] = uint8_t(~uint8_t(bytes[i] + bytes[i - 1]));
}

AsmResult Assemble(const std::string& text, const AsmOptions& options) {
  Assembly a;
  AsmResult result;
  a.code.push_back(0);  // offset 0 is never an instruction: code offset 0 means "none"
  a.pool.push_back(0);
  size_t start = 0;
  bool ok = true;
  while (ok && start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    ++a.line;
    ok = AssembleLine(a, text.substr(start, end - start));
    start = end + 1;
  }
  if (ok && a.inClass) ok = Fail(a, ".class without .end");
  for (const Fixup& f : a.fixups) {
    if (!ok) break;
    uint32_t target;
    ok = ResolveTarget(a, Token{f.label, false}, f.line, target);
    if (ok) StoreBE32(&a.code[f.offset], target);
  }

  std::vector<uint8_t> clas, symb, vars, ptch;
  Put32(clas, uint32_t(a.classes.size()));
  for (const ClassDef& c : a.classes) {
    Put32(clas, c.id);
    Put32(clas, c.superId);
    Put32(clas, c.word);
    Put32(clas, uint32_t(c.methods.size()));
    for (const MethodDef& m : c.methods) PutMethod(a, clas, m, ok);
    Put32(clas, uint32_t(c.fields.size()));
    for (const FieldDef& f : c.fields) PutField(clas, f);
  }
  Put32(symb, uint32_t(a.functions.size()));
  for (const MethodDef& m : a.functions) PutMethod(a, symb, m, ok);
  Put32(vars, uint32_t(a.globals.size()));
  for (const FieldDef& f : a.globals) PutField(vars, f);
  Put32(ptch, uint32_t(a.patches.size()));
  for (const PatchDef& p : a.patches) {
    Put32(ptch, p.key);
    Put32(ptch, uint32_t(p.pairs.size()));
    for (const auto& [oldOffset, newOffset] : p.pairs) {
      uint32_t o = 0, n = 0;
      if (!ResolveTarget(a, oldOffset, p.line, o) || !ResolveTarget(a, newOffset, p.line, n)) ok = false;
      Put32(ptch, o);
      Put32(ptch, n);
    }
  }
  if (!ok) {
    result.error = a.error;
    return result;
  }

  std::vector<uint8_t>& out = result.bytes;
  out.insert(out.end(), {'S', 'T', 'O', 'R'});
  Put32(out, options.hasVersion ? options.version : a.version);
  Put32(out, a.headerWord);
  PutChunk(out, "CODE", a.code, options);
  PutChunk(out, "CLAS", clas, options);
  PutChunk(out, "SYMB", symb, options);
  PutChunk(out, "VARS", vars, options);
  if (options.plainPool) {
    PutChunk(out, "STRU", a.pool, options);
  } else {
    std::vector<uint8_t> scrambled = a.pool;
    ScrambleStringPool(scrambled);
    PutChunk(out, "STRG", scrambled, options);
  }
  if (!a.patches.empty() || Contains(options.duplicateChunks, "PTCH")) PutChunk(out, "PTCH", ptch, options);
  for (const std::string& id : options.extraChunks) {
    std::string tag = (id + "    ").substr(0, 4);
    out.insert(out.end(), tag.begin(), tag.end());
    Put32(out, 0);
  }
  if (!options.noEndMarker) {
    // The reader stops at the marker; the zero size word keeps its header whole.
    out.insert(out.end(), {'/', 'S', 'T', 'O'});
    Put32(out, 0);
  }
  result.ok = true;
  result.code = a.code;
  result.instructions = a.instructions;
  result.pool = a.pool;
  result.labels = a.labels;
  result.strings = a.strings;
  return result;
}

uint32_t AsmLabel(const AsmResult& result, const std::string& name) {
  auto it = result.labels.find(name);
  return it == result.labels.end() ? 0xFFFFFFFFu : it->second;
}

uint32_t AsmString(const AsmResult& result, const std::string& text) {
  auto it = result.strings.find(text);
  return it == result.strings.end() ? 0xFFFFFFFFu : it->second;
}

std::string AsmLabelMap(const AsmResult& result) {
  std::vector<std::pair<uint32_t, std::string>> entries;
  for (const auto& [name, offset] : result.labels) entries.push_back({offset, name});
  std::sort(entries.begin(), entries.end());
  std::string out;
  for (const auto& [offset, name] : entries) out += std::to_string(offset) + " " + name + "\n";
  return out;
}
