; The demo story, started by the intro in start mode 2 on sub-mode 150: the engine raises the
; game's events on class 150. It loads its texts, starts a timer task, lets a few frames run,
; captures its second frame as a screenshot, asks for a save, leaves for start mode 7 to read
; that save back, runs a few more frames and ends the process with a report of what ran.
;
; Calling layout (see tools/asm/README.md): on entry a method finds, from the top, the caller's
; object, the return address, the argument count and then its arguments, so `ldl 4` is
; argument 0 before anything is pushed. Natives and functions take their arguments pushed last
; to first, then the count.

.header 1
.global int 0        ; G0  frames: "Input" events seen
.global int 0        ; G1  events raised on the story
.global int 0        ; G2  phase, see below
.global int 0        ; G3  frame at which the timer woke
.global int 0        ; G4  1 once the timer woke
.global int 0        ; G5  game time when the timer was set
.global int 0        ; G6  frame of the save
.global int 0        ; G7  the demo scene
.global int 0        ; G8  its left camera
.global int 0        ; G9  its right camera
.global int 0        ; G10 the cube in front of them
.global int 0        ; G11 the demo's sector
.global int 0        ; G12 the demo's ship
.global int 0        ; G13 the light of the scene
; G14-G29 belong to the scene stretch (vexastory/20_*.asm), G30-G44 to the cockpit stretch
; (30_*.asm), G45-G59 to the sector stretch (40_*.asm): the n-th `.global` is G n-1, so each
; stretch's globals are reserved here and its own file declares none.
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0
.global int 0

; Phases (G2): 0 playing until the timer wakes, 1 save requested, 2 save written (the save
; itself holds this phase), 3 read back from the save, 4 the save failed: nothing to read back.

.class 150
.method Init init frame=8 params=1
.method Run run frame=8 params=1
.method Input input frame=8 params=1
.method BeforeSave before_save frame=8
.method SaveFinished2 save_finished frame=8 params=1
.method Restart restart frame=8 params=1
.method Stop stop frame=8
.method TranslateKey cockpit_translate_key frame=8 params=1  ; the cockpit stretch (30_cockpit.asm)
.end

.func Say say frame=8 params=1
.func Text text frame=8 params=1
.func LoadTexts load_texts frame=8
.func ImportTexts import_texts frame=8 params=1
.func BuildScene build_scene frame=8
.func FlyShip fly_ship frame=8

; Say(text): one line of the demo's report, appended to "demo-report.txt" in the user's data
; folder. The file is opened for each line: the engine closes a story's files when it unloads
; the story, and the demo unloads and reloads its story on the way through the save.
say:
  check 8
  push1                 ; SE_FOpen(name, "a", in the user folder)
  pushs "a"
  pushs "demo-report.txt"
  push3
  native SE_FOpen
  ldl 5                 ; SE_FPrintf(handle, format, text); the handle is L 1, the text L 5
  pushs "demo: %s\n"
  ldl 3
  push3
  native SE_FPrintf
  pop
  ldl 1                 ; SE_FClose(handle)
  push1
  native SE_FClose
  pop
  ret                   ; the handle is the answer

; Text(id): text id of page 1 in the running language.
text:
  check 8
  ldl 4
  push1
  push2
  native SE_ReadText
  ret

; Init(parameter): the texts of both languages come from the XML text files of the data folder;
; then whether the engine found this story to be the one vexafiles.xml signed.
init:
  check 8
  ldg 1
  inc
  mvg 1
  push0
  call load_texts
  pop
  push1                 ; Text(1)
  push1
  call text
  push1
  call say
  pop
  push1                 ; the same text in German: SE_ReadText(page 1, language 49, id 1)
  pushb 49
  push1
  push3
  native SE_ReadText
  push1
  call say
  pop
  pushs "demo"          ; only a story that matches its signature in vexafiles.xml may sign
  push1
  native SE_SignGameStats
  push1
  native SE_StringLen
  jf unsigned
  pushb 7               ; Text(7): signed
  jmp signature_said
unsigned:
  pushb 8               ; Text(8): not signed
