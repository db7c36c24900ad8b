# Runs the built game on the built demo data, headless, with the user's folders in a fresh
# WORK_DIR, and checks the exit status, the save in the documents folder and the report the
# demo's stories write there ("demo-report.txt"), line by line in the order the game reaches
# them. Called by ctest (test demo_run) with -DKORVANE, -DDEMO_DIR and -DWORK_DIR; with -DPYTHON,
# -DCOMPARE (tools/images/shot_compare.py) and -DGOLDEN_DIR it also compares the screenshots the
# story captured with the golden pictures of the same number.
# With -DSAVE_BLOCKED=1 (test demo_failed_save) a file named "save" stands where the save folder
# goes: the run must end with a status other than 0 and its report must say why.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/home ${WORK_DIR}/documents ${WORK_DIR}/config)
if(SAVE_BLOCKED)
  file(MAKE_DIRECTORY ${WORK_DIR}/documents/Korvane/VexaNL)
  file(WRITE ${WORK_DIR}/documents/Korvane/VexaNL/save "not a folder")
endif()
set(ENV{HOME} ${WORK_DIR}/home)
set(ENV{XDG_DOCUMENTS_DIR} ${WORK_DIR}/documents)
set(ENV{XDG_CONFIG_HOME} ${WORK_DIR}/config)
set(ENV{KORVANE_HEADLESS} 1)
set(ENV{SDL_VIDEODRIVER} dummy)
set(ENV{SDL_AUDIODRIVER} dummy)
set(ENV{ALSOFT_DRIVERS} null)
# The story ends the run itself after some tens of frames; the bound only stops a demo that hangs.
set(ENV{KORVANE_MAX_FRAMES} 5000)
# The cockpit stretch: the run's audio is captured through the loopback device, and an input
# script holds A for two frames, then turns the wheel once away (frames counted from the start of
# the process; the story's frames begin after the launcher's and the intro's).
set(audio_capture ${WORK_DIR}/audio.raw)
set(ENV{KORVANE_AUDIO_CAPTURE} ${audio_capture})
file(WRITE ${WORK_DIR}/input.txt "# the demo's input: A held for two frames, then one wheel notch away\n"
                                 "14 key 4 1\n16 key 4 0\n20 wheel 1\n")
set(ENV{KORVANE_INPUT_SCRIPT} ${WORK_DIR}/input.txt)
# Every frame takes 20 ms of game time, so the run replays the same frames on any machine.
set(ENV{KORVANE_FRAME_MS} 20)

