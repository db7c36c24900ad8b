// Fuzz target of the 3D text builder: script texts of any bytes, valid UTF-8 or not, become an
// instance tree with one child per decoded character. The text sits in a block that ends right
// after its NUL, so a decoder that reads a continuation byte past the end is caught; the tree is
// freed again, so nothing may leak.
//
// Input: a layout flag byte, then the text (its first NUL, if any, ends it). An input with no
// text byte at all stands for the null text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "scene/body_text.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"
#include "scene/text_instances.h"

namespace {

void ReturningFatal(uint32_t code, const char*) {
  if (code != kBodyExitMalformed && code != kBodyExitMemory) std::abort();
}

size_t ChildCount(InstanceRecord* root) {
  size_t n = 0;
  for (InstanceRecord* child = InstFirstChild(root); child; child = InstNextSibling(child)) ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::SceneEngine(ReturningFatal);
  if (size < 1) return 0;
  const uint32_t flags = data[0];
  const size_t length = size - 1;
  // Exactly the text and its NUL: one byte more read is outside the block.
  std::unique_ptr<char[]> text;
  if (length > 0) {
    text.reset(new char[length + 1]);
    std::memcpy(text.get(), data + 1, length);
    text[length] = '\0';
  }
  InstanceRecord* root = CreateTextInstance(text.get(), flags);
  if (!root) return 0;
  const size_t children = ChildCount(root);
  const char* spelled = text ? text.get() : kTextNullPtr;
  const size_t bytes = std::strlen(spelled);
  // Never more characters than bytes; plain ASCII is one character per byte.
  if (children > bytes) std::abort();
  bool ascii = true;
  for (size_t i = 0; i < bytes; ++i) ascii = ascii && static_cast<unsigned char>(spelled[i]) < 0x80;
  if (ascii && children != bytes) std::abort();
  FreeInstance(root);
  return 0;
}
