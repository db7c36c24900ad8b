// The message and nav map panels' states and the nav map's colours (see message_panel.h).
#include "frontend/hud/message_panel.h"

namespace {

constexpr int32_t kClassShip = 7;
constexpr int32_t kClassMissile = 10;
constexpr int32_t kClassGate = 18;
constexpr int32_t kClassBeacon = 20;

PanelAction Enter(PanelState* panel, int32_t state, uint32_t now) {
  panel->state = state;
  panel->startTime = now;
  return PanelAction::kCut;
}

bool IsInertClass(int32_t c) { return c == 4 || c == 8 || c == 9 || (c >= 11 && c <= 17); }

NavMapMark ByHostility(bool hostile, bool tracked) {
  if (hostile) return {tracked ? 0xFF4444u : 0xAA3333u, true};
  return {tracked ? 0x44FF99u : 0x33AA55u, false};
}

}  // namespace

int32_t PanelCut(int32_t state) {
  switch (state) {
    case kPanelOpening: return kCutOpen;
    case kPanelShown: return kCutHold;
    default: return kCutClose;
  }
}

PanelAction ShowPanelMessage(PanelState* panel, bool hasText, bool visible, uint32_t now) {
  panel->startTime = now;
  panel->duration = kDefaultMessageDuration;
  if (!hasText) return visible ? Enter(panel, kPanelClosing, now) : PanelAction::kNone;
  if (visible) {
    if (panel->state == kPanelClosing) panel->state = kPanelReopening;
    return PanelAction::kNone;
  }
  Enter(panel, kPanelOpening, now);
  return PanelAction::kAttachAndOpen;
}

PanelAction StepMessagePanel(PanelState* panel, bool done, uint32_t now) {
  switch (panel->state) {
    case kPanelOpening:
      return done ? Enter(panel, kPanelShown, now) : PanelAction::kNone;
    case kPanelShown:
      if (panel->duration != 0 && static_cast<int32_t>(now - panel->startTime) > panel->duration) {
        return Enter(panel, kPanelClosing, now);
      }
      return PanelAction::kNone;
    case kPanelClosing:
      if (!done) return PanelAction::kNone;
      panel->state = kPanelClosed;
      return PanelAction::kHide;
    case kPanelReopening:
      return done ? Enter(panel, kPanelOpening, now) : PanelAction::kNone;
    default:
      return PanelAction::kNone;
  }
}

PanelAction SetNavMapPanel(PanelState* panel, bool on, bool visible, uint32_t now) {
  if (!on) return visible ? Enter(panel, kPanelClosing, now) : PanelAction::kNone;
  if (visible) return PanelAction::kNone;
  Enter(panel, kPanelOpening, now);
  return PanelAction::kAttachAndOpen;
}

PanelAction StepNavMapPanel(PanelState* panel, bool done, uint32_t now) {
  if (!done) return PanelAction::kNone;
  switch (panel->state) {
    case kPanelOpening:
    case kPanelShown:
      return Enter(panel, kPanelShown, now);
    case kPanelClosing:
      panel->state = kPanelClosed;
      return PanelAction::kHide;
    default:
      return PanelAction::kNone;
  }
}

NavMapMark NavMapColour(const NavMapObject& o) {
  const bool t = o.tracked;
  if (o.objectClass == kClassShip && o.shipMarked) return {0xFFFF00, false};
  if (o.isPlayer) return {0xFFFFFF, false};
  if (o.objectClass == kClassMissile) {
    if (o.missileAlert) return {0xFF44FF, true};
    return {t ? 0x4444FFu : 0x3333AAu, false};
  }
  if (IsInertClass(o.objectClass)) return {t ? 0x4444FFu : 0x3333AAu, false};
  if (o.objectClass == kClassGate) return {t ? 0xFFFFFFu : 0xFFFF00u, false};
  if (o.objectClass == kClassBeacon) {
    if (o.class20Kind == 2) return ByHostility(true, t);
    if (o.class20Kind == 1) return ByHostility(false, t);
    return {t ? 0xFFFFFFu : 0xFFFF00u, false};
  }
  return ByHostility(o.hostile, t);
}
