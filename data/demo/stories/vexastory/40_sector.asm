; The sector stretch of the demo story: a universe imported from "types\Universe.xml" and built
; through the object commands, two groups of ships in its first sector under script orders (two
; attackers against two defenders: one attacker shoots the guard down, the other raids the station
; with its laser and a missile; one defender is ordered into the station, the other guards it),
; every event the simulation raises on them logged to the report with its frame, and one frame of
; the fight drawn by a camera of its own and captured.
;
; Around the story's save: the run goes on for kSectorFrames frames after its save, logging, and
; then reads the save back; the restored game runs the same frames again, logging the same lines,
; and saves once more (slot 2). A game started with "-faststart" (any text) reads slot 1 back at
; once and does the same, so two processes can be compared save for save.
;
; Globals (reserved in vexastory.asm):
;   G45 the event receiver (an object of class 151)   G46 the first sector
;   G47 the station of the first sector               G48, G49 the attackers
;   G50, G51 the defenders                            G52 the imported universe (arrays)
;   G53 sector index, G54 that sector                 G55 child index
;     (after the build: G53 the fight's camera, G54 the first sector's space scene)
;   G56 slot of the last save requested (0: slot 1)   G57 stage: 0 none, 1 fighting, 2 second save asked
;   G58 objects built, G59 gates built
; kSectorFrames, the frames logged after a save: 30 (in sector_input).

.class 151
.field int 40        ; M0 the fleet's ammunition, counted down by UseAmmunition
.method KilledBy sector_on_killed frame=8 params=3
.method SelfDestruct sector_on_self_destruct frame=8 params=2
.method UseAmmunition sector_on_use_ammunition frame=8 params=3
.method GetAmmunitionCountReload sector_on_ammunition_count frame=8 params=2
.method GetTurretFiringMask sector_on_firing_mask frame=8 params=1
.method GetScannerRange sector_on_scanner_range frame=8
.method MissileLaunched sector_on_missile_launched frame=8 params=1
.method MissileAlert sector_on_missile_alert frame=8 params=2
.end

.func SectorStart sector_start frame=8
.func SectorInput sector_input frame=8
.func SectorSaveSlot sector_save_slot frame=8
.func SectorLog sector_log frame=8 params=3
.func SectorBuild sector_build frame=8
.func SectorShip sector_ship frame=8 params=4

; SectorLog(format, a, b): one report line, the format filled with the frame (G0), a and b.
sector_log:
  check 8
  ldl 6                 ; SE_SPrintf(format, frame, a, b)
  ldl 6
  ldg 0
  ldl 7
  pushb 4
  native SE_SPrintf
  push1
  call say
  ret

; SectorSaveSlot(): the slot the last save went to, for the save's report line.
sector_save_slot:
  check 8
  ldg 56
  jt sector_slot_known
  push1
  ret
sector_slot_known:
  ldg 56
  ret

; SectorStart(): called by the story's timer task before anything else it does. Builds the
; universe and the two groups, gives their orders and lets the fight run 1000 ms of game time.
; A replay (fast start) reads the save back at once: it builds nothing.
sector_start:
  check 8
  push0
  native Wilo_GetStringParameter
  jf sector_not_replay
  push0
  ret
