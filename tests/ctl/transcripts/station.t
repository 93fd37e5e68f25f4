The bench station: every module the user points it at gets a verdict that
names its fault; nothing a module held is lost.

  $ . "$TESTDIR/module.sh"
  $ export LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ start_module golden --fast
  $ lumaveractl --port golden mode 3 && lumaveractl --port golden store 1 '#FF8000'
  $ lumaveractl --port golden backup golden.ini
  backed up golden to golden.ini
  $ kill $module; wait

Modules on a fixed cable: the station asks every half second, sets up each
module that answers, and takes the next once the cable went silent. Silence
is no verdict. The CSV names the file that keeps what each module held.

  $ start_module cable --fast --attach 3000:1500; cable=$module
  $ lumaveractl station golden.ini --port cable --cable --gap 0 --log s.csv > out 2> err &
  $ wait_for out PASS 2; kill -INT $!; wait $!
  $ cat out
  * cable  -  PASS  * ms (glob)
  * cable  -  PASS  * ms (glob)
  2 passed, 0 failed
  $ head -4 err
  lumaveractl: waiting for modules on cable; Ctrl+C ends.
  lumaveractl: waiting for a module on cable
  lumaveractl: module found on cable
  lumaveractl: waiting for a module on cable
  $ cut -d, -f2- s.csv
  device,serial,result,reason,ms,backup,unit,retest
  cable,,PASS,,*,/*/state/lumavera/*-cable.ini,, (glob)
  cable,,PASS,,*,/*/state/lumavera/*-cable.ini,, (glob)
  $ kill $cable

Each unit's id, from a file or from standard input as a scanner or a
script gives it, goes to the next module found, into its verdict and the
CSV file. A unit seen again is no first try: the first-pass yield counts
units, not verdicts:

  $ start_module cable --fast --attach 3000:1500; cable=$module
  $ printf 'U-17\n\nU-17\n' > units
  $ rm -f out; lumaveractl station golden.ini --port cable --cable --gap 0 --unit-ids units --log u.csv > out 2> /dev/null &
  $ wait_for out PASS 2; kill -INT $!; wait $!
  $ tail -1 out
  2 passed, 0 failed; first-pass yield 100 % (1 of 1 units)
  $ cut -d, -f4,8,9 u.csv
  result,unit,retest
  PASS,U-17,
  PASS,U-17,
  $ lumaveractl history | head -1
  20??-??-?? ??:??:??  cable  -  U-17  /*/state/lumavera/*-cable~U-17.ini (glob)
  $ test -e "$(cut -d, -f7 u.csv | tail -1)"
  $ kill $cable
  $ lumaveractl station golden.ini --port cable --unit-ids nothing
  lumaveractl: nothing could not be read: No such file or directory
  [2]

A module on the cable that answers, but not as a module does, fails once it
has answered so twice running. It is still on the cable, but its verdict is
in and nothing is being set up, so the first Ctrl+C ends the station:

  $ start_module bad --fast --short; bad=$module
  $ lumaveractl station golden.ini --port bad --cable --gap 0 > out 2> err &
  $ wait_for out FAIL 1; kill -INT $!; wait $!
  [1]
  $ cat out
  * bad  -  FAIL  * ms  Only 34 of 35 bytes came back. (glob)
  0 passed, 1 failed
  $ kill $bad

A device the user named that does not answer like a module fails, saying
why, and is sent nothing but the read command (LUMAVERA_SERIAL_BY_ID makes
the links in ids/ stand for the system's stable device names):

  $ mkdir ids; export LUMAVERA_SERIAL_BY_ID="$PWD/ids"
  $ start_module ids/dead-silent --silent; a=$module
  $ start_module ids/dead-short --fast --short; b=$module
  $ start_module ids/dead-noise --fast --noise; c=$module
  $ lumaveractl station golden.ini --all --match 'dead-*' --timeout 300 > out 2> /dev/null &
  $ wait_for out FAIL 3; kill -INT $!; wait $!
  [1]
  $ sed 's/^[0-9-]* [0-9:]*  //' out | sort
  /*/ids/dead-noise  -  FAIL  * ms  The answer does not start like a settings reply. (glob)
  /*/ids/dead-short  -  FAIL  * ms  Only 34 of 35 bytes came back. (glob)
  /*/ids/dead-silent  -  FAIL  * ms  No answer came from the module within 300 ms. (glob)
  0 passed, 3 failed
  $ cat dead-silent.log dead-short.log | grep -v '^device\|^link'
  ReadModuleSettings -> (silent)
  ReadModuleSettings -> 34 bytes
  $ kill $a $b $c

