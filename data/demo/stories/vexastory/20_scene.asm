; The scene stretch of the demo story, the last one: after the story's report (the cockpit and
; sector stretches are done by then) it builds a scene of the generated bodies through the B3D_
; natives (a camera with fog and a background colour, two lights, the station, the ship, the
; planet and a 3D text), starts the take of cut 3 on it with J3D_TakeStart (its camera circles
; the station, its flare light shines behind it), saves in the middle of the take in a slot of
; its own (3), reads that save back and lets the take play to its end.
;
; The take's clock is the game clock. So that every run draws the same frames, the stretch stops
; the clock (time warp 0) and sets the game time itself (TI_SetAbsTime) to fixed take times; the
; save keeps both, so the frame after the load shows the take at the time of the frame before the
; save. Nothing else runs by then; the clock runs again at the end. A replay ("-faststart"),
; which only checks the sector stretch, ends at the report without this stretch.
;
; Globals G14-G29 (reserved in vexastory.asm):
;   G14 stretch phase: 0 not begun, 1 take running before the save, 2 save asked for (the save
;       holds this), 4 after the load, 5 done
;   G15 scene  G16 camera  G17 white light  G18 orange light  G19 station  G20 ship  G21 planet
;   G22 3D text  G23 take  G24 game time at the take's start  G25 frames in the phase
;   G26 time warp before the stretch

.func SceneAfterReport scene_after_report frame=8
.func SceneInput scene_input frame=8
.func SceneSaveSlot scene_save_slot frame=8
.func SceneBuild scene_build frame=8
.func SceneSetTakeTime scene_set_take_time frame=8 params=1
.func SceneAddBody scene_add_body frame=8 params=4

; SceneAfterReport(): called once the story's report is written; 1 when the stretch goes on
; (the game loop keeps running), 0 when the demo may end.
scene_after_report:
  check 8
  ldg 14
  jt scene_done
  push0                 ; a replay only checks the sector stretch: no scene
  native Wilo_GetStringParameter
  jt scene_done
  push0
  call scene_build
  pop
  push0                 ; the clock stops: the stretch sets the take's time itself
  native TI_GetTimeWarpFactor
  mvg 26
  push0
  push1
  native TI_SetTimeWarpFactor
  pop
  push0
  native TI_GetAbsTime
  mvg 24
  push0
  mvg 25
  push1
  mvg 14
  launch
  jf scene_take_task
  push1
  ret
scene_done:
  push0
  ret

; SceneSaveSlot(): the slot of the save being written, for the story's report line: 3 for the
; stretch's own save, else the sector stretch's answer.
scene_save_slot:
  check 8
  ldg 14
  pushb 2
  jne scene_not_my_slot
  push3
  ret
scene_not_my_slot:
  push0
  call sector_save_slot
  ret

; The take's own task: J3D_TakeStart(take, cut 3, scene, camera) waits until the take stops.
scene_take_task:
  ldg 16
  ldg 15
  push3
  ldg 23
  pushb 4
  native J3D_TakeStart
  pushs "The take of cut 3 played to its end; its task woke with %d."
  push2
  native SE_SPrintf
  push1
  call say
  pop
  push1                 ; like its parent, the task goes on to the end of the frame's event
  ret

; SceneSetTakeTime(ms): the game time of that take time.
scene_set_take_time:
  check 8
  ldg 24
  ldl 5
  add
  push1
  native TI_SetAbsTime
  ret

; SceneInput(): once a frame, before the story's phases. 0 leaves the frame to them, 1 ends
; the frame's work, 2 ends the demo (the next start mode is 0: the process ends), 3 ends the game
; loop with the next start mode set.
scene_input:
  check 8
  ldg 14
  switch 1 scene_frame_free scene_before_save scene_saving scene_frame_free scene_ending
scene_frame_free:
  push0
  ret

; Before the save: take time 1 s, captured two frames later; take time 2 s, captured two frames
; later, and the save is asked for in that frame.
scene_before_save:
  ldg 25
  inc
  mvg 25
  ldg 25
  sswitch scene_frame_done 1 scene_at_1s 3 scene_capture 4 scene_at_2s 6 scene_capture_and_save
scene_at_1s:
  pushi 1000
  push1
  call scene_set_take_time
  pop
  jmp scene_frame_done
scene_at_2s:
  pushi 2000
  push1
  call scene_set_take_time
  pop
  jmp scene_frame_done
scene_capture:
  push0
  native Wilo_CaptureFrame
  pop
  jmp scene_frame_done
scene_capture_and_save:
  push0
  native Wilo_CaptureFrame
  pop
  pushs "Scene stretch: the take is halfway round the station; saving in the middle of the take."
  push1
  call say
  pop
  push0                 ; Wilo_Save(slot 3, caption, second caption, word 0): a slot of its own,
  pushs "scene"         ; slots 1 and 2 are the sector stretch's
  pushb 6
  push1
  call text
  push3
  pushb 4
  native Wilo_Save
  pop
  push1                 ; the story's phases: save asked for (BeforeSave makes it 2, written)
  mvg 2
  pushb 2
  mvg 14
  push0
  mvg 25
scene_frame_done:
  push1
  ret

; Save asked for: once written (story phase 2) the game reads slot 3 back in start mode 7; a
; failed save (phase 4) is the story's to report. Read back (phase 3, set by Restart): this first
; frame after the load is captured: it must show what the frame before the save showed.
scene_saving:
  ldg 2
  switch 0 scene_frame_done scene_frame_done scene_frame_done scene_leave_for_load scene_restored scene_frame_free
scene_leave_for_load:
  push3
  pushi 150
  pushb 7
  push3
  native Wilo_SetNextLocation
  pop
  push3
  ret