sector_not_replay:
  push0
  call sector_build
  pop
  newc 151              ; the receiver of the ships' events
  mvg 45
  push1                 ; SectorShip(x, y, z, group), pushed from the last: the attackers
  pushi 15000           ; (group 1) close in from behind the defenders (group 2), between the
  push0                 ; sector's entry and the station (at 0, 0, 24000 in the first sector)
  pushi 400
  pushb 4
  call sector_ship
  mvg 48
  push1
  pushi 16500
  pushi 600
  pushi -100
  pushb 4
  call sector_ship
  mvg 49
  push2
  pushi 15000
  push0
  pushi 1000
  pushb 4
  call sector_ship
  mvg 51
  push2
  pushi 16500
  pushi 600
  pushi 500
  pushb 4
  call sector_ship
  mvg 50
  ldg 45                ; SA_SetEventObject(station, receiver): it hears the missile alert
  ldg 47
  push2
  native SA_SetEventObject
  pop
  pushs "Sector: two attackers and two defenders in the first sector; the attackers patrol and attack, the defenders dock and guard the station."
  push1
  call say
  pop
  push0                 ; the fight's camera (G53) in the first sector's scene (G54), drawn
  native B3D_CameraAlloc ; over the demo scene (priority 20) until the fight's frame is taken
  mvg 53
  ldg 46
  push1
  native SA_GetSpaceScene
  mvg 54
  ldg 54
  ldg 53
  push2
  native B3D_CameraAddToScene
  pop
  ldg 53                ; B3D_CameraSetFlags(camera, its flags | clear target and depth)
  push1
  native B3D_CameraGetFlags
  pushb 52
  or
  ldg 53
  push2
  native B3D_CameraSetFlags
  pop
  pushb 20
  ldg 53
  push2
  native B3D_CameraSetPri
  pop
  pushi 11500           ; B3D_InstSetPos(camera, 450, 300, 11500): behind the ships, looking
  pushi 300             ; along +z at them and the station beyond
  pushi 450
  ldg 53
  pushb 4
  native B3D_InstSetPos
  pop
  pushi 8000            ; B3D_CameraSetFocus(camera, 8000): a narrow view (about 44 degrees)
  ldg 53
  push2
  native B3D_CameraSetFocus
  pop
  ldg 54                ; B3D_SceneEnable(scene)
  push1
  native B3D_SceneEnable
  pop
  ldg 48                ; each order waits in a task of its own: the first attacker shoots the
  ldg 51                ; guard down at once; the second raids the station after 1400 ms, so
  push0                 ; its fight goes on past the story's save
  launch
  jf sector_attack_task
  pop
  pop
  pop
  ldg 49
  ldg 47
  pushi 1400
  launch
  jf sector_raid_task
  pop
  pop
  pop
  ldg 50
  ldg 47
  launch
  jf sector_dock_task
  pop
  pop
  ldg 51
  ldg 47
  launch
  jf sector_guard_task
  pop
  pop
  push1
  mvg 57
  pushi 1000            ; the fight runs 1000 ms of game time before the story goes on
  push1
  native TI_Delay
  pop
  ldg 54                ; the fight's frame is taken: the demo scene is seen again
  push1
  native B3D_SceneDisable
  pop
  pushs "Sector: the fight ran 1000 ms of game time."
  push1
  call say
  ret

