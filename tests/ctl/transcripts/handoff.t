While the window holds the port, lumaveractl hands it each step over the
window's socket: the window runs it through its own module session (so
--verbose shows no OPEN of lumaveractl's own), and lumaveractl keeps the
settings file itself.

  $ . "$TESTDIR/module.sh"
  $ export LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ start_module m --fast; m=$module
  $ printf '[Ports]\r\nCOM1=%s\r\n' "$PWD/m" > lumavera.ini
  $ start_window
  $ lumaveractl --port m color 1 2 3
  $ lumaveractl --port m store 10 4 5 6
  $ lumaveractl --port m --verbose read 2>&1 > /dev/null | cut -c13-
    TX FF 3C FB FB FB  |.<...|  ReadModuleSettings
    RX FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 04 05 06 00  |...................................|  settings reply: mode 0 fade 0 hold 0
  $ lumaveractl --port m save
  $ grep -a Red10 lumavera.ini
  Red10=4\r (esc)
  $ lumaveractl --port m --json read > one & lumaveractl --port m --json read > two; wait $!
  $ cat one two | cut -c1-30
  {"mode":0,"fade":0,"hold":0,"s
  {"mode":0,"fade":0,"hold":0,"s
  $ grep -v '^device\|^link' m.log
  SetColor r=1 g=2 b=3
  StoreSlot slot=10 r=4 g=5 b=6
  ReadModuleSettings -> 35 bytes
  SaveToEeprom -> FE AA
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes

find asks the window's port through the window too, and --port keeps it to
that one:

  $ lumaveractl find --port COM1
  COM1   */m  -  module (mode 0, fade 0, hold 0) (glob)
  $ lumaveractl find --port COM1 --json
  {"fade":0,"hold":0,"mode":0,"module":true,"path":"*/m","port":"COM1","serial":null} (glob)

Strangers on the way: a program of the user's that floods the socket, and
four that connect and say nothing, keep no one out; the silent ones are
closed after ten seconds:

  $ python3 "$TESTDIR/clients.py" "$XDG_RUNTIME_DIR/lumavera.socket" flood > flood 2> /dev/null &
  $ flood=$!; wait_for flood connected 1; lumaveractl --port m color 4 4 4
  $ kill $flood 2> /dev/null; true
  $ python3 "$TESTDIR/clients.py" "$XDG_RUNTIME_DIR/lumavera.socket" silent 4 > silent & silent=$!
  $ wait_for silent connected 1
  $ lumaveractl --port m color 5 5 5
  $ wait $silent; cat silent
  connected
  4 closed by the window

The window keeps four connections; a fifth makes the one idle longest give
way. A request is taken only whole and within bounds: no wait past a minute,
no value the module has no place for.

  $ python3 "$TESTDIR/clients.py" "$XDG_RUNTIME_DIR/lumavera.socket" full
  the first gave way; the second still waits
  $ ask() { python3 "$TESTDIR/clients.py" "$XDG_RUNTIME_DIR/lumavera.socket" ask "$1"; }
  $ ask '{"op":"mode","device":"'"$PWD/m"'","timeout":500,"value":11}'
  handled
  $ ask '{"op":"mode","device":"'"$PWD/m"'","timeout":60001,"value":11}'
  not handled
  $ ask '{"op":"mode","device":"'"$PWD/m"'","timeout":500,"value":12}'
  not handled
  $ wait_for m.log 'SetMode 11' 1; grep -c SetMode m.log
  1

What cannot be written is said, and changes nothing; the step itself went
out (exit 4):

  $ lumaveractl --port m backup missing/backup.ini
  lumaveractl: missing/backup.ini could not be written: the folder */missing does not exist (glob)
  [2]
  $ mv lumavera.ini kept.ini; mkdir lumavera.ini
  $ lumaveractl --port m store 2 1 2 3
  lumaveractl: settings could not be saved: */lumavera.ini is not a regular file (glob)
  [4]
  $ rmdir lumavera.ini; mv kept.ini lumavera.ini
  $ wait_for m.log 'slot=2' 1; tail -3 m.log
  SetMode 11
  ReadModuleSettings -> 35 bytes
  StoreSlot slot=2 r=1 g=2 b=3

A module unplugged during a restore through the window: the restore stops
there, with no read back and no save:

  $ lumaveractl --port m backup want.ini > /dev/null
  $ lumaveractl --port m --gap 200 restore want.ini --save > /dev/null 2> restore.err & restore=$!
  $ wait_for m.log SetFade 1; kill $m; wait $restore
  [1]
  $ cat restore.err
  lumaveractl: * failed: The window no longer holds /dev/pts/* (disconnected or unplugged). (glob)
  lumaveractl: the restore stopped at step 3 of 14: mode and fade reached the module; hold and the slots did not. What the module held before is kept in /*/state/lumavera/*.ini; restoring want.ini again finishes it, restoring that file undoes it. (glob)
  $ sed -n '/SetFade/,$p' m.log | grep -c 'ReadModuleSettings\|SaveToEeprom'
  0
  [1]
  $ kill $window; wait $window

A slow module answers a window's step within lumaveractl's own --timeout:

  $ start_module slow --delay 700; slow=$module
  $ printf '[Ports]\r\nCOM1=%s\r\n' "$PWD/slow" > slow.ini
  $ start_window --settings slow.ini
  $ lumaveractl --port slow --timeout 3000 read | head -1
  mode 0
  $ lumaveractl --port slow --timeout 100 read
  lumaveractl: read failed: No answer came from the module within 100 ms.
  lumaveractl: check that the module has power and is on this port, and that no program of another user has the line ('sudo fuser -v /dev/pts/*' shows who has it open); a slow one needs a longer --timeout MS. (glob)
  [1]
  $ kill $window; wait $window

With no runtime folder of the user's own (unset, or one its group or anyone
can write), the socket goes into a private folder in the temporary folder:

  $ mkdir -m 770 shared; mkdir -m 757 world; mkdir -m 777 tmp; export TMPDIR="$PWD/tmp"
  $ XDG_RUNTIME_DIR="$PWD/shared" WINDOW_SOCKET="tmp/lumavera-$(id -u)/lumavera.socket" \
  >   start_window --settings slow.ini
  $ stat -c %a tmp/lumavera-*; ls shared
  700
  $ env -u XDG_RUNTIME_DIR lumaveractl --port slow --verbose color 6 6 6 2>&1 | cut -c13-
    TX FF 01 06 06 06  |.....|  SetColor r=6 g=6 b=6
  $ XDG_RUNTIME_DIR="$PWD/world" lumaveractl --port slow --verbose color 7 7 7 2>&1 | cut -c13-
    TX FF 01 07 07 07  |.....|  SetColor r=7 g=7 b=7
  $ kill $window

A server of the user's own that did not carry out a step, whatever else it
says, did not: lumaveractl says so and fails.

  $ python3 "$TESTDIR/clients.py" "$XDG_RUNTIME_DIR/lumavera.socket" unheld > /dev/null 2>&1 &
  $ server=$!; poll 100 "no server came up" test -S "$XDG_RUNTIME_DIR/lumavera.socket"
  $ lumaveractl --port slow color 1 2 3
  lumaveractl: color failed: The window no longer holds /dev/pts/*. (glob)
  [1]
  $ kill $server $slow; wait; rm "$XDG_RUNTIME_DIR/lumavera.socket"
