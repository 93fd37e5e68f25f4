What goes wrong, what lumaveractl says, and its exit status: 1 the module
did not answer as asked, 2 bad usage or values (nothing is sent), 3 the port
could not be opened. A failed command never goes on to a save and leaves
the settings file as it was.

  $ . "$TESTDIR/module.sh"
  $ export LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ printf '[Settings]\r\nCommPort=1\r\n' > lumavera.ini; cp lumavera.ini before.ini

Answers a module should not give:

  $ start_module silent --silent; a=$module
  $ start_module short --fast --short; b=$module
  $ start_module noisy --fast --noise; c=$module
  $ start_module badack --fast --bad-ack; d=$module
  $ start_module forgetful --fast --forget; e=$module
  $ start_module odd --fast --answer 'FE'; f=$module
  $ lumaveractl --port silent read
  lumaveractl: read failed: No answer came from the module within 500 ms.
  lumaveractl: check that the module has power and is on this port, and that no program of another user has the line ('sudo fuser -v /dev/pts/*' shows who has it open); a slow one needs a longer --timeout MS. (glob)
  [1]
  $ lumaveractl --port silent read > /dev/null 2>&1 && lumaveractl --port silent color '#FF0000' ||
  >     echo "no module answers on silent"
  no module answers on silent
  $ lumaveractl --port silent backup out.ini
  lumaveractl: read failed: No answer came from the module within 500 ms.
  lumaveractl: check that the module has power and is on this port, and that no program of another user has the line ('sudo fuser -v /dev/pts/*' shows who has it open); a slow one needs a longer --timeout MS. (glob)
  [1]
  $ lumaveractl --port short read
  lumaveractl: read failed: Only 34 of 35 bytes came back.
  lumaveractl: part of the answer was lost: check the cable and its connectors, and that no program of another user has the line ('sudo fuser -v /dev/pts/*' shows who has it open), and try again; a slow module needs a longer --timeout MS. (glob)
  [1]
  $ lumaveractl --port noisy read
  lumaveractl: read failed: The answer does not start like a settings reply.
  [1]
  $ lumaveractl --port badack save
  lumaveractl: save failed: The module acknowledged with FE AB instead of FE AA.
  [1]
  $ lumaveractl --port odd save
  lumaveractl: save failed: Only 1 of 2 bytes came back.
  lumaveractl: part of the answer was lost: check the cable and its connectors, and that no program of another user has the line ('sudo fuser -v /dev/pts/*' shows who has it open), and try again; a slow module needs a longer --timeout MS. (glob)
  [1]
  $ lumavera-virtual-module --answer FEA
  lumavera-virtual-module: --answer takes bytes in hex, such as 'FE AA', not 'FEA'
  Try --help.
  [2]
  $ ls out.ini
  ls: cannot access 'out.ini': No such file or directory
  [2]
  $ cmp lumavera.ini before.ini

A module that does not keep what it is sent differs after a restore, and is
not told to save:

  $ lumaveractl --port badack mode 3 && lumaveractl --port badack backup want.ini > /dev/null
  $ lumaveractl --port forgetful --gap 0 restore want.ini --save
  lumaveractl: the module differs from want.ini after the restore:
    mode: file 3, module 0
  [1]
  $ grep -c SaveToEeprom forgetful.log
  0
  [1]

Ports that cannot be opened or named:

  $ lumaveractl --port /dev/lumavera-none color 1 2 3
  lumaveractl: Selected Com Port Not Available: There is no device /dev/lumavera-none.
  lumaveractl: 'lumaveractl list' shows the ports there are, 'lumaveractl find' the ones a module answers on.
  [3]
  $ lumaveractl --port 1 mode 1 2>&1 | sed -n 2p; lumaveractl --port ttyUSB7 mode 1 2>&1 | sed -n 2p
  lumaveractl: did you mean --port COM1?
  lumaveractl: did you mean --port /dev/ttyUSB7?
  $ lumaveractl --port COM17 mode 1
  lumaveractl: No device is assigned to COM17.
  See 'lumaveractl list' for the devices behind the numbers; give COM17 a device with 'lumaveractl pin COM17 PATH', or name the device with --port PATH.
  [3]
  $ lumaveractl --port COM0 color 1 2 3
  lumaveractl: There is no COM0; the ports are COM1..COM20.
  [2]
  $ lumaveractl --port com99 read
  lumaveractl: There is no com99; the ports are COM1..COM20.
  [2]

Bad values, and files checked whole before anything is sent:

  $ lumaveractl --port short color 256 0 0
  lumaveractl: color: red level 256 is not a whole number from 0 to 255
  Usage: lumaveractl [--port PORT] [--json] [--timeout MS] [--verbose]
                     [--settings FILE] COMMAND [ARGS]
  Try 'lumaveractl --help' for more.
  [2]

