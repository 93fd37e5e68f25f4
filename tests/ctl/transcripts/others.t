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
  $ for other in "${others[@]}"; do
  >     name="${other%%|*}"
  >     bash -c "exec ${other#*|}" < /dev/null > /dev/null 2>&1 &
  >     poll 200 "$name never held it" sh -c "pgrep -nx $name > pid && [ -n \"\$(ls -l /proc/\$(cat pid)/fd 2>/dev/null | grep -F '$device')\" ]"
  >     before="$(speed)"
  >     for step in "color 1 2 3" read; do
  >         lumaveractl --port line $step 2>&1 | sed 's/(pid [0-9]*)/(pid N)/' | head -1
  >     done
  >     [ "$(speed)" = "$before" ] && echo "$name: line as it was: $before"
  >     pkill -x $name; poll 200 "$name still holds it" sh -c "! pgrep -x $name > /dev/null"
  > done
  lumaveractl: Selected Com Port Not Available: line is in use by socat (pid N).
  lumaveractl: Selected Com Port Not Available: line is in use by socat (pid N).
  socat: line as it was: True
  lumaveractl: Selected Com Port Not Available: line is in use by picocom (pid N).
  lumaveractl: Selected Com Port Not Available: line is in use by picocom (pid N).
  picocom: line as it was: True
  lumaveractl: Selected Com Port Not Available: line is in use by tio (pid N).
  lumaveractl: Selected Com Port Not Available: line is in use by tio (pid N).
  tio: line as it was: True
  lumaveractl: Selected Com Port Not Available: line is in use by python3 (pid N).
  lumaveractl: Selected Com Port Not Available: line is in use by python3 (pid N).
  python3: line as it was: True
  lumaveractl: Selected Com Port Not Available: line is in use by python3 (pid N).
  lumaveractl: Selected Com Port Not Available: line is in use by python3 (pid N).
  python3: line as it was: True

The module heard nothing at all:

  $ kill $line; wait
  $ cat line.log
  device /dev/pts/* (glob)
  link line
