When the module did as asked but the settings file cannot be written, the
reason is printed and the exit status is 4, never 0.

  $ . "$TESTDIR/module.sh"
  $ start_module m --fast
  $ export LUMAVERA_SETTINGS=/proc/lumavera/lumavera.ini

  $ lumaveractl --port m store 2 1 2 3
  lumaveractl: settings could not be saved: the folder /proc/lumavera cannot be made
  [4]
  $ lumaveractl --port m read | head -2
  lumaveractl: settings could not be saved: the folder /proc/lumavera cannot be made
  mode 0
  fade 0
  $ lumaveractl --port m read > /dev/null 2>&1
  [4]
  $ lumaveractl --port m backup backup.ini
  lumaveractl: settings could not be saved: the folder /proc/lumavera cannot be made
  backed up m to backup.ini
  [4]
  $ grep -c = backup.ini
  33
  $ lumaveractl --port m --gap 0 restore backup.ini
  lumaveractl: settings could not be saved: the folder /proc/lumavera cannot be made
  restored backup.ini to m, verified, not saved to EEPROM; what it held is kept in /*/state/lumavera/*-m.ini (glob)
  [4]

The module got every frame all the same:

  $ kill $module; wait
  $ grep -c . m.log
  21

What the settings file holds that the tool cannot mean is said, not passed
over in silence; CommPort is read as people write it too:

  $ export LUMAVERA_SETTINGS="$PWD/mine.ini"
  $ printf '[Settings]\r\nCommPort=COM3\r\n[Port]\r\nCOM1=%s\r\n[Ports]\r\nCOM3=%s\r\nCOM03=m\r\nCOM25=m\r\n' "$PWD/m" "$PWD/m" > mine.ini
  $ start_module m --fast
  $ lumaveractl mode 2
  lumaveractl: */mine.ini: [Port] is not a section the tool reads; did you mean [Ports]? (glob)
  lumaveractl: */mine.ini: [Ports] COM03 is not a port number (COM1..COM20) (glob)
  lumaveractl: */mine.ini: [Ports] COM25 is not a port number (COM1..COM20) (glob)
  $ kill $module; wait
  $ grep -c 'SetMode' m.log
  1