scene_restored:
  push0
  mvg 25
  pushb 4
  mvg 14
  jmp scene_capture

; After the load (the frame after it was captured): the take's time goes past
; its end, the take stops and wakes its task; the last frame is captured, the clock runs again
; and the demo ends.
scene_ending:
  ldg 25
  inc
  mvg 25
  ldg 25
  sswitch scene_frame_done 1 scene_past_end 4 scene_capture 6 scene_finish
scene_past_end:
  pushi 4500
  push1
  call scene_set_take_time
  pop
  jmp scene_frame_done
scene_finish:
  ldg 26
  push1
  native TI_SetTimeWarpFactor
  pop
  pushb 5
  mvg 14
  pushs "Scene stretch finished: station, ship, planet, lights, lens flare and 3D text drawn through a take."
  push1
  call say
  pop
  pushb 2
  ret

; SceneAddBody(body, x, y, z): an instance of the body at that place in the stretch's scene.
scene_add_body:
  check 8
  push0
  native B3D_InstAlloc
  ldl 5                 ; B3D_InstSetBody(instance, body); the instance is L 1
  ldl 2
  push2
  native B3D_InstSetBody
  pop
  ldl 8                 ; B3D_InstSetPos(instance, x, y, z)
  ldl 8
  ldl 8
  ldl 4
  pushb 4
  native B3D_InstSetPos
  pop
  ldg 15                ; B3D_InstAddToScene(instance, scene)
  ldl 2
  push2
  native B3D_InstAddToScene
  pop
  ret

; SceneBuild(): the stretch's scene in place of the story's first one.
scene_build:
  check 8
  ldg 7                 ; the story's first scene stops drawing
  push1
  native B3D_SceneDisable
  pop
  push0
  native B3D_SceneAlloc
  mvg 15
  push0
  native B3D_CameraAlloc
  mvg 16
  ldg 15
  ldg 16
  push2
  native B3D_CameraAddToScene
  pop
  ldg 16                ; flags: clear target and depth, lens flares
  push1
  native B3D_CameraGetFlags
  pushi 308
  or
  ldg 16
  push2
  native B3D_CameraSetFlags
  pop
  pushb 40              ; B3D_CameraSetBackgroundColor(camera, 6, 10, 40): night blue
  pushb 10
  pushb 6
  ldg 16
  pushb 4
  native B3D_CameraSetBackgroundColor
  pop
  pushi 40000           ; B3D_CameraSetFog(camera, on, 6, 10, 40, from 12000 to 40000): the
  pushi 12000           ; fog's start is also where the camera's near range ends
  pushb 40
  pushb 10
  pushb 6
  push1
  ldg 16
  pushb 7
  native B3D_CameraSetFog
  pop
  push0                 ; a white light high up and to the left, reaching everything
  native B3D_LightAlloc
  mvg 17
  pushi 255
  pushi 255
  pushi 255
  ldg 17
  pushb 4
  native B3D_LightSetColor
  pop
  pushi 200000
  ldg 17
  push2
  native B3D_LightSetRange
  pop
  pushi -4000
  pushi 9000
  pushi -12000
  ldg 17
  pushb 4
  native B3D_LightSetPos
  pop
  ldg 15
  ldg 17
  push2
  native B3D_LightAddToScene
  pop
  push0                 ; an orange light below and right of the station
  native B3D_LightAlloc
  mvg 18
  pushi 40
  pushi 140
  pushi 255
  ldg 18
  pushb 4
  native B3D_LightSetColor
  pop
  pushi 6000
  ldg 18
  push2
  native B3D_LightSetRange
  pop
  pushi 1500
  pushi -1200
  pushi 1800
  ldg 18
  pushb 4
  native B3D_LightSetPos
  pop
  ldg 15
  ldg 18
  push2
  native B3D_LightAddToScene
  pop
  push0                 ; the station (body 4) at the centre
  push0
  push0
  pushb 4
  pushb 4
  call scene_add_body
  mvg 19
  pushi 600             ; the ship (body 3) beside it
  pushi 300
  pushi -900
  pushb 3
  pushb 4
  call scene_add_body
  mvg 20
  push0                 ; B3D_InstSetRot(ship, 12000, 0, 0): turned across the view
  push0
  pushi 12000
  ldg 20
  pushb 4
  native B3D_InstSetRot
  pop
  pushi -6500           ; the planet (body 5) far off
  pushi -1200
  pushi -3200
  pushb 5
  pushb 4
  call scene_add_body
  mvg 21
  push0                 ; SA_AllocTextInst("VEXA", on the row): the 3D text
  pushs "VEXA"
  push2
  native SA_AllocTextInst
  mvg 22
  push0                 ; B3D_InstSetPos(text, 800, 1100, 0) above the hub, turned half round to face the
  pushi 1100            ; take's camera: its four characters, one size (400) apart, stand centred over it
  pushi 800
  ldg 22
  pushb 4
  native B3D_InstSetPos
  pop
  push0
  push0
  pushi 32768
  ldg 22
  pushb 4
  native B3D_InstSetRot
  pop
  pushi 400             ; B3D_InstSetSize(text, 400): the characters' spacing and size grow with it
  ldg 22
  push2
  native B3D_InstSetSize
  pop
  ldg 15
  ldg 22
  push2
  native B3D_InstAddToScene
  pop
  push0
  native J3D_TakeAlloc
  mvg 23
  ldg 15
  push1
  native B3D_SceneEnable
  pop
  pushs "Scene stretch: station, ship, planet, two lights and a 3D text built; the take of cut 3 starts."
  push1
  call say
  ret
