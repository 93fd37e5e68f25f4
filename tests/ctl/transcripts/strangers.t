Other users on the way, played by root as user nobody (skipped when not run
as root). A server of another user's on the window's socket is not believed,
however it answers: lumaveractl opens the port itself.

  $ [ "$(id -u)" = 0 ] || exit 80
  $ . "$TESTDIR/module.sh"
  $ export LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ start_module m --fast; m=$module; rm -f "$XDG_RUNTIME_DIR/lumavera.socket"
  $ python3 "$TESTDIR/clients.py" "$XDG_RUNTIME_DIR/lumavera.socket" stranger > /dev/null 2>&1 &
  $ liar=$!
  $ poll 100 "no server came up" test -S "$XDG_RUNTIME_DIR/lumavera.socket"
  $ lumaveractl --port m --verbose color 1 2 3 2>&1 | cut -c13-
    OPEN  m
    TX FF 01 01 02 03  |.....|  SetColor r=1 g=2 b=3
  $ kill $liar; rm "$XDG_RUNTIME_DIR/lumavera.socket"

A backup is never written through a link another user planted in a folder
everyone can write to:

  $ mkdir -m 1777 shared; printf '[Settings]\r\nCommPort=2\r\n' > lumavera.ini
  $ ln -s "$PWD/lumavera.ini" shared/backup.ini; chown -h nobody shared/backup.ini
  $ lumaveractl --port m backup shared/backup.ini
  lumaveractl: shared/backup.ini could not be written: shared/backup.ini is a link that another user made in a shared folder; it is not written through
  [2]
  $ grep -c Mode lumavera.ini
  0
  [1]
A user not in the device's group is told how to join it where that helps:

  $ device="$(readlink m)"; chgrp dialout "$device"; chmod 660 "$device"
  $ setpriv --reuid=65534 --regid=65534 --clear-groups lumaveractl --port m color 1 2 3
  lumaveractl: Selected Com Port Not Available: Permission denied for m, which belongs to the "dialout" group. Add yourself to it (sudo usermod -aG dialout $USER) and log out and in again.
  [3]

Where joining the device's group would not help (root's group, or a mode
that gives the group nothing), it says who may open it and what would help,
and never to join root:

  $ chgrp root "$device"
  $ setpriv --reuid=65534 --regid=65534 --clear-groups lumaveractl --port m color 1 2 3
  lumaveractl: Selected Com Port Not Available: Permission denied for m: only root and the "root" group may open it. A udev rule for the adapter that gives it to a group of yours (GROUP="dialout", MODE="0660"), or an administrator, can change that.
  [3]
  $ chgrp dialout "$device"; chmod 600 "$device"
  $ setpriv --reuid=65534 --regid=65534 --clear-groups lumaveractl --port m color 1 2 3
  lumaveractl: Selected Com Port Not Available: Permission denied for m: only root may open it. A udev rule for the adapter that gives it to a group of yours (GROUP="dialout", MODE="0660"), or an administrator, can change that.
  [3]
  $ kill $m; wait
