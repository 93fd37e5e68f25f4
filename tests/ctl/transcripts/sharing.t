Programs of one's own on the line: a lock file naming a live program keeps
the device, one naming a program that is gone is stale (and goes), and two of
our own programs never share a device.

  $ export LUMAVERA_LOCK_DIR="$PWD/locks" LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ mkdir locks
  $ . "$TESTDIR/module.sh"
  $ start_module module --fast; playing=$module
  $ lock="locks/LCK..$(readlink module | sed 's,^/dev/,,; s,/,_,g')"
  $ sleep 30 < /dev/null & sleeper=$!; echo "$sleeper" > "$lock"
  $ lumaveractl --port module read
  lumaveractl: Selected Com Port Not Available: module is locked by /*/locks/LCK..pts_*, which names sleep (pid *), a program that does not have it open. (glob)
  lumaveractl: if no program is using the port, the lock file's owner (or root) can remove it.
  [3]

A pid that was reused names a program this user cannot look into: the lock
file is named, and the program only as what the pid is now:

  $ echo 1 > "$lock"; lumaveractl --port module read 2>&1 | head -1
  lumaveractl: Selected Com Port Not Available: module is locked by /*/locks/LCK..pts_*, which names * (pid 1, user root). (glob)
  $ kill $sleeper; wait $sleeper; rm "$lock"; lumaveractl --port module hold 7
  $ ls locks

While one lumaveractl waits on a module that does not answer, another is
told who has the device:

  $ start_module silent --silent
  $ lumaveractl --port silent --timeout 2000 read < /dev/null 2> /dev/null & first=$!
  $ poll 200 "the first never opened it" holds $first silent
  $ lumaveractl --port silent color 1 2 3
  lumaveractl: Selected Com Port Not Available: silent is in use by lumaveractl (pid *). (glob)
  lumaveractl: close that program, or have it let go of the port, and try again.
  [3]

Meanwhile it holds lock files under the device's own name and the whole
paths (as ser2net names them), each its pid in ten characters and a
newline, so that cu keeps out:

  $ ls locks | sed "s/$(readlink silent | sed 's,^/dev/,,; s,/,_,g')/N/; s,_dev_.*,_dev_PTS,; s,__*[a-z].*_silent,_PATH_silent," | sort
  LCK..N
  LCK.._PATH_silent
  LCK.._dev_PTS
  $ for f in locks/*; do [ "$(cat "$f")" -eq $first ] && wc -c < "$f"; done | uniq
  11
  $ cu -l "$(readlink silent)" < /dev/null
  cu: /dev/pts/*: Line in use (glob)
  [1]
  $ wait $first
  [1]
  $ ls locks

A lock file under the whole path, naming a live program, keeps the device;
one under the name of the link, which a link to another device may share
(two benches' "module"), stands aside where its program is seen to have
another device open:

  $ sleep 30 < /dev/null & sleeper=$!
  $ for name in "LCK..$(readlink module | tr / _)" LCK..module; do
  >     echo "$sleeper" > "locks/$name"; lumaveractl --port module color 1 2 3 2>&1 | head -1
  >     echo "exit ${PIPESTATUS[0]}"; rm "locks/$name"
  > done
  lumaveractl: Selected Com Port Not Available: module is locked by /*/locks/LCK.._dev_pts_*, which names sleep (pid *), a program that does not have it open. (glob)
  exit 3
  exit 0
  $ kill $sleeper

Stopped by a signal (timeout's SIGTERM, a closed terminal's SIGHUP, Ctrl+C)
in the middle of a command, it lets the line go the ordinary way, so that the
next program opens it at once, and says so with the signal's status:

  $ before=$module; start_module slowly --fast; slowly=$module
  $ lumaveractl --port slowly backup slowly.ini > /dev/null
  $ lumaveractl --port slowly --gap 300 restore slowly.ini > /dev/null 2> restore.err & restore=$!
  $ wait_for slowly.log SetFade 1; kill -HUP $restore; wait $restore
  [129]
  $ tail -1 restore.err
  lumaveractl: stopped by SIGHUP before the command was done; the port is let go.
  $ start_module mute --silent; mute=$module
  $ timeout 0.5 lumaveractl --port mute --timeout 5000 read
  lumaveractl: stopped by SIGTERM before the command was done; the port is let go.
  [124]
  $ ls locks; lumaveractl --port slowly hold 9; lumaveractl --port mute save 2>&1 | head -1
  lumaveractl: save failed: No answer came from the module within 500 ms.
  $ kill $slowly $mute; wait $slowly $mute; module=$before

A lock folder the user may not write to is no fault:

  $ mkdir -m 555 closed; LUMAVERA_LOCK_DIR="$PWD/closed" lumaveractl --port module hold 8

The module saw the one frame that was allowed through:

  $ kill $playing $module; wait
  $ cat module.log
  device /dev/pts/* (glob)
  link module
  SetHold 7
  SetColor r=1 g=2 b=3
  SetHold 8
