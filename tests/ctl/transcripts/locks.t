Opening a port never waits on, reads from or follows a stranger's file in
the shared lock folder, and two of our own programs never share a device.

  $ [ "$(id -u)" = 0 ] || exit 80  # files of a second user need root to make
  $ export LUMAVERA_LOCK_DIR="$PWD/locks" LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ mkdir locks
  $ . "$TESTDIR/module.sh"
  $ start_module module --fast; playing=$module
  $ lock="locks/LCK..$(readlink module | sed 's,^/dev/,,; s,/,_,g')"

A FIFO of another user is refused at once, naming the file and its owner:

  $ mkfifo "$lock" && chown nobody "$lock"
  $ lumaveractl --port module --timeout 500 color 1 2 3
  lumaveractl: Selected Com Port Not Available: module is locked by a file of user nobody: /*/locks/LCK..pts_* (glob)
  [3]

So is a link, to a device or to anything else:

  $ rm "$lock" && ln -s /dev/zero "$lock" && chown -h nobody "$lock"
  $ lumaveractl --port module read
  lumaveractl: Selected Com Port Not Available: module is locked by a file of user nobody: /*/locks/LCK..pts_* (glob)
  [3]
  $ rm "$lock" && ln -s /etc/passwd "$lock"
  $ lumaveractl --port module read
  lumaveractl: Selected Com Port Not Available: module is locked by a file of user root: /*/locks/LCK..pts_* (glob)
  [3]

A lock file naming a live program is that program's; one naming a program
that is gone is stale:

  $ rm "$lock"; sleep 30 < /dev/null & sleeper=$!; echo "$sleeper" > "$lock"
  $ lumaveractl --port module read
  lumaveractl: Selected Com Port Not Available: module is in use by sleep (pid *). (glob)
  [3]
  $ kill $sleeper; wait $sleeper; lumaveractl --port module hold 7
  $ rm "$lock"

While one lumaveractl waits on a module that does not answer, another is
told who has the device:

  $ start_module silent --silent
  $ lumaveractl --port silent --timeout 2000 read < /dev/null 2> /dev/null & first=$!
  $ poll 200 "the first never opened it" holds $first silent
  $ lumaveractl --port silent color 1 2 3
  lumaveractl: Selected Com Port Not Available: silent is in use by lumaveractl (pid *). (glob)
  [3]
  $ wait $first
  [1]

The module saw the one frame that was allowed through:

  $ kill $playing $module; wait
  $ cat module.log
  device /dev/pts/* (glob)
  link module
  SetHold 7
