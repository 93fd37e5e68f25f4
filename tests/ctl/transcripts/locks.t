Opening a port never waits on, reads from or follows a stranger's file in
the shared lock folder (sharing.t has the lock files of programs of one's
own).

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
  lumaveractl: if no program is using the port, the lock file's owner (or root) can remove it.
  [3]

So is a link, to a device or to anything else:

  $ rm "$lock" && ln -s /dev/zero "$lock" && chown -h nobody "$lock"
  $ lumaveractl --port module read
  lumaveractl: Selected Com Port Not Available: module is locked by a file of user nobody: /*/locks/LCK..pts_* (glob)
  lumaveractl: if no program is using the port, the lock file's owner (or root) can remove it.
  [3]
  $ rm "$lock" && ln -s /etc/passwd "$lock"
  $ lumaveractl --port module read
  lumaveractl: Selected Com Port Not Available: module is locked by a file of user root: /*/locks/LCK..pts_* (glob)
  lumaveractl: if no program is using the port, the lock file's owner (or root) can remove it.
  [3]

A program of root's (past the exclusive mode, as Debian's ser2net) that takes
the answers is no unplug; a read that came back short or empty names it:

  $ start_module busy --fast --delay 200; busy=$module
  $ for i in $(seq 10); do
  >     lumaveractl --port busy --verbose read > /dev/null 2>> reads & reading=$!
  >     poll 200 "never opened" holds $reading busy; steal busy; wait $reading; kill $reader
  > done
  $ grep -c LOST reads; grep 'read failed' reads | grep -vc 'in use by python3 (pid [0-9]*), which may have'; kill $busy
  0
  0

Nothing reached the module:

  $ kill $playing; wait
  $ cat module.log
  device /dev/pts/* (glob)
  link module