; The tasks below start with [ship][other] on the stack, above the frame of SectorStart (an
; attacker's with its delay above them).
; An attacker, from [ship][target][delay]: SA_AttackObject(ship, target, delay, no end) until
; the order ends; it fires on the target and shoots it down, then patrols between two points of
; the sector until an order fails.
sector_attack_task:
  pushi 300             ; the order lasts 300 ms past its delay at most
  ldl 2
  add
  ldl 2
  ldl 4
  ldl 6
  pushb 4
  native SA_AttackObject
  ldl 3                 ; [ship][target][delay][result]: the result and the target go into the line
  ldl 2
  pushs "Sector: frame %d: an attack order ended with %d (target %d)."
  push3
  call sector_log
  pop
  pop
  pop
  pushi -1              ; SA_FireOnObject(ship, target, 0, 0, every gun): it has closed in
  push0
  push0
  ldl 4
  ldl 6
  pushb 5
  native SA_FireOnObject
  ldl 2
  pushs "Sector: frame %d: the attacker fired on %d: result %d."
  push3
  call sector_log
  pop
  ldl 2                 ; SA_KillObject(target, cause 1, killer ship): the target is shot down
  push1
  ldl 4
  push3
  native SA_KillObject
  pop
  pushb 60              ; three frames later, with the shots on their way, the frame is taken
  push1
  native TI_Delay
  pop
  push0
  native Wilo_CaptureFrame
  pop
  jmp sector_patrol
; A raider, from [ship][station][delay]: the attack order, the ship's lasers and a missile on
; the station (left standing), then the patrol.
sector_raid_task:
  pushi 300
  ldl 2
  add
  ldl 2
  ldl 4
  ldl 6
  pushb 4
  native SA_AttackObject
  ldl 3
  ldl 2
  pushs "Sector: frame %d: a raid order ended with %d (target %d)."
  push3
  call sector_log
  pop
  pop
  pop
  pushi -1              ; SA_FireOnObject(ship, station, 0, 0, every gun)
  push0
  push0
  ldl 4
  ldl 6
  pushb 5
  native SA_FireOnObject
  ldl 2
  pushs "Sector: frame %d: the raider fired on %d: result %d."
  push3
  call sector_log
  pop
  push0                 ; SA_ShootMissileOnObject(ship, station, subtype 0, counted, shot 0)
  push2
  push0
  ldl 4
  ldl 6
  pushb 5
  native SA_ShootMissileOnObject
  jf sector_no_missile
  push0
  ldl 2
  pushs "Sector: frame %d: the raider launched a missile at %d."
  push3
  call sector_log
  pop
sector_no_missile:
sector_patrol:
  pushi 3000            ; SA_MovePos(ship, -6000, 0, 6000, within 3000)
  pushi 6000
  push0
  pushi -6000
  ldl 6
  pushb 5
  native SA_MovePos
  jf sector_task_end
  pushi 3000            ; SA_MovePos(ship, 6000, 0, -6000, within 3000)
  pushi -6000
  push0
  pushi 6000
  ldl 6
  pushb 5
  native SA_MovePos
  jt sector_patrol
sector_task_end:
  pop
  pop
  push0
  ret

; A defender that docks: SA_FlyObjectIntoContainer(ship, station, no slot); its task wakes when
; the ship is in (or the order failed).
sector_dock_task:
  push0                 ; any entry
  pushb -1              ; no docking place: straight in
  ldl 3
  ldl 5
  pushb 4
  native SA_FlyObjectIntoContainer
  ldl 2
  ldl 2
  pushs "Sector: frame %d: a defender's docking order ended with %d (station %d)."
  push3
  call sector_log
  pop
  pop
  jmp sector_task_end

; A defender that guards: SA_DefensiveMove(ship, 0, within 3000, for 20000 ms, the station).
sector_guard_task:
  ldl 1
  pushi 20000
  pushi 3000
  push0
  ldl 6
  pushb 5
  native SA_DefensiveMove
  ldl 2
  ldl 2
  pushs "Sector: frame %d: a guard order ended with %d (station %d)."
  push3
  call sector_log
  pop
  pop
  jmp sector_task_end

; SectorShip(x, y, z, group): a ship of the demo's type in the first sector at (x, y, z) with a
; laser in gun place 1, its group set and its events sent to the receiver. Answers the ship.
sector_ship:
  check 8
  push0                 ; SA_AllocObject(class 7, subtype 0)
  pushb 7
  push2
  native SA_AllocObject
  ldg 46                ; SA_StartObjectInSpace(ship, sector)
  ldl 2
  push2
  native SA_StartObjectInSpace
  pop
  ldl 7                 ; SA_SetPos(ship, x, y, z); the ship is L1, x L5
  ldl 7
  ldl 7
  ldl 4
  pushb 4
  native SA_SetPos
  pop
  ldl 8                 ; SA_SetGroup(ship, group)
  ldl 2
  push2
  native SA_SetGroup
  pop
  push0                 ; the laser: SA_AllocObject(class 8, 0)
  pushb 8
  push2
  native SA_AllocObject
  push1                 ; SA_MoveLaserIntoContainer(laser, ship, gun 1): the first of turret 0
  ldl 3
  ldl 3
  push3
  native SA_MoveLaserIntoContainer
  pop
  ldl 1                 ; SA_SetFlags(laser, SA_GetFlags(laser) | armed): only armed lasers fire
  push1
  native SA_GetFlags
  pushi 16777216
  or
  ldl 2
  push2
  native SA_SetFlags
  pop
  pop
  ldg 45                ; SA_SetEventObject(ship, receiver)
  ldl 2
  push2
  native SA_SetEventObject
  pop
  ret

; SectorBuild(): imports the universe description and builds each sector with its background,
; sun, station, asteroids and gates; the first sector's station is G47. Reports what it built.
sector_build:
  check 8
  pushb 5               ; Wilo_XMLImportGalaxy(SE_ReadFile("types\Universe.xml"), level 5)
  pushs "types\\Universe.xml"
  push1
  native SE_ReadFile
  push2
  native Wilo_XMLImportGalaxy
  mvg 52
  push0
  mvg 53
  push0
  mvg 58
  push0
  mvg 59
sector_next_sector:
  ldg 53
  ldg 52
  size
  jnlt sector_built
  push0                 ; SA_AllocObject(class 1, subtype 0)
  push1
  push2
  native SA_AllocObject
  mvg 54
  ldg 53
  jt sector_not_first
  ldg 54
  mvg 46
  push0                 ; SA_SetSpaceScene(sector, B3D_SceneAlloc()): the fight's sector is drawn
  native B3D_SceneAlloc ; (its objects join the scene as they are started in space)
  ldg 54
  push2
  native SA_SetSpaceScene
  pop
sector_not_first:
  pushb 13              ; the children of a sector array start at slot 13
  mvg 55
sector_next_child:
  ldg 55
  ldg 53                ; ldel takes the index below the container
  ldg 52
  ldel
  size
  jnlt sector_children_done
  push0                 ; the child's class: slot 0 of child G55 of sector entry G53
  ldg 55
  ldg 53
  ldg 52
  ldel
  ldel
  ldel
  sswitch sector_child_done 2 sector_child_plain 3 sector_child_placed 5 sector_child_placed 17 sector_child_placed 18 sector_child_gate
sector_child_gate:
  ldg 59
  inc
  mvg 59
sector_child_placed:
  push0                 ; built at its x, y, z
  call sector_object
  pop
  jmp sector_child_done
sector_child_plain:
  push0                 ; a background: SA_AllocObject(2, 0) started in the sector
  pushb 2
  push2
  native SA_AllocObject
  ldg 54
  ldl 2
  push2
  native SA_StartObjectInSpace
  pop
  pop
  ldg 58
  inc
  mvg 58
sector_child_done:
  ldg 55
  inc
  mvg 55
  jmp sector_next_child
sector_children_done:
  ldg 53
  inc
  mvg 53
  jmp sector_next_sector
sector_built:
  ldg 59                ; SE_SPrintf(format, sectors, objects, gates)
  ldg 58
  ldg 52
  size
  pushs "Sector: universe imported from types\\Universe.xml: %d sectors, %d objects in them, %d gates."
  pushb 4
  native SE_SPrintf
  push1
  call say
  ret

; SectorObject(): the object of child G55 of sector entry G53, of its class, at its x, y, z, in
; sector G54; a station of the first sector becomes G47.
.func SectorObject sector_object frame=8
sector_object:
  check 8
  push0                 ; SA_AllocObject(class, 0)
  push0
  ldg 55
  ldg 53
  ldg 52
  ldel
  ldel
  ldel
  push2
  native SA_AllocObject
  ldg 54                ; SA_StartObjectInSpace(object, sector)
  ldl 2
  push2
  native SA_StartObjectInSpace
  pop
  pushb 3               ; SA_SetPos(object, x, y, z) from slots 1 to 3 of the child
  ldg 55
  ldg 53
  ldg 52
  ldel
  ldel
  ldel
  push2
  ldg 55
  ldg 53
  ldg 52
  ldel
  ldel
  ldel
  push1
  ldg 55
  ldg 53
  ldg 52
  ldel
  ldel
  ldel
  ldl 4
  pushb 4
  native SA_SetPos
  pop
  ldg 58
  inc
  mvg 58
  ldl 1                 ; SA_GetMainType(object) == 5 in the first sector: the station
  push1
  native SA_GetMainType
  pushb 5
  jne sector_object_done
  ldg 53
  jt sector_object_done
  ldl 1
  mvg 47
sector_object_done:
  ret

; SectorInput(): asked by Input each frame after the frame count. Answers 0 to let the story's
; own flow go on, 1 to hold this frame (the story plays on) and 2 to end the game loop (the next
; start mode is set). Phases are the story's (G2).
sector_input:
  check 8
  ldg 2
  switch 0 sector_pass sector_input_phase0 sector_pass sector_input_phase2 sector_input_phase3
sector_pass:
  push0
  ret
sector_input_phase0:
  push0                 ; a replay reads slot 1 back at once
  native Wilo_GetStringParameter
  jf sector_pass
  pushs "Sector: replay: reading the save back at once."
  push1
  call say
  pop
  push1
  pushi 150
  pushb 7
  push3
  native Wilo_SetNextLocation
  pop
  push2
  ret
; Written, the first save: the run goes on for 30 frames, then the story reads the save back.
; Written, the second save: the story's own flow ends the demo at once (its count of frames
; since the save is made 3).
sector_input_phase2:
  ldg 57
  switch 1 sector_pass sector_after_save sector_after_second_save
