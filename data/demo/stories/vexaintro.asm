; The intro: the story of start mode 1, which a plain start runs on sub-mode 102. The engine
; raises its events on class 102; here it only notes its start in the demo's report and hands
; over to the demo story (start mode 2, sub-mode 150, parameter 1) after its first frame.

.class 102
.method Init init frame=8 params=1
.method Run run frame=8 params=1
.method Input input frame=8 params=1
.end

; Init(parameter): appends a line to the report started by the configuration story.
init:
  check 8
  push1                 ; SE_FOpen(name, "a", in the user folder)
  pushs "a"
  pushs "demo-report.txt"
  push3
  native SE_FOpen
  ldl 5                 ; SE_FPrintf(handle, format, parameter); the handle is L 1
  pushs "demo: intro Init(%d)\n"
  ldl 3
  push3
  native SE_FPrintf
  pop
  ldl 1                 ; SE_FClose(handle)
  push1
  native SE_FClose
  pop
  pop
  push0
  ret

run:
  check 8
  push1                 ; Wilo_SetNextLocation(start mode 2, sub-mode 150, parameter 1)
  pushi 150
  push2
  push3
  native Wilo_SetNextLocation
  pop
  push0
  ret

; Input(key): a true answer ends the game loop of start mode 1.
input:
  check 8
  push1
  ret
