Each command as a script types it: what it puts on the line (the virtual
module prints every frame it gets), what it prints and keeps in the settings
file. The port is the window's last one, COMn, or a device path.

  $ . "$TESTDIR/module.sh"
  $ export LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ start_module m --fast; m=$module
  $ printf '[Settings]\r\nCommPort=4\r\n[Ports]\r\nCOM4=%s\r\n' "$PWD/m" > lumavera.ini

  $ lumaveractl color 128 64 0
  $ lumaveractl --port com4 color '#FF0710'
  $ lumaveractl --port m mode 0
  $ lumaveractl color ff8000
  $ lumaveractl hold 240
  $ lumaveractl fade 2
  $ lumaveractl store 10 1 2 3
  $ lumaveractl store 1 '#000700'
  $ lumaveractl save
  $ lumaveractl read
  mode 0
  fade 2
  hold 240
  slot 1 0 7 0
  slot 2 0 0 0
  slot 3 0 0 0
  slot 4 0 0 0
  slot 5 0 0 0
  slot 6 0 0 0
  slot 7 0 0 0
  slot 8 0 0 0
  slot 9 0 0 0
  slot 10 1 2 3
  $ lumaveractl --json read
  {"mode":0,"fade":2,"hold":240,"slots":[{"red":0,"green":7,"blue":0},{"red":0,"green":0,"blue":0},{"red":0,"green":0,"blue":0},{"red":0,"green":0,"blue":0},{"red":0,"green":0,"blue":0},{"red":0,"green":0,"blue":0},{"red":0,"green":0,"blue":0},{"red":0,"green":0,"blue":0},{"red":0,"green":0,"blue":0},{"red":1,"green":2,"blue":3}]}
  $ lumaveractl find --match m
  COM4   */m  -  module (mode 0, fade 2, hold 240) (glob)
  $ lumaveractl --verbose read 2>&1 > /dev/null | cut -c13-
    OPEN  */m (glob)
    TX FF 3C FB FB FB  |.<...|  ReadModuleSettings
    RX FF 00 02 F0 00 07 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 02 03 00  |...................................|  settings reply: mode 0 fade 2 hold 240
  $ grep -a 'Red1=\|Green1=\|10=' lumavera.ini
  Red10=1\r (esc)
  Green10=2\r (esc)
  Blue10=3\r (esc)
  Red1=0\r (esc)
  Green1=7\r (esc)
  $ cat m.log
  device /dev/pts/* (glob)
  link m
  SetColor r=128 g=64 b=0
  SetColor r=255 g=7 b=16
  SetMode 0
  SetColor r=255 g=128 b=0
  SetHold 240
  SetFade 2
  StoreSlot slot=10 r=1 g=2 b=3
  StoreSlot slot=1 r=0 g=7 b=0
  SaveToEeprom -> FE AA
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes

A backup of one module restored onto another clones it, saved to its EEPROM
only when asked and only once it verified:

  $ lumaveractl --port m backup m.ini
  backed up m to m.ini
  $ cat m.ini | head -5
  [Module]\r (esc)
  Mode=0\r (esc)
  Fade=2\r (esc)
  Hold=240\r (esc)
  [Colors]\r (esc)
  $ start_module clone --fast --eeprom clone.eeprom; clone=$module
  $ lumaveractl --port clone --gap 0 restore m.ini --save
  restored m.ini to clone, verified, saved to EEPROM; what it held is kept in */state/lumavera/*-clone.ini (glob)
  $ diff <(lumaveractl --port m read) <(lumaveractl --port clone read)
  $ grep -c SaveToEeprom clone.log
  1

What a module saved outlives its power:

  $ kill $clone; wait $clone; start_module clone --fast --eeprom clone.eeprom; clone=$module
  $ diff <(lumaveractl --port m read) <(lumaveractl --port clone read)

pin and unpin change one line of the settings file; list shows it:

  $ lumaveractl pin COM20 "$PWD/clone"
  COM20 is */clone (glob)
  $ lumaveractl list | grep 'COM4 \|COM20'
  COM4   present    */m  (pinned) (glob)
  COM20  present    */clone  (pinned) (glob)
  $ lumaveractl --port COM20 color 1 2 3
  $ lumaveractl unpin COM20
  COM20 is no longer pinned
  $ grep COM20 lumavera.ini
  COM20=\r (esc)
  $ lumaveractl --port COM20 color 1 2 3
  lumaveractl: No device is assigned to COM20.
  See 'lumaveractl list' for the devices behind the numbers; give COM20 a device with 'lumaveractl pin COM20 PATH', or name the device with --port PATH.
  [3]

Nothing is written to a line another program holds, whatever the step:
it is refused, naming the program; find asks it nothing:

  $ hold m; first=$holder
  $ lumaveractl --port m color 4 5 6
  lumaveractl: Selected Com Port Not Available: m is in use by sleep (pid *). (glob)
  lumaveractl: close that program, or have it let go of the port, and try again.
  [3]
  $ lumaveractl find --match m
  COM4   */m  -  in use by sleep (pid *) (glob)
  [1]
  $ grep -c 'r=4 g=5 b=6' m.log
  0
  [1]
  $ kill $m; start_module silent --silent; hold silent
  $ lumaveractl --port silent read
  lumaveractl: Selected Com Port Not Available: silent is in use by sleep (pid *). (glob)
  lumaveractl: close that program, or have it let go of the port, and try again.
  [3]
  $ kill $first $holder $module $clone; wait
