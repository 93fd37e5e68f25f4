Serial programs of another user on the line: lumaveractl runs as the suite's
regular user, the other programs as user nobody, both in the device's group
as on a desktop with a USB adapter (root only sets this up, and skips without).

  $ [ "$(id -u)" = 0 ] && id lumavera-test > /dev/null 2>&1 || exit 80
  $ . "$TESTDIR/module.sh"
  $ play="$(mktemp -d /tmp/lumavera-other-users.XXXXXX)"; chown lumavera-test "$play"; chmod 755 "$play"; cd "$play"
  $ me="setpriv --reuid=lumavera-test --regid=lumavera-test --init-groups env HOME=$play XDG_RUNTIME_DIR=$play/run XDG_STATE_HOME=$play/state LUMAVERA_SETTINGS=$play/lumavera.ini"
  $ other="setpriv --reuid=nobody --regid=nogroup --groups=dialout"
  $ $me mkdir -m 700 run
  $ start_module line --fast; line=$module; device="$(readlink line)"; n="${device##*/}"
  $ chgrp dialout "$device"; chmod 660 "$device"
  $ tree() { local p; for p in "$@"; do echo $p; tree $(pgrep -P $p); done; }
  $ held() { local p; for p in $(tree $started); do [ "$(cat /proc/$p/comm)" = "$name" ] && holds $p "$device" && return 0; done 2> /dev/null; return 1; }
  $ gone() { local p; for p in "$@"; do kill -0 $p 2> /dev/null && return 1; done; return 0; }
  $ start() { $other bash -c "exec $1" < /dev/null > /dev/null 2>&1 & started=$!; poll 200 "$name never held it" held; }
  $ stop() { local pids="$(tree $started)"; kill $pids 2> /dev/null; poll 200 "$name still holds it" gone $pids; rm -f "/run/lock/LCK..$n"; }
  $ said() { sed -n '1s/^.*: line is //p' err | sed -E 's/(pid |LCK\.\.)[0-9]+/\1N/g'; }

Those that lock the line, by flock (picocom, tio, an exclusive pyserial) or by
a lock file under the device's last name (cu writes LCK..N), are named with
their user, and nothing is sent:

  $ lockers=(
  >     "picocom|script -qc 'picocom -q -b 115200 $device' /dev/null"
  >     "tio|script -qc 'tio -b 115200 $device' /dev/null"
  >     "python3|/usr/bin/python3 -c 'import serial, time; s = serial.Serial(\"$device\", 115200, exclusive=True); time.sleep(30)'"
  >     "cu|script -qc 'cu -l $device -s 115200' /dev/null")
  $ for locker in "${lockers[@]}"; do
  >     name="${locker%%|*}"; start "${locker#*|}"
  >     for step in "color 1 2 3" read; do $me lumaveractl --port line $step > /dev/null 2> err; echo "$? $(said)"; done
  >     stop
  > done
  3 in use by picocom (pid N, user nobody).
  3 in use by picocom (pid N, user nobody).
  3 in use by tio (pid N, user nobody).
  3 in use by tio (pid N, user nobody).
  3 in use by python3 (pid N, user nobody).
  3 in use by python3 (pid N, user nobody).
  3 locked by /run/lock/LCK..N, which names cu (pid N, user nobody).
  3 locked by /run/lock/LCK..N, which names cu (pid N, user nobody).

Those that only read it cannot be seen by a regular user. The reads they
take the answer from say that another user's program may have the line, and
they go on reading: the line is not made to look closed under them.

  $ readers=(
  >     "socat|socat -u FILE:$device,b115200,raw -"
  >     "cat|sh -c 'stty raw min 1 time 0 && exec cat' < $device"
  >     "python3|/usr/bin/python3 -c 'import serial; s = serial.Serial(\"$device\", 115200, timeout=None); [s.read(1) for _ in iter(int, 1)]'")
  $ for reader in "${readers[@]}"; do
  >     name="${reader%%|*}"; start "${reader#*|}"; : > errs
  >     for i in $(seq 5); do $me lumaveractl --port line read > /dev/null 2>> errs; done
  >     echo "$name: still reading: $(held && echo yes || echo no); failures that name no other user: $(grep 'failed' errs | wc -l) - $(grep -c 'program of another user' errs)" | sed -E 's/([0-9]+) - \1$/none/'
  >     stop
  > done
  socat: still reading: yes; failures that name no other user: none
  cat: still reading: yes; failures that name no other user: none
  python3: still reading: yes; failures that name no other user: none

A lock file another user's program left behind, its pid since reused by a
program that does not have the device open, is named as a lock file:

  $ $other sleep 30 < /dev/null & sleeper=$!; poll 200 "no sleep" grep -qx sleep /proc/$sleeper/comm
  $ $other bash -c "printf '%10d\n' $sleeper > /run/lock/LCK..$n"
  $ $me lumaveractl --port line read > /dev/null 2> err; echo "$? $(said)"
  3 locked by /run/lock/LCK..N, which names sleep (pid N, user nobody).
  $ kill $sleeper; rm /run/lock/LCK..$n

While lumaveractl waits on the line, its exclusive mode keeps another user's
cu out; stopped by timeout's SIGTERM or a closed terminal's SIGHUP, it leaves
neither a lock file nor the line's exclusive mode, so that another user's
picocom opens the line at once:

  $ start_module mute --silent; mute=$module; device="$(readlink mute)"; n="${device##*/}"; chgrp dialout "$device"; chmod 660 "$device"
  $ ours() { ls /run/lock | grep -e "pts_$n\$" -e "_mute\$"; }
  $ sent=0; for signal in TERM HUP; do
  >     $me lumaveractl --port mute --timeout 5000 read 2> /dev/null & first=$!
  >     sent=$((sent + 1)); wait_for mute.log ReadModuleSettings $sent
  >     $other cu -l "$device" < /dev/null 2>&1 | sed "s,$device,DEVICE,"
  >     kill -$signal $first; wait $first; echo "exit $?"; ours
  >     $other picocom -q --exit "$device" < /dev/null && echo "picocom opened it"
  > done
  cu: DEVICE: Line in use
  exit 143
  picocom opened it
  cu: DEVICE: Line in use
  exit 129
  picocom opened it

No colour reached the module:

  $ kill $line $mute; wait
  $ grep -c SetColor line.log
  0
  [1]
  $ cd /; rm -rf "$play"