Every usage error prints the lines above; below, the reason and status alone:

  $ usage() { lumaveractl "$@" 2>&1 | head -1; return "${PIPESTATUS[0]}"; }
  $ usage --port short color 1 2
  lumaveractl: color: a colour is R G B (each 0..255) or RRGGBB in hex, with or without #
  [2]
  $ usage --port short store 11 '#000000'
  lumaveractl: store: the slot is a number from 1 to 10
  [2]
  $ usage --port short hold 241
  lumaveractl: hold: 241 is not a whole number from 0 to 240
  [2]
  $ usage colour 1 2 3
  lumaveractl: unknown command 'colour'; did you mean 'color'?
  [2]
  $ usage --port short --timeout 0 read
  lumaveractl: --timeout 0 is shorter than read's answer takes on the wire (42 ms at 9600 baud); give at least 42, or leave it out for 500
  [2]
  $ usage blink
  lumaveractl: unknown command 'blink'
  [2]
  $ usage --port short --tiemout 900 read
  lumaveractl: unknown option '--tiemout'; did you mean '--timeout'?
  [2]
  $ usage
  lumaveractl: no command given
  [2]
  $ sed '/^Hold=/d; s/^Green7=.*/Green7=256\r/' want.ini > partial.ini
  $ lumaveractl --port short restore partial.ini
  lumaveractl: partial.ini: [Module] Hold is missing
  lumaveractl: partial.ini: [Colors] Green7=256 is not a whole number from 0 to 255
  [2]
  $ lumaveractl station partial.ini
  lumaveractl: partial.ini: [Module] Hold is missing
  lumaveractl: partial.ini: [Colors] Green7=256 is not a whole number from 0 to 255
  [2]

A file that is no configuration, or another INI file, is said in one line;
missing slots too:

  $ echo garbage > garbage.ini; printf '[Modul]\nMode=3\n' > typo.ini
  $ lumaveractl --port short restore garbage.ini
  lumaveractl: garbage.ini is not a module configuration: it has no sections, no [Module] and no [Colors]. 'lumaveractl backup FILE' or the window's Backup\xe2\x80\xa6 writes one. (esc)
  [2]
  $ lumaveractl --port short restore typo.ini
  lumaveractl: typo.ini has no [Module] section (Mode, Fade and Hold). 'lumaveractl backup FILE' or the window's Backup\xe2\x80\xa6 writes one. (esc)
  [2]
  $ printf '[Module]\nMode=3\nFade=1\nHold=10\n[Colors]\nRed1=255\nGreen1=0\nBlue1=7\nRed4=1\n' > slot1.ini
  $ lumaveractl --port short restore slot1.ini
  lumaveractl: slot1.ini: [Colors] Red2..Red3, Red5..Red10, Green2..Green10 and Blue2..Blue10 are missing
  [2]

A key or section mistyped is named beside what it leaves missing:

  $ sed 's/^Mode=/Mdoe=/' want.ini > mdoe.ini; sed 's/^\[Colors\]/[Colours]/' want.ini > colours.ini
  $ lumaveractl --port short restore mdoe.ini
  lumaveractl: mdoe.ini: [Module] Mode is missing
  lumaveractl: mdoe.ini: [Module] Mdoe is not a key of a configuration (Mode, Fade, Hold)
  [2]
  $ lumaveractl --port short restore colours.ini
  lumaveractl: colours.ini has no [Colors] section (Red1..Blue10); it does not read [Colours]. 'lumaveractl backup FILE' or the window's Backup\xe2\x80\xa6 writes one. (esc)
  [2]
  $ grep -c '^Set\|^Store' short.log
  0
  [1]
An answer longer than a settings reply is not vouched for: a byte too many
in the middle shifts every slot after it (here an FF FF in slot 1):

  $ start_module long --fast --answer "FF03010AFF0007FFFF$(printf '00%.0s' $(seq 28))"; g=$module
  $ lumaveractl --port long backup long.ini; test -e long.ini
  lumaveractl: read failed: The module answered 37 bytes where 35 were expected.
  [1]
  $ lumaveractl --port long --verbose read 2>&1 | grep -c 'Read Error: 37 bytes where 35 were expected'
  1
  $ kill $g

A module pulled in the middle of a step is said as an unplug, with what to
do; a restore cut short says what reached the module and where what it held
before is kept:

  $ start_module gone --fast; lumaveractl --port gone backup gone.ini > /dev/null
  $ lumaveractl --port gone --gap 200 restore gone.ini > /dev/null 2> restore.err & restore=$!
  $ wait_for gone.log SetFade 1; kill $module; wait $restore
  [1]
  $ cat restore.err
  lumaveractl: hold failed: gone went away: unplugged, or closed at its far end.
  lumaveractl: plug it back in (or bring its far end back) and try again.
  lumaveractl: the restore stopped at step 3 of 14: mode and fade reached the module; hold and the slots did not. What the module held before is kept in /*/state/lumavera/*-gone.ini; restoring gone.ini again finishes it, restoring that file undoes it. (glob)
  $ start_module pulled --delay 1500
  $ lumaveractl --port pulled --timeout 3000 read 2> read.err & read=$!
  $ wait_for pulled.log ReadModuleSettings 1; kill $module; wait $read
  [1]
  $ cat read.err
  lumaveractl: read failed: pulled went away during the exchange: unplugged, or closed at its far end.
  lumaveractl: plug it back in (or bring its far end back) and try again.

Why ports may not be opened is said once, after the ports it concerns:

  $ chmod 000 "$(readlink silent)" "$(readlink short)"
  $ for n in 5 6; do lumaveractl --settings denied.ini pin COM$n "$PWD/s$((n - 4))"; done > /dev/null
  $ ln -s "$(readlink silent)" s1; ln -s "$(readlink short)" s2
  $ lumaveractl --settings denied.ini find --match "$PWD/s?"
  COM5   */s1  -  permission denied (glob)
  COM6   */s2  -  permission denied (glob)
  lumaveractl: Permission denied for */s1: its mode lets no one but root open it. * (glob)
  [1]
  $ kill $a $b $c $d $e $f; wait