sector_after_save:
  ldg 0
  ldg 6
  sub
  pushb 30
  jlt sector_hold
  pushs "Sector: checkpoint, 30 frames after the save."
  push1
  call say
  pop
  push0
  ret
sector_after_second_save:
  pushb 3
  mvg 2
  ldg 0
  pushb 3
  sub
  mvg 6
  push0
  ret
sector_hold:
  push1
  ret
; Read back: the story's own flow has the first two frames (it captures one); then the same 30
; frames as before the load, then the second save; the frames until it is written are held.
sector_input_phase3:
  ldg 57
  switch 1 sector_pass sector_restored sector_hold
sector_restored:
  ldg 0
  ldg 6
  sub
  pushb 3
  jlt sector_pass
  ldg 0
  ldg 6
  sub
  pushb 30
  jlt sector_hold
  pushs "Sector: checkpoint, 30 frames after the save."
  push1
  call say
  pop
  push2
  mvg 57
  push2
  mvg 56
  push0                 ; Wilo_Save(slot 2, caption, second caption, word 0)
  pushs "sector"
  pushb 6
  push1
  call text
  push2
  pushb 4
  native Wilo_Save
  pop
  push1
  ret

; The receiver's events. KilledBy(cause, killer, centre).
sector_on_killed:
  check 8
  ldl 5
  ldl 5
  pushs "Sector: frame %d: KilledBy, cause %d, killer %d."
  push3
  call sector_log
  ret