Without --port or --match, a device that answers not like a module is left
alone, and so is one another program holds (it is sent nothing); modules
plugged in together are set up in parallel; one that does not keep what it
is sent fails with every difference, one pulled out part-way fails too:

  $ mkdir bench; export LUMAVERA_SERIAL_BY_ID="$PWD/bench"
  $ lumaveractl station golden.ini --timeout 300 --gap 100 > out 2> err &
  $ station=$!; wait_for err 'waiting for modules' 1
  $ start_module bench/silent --silent; a=$module; wait_for out SKIP 1
  $ start_module held --fast; b=$module; hold held; c=$holder
  $ ln -s "$(readlink held)" bench/held; wait_for out SKIP 2
  $ start_module bench/forgetful --fast --forget; d=$module; wait_for out FAIL 1
  $ lumavera-virtual-module --link bench --count 2 --fast < /dev/null > pair.log 2>&1 & e=$!
  $ wait_for out PASS 2
  $ start_module bench/late --fast; wait_for late.log 'slot=3' 1; kill $module
  $ wait_for out FAIL 2; kill -INT $station; wait $station
  [1]
  $ sed 's/^[0-9-]* [0-9:]*  //' out | sort
  /*/bench/forgetful  -  FAIL  * ms  mode: file 3, module 0; slot 1: file 255 128 0, module 0 0 0 (glob)
  /*/bench/held  -  SKIP  * ms  in use by sleep (pid *) (glob)
  /*/bench/late  -  FAIL  * ms  unplugged during restore at step * of 14: mode, fade, hold and slots 1..* reached the module; slots * did not (glob)
  /*/bench/module-1  -  PASS  * ms (glob)
  /*/bench/module-2  -  PASS  * ms (glob)
  /*/bench/silent  -  SKIP  * ms  not a module: No answer came from the module within 300 ms. (glob)
  2 passed, 2 failed, 2 left alone
  $ grep -v '^device\|^link' silent.log held.log
  silent.log:ReadModuleSettings -> (silent)
  $ kill $a $b $c $d $e; wait; unset LUMAVERA_SERIAL_BY_ID

A verdict the log cannot keep fails the station:

  $ rm -f out err; lumaveractl station golden.ini --port gone --gap 0 --log gone.csv > out 2> err &
  $ station=$!; wait_for err 'waiting for modules' 1; rm gone.csv; mkdir gone.csv
  $ start_module gone --fast; gone=$module
  $ wait_for out PASS 1; kill -INT $station; wait $station
  [1]
  $ grep 'could not be written' err
  lumaveractl: gone.csv could not be written: Is a directory
  $ kill $gone

