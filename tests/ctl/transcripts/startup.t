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
