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
  >     before="$(speed)"; said=()
  >     for step in "color 1 2 3" read; do
  >         lumaveractl --port line $step > /dev/null 2> err; said+=("$?: $(grep -o "in use by $name" err)")
  >     done
  >     echo "$name: ${said[*]}; 115200 baud kept: $([ "$(speed)" = "$before" ] && echo $before)"
  >     pkill -x $name; poll 200 "$name still holds it" sh -c "! pgrep -x $name > /dev/null"
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