Every port named is waited for, whatever keeps it from the station at
start: a path not plugged in, a number pinned to a device that is gone, a
number no device has yet, one another program holds (its SKIP once, then it
is looked at again every second until that program lets it go). Only a
port named twice is refused:

  $ lumaveractl pin COM9 "$PWD/pinned" > /dev/null
  $ start_module taken --fast; taken=$module; hold taken
  $ rm -f out err; lumaveractl station golden.ini --port absent --port COM9 --port COM19 --port taken --gap 0 > out 2> err &
  $ station=$!; wait_for err 'waiting for taken' 1
  $ head -1 err; tail -n +2 err | sort
  lumaveractl: waiting for modules on absent, /*/pinned, COM19, taken; Ctrl+C ends. (glob)
  lumaveractl: waiting for /*/pinned, which is not plugged in (glob)
  lumaveractl: waiting for COM19: No device is assigned to COM19.
  lumaveractl: waiting for absent, which is not plugged in
  lumaveractl: waiting for taken: in use by sleep (pid *) (glob)
  $ start_module absent --fast; a=$module; start_module pinned --fast; b=$module; kill $holder
  $ wait_for out PASS 3; kill -INT $station; wait $station
  $ sed 's/^[0-9-]* [0-9:]*  //' out
  taken  -  SKIP  * ms  in use by sleep (pid *) (glob)
  *  -  PASS  * ms (glob)
  *  -  PASS  * ms (glob)
  *  -  PASS  * ms (glob)
  3 passed, 0 failed, 1 left alone
    /*/pinned: 1 passed, 0 failed (glob)
    absent: 1 passed, 0 failed
    taken: 1 passed, 0 failed, 1 left alone
  $ lumaveractl station golden.ini --port taken --port COM9 --port "$PWD/taken"
  lumaveractl: taken and /*/taken are the same port. (glob)
  [2]
  $ kill $a $b $taken; lumaveractl unpin COM9 > /dev/null

A --port that is not there yet is waited for. Ctrl+C lets the module in
progress finish; a field that starts like a formula is written as text:

  $ lumaveractl station golden.ini --port =later --gap 300 --log t.csv > out 2> err &
  $ station=$!; wait_for err 'waiting for modules' 1
  $ start_module =later --fast
  $ wait_for err 'module found' 1; kill -INT $station; wait $station
  $ cat out
  * =later  -  PASS  * ms (glob)
  1 passed, 0 failed
  $ tail -1 t.csv | cut -d, -f2,4
  '=later,PASS

What the module held before is kept; restoring it undoes the station:

  $ lumaveractl --port =later read | head -1
  mode 3
  $ lumaveractl history | head -1
  20??-??-?? ??:??:??  _later  -  -  /*/state/lumavera/*-_later.ini (glob)
  $ lumaveractl --json history | head -1
  {"device":"_later","file":"/*/state/lumavera/*-_later.ini","serial":null,"time":"20??-??-??T??:??:??.???","unit":null} (glob)
  $ lumaveractl --port =later --gap 0 restore "$(lumaveractl history | head -1 | awk '{print $NF}')" > /dev/null
  $ lumaveractl --port =later read | head -1
  mode 0

Each port needs a few open files. The station raises its limit as far as it
may, so that a login's lower soft limit is no fault; where even the most it
may have is too few, the run is refused before a port is touched, saying how
many are needed:

  $ rm -f out; (ulimit -Sn 20; lumaveractl station golden.ini --port =later $(seq -f '--port p%g' 7) > out 2> err & wait_for out PASS 1; kill -INT $!; wait $!)
  $ cat out
  * =later  -  PASS  * ms (glob)
  1 passed, 0 failed

A line of many ports is named by its first few when the station starts:

  $ head -1 err
  lumaveractl: waiting for modules on 8 ports (=later, p1, p2, p3 and 4 more); Ctrl+C ends.
  $ (ulimit -n 64; lumaveractl station golden.ini $(seq -f '--port p%g' 64))
  lumaveractl: 64 ports need about 344 open files, and this process may have only 64: raise the limit (ulimit -n 344 in the shell that starts it, or LimitNOFILE=344 in its service) and start it again.
  [2]
  $ kill $module; wait

A second Ctrl+C stops at once, whatever the station waits for: here the
answer of a module that never answers, with a timeout of 20 s. Nothing but
the read reached it, so it is left alone:

  $ start_module mute --silent; mute=$module
  $ rm -f out err; lumaveractl station golden.ini --port mute --timeout 20000 > out 2> err &
  $ station=$!; wait_for mute.log ReadModuleSettings 1; kill -INT $station
  $ wait_for err 'finishing' 1; kill -INT $station; wait $station
  $ sed 's/^[0-9-]* [0-9:]*  //' out; tail -2 err
  mute  -  SKIP  * ms  stopped before it answered (glob)
  0 passed, 0 failed, 1 left alone
  lumaveractl: finishing the modules in progress; Ctrl+C again stops them.
  lumaveractl: stopping now.
  $ kill $mute; wait
