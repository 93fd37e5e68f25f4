An answer that comes after its command gave up is never taken for the next
command's answer: the next command that waits for one first waits it out.

  $ . "$TESTDIR/module.sh"
  $ export LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ start_module late --fast --delay 1500

  $ lumaveractl --port late --timeout 300 read
  lumaveractl: read failed: No answer came from the module within 300 ms.
  lumaveractl: check that the module has power and is on this port, and that no program of another user has the line ('sudo fuser -v /dev/pts/*' shows who has it open); a slow one needs a longer --timeout MS. (glob)
  [1]
  $ lumaveractl --port late mode 7
  $ lumaveractl --port late --timeout 3000 backup b.ini
  backed up late to b.ini
  $ grep Mode= b.ini
  Mode=7\r (esc)

The same in one --verbose run: the late answer is shown and thrown away.

  $ lumaveractl --port late --timeout 300 read 2> /dev/null
  [1]
  $ lumaveractl --port late mode 3
  $ lumaveractl --port late --timeout 3000 --verbose read 2>&1 | grep -E 'WAIT|DISCARDED|^mode'
  *WAIT  a late answer to an earlier command may still come (glob)
  *DISCARDED*FF 07 * (glob)
  mode 3

The wait is the device's, not its name's: another module that comes under
the same name (here a pseudo-terminal's number given out again) owes no late
answer, and its first read does not wait for one.

  $ lumaveractl --port late --timeout 300 read 2> /dev/null
  [1]
  $ kill $module; wait
  $ start_module late --fast
  $ lumaveractl --port late --verbose read 2>&1 | grep -E 'WAIT|^mode'
  mode 0
  $ kill $module; wait