signature_said:
  push1
  call text
  push1
  call say
  pop
  push0
  call build_scene
  pop
  push0
  ret

; BuildScene(): through the scene engine's natives, a scene with two cameras side by side (left
; and right halves of the screen) looking at the demo's cube; the game loop draws it from now on.
; Says whether the scene's camera list holds both cameras in order.
build_scene:
  check 8
  push0
  native B3D_SceneAlloc
  mvg 7
  push0
  native B3D_CameraAlloc
  mvg 8
  push0
  native B3D_CameraAlloc
  mvg 9
  ldg 7                 ; B3D_CameraAddToScene(left, scene)
  ldg 8
  push2
  native B3D_CameraAddToScene
  pop
  ldg 7                 ; B3D_CameraAddToScene(right, scene)
  ldg 9
  push2
  native B3D_CameraAddToScene
  pop
  pushi 32767           ; B3D_CameraSetViewPort(left, top 0, bottom 65535, left 0, right 32767)
  push0
  pushi 65535
  push0
  ldg 8
  pushb 5
  native B3D_CameraSetViewPort
  pop
  pushi 65535           ; B3D_CameraSetViewPort(right, 0, 65535, 32768, 65535)
  pushi 32768
  pushi 65535
  push0
  ldg 9
  pushb 5
  native B3D_CameraSetViewPort
  pop
  ldg 8                 ; B3D_CameraSetFlags(camera, its flags | clear target and depth)
  push1
  native B3D_CameraGetFlags
  pushb 52
  or
  ldg 8
  push2
  native B3D_CameraSetFlags
  pop
  ldg 9                 ; B3D_CameraSetFlags(camera, its flags | clear target and depth)
  push1
  native B3D_CameraGetFlags
  pushb 52
  or
  ldg 9
  push2
  native B3D_CameraSetFlags
  pop
  pushb 90              ; B3D_CameraSetBackgroundColor(left, 20, 40, 90): deep blue
  pushb 40
  pushb 20
  ldg 8
  pushb 4
  native B3D_CameraSetBackgroundColor
  pop
  pushb 20              ; B3D_CameraSetBackgroundColor(right, 90, 40, 20): rust
  pushb 40
  pushb 90
  ldg 9
  pushb 4
  native B3D_CameraSetBackgroundColor
  pop
  pushi 65536           ; B3D_CameraSetAspect(camera, 2/3, 1): each half of the screen is two
  pushi 43691           ; thirds as wide as it is high
  ldg 8
  push3
  native B3D_CameraSetAspect
  pop
  pushi 65536
  pushi 43691
  ldg 9
  push3
  native B3D_CameraSetAspect
  pop
  pushi 3200            ; B3D_CameraSetFog(right, on, 90, 40, 20, from 600 to 3200): the right
  pushi 600             ; camera sees the cube through a haze of its background's colour
  pushb 20
  pushb 40
  pushb 90
  push1
  ldg 9
  pushb 7
  native B3D_CameraSetFog
  pop
  push0                 ; a white light above, left of and before the cube, reaching past it
  native B3D_LightAlloc
  mvg 13
  pushi 255             ; B3D_LightSetColor(light, 255, 255, 255)
  pushi 255
  pushi 255
  ldg 13
  pushb 4
  native B3D_LightSetColor
  pop
  pushi 20000           ; B3D_LightSetRange(light, 20000)
  ldg 13
  push2
  native B3D_LightSetRange
  pop
  push0                 ; B3D_LightSetPos(light, -600, 800, 0)
  pushi 800
  pushi -600
  ldg 13
  pushb 4
  native B3D_LightSetPos
  pop
  ldg 7                 ; B3D_LightAddToScene(light, scene)
  ldg 13
  push2
  native B3D_LightAddToScene
  pop
  push0
  native B3D_InstAlloc
  mvg 10
  push1                 ; B3D_InstSetBody(cube, body 1)
  ldg 10
  push2
  native B3D_InstSetBody
  pop
  pushi 1400            ; B3D_InstSetPos(cube, 0, 0, 1400)
  push0
  push0
  ldg 10
  pushb 4
  native B3D_InstSetPos
  pop
  push0                 ; B3D_InstSetRot(cube, 5000, 6000, 0): turned to show three faces
  pushi 6000
  pushi 5000
  ldg 10
  pushb 4
  native B3D_InstSetRot
  pop
  ldg 7                 ; B3D_InstAddToScene(cube, scene)
  ldg 10
  push2
  native B3D_InstAddToScene
  pop
  ldg 7                 ; B3D_SceneEnable(scene)
  push1
  native B3D_SceneEnable
  pop
  ldg 7                 ; B3D_CameraFind(scene, B3D_SceneGetCamera(scene)) is the right camera
  push1
  native B3D_SceneGetCamera
  ldg 7
  push2
  native B3D_CameraFind
  ldg 9
  eq
  jf one_camera
  pushs "Scene built through the engine natives: two cameras."
  jmp scene_said