; SelfDestruct(reason, 0).
sector_on_self_destruct:
  check 8
  ldl 5
  ldl 5
  pushs "Sector: frame %d: SelfDestruct, reason %d (%d)."
  push3
  call sector_log
  ret

; UseAmmunition(ware class, ware, -1): one shot less of the fleet's ammunition.
sector_on_use_ammunition:
  check 8
  ldm 0
  dec
  mvm 0
  ldm 0
  jt sector_ammunition_left
  push0
  ldl 6
  pushs "Sector: frame %d: UseAmmunition of ware %d: the fleet is out of ammunition (%d left)."
  push3
  call sector_log
  ret
sector_ammunition_left:
  ldm 0
  ldl 6
  pushs "Sector: frame %d: UseAmmunition of ware %d, %d left."
  push3
  call sector_log
  ret

; GetAmmunitionCountReload(ware class, ware): what is left.
sector_on_ammunition_count:
  check 8
  ldm 0
  ret

; GetTurretFiringMask(turret): every gun may fire.
sector_on_firing_mask:
  check 8
  pushi -1
  ret

sector_on_scanner_range:
  check 8
  pushi 20000
  ret

; MissileLaunched(subtype).
sector_on_missile_launched:
  check 8
  push0
  ldl 5
  pushs "Sector: frame %d: MissileLaunched, subtype %d (%d)."
  push3
  call sector_log
  ret

; MissileAlert(missile, shooter): the shooter only, as the missile's id is not the same after a
; load (the save does not keep the universe's id counter).
sector_on_missile_alert:
  check 8
  push0
  ldl 6
  pushs "Sector: frame %d: MissileAlert, shooter %d (%d)."
  push3
  call sector_log
  ret
