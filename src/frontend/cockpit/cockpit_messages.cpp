// The cockpit's message panel, nav map panel and camera message line: the panels open, hold and
// close with cuts on their three models, the texts go into the message texture. Called by the
// INS_ natives, the cockpit teardown and the per-frame cockpit step. The state rules live in
// hud/message_panel; this file only carries them out and never draws outside texture 61 (the
// open nav map panel is drawn there by hud/radar_drawing).
#include "frontend/cockpit/cockpit_messages.h"

#include "core/system_block.h"
#include "frontend/cockpit/cockpit.h"
#include "frontend/cockpit/cockpit_slots.h"
#include "frontend/hud/gui_master.h"
#include "frontend/hud/message_panel.h"
#include "frontend/hud/radar_drawing.h"
#include "render/texture_table.h"
#include "scene/cut_files.h"
#include "scene/takes_jobs.h"
#include "scene/texture_drawing.h"

namespace {

// The words of the message record: start time, duration, state; of the nav map: start time, state.
constexpr int kStartWord = 0;
constexpr int kDurationWord = 1;
constexpr int kMessageStateWord = 2;
constexpr int kNavMapStateWord = 1;

constexpr int32_t kMessageTexture = 61;
constexpr uint32_t kMessageFill = 0x010101;
constexpr uint32_t kMessageTextColour = 0xFFFFFF;
constexpr int32_t kPanelBodies[kMessageSlotCount] = {258, 60, 482};

uint32_t Now() { return gSystem ? gSystem->gameTime : 0; }

SceneRecord* PanelScene(const CockpitRecord* cockpit) { return cockpit ? cockpit->scene : nullptr; }

// The panel's animation has ended when none of its models still plays a job.
bool AnimationDone(const CockpitSlot* slots) {
  for (int i = 0; i < kMessageSlotCount; ++i) {
    if (slots[i].instance && JobIsPlaying(slots[i].instance)) return false;
  }
  return true;
}

void StartCut(CockpitSlot* slots, int32_t cutId) {
  CutRecord* cut = J3D_LoadCut(cutId);
  if (!cut) return;
  for (int i = 0; i < kMessageSlotCount; ++i) {
    if (slots[i].instance) StartInstancePath(slots[i].instance, cut, i + 1);
  }
}

void AttachPanel(CockpitRecord* cockpit, CockpitSlot* slots) {
  SceneRecord* scene = PanelScene(cockpit);
  if (!scene) return;
  for (int i = 0; i < kMessageSlotCount; ++i) AttachSlot(scene, &slots[i], kPanelBodies[i]);
}

void HidePanel(CockpitSlot* slots) {
  for (int i = 0; i < kMessageSlotCount; ++i) HideSlot(&slots[i]);
}

// Carries out a step's action; the cut is the one of the state the step left.
void Apply(PanelAction action, const PanelState& state, CockpitRecord* cockpit, CockpitSlot* slots) {
  switch (action) {
    case PanelAction::kAttachAndOpen:
      AttachPanel(cockpit, slots);
      StartCut(slots, PanelCut(state.state));
      break;
    case PanelAction::kCut: StartCut(slots, PanelCut(state.state)); break;
    case PanelAction::kHide: HidePanel(slots); break;
    case PanelAction::kNone: break;
  }
}

void ClearMessageTexture() {
  if (!IsTextureReady(kMessageTexture)) return;
  B3D_TexRectFill(kMessageTexture, 0, 0, TextureGetWidth(kMessageTexture), TextureGetHeight(kMessageTexture),
                  kMessageFill);
}

void DrawMessageText(const char* text, int32_t x, int32_t y) {
  if (!IsTextureReady(kMessageTexture)) return;
  ClearMessageTexture();
  if (gGuiMaster) B3D_TexTextBlock(kMessageTexture, text, gGuiMaster->font, x, y, 0, kMessageTextColour, 0);
}

PanelState MessageState(const MessageDisplay* m) {
  return {m->words[kMessageStateWord], static_cast<uint32_t>(m->words[kStartWord]), m->words[kDurationWord]};
}

void StoreMessageState(MessageDisplay* m, const PanelState& s) {
  m->words[kStartWord] = static_cast<int32_t>(s.startTime);
  m->words[kDurationWord] = s.duration;
  m->words[kMessageStateWord] = s.state;
}

PanelState NavMapState(const NavMap* n) {
  return {n->words[kNavMapStateWord], static_cast<uint32_t>(n->words[kStartWord]), 0};
}

void StoreNavMapState(NavMap* n, const PanelState& s) {
  n->words[kStartWord] = static_cast<int32_t>(s.startTime);
  n->words[kNavMapStateWord] = s.state;
}

}  // namespace

void ShowCockpitMessage(MessageDisplay* messages, const char* text) {
  PanelState state = MessageState(messages);
  const PanelAction action = ShowPanelMessage(&state, text != nullptr, messages->slots[0].visible != 0, Now());
  StoreMessageState(messages, state);
  Apply(action, state, messages->cockpit, messages->slots);
  if (text) DrawMessageText(text, 2, 2);
}

void ShowCockpitMessageFor(MessageDisplay* messages, const char* text, int32_t duration) {
  ShowCockpitMessage(messages, text);
  messages->words[kDurationWord] = duration;
}

void UpdateCockpitMessage(MessageDisplay* messages) {
  PanelState state = MessageState(messages);
  const PanelAction action = StepMessagePanel(&state, AnimationDone(messages->slots), Now());
  StoreMessageState(messages, state);
  Apply(action, state, messages->cockpit, messages->slots);
}

void SetCameraMessage(CameraMessage* cameraMessage, const char* text) {
  cameraMessage->shown = text ? 1 : 0;
  if (!text) {
    HideSlot(&cameraMessage->slot);
    return;
  }
  DrawMessageText(text, 2, 2);
}

void SetNavMap(NavMap* navMap, int32_t on) {
  PanelState state = NavMapState(navMap);
  const PanelAction action = SetNavMapPanel(&state, on != 0, navMap->slots[0].visible != 0, Now());
  StoreNavMapState(navMap, state);
  Apply(action, state, navMap->cockpit, navMap->slots);
  if (action == PanelAction::kAttachAndOpen && EnsureTextureLoaded(kMessageTexture)) ClearMessageTexture();
}

void UpdateNavMap(NavMap* navMap) {
  if (!navMap->slots[0].visible) return;
  PanelState state = NavMapState(navMap);
  const PanelAction action = StepNavMapPanel(&state, AnimationDone(navMap->slots), Now());
  StoreNavMapState(navMap, state);
  Apply(action, state, navMap->cockpit, navMap->slots);
  CockpitRecord* cockpit = navMap->cockpit;
  if (state.state == kPanelShown && cockpit && cockpit->cockpitRefObject) DrawNavMap(cockpit, cockpit->cockpitRefObject);
}
