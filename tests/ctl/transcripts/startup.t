The window's own options are answered on the terminal, before any display
is needed (here there is none at all):

  $ unset DISPLAY WAYLAND_DISPLAY; export QT_QPA_PLATFORM=xcb
  $ lumavera --version
  lumavera 2.0.0
  $ lumavera -h | head -3
  Usage: lumavera [--connect] [--settings FILE] [Qt options]
         lumavera --station FILE [station options]
  Sets up an RGB LED controller module on a serial port.
  $ lumavera -h | grep -c -- '^  -h, --help\|^  --version'
  2
  $ lumavera --help | cmp - <(lumavera -h)
  $ lumavera --station golden.ini --help | cmp - <(lumavera -h)

Without a display the window says so in one line, and a mistyped option is
refused with the one it most likely meant, all before a display is needed:

  $ lumavera
  lumavera: no display to open the window on (DISPLAY is not set): start it in a desktop session or over 'ssh -X'; lumaveractl needs none
  [2]
  $ DISPLAY=:65001 lumavera --connect
  lumavera: the display :65001 could not be opened (platform xcb): check that it runs and lets you in; lumaveractl needs none
  [2]
  $ lumavera --conect
  lumavera: unknown option '--conect'; did you mean '--connect'?
  Try 'lumavera --help' for more.
  [2]

The station window takes lumaveractl station's options, refused the same way,
and its golden file is read whole first:

  $ lumavera --station golden.ini --cable
  lumavera: --cable goes with station and --port or --match
  Try 'lumavera --help' for more.
  [2]
  $ lumavera --station golden.ini --operator --cable
  lumavera: --cable goes with station and --port or --match
  Try 'lumavera --help' for more.
  [2]
  $ lumavera --station
  lumavera: station takes one FILE
  Try 'lumavera --help' for more.
  [2]
  $ printf '[Module]\nMdoe=3\n' > golden.ini; lumavera --station golden.ini
  lumavera: golden.ini has no [Colors] section (Red1..Blue10). 'lumaveractl backup FILE' or the window's Backup\xe2\x80\xa6 writes one. (esc)
  [2]

lumaveractl lists every command with what it does and its ranges; a
command's own help says more, a colour's that no answer comes:

  $ lumaveractl --help | grep -E '^  (list|color|mode|history) '
    list                                  the port numbers and their devices
    color R G B | color #RRGGBB           show a colour, levels 0..255; no answer
    mode N                                set the running mode, 0..11
    history [--json]                      what modules held before restores
  $ lumaveractl color --help
  Usage: lumaveractl [OPTIONS] color R G B | color #RRGGBB
  
  Shows the colour on the LED (levels 0..255). The module does not answer a
  colour: the exit status says that the frame went out, not that a module took
  it. To know that a module is there first, ask it: 'lumaveractl read'.
