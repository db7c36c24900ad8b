; The cockpit stretch of the demo story: a sector with the player's ship and a second ship, a
; cockpit with a sector camera of its own, carried by the player's ship and tracking the second
; ship, its HUD (crosshair and brackets) drawn over the 3D view and captured once, and sound 100
; played to its end. Also reports the input the class-150 handlers hear ("Input" and
; "TranslateKey"), which the demo's input script feeds.
;
; Globals (reserved in vexastory.asm): G30 the cockpit, G31 its sector, G32 the player's ship,
; G33 the tracked ship, G34 1 once the stretch is over, G35 game time when the sound started,
; G36 what the sound's task woke with, G37 1 once the wheel turn was heard, G38 the waits for it,
; G39 the capture: 1 asked for, 2 taken, 3 a frame later; G40 the cockpit's sector camera.

.func CockpitStretch cockpit_stretch frame=8
.func CockpitInput cockpit_input frame=8 params=1

; CockpitStretch(): run by the story's first task before anything else it does; returns when the
; cockpit is gone again, so nothing of it reaches the save.
cockpit_stretch:
  check 8
cockpit_wait_first_shot: ; the story's own capture of its second frame shows the demo scene alone
  ldg 0
  pushb 3
  jgt cockpit_begin
  pushb 10
  push1
  native TI_Delay
  pop
  jmp cockpit_wait_first_shot
cockpit_begin:
  push0                 ; SA_AllocObject(class 1, subtype 0): the stretch's sector
  push1
  push2
  native SA_AllocObject
  mvg 31
  push0                 ; SA_AllocObject(class 7, subtype 0): the player's ship
  pushb 7
  push2
  native SA_AllocObject
  mvg 32
  push0                 ; and the ship it tracks
  pushb 7
  push2
  native SA_AllocObject
  mvg 33
  ldg 31                ; SA_StartObjectInSpace(ship, sector), both ships
  ldg 32
  push2
  native SA_StartObjectInSpace
  pop
  ldg 31
  ldg 33
  push2
  native SA_StartObjectInSpace
  pop
  push0                 ; INS_CockpitAlloc()
  native INS_CockpitAlloc
  mvg 30
  push0                 ; INS_CockpitSetSectorCamera(cockpit, a camera of the sector's own): the
  native B3D_CameraAlloc ; cockpit sets its sector camera's field of view, and the demo scene's
  mvg 40                ; cameras must draw as they did before the stretch
  ldg 40
  ldg 30
  push2
  native INS_CockpitSetSectorCamera
  pop
  ldg 31                ; INS_CockpitSetSectorSpace(cockpit, sector)
  ldg 30
  push2
  native INS_CockpitSetSectorSpace
  pop
  ldg 32                ; INS_CockpitSetCockpitRefObject(cockpit, the player's ship)
  ldg 30
  push2
  native INS_CockpitSetCockpitRefObject
  pop
  push1                 ; INS_CockpitEnableTargetBodies(cockpit, on)
  ldg 30
  push2
  native INS_CockpitEnableTargetBodies
  pop
  push1                 ; INS_CockpitSetFlags(cockpit, 1): the aim marks are shown
  ldg 30
  push2
  native INS_CockpitSetFlags
  pop
  ldg 33                ; INS_CockpitSetTracking(cockpit, the second ship)
  ldg 30
  push2
  native INS_CockpitSetTracking
  pop
  pushb 20              ; B3D_CameraSetPri(INS_CockpitGetCamera(cockpit), 20): the cockpit's camera
  ldg 30                ; draws after the demo's cameras, so the HUD lies over their picture
  push1
  native INS_CockpitGetCamera
  push2
  native B3D_CameraSetPri
  pop
  ldg 30                ; B3D_SceneEnable(INS_CockpitGetScene(cockpit)): drawn over the demo scene
  push1
  native INS_CockpitGetScene
  push1
  native B3D_SceneEnable
  pop
  ldg 30                ; the report: whom the cockpit tracks
  push1
  native INS_CockpitGetTracking
  ldg 33
  eq
  jf cockpit_not_tracking
  pushs "A cockpit with its sector camera, carried by the player's ship, tracks the second ship."
  jmp cockpit_tracking_said
cockpit_not_tracking:
  pushs "A cockpit with its sector camera tracks nothing."
cockpit_tracking_said:
  push1
  call say
  pop
  push0                 ; SFX_PlaySound(100): the task sleeps until the sample has played
  native TI_GetAbsTime
  mvg 35
  pushb 100
  push1
  native SFX_PlaySound
  mvg 36
  push0                 ; SE_SPrintf(format, result, elapsed ms)
  native TI_GetAbsTime
  ldg 35
  sub
  ldg 36
  pushs "Sound 100 played; its task woke with %d after %d ms of game time."
  push3
  native SE_SPrintf
  push1
  call say
  pop
cockpit_wait_input:     ; the input script's wheel turn ends the stretch (at most 200 waits)
  ldg 37
  jt cockpit_input_heard
  ldg 38
  inc
  mvg 38
  ldg 38
  pushi 200
  jgt cockpit_input_heard
  pushb 10
  push1
  native TI_Delay
  pop
  jmp cockpit_wait_input
cockpit_input_heard:
  push1                 ; the next "Input" captures the frame with the HUD; wait until it did
  mvg 39
cockpit_wait_capture:
  ldg 39
  pushb 3
  jeq cockpit_captured
  pushb 10
  push1
  native TI_Delay
  pop
  jmp cockpit_wait_capture
cockpit_captured:
  ldg 30                ; INS_CockpitFree(cockpit)
  push1
  native INS_CockpitFree
  pop
  ldg 40                ; B3D_CameraFree(the sector camera)
  push1
  native B3D_CameraFree
  pop
  ldg 31                ; SA_FreeObject(sector), with both ships
  push1
  native SA_FreeObject
  pop
  push1
  mvg 34
  push0
  ret

; CockpitInput(key): from "Input", every frame; a frame with a key says which.
cockpit_input:
  check 8
  ldg 39                ; a capture asked for by the stretch: this frame, then one more to wait
  jf cockpit_no_capture
  ldg 39
  push1
  jne cockpit_capture_asked
  push0
  native Wilo_CaptureFrame
  pop
cockpit_capture_asked:
  ldg 39
  pushb 3
  jeq cockpit_no_capture
  ldg 39
  inc
  mvg 39
cockpit_no_capture:
  ldl 4
  pushi 8486            ; the wheel turned away (0x2126): the input the stretch waits for
  jne cockpit_not_wheel
  push1
  mvg 37
cockpit_not_wheel:
  ldl 4
  jf cockpit_no_key
  ldl 4
  pushs "Input(%d)"
  push2
  native SE_SPrintf
  push1
  call say
  pop
cockpit_no_key:
  push0
  ret

; TranslateKey(code): held keys, buttons and wheel notches are offered here first; 0 leaves them
; untranslated, so they are raised as "Input" as well.
cockpit_translate_key:
  check 8
  ldg 1
  inc
  mvg 1
  ldl 4
  pushs "TranslateKey(%d)"
  push2
  native SE_SPrintf
  push1
  call say
  pop
  push0
  ret