one_camera:
  pushs "Scene built through the engine natives: the second camera is missing."
scene_said:
  push1
  call say
  ret

; LoadTexts(): reads both language documents into the text database. The texts belong to the
; loaded story: they go when it is unloaded, so a story read back from a save loads them again.
load_texts:
  check 8
  pushs "T\\44.txt"
  push1
  call import_texts
  pop
  pushs "T\\49.txt"
  push1
  call import_texts
  ret

; ImportTexts(name): reads a language document and adds its texts to the text database.
import_texts:
  check 8
  ldl 4
  push1
  native SE_ReadFile
  push1
  native SE_XMLImportText
  ret

; Run(parameter): a task of its own waits 25 ms of game time and notes the frame it woke in.
run:
  check 8
  ldg 1
  inc
  mvg 1
  launch
  jf timer_task
  push0
  ret
timer_task:
  push0                 ; the cockpit stretch (30_cockpit.asm) runs first and ends before the save
  call cockpit_stretch
  pop
  push0                 ; the sector stretch (vexastory/40_sector.asm): its fight runs next
  call sector_start
  pop
  push0
  call fly_ship
  pop
  push0
  native TI_GetAbsTime
  mvg 5
  pushb 25
  push1
  native TI_Delay
  pop
  ldg 0
  mvg 3
  push1
  mvg 4
  ldg 3                 ; SE_SPrintf(Text(2), elapsed ms, frame)
  push0
  native TI_GetAbsTime
  ldg 5
  sub
  pushb 2
  push1
  call text
  push3
  native SE_SPrintf
  push1
  call say
  pop
  push0
  ret

; Input(key) once a frame: counts the frame and moves the demo along by its phase. -1 ends
; the game loop; the start mode that follows was set with Wilo_SetNextLocation.
input:
  check 8
  ldg 1
  inc
  mvg 1
  ldl 4                 ; the cockpit stretch reports the frame's key (30_cockpit.asm)
  push1
  call cockpit_input
  pop
  ldg 0
  inc
  mvg 0
  ldg 0                 ; the second frame of the play is captured (Wilo_CaptureFrame)
  pushb 2
  jne no_capture
  push0
  native Wilo_CaptureFrame
  pop
no_capture:
  push0                 ; the scene stretch (vexastory/20_scene.asm), which runs last, may own the
  call scene_input      ; frame: 1 ends its work, 2 ends the demo, 3 ends the game loop (the next
  switch 1 scene_not_mine go_on give_up sector_quit   ; start mode is set)
scene_not_mine:
  push0                 ; the sector stretch may hold the frame (1) or end the loop (2)
  call sector_input
  switch 0 sector_passed sector_passed go_on sector_quit
sector_passed:
  ldg 2
  switch 0 go_on playing go_on leave_for_load restored save_failed

sector_quit:
  pushb -1
  ret

playing:
  ldg 4
  jf go_on
  push0                 ; Wilo_Save(slot 1, caption, second caption, word 0)
  pushs "frame"
  pushb 6
  push1
  call text
  push1
  pushb 4
  native Wilo_Save
  pop
  push1
  mvg 2
  jmp go_on

