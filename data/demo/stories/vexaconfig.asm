; The configuration story: loaded before the launcher dialog, which calls its global function
; _Init with the running language. Only the SE_ natives exist this early. It reads the texts of
; the launcher and its settings dialogs in both languages into the text database (they go with
; this story when the launcher closes) and starts the demo's report, "demo-report.txt" in the
; user's data folder, afresh; the other stories append to it.

.func _Init init frame=8 params=1
.func ImportTexts import_texts frame=8 params=1

init:
  check 8
  pushs "T\\dialogs-44.txt"
  push1
  call import_texts
  pop
  pushs "T\\dialogs-49.txt"
  push1
  call import_texts
  pop
  push1                 ; SE_FOpen(name, "w", in the user folder)
  pushs "w"
  pushs "demo-report.txt"
  push3
  native SE_FOpen
  ldl 5                 ; SE_FPrintf(handle, format, language); the handle is L 1
  pushs "demo: configuration read, language %d\n"
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

; ImportTexts(name): reads a language document and adds its texts to the text database.
import_texts:
  check 8
  ldl 4
  push1
  native SE_ReadFile
  push1
  native SE_XMLImportText
  ret
