Other serial programs from Debian, each holding the line first: nothing
reaches it, a read included, the program is named, and the line's settings
it made (115200 baud) stay as they were.

  $ . "$TESTDIR/module.sh"
  $ start_module line --fast; line=$module; device="$(readlink line)"
  $ others=(
  >     "socat|socat -u FILE:$device,b115200,raw -"
  >     "picocom|script -qc 'picocom -q -b 115200 $device' /dev/null"
  >     "tio|script -qc 'tio -b 115200 $device' /dev/null"
  >     "python3|/usr/bin/python3 -c 'import serial, time; s = serial.Serial(\"$device\", 115200); time.sleep(30)'"
  >     "python3|/usr/bin/python3 -c 'import serial, time; s = serial.Serial(\"$device\", 115200, exclusive=True); time.sleep(30)'")
  $ speed() { /usr/bin/python3 -c 'import os, sys, termios; fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NONBLOCK | os.O_NOCTTY); print(termios.tcgetattr(fd)[5] == termios.B115200)' "$device"; }
Only the program started here, and what it started, is looked at and stopped:
another python3 of the same user may be running beside this test.

  $ tree() { local p; for p in "$@"; do echo $p; tree $(pgrep -P $p); done; }
  $ holds() { local p; for p in $(tree $started); do [ "$(cat /proc/$p/comm 2> /dev/null)" = "$name" ] && ls -l /proc/$p/fd 2> /dev/null | grep -qF "$device" && return 0; done; return 1; }
  $ gone() { local p; for p in "$@"; do kill -0 $p 2> /dev/null && return 1; done; return 0; }
  $ for other in "${others[@]}"; do
  >     name="${other%%|*}"
  >     bash -c "exec ${other#*|}" < /dev/null > /dev/null 2>&1 & started=$!
  >     poll 200 "$name never held it" holds
  >     before="$(speed)"; said=()
  >     for step in "color 1 2 3" read; do
  >         lumaveractl --port line $step > /dev/null 2> err; said+=("$?: $(grep -o "in use by $name" err)")
  >     done
  >     echo "$name: ${said[*]}; 115200 baud kept: $([ "$(speed)" = "$before" ] && echo $before)"
  >     pids="$(tree $started)"; kill $pids; poll 200 "$name still holds it" gone $pids
  > done
  socat: 3: in use by socat 3: in use by socat; 115200 baud kept: True
  picocom: 3: in use by picocom 3: in use by picocom; 115200 baud kept: True
  tio: 3: in use by tio 3: in use by tio; 115200 baud kept: True
  python3: 3: in use by python3 3: in use by python3; 115200 baud kept: True
  python3: 3: in use by python3 3: in use by python3; 115200 baud kept: True

The module heard nothing at all:

  $ kill $line; wait
  $ cat line.log
  device /dev/pts/* (glob)
  link line