leave_for_load:
  push1                 ; start mode 7 reads save slot parameter % 100
  pushi 150
  pushb 7
  push3
  native Wilo_SetNextLocation
  pop
  pushb -1
  ret

restored:
  ldg 0                 ; the first frame after the load is captured too: the scene read back
  ldg 6                 ; from the save must draw what the second frame drew
  sub
  push1
  jne no_restored_capture
  push0
  native Wilo_CaptureFrame
  pop
no_restored_capture:
  ldg 0
  ldg 6
  sub
  pushb 3
  jlt go_on
  ldg 1                 ; the report, then start mode 0 ends the process
  ldg 0
  pushb 5
  push1
  call text
  push3
  native SE_SPrintf
  push1
  call say
  pop
  push0                 ; the scene stretch (vexastory/20_scene.asm) may go on from here
  call scene_after_report
  jt go_on
give_up:
  push0
  push0
  push0
  push3
  native Wilo_SetNextLocation
  pop
  pushb -1
  ret

; A save that could not be written must not end the demo as a success: the report says why, and
; the demo leaves for start mode 7 on slot 99, which no save can be in, so the engine ends with
; its error for a save it cannot read (a status other than 0).
save_failed:
  pushs "The save could not be written (result 0), so there is nothing to read back: the demo ends with an error."
  push1
  call say
  pop
  pushb 99
  pushi 150
  pushb 7
  push3
  native Wilo_SetNextLocation
  pop
  pushb -1
  ret

go_on:
  push0
  ret

; FlyShip(): through the object commands, a sector and a ship of the demo's ship type in it; the
; ship is ordered to the point it stands at (SA_MovePos), so the order ends at the ship's first
; decision in the frame step, which wakes this task with the order's result. The sector then goes,
; with the ship inside it, so the save holds no universe of the demo's making.
fly_ship:
  check 8
  push0                 ; SA_AllocObject(class 1, subtype 0): a sector
  push1
  push2
  native SA_AllocObject
  mvg 11
  push0                 ; SA_AllocObject(class 7, subtype 0): a ship of the demo's type
  pushb 7
  push2
  native SA_AllocObject
  mvg 12
  ldg 11                ; SA_StartObjectInSpace(ship, sector)
  ldg 12
  push2
  native SA_StartObjectInSpace
  pop
  pushi 1000            ; SA_MovePos(ship, 0, 0, 0, within 1000): waits for the order's end
  push0
  push0
  push0
  ldg 12
  pushb 5
  native SA_MovePos
  pushs "A ship of the demo's type flew its SA_MovePos order; its task woke with %d."
  push2
  native SE_SPrintf
  push1
  call say
  pop
  ldg 11                ; SA_FreeObject(sector)
  push1
  native SA_FreeObject
  pop
  push0
  ret

; BeforeSave(): the save is written right after this, so what is set here is what comes back.
before_save:
  check 8
  ldg 1
  inc
  mvg 1
  ldg 0
  mvg 6
  pushb 2
  mvg 2
  push0
  ret

; SaveFinished2(result): 1 when the save is in its slot.
save_finished:
  check 8
  ldg 1
  inc
  mvg 1
  ldl 4
  ldg 6
  push0                 ; the slot: 1, the sector stretch's second save or the scene stretch's
  call scene_save_slot
  pushb 3
  push1
  call text
  pushb 4
  native SE_SPrintf
  push1
  call say
  pop
  ldl 4
  jt saved
  pushb 4               ; no save to read back: the next frame ends the demo with an error
  mvg 2
saved:
  push0
  ret

; Restart(parameter): raised after the save was read back into a fresh game.
restart:
  check 8
  pushb 3
  mvg 2
  push0
  call load_texts
  pop
  ldg 1                 ; the counts as they were saved
  ldg 0
  pushb 4
  push1
  call text
  push3
  native SE_SPrintf
  push1
  call say
  pop
  ldg 1
  inc
  mvg 1
  push0
  ret

stop:
  check 8
  ldg 1
  inc
  mvg 1
  push0
  ret
