The window's own options are answered on the terminal, before any display
is needed (here there is none at all):

  $ unset DISPLAY WAYLAND_DISPLAY; export QT_QPA_PLATFORM=xcb
  $ lumavera --version
  lumavera 2.0.0
  $ lumavera -h
  Usage: lumavera [--connect] [--settings FILE] [Qt options]
  Sets up an RGB LED controller module on a serial port.
  
    --connect        connect to the port the window last used as it opens
    --settings FILE  use FILE as the settings file (as LUMAVERA_SETTINGS)
    -h, --help       print this and exit
    --version        print the version and exit
  
  It also takes the options of every Qt program (-platform NAME, -style
  NAME, ...). lumaveractl drives the module from the shell; see
  'man lumavera' and 'lumaveractl --help'.
  $ lumavera --help | cmp - <(lumavera -h)

lumaveractl lists every command with what it does and its ranges; a
command's own help says more, a colour's that no answer comes:

  $ lumaveractl --help | sed -n '/^Commands:/,/^$/p'
  Commands:
    list                                  the port numbers and their devices
    pin COMn PATH                         give COMn (1..20) to PATH for good
    unpin COMn                            take COMn's pin back
    color R G B | color #RRGGBB           show a colour, levels 0..255; no answer
    mode N                                set the running mode, 0..11
    fade N                                set the fade speed, 0..2
    hold N                                set the hold time, 0..240
    store SLOT R G B | store SLOT #RRGGBB
                                          store a colour in memory slot 1..10
    read                                  ask for mode, fade, hold and the slots
    save                                  have the module save to its EEPROM
    backup FILE                           read the module into FILE
    restore FILE [--save] [--gap MS]      send FILE, read back and compare
    station FILE [--all] [--match GLOB] [--port PORT] [--cable] [--save] [--gap MS]
                                          set up every module plugged in from FILE
    find [--match GLOB]                   which ports have a module on them
    history [--json]                      what modules held before restores
  
  $ lumaveractl color --help
  Usage: lumaveractl [OPTIONS] color R G B | color #RRGGBB
  
  Shows the colour on the LED (levels 0..255). The module does not answer a
  colour: the exit status says that the frame went out, not that a module took
  it. To know that a module is there first, ask it: 'lumaveractl read'.
