// 3D text instances: a root bound to a character body, one child per decoded character, placed
// left- or right-aligned on one of three rows. Called by the scene natives; never reads past the
// terminating NUL even when a multi-byte lead stands right before it.
#include "scene/text_instances.h"

#include "core/memory.h"
#include "scene/body_cache.h"
#include "scene/instance.h"
#include "scene/instance_tree.h"

namespace {

constexpr uint32_t kReplacementCode = '?';
constexpr int32_t kFirstCharacterBody = 600;
constexpr int32_t kOtherCharacterBody = 695;
constexpr int32_t kRootBody = kFirstCharacterBody + ('!' - 32);
constexpr uint32_t kTextHidden = 0x100000;

struct ExtraBody {
  uint32_t code;
  int32_t body;
};
// The German letters with bodies of their own.
constexpr ExtraBody kExtraBodies[] = {{196, 696}, {214, 697}, {220, 698}, {228, 699},
                                      {246, 700}, {252, 701}, {223, 702}};

// The next character of the text, 0 at its end. A lead byte whose continuation bytes are not
// there (the text ends first) ends the text; so does a four-byte lead.
uint32_t NextCharacter(const unsigned char** at) {
  const unsigned char* p = *at;
  const unsigned char b0 = p[0];
  uint32_t code;
  if (b0 < 0x80) {
    code = b0;
    *at = p + (b0 ? 1 : 0);
  } else if (b0 < 0xE0) {
    if (!p[1]) return 0;
    code = (b0 & 0x1Fu) * 64 + (p[1] & 0x3Fu);
    *at = p + 2;
  } else if (b0 < 0xF0) {
    if (!p[1] || !p[2]) return 0;
    code = ((b0 & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu)) & 0xFFFFu;
    *at = p + 3;
  } else {
    return 0;
  }
  if (code > 255) code = kReplacementCode;
  return code;
}

}  // namespace

int32_t TextCharacterBody(uint32_t code) {
  if (code >= 32 && code <= 127) return kFirstCharacterBody + static_cast<int32_t>(code - 32);
  for (const ExtraBody& extra : kExtraBodies) {
    if (extra.code == code) return extra.body;
  }
  return kOtherCharacterBody;
}

InstanceRecord* CreateTextInstance(const char* text, uint32_t flags) {
  if (!text) text = kTextNullPtr;
  int64_t width = 0;
  for (const auto* p = reinterpret_cast<const unsigned char*>(text); NextCharacter(&p);) width += 2 * kTextAdvance;

  InstanceRecord* root = B3D_InstAlloc();
  if (!root) return nullptr;
  root->name = FreeString(root->name);
  B3D_InstSetBody(root, kRootBody);
  B3D_InstSetRot(root, 0, 0, 0);
  root->flags |= kTextHidden;
  for (InstanceRecord* child = InstFirstChild(root); child; child = InstNextSibling(child)) child->flags |= kTextHidden;

  const int32_t y = (flags & kTextRowAbove) ? 0x10000 : (flags & kTextRowOn) ? 0 : -0x10000;
  int64_t x = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  for (uint32_t code = NextCharacter(&p); code; code = NextCharacter(&p)) {
    if (InstanceRecord* child = B3D_InstAlloc()) {
      // The bind reads the character from the range word; afterwards it holds the layout flags.
      child->rangeStart = static_cast<int32_t>(code);
      B3D_InstSetBody(child, TextCharacterBody(code));
      child->rangeStart = static_cast<int32_t>(flags);
      const int64_t left = x + kTextAdvance - ((flags & kTextRightAligned) ? width : 0);
      B3D_InstSetPos(child, static_cast<int32_t>(left), y, 0);
      B3D_InstAddToInst(child, root);
      child->flags |= kInstScaledWithParent;
    }
    x += 2 * kTextAdvance;
  }
  return root;
}