execute_process(COMMAND ${KORVANE} WORKING_DIRECTORY ${DEMO_DIR} TIMEOUT 120
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(SAVE_BLOCKED)
  if(status STREQUAL "0")
    message(FATAL_ERROR "the demo ended with status 0 although its save could not be written\n${out}${err}")
  endif()
  file(READ ${WORK_DIR}/documents/Korvane/VexaNL/demo-report.txt text)
  message("${text}")
  foreach(line IN ITEMS "demo: Game saved in slot 1 at frame [1-9][0-9]*, result 0\\.\n"
                        "demo: The save could not be written \\(result 0\\)")
    if(NOT text MATCHES "${line}")
      message(FATAL_ERROR "the demo's report lacks a line matching: ${line}")
    endif()
  endforeach()
  return()
endif()
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "the demo ended with status ${status}\n${out}${err}")
endif()
file(GLOB_RECURSE reports ${WORK_DIR}/documents/*/demo-report.txt)
if(NOT reports)
  message(FATAL_ERROR "the demo wrote no report into the documents folder\n${out}${err}")
endif()
list(GET reports 0 report)
file(READ ${report} text)
message("${text}")

# Counts vary with the machine; on a busy one the timer may even wake before the first frame.
set(expected
  "demo: configuration read, language 44\n"
  "demo: intro Init\\(8300\\)\n"
  "demo: Welcome to the Korvane demo\\.\n"
  "demo: Willkommen zur Korvane-Demo\\.\n"
  "demo: The story matches its signature\\.\n"
  "demo: Scene built through the engine natives: two cameras\\.\n"
  "demo: A cockpit with its sector camera, carried by the player's ship, tracks the second ship\\.\n"
  "demo: Input\\(97\\)\n"
  "demo: TranslateKey\\(97\\)\n"
  "demo: TranslateKey\\(97\\)\n"
  "demo: Input\\(8289\\)\n"
  "demo: TranslateKey\\(8486\\)\n"
  "demo: Input\\(8486\\)\n"
  "demo: A ship of the demo's type flew its SA_MovePos order; its task woke with 1\\.\n"
  "demo: Timer woke after [0-9]+ ms of game time, at frame [0-9]+\\.\n"
  "demo: Game saved in slot 1 at frame [1-9][0-9]*, result 1\\.\n"
  "demo: Save read back: [1-9][0-9]* frames and [1-9][0-9]* events restored\\.\n"
  "demo: Demo finished: [1-9][0-9]* frames, [1-9][0-9]* events raised, save written and read back\\.\n")
set(rest "${text}")
foreach(line IN LISTS expected)
  string(REGEX MATCH "${line}.*" found "${rest}")
  if(NOT found)
    message(FATAL_ERROR "the demo's report lacks (in this order) a line matching: ${line}")
  endif()
  string(REGEX REPLACE "^${line}" "" rest "${found}")
endforeach()

# The sound of the cockpit stretch ends while the input is played, in an order that depends on
# the frame rate: its line is looked for on its own. The task wakes after the sample's 250 ms.
set(sound_line "demo: Sound 100 played; its task woke with 1 after (2[5-9][0-9]|[3-9][0-9][0-9]) ms of game time\\.\n")
if(NOT text MATCHES "${sound_line}")
  message(FATAL_ERROR "the demo's report lacks a line matching: ${sound_line}")
endif()

file(GLOB_RECURSE saves ${WORK_DIR}/documents/*.sav)
if(NOT saves)
  message(FATAL_ERROR "the demo wrote no save into the documents folder")
endif()

# Compares one captured screenshot with a reference picture (PNG). A golden (the default) names the
# command that makes it again after an intended change; WHAT names a frame the same run drew
# instead, for checks where a difference is a fault, never an update.
function(compare_shot shot reference)
  cmake_parse_arguments(arg "" "TOLERANCE;WHAT" "" ${ARGN})
  if(NOT EXISTS ${shot})
    message(FATAL_ERROR "the demo captured no screenshot ${shot}")
  endif()
  set(tolerance)
  if(arg_TOLERANCE)
    set(tolerance --tolerance ${arg_TOLERANCE})
  endif()
  execute_process(COMMAND ${PYTHON} ${COMPARE} ${tolerance} ${shot} ${reference}
                  RESULT_VARIABLE compared OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT compared STREQUAL "0")
    if(arg_WHAT)
      message(FATAL_ERROR "${arg_WHAT}:\n${out}${err}")
    endif()
    message(FATAL_ERROR "${out}${err}After an intended change of the picture, make the golden again with\n"
                        "  ${PYTHON} ${COMPARE} --update ${shot} ${reference}")
  endif()
  message("${out}")
endfunction()

if(GOLDEN_DIR)
  # The story captures one frame; each numbered screenshot has its golden picture.
  set(shots ${WORK_DIR}/documents/Korvane/VexaNL/screenshots)
  compare_shot(${shots}/vexascreen00001.bmp ${GOLDEN_DIR}/vexascreen00001.png)
  # The first frame after the load shows the scene the save restored: it must match the frame the
  # same run drew before the save, with the same tolerance.
  # The cockpit and sector stretches capture one frame each between the two, so the frame after the
  # load is the fourth.
  set(restored_shot 00004)
  get_filename_component(image_tools ${COMPARE} DIRECTORY)
  execute_process(COMMAND ${PYTHON} ${image_tools}/bmp_to_png.py ${shots}/vexascreen00001.bmp
                  RESULT_VARIABLE converted OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT converted STREQUAL "0")
    message(FATAL_ERROR "the frame before the save could not be converted: ${err}")
  endif()
  compare_shot(${shots}/vexascreen${restored_shot}.bmp ${shots}/vexascreen00001.png
               WHAT "the frame after the load differs from the frame before the save")
endif()

# The cockpit stretch: its HUD frame (crosshair and brackets over the 3D view) against its golden
# picture, every channel within +-8 on at least 99.5 % of the pixels; and the captured audio: the
# 440 Hz tone of sound 100 at the sample's level lowered by the play volume (-1036 hundredths of a
# decibel at full volume and effects volume 255) and the master volume (-6), the right side a
# further 16 lower (pan 64), each within 2 %.
if(GOLDEN_DIR)
  set(cockpit_shot 00002)
  compare_shot(${WORK_DIR}/documents/Korvane/VexaNL/screenshots/vexascreen${cockpit_shot}.bmp
               ${GOLDEN_DIR}/hud.png TOLERANCE 8)
endif()
if(AUDIO_CHECK)
  execute_process(COMMAND ${PYTHON} ${AUDIO_CHECK} ${audio_capture} ${SOUND_SAMPLE} --hertz 440 --hertz-tolerance 2
                          --left-millibels -1042 --right-millibels -1058 --tolerance 0.02
                  RESULT_VARIABLE checked OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT checked STREQUAL "0")
    message(FATAL_ERROR "the captured audio does not hold sound 100 as played:\n${out}${err}")
  endif()
  message("${out}")
endif()
# The sector stretch (vexastory/40_sector.asm): the universe it built, and the events it logged
# in the 30 frames after the save, before the load and again after it, line for line (the frame
# captured after the load takes no extra game time under the fixed step). Then a second process
# reads the same save back ("-faststart" makes the story do so at once) and plays the same
# frames: its second save must equal the one this run wrote, byte for byte, and its log the one
# this run wrote after its load.
set(sector_save1 Ulnar02.sav)
set(sector_save2 Ulnar03.sav)
set(sector_fight_shot 00003)
# The fight's frame (its own camera in the first sector, three frames after the first attacker fired
# and shot the guard down), drawn under the fixed frame step and the fixed seed: the tolerance of
# shot_compare.py.
if(GOLDEN_DIR)
  compare_shot(${WORK_DIR}/documents/Korvane/VexaNL/screenshots/vexascreen${sector_fight_shot}.bmp
               ${GOLDEN_DIR}/sector_fight.png)
endif()
foreach(line IN ITEMS "demo: Sector: frame [0-9]+: UseAmmunition of ware 1, [0-9]+ left\\.\n"
                      "demo: Sector: frame [0-9]+: MissileLaunched, subtype 0 \\(0\\)\\.\n"
                      "demo: Sector: frame [0-9]+: MissileAlert, shooter [0-9]+ \\(0\\)\\.\n")
  if(NOT text MATCHES "${line}")
    message(FATAL_ERROR "the demo's report lacks the sector stretch's line matching: ${line}")
  endif()
endforeach()
if(NOT text MATCHES "demo: Sector: universe imported from types\\\\Universe\\.xml: 3 sectors, 18 objects in them, 6 gates\\.\n")
  message(FATAL_ERROR "the demo's report lacks the universe the sector stretch built")
endif()
# The "Sector: frame" lines from the first line matching `from` to the next checkpoint.
function(sector_events text from out)
  string(FIND "${text}" "${from}" start)
  if(start LESS 0)
    message(FATAL_ERROR "no line \"${from}\" in the report")
  endif()
  string(SUBSTRING "${text}" ${start} -1 rest)
  string(FIND "${rest}" "demo: Sector: checkpoint" stop)
  if(stop LESS 0)
    message(FATAL_ERROR "no checkpoint after \"${from}\" in the report")
  endif()
  string(SUBSTRING "${rest}" 0 ${stop} rest)
  string(REGEX MATCHALL "demo: Sector: frame [^\n]*\n" events "${rest}")
  set(${out} "${events}" PARENT_SCOPE)
endfunction()
sector_events("${text}" "demo: Game saved in slot 1" before_load)
sector_events("${text}" "demo: Save read back" after_load)
if(NOT before_load)
  message(FATAL_ERROR "the sector stretch logged no event in the 30 frames after the save")
endif()
# The game read back from the save goes on exactly as the saved one did: the same events in the
# same frames.
if(NOT before_load STREQUAL after_load)
  message(FATAL_ERROR "the events after the load differ from the events after the save:\n"
                      "after the save:\n${before_load}\nafter the load:\n${after_load}")
endif()
if(NOT text MATCHES "demo: Game saved in slot 2 at frame [0-9]+, result 1\\.\n")
  message(FATAL_ERROR "the restored game did not save again in slot 2")
endif()
set(saves_dir ${WORK_DIR}/documents/Korvane/VexaNL/save)
set(replay ${WORK_DIR}/replay)
file(MAKE_DIRECTORY ${replay}/home ${replay}/config ${replay}/documents/Korvane/VexaNL/save)
file(COPY ${saves_dir}/${sector_save1} DESTINATION ${replay}/documents/Korvane/VexaNL/save)
set(ENV{HOME} ${replay}/home)
set(ENV{XDG_DOCUMENTS_DIR} ${replay}/documents)
set(ENV{XDG_CONFIG_HOME} ${replay}/config)
# The replay hears no scripted input and captures no audio: the run's input came long before its save.
unset(ENV{KORVANE_INPUT_SCRIPT})
unset(ENV{KORVANE_AUDIO_CAPTURE})
execute_process(COMMAND ${KORVANE} -faststart replay WORKING_DIRECTORY ${DEMO_DIR} TIMEOUT 120
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(READ ${replay}/documents/Korvane/VexaNL/demo-report.txt replay_text)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "the replay ended with status ${status}\n${out}${err}${replay_text}")
endif()
sector_events("${replay_text}" "demo: Save read back" replayed)
if(NOT replayed STREQUAL after_load)
  message(FATAL_ERROR "the replay's events differ from the run's after its load:\n"
                      "run:\n${after_load}\nreplay:\n${replayed}")
endif()
file(SHA256 ${saves_dir}/${sector_save2} run_hash)
file(SHA256 ${replay}/documents/Korvane/VexaNL/save/${sector_save2} replay_hash)
if(NOT run_hash STREQUAL replay_hash)
  message(FATAL_ERROR "the replay's save ${sector_save2} differs from the run's: the game does not replay "
                      "exactly from a save")
endif()
string(REGEX MATCHALL "demo: Sector: frame" counted "${after_load}")
list(LENGTH counted event_count)
message("sector stretch: ${event_count} events in the 30 frames after the load, the same in a second process "
        "read back from the same save; the second saves are equal")
# The scene stretch (vexastory/20_scene.asm), the last: take time 1 s, take time 2 s just before
# its save (slot 3), the first frame after that save was read back (the same take time) and the
# frame after the take's end. Its goldens are named by what they show, not by shot number.
set(scene_shot_1s 00005)
set(scene_shot_before_save 00006)
set(scene_shot_after_load 00007)
set(scene_shot_end 00008)
foreach(line IN ITEMS
    "demo: Scene stretch: station, ship, planet, two lights and a 3D text built; the take of cut 3 starts\\.\n"
    "demo: Game saved in slot 3 at frame [0-9]+, result 1\\.\n"
    "demo: The take of cut 3 played to its end; its task woke with 1\\.\n"
    "demo: Scene stretch finished: [^\n]*\n")
  if(NOT text MATCHES "${line}")
    message(FATAL_ERROR "the demo's report lacks the scene stretch's line matching: ${line}")
  endif()
endforeach()
if(GOLDEN_DIR)
  set(shots ${WORK_DIR}/documents/Korvane/VexaNL/screenshots)
  foreach(pair IN ITEMS "${scene_shot_1s}:take1s" "${scene_shot_before_save}:take2s" "${scene_shot_end}:end")
    string(REPLACE ":" ";" pair "${pair}")
    list(GET pair 0 number)
    list(GET pair 1 name)
    compare_shot(${shots}/vexascreen${number}.bmp ${GOLDEN_DIR}/vexascene_${name}.png)
  endforeach()
  # The take, its camera and every instance (the 3D text's characters too) come back from the
  # "B3D " section: the same tolerance as every golden.
  compare_shot(${shots}/vexascreen${scene_shot_after_load}.bmp ${GOLDEN_DIR}/vexascene_take2s.png
               WHAT "the frame after the mid-take load differs from the one before the save")
endif()
