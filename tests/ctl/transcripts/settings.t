Which settings file lumaveractl keeps: the usual one, or one named with
--settings or LUMAVERA_SETTINGS, with XDG_CONFIG_HOME left alone.

  $ export XDG_CONFIG_HOME="$PWD/config"

A pin goes into the named file, in the file's own line ends:

  $ lumaveractl --settings bench.ini pin COM3 /dev/null
  COM3 is /dev/null
  $ cat bench.ini
  [Ports]\r (esc)
  COM3=/dev/null\r (esc)
  $ ls config
  ls: cannot access 'config': No such file or directory
  [2]

The environment variable names the same file; the option wins over it:

  $ LUMAVERA_SETTINGS=bench.ini lumaveractl list | grep COM3
  COM3   present    /dev/null  (pinned)
  $ LUMAVERA_SETTINGS=bench.ini lumaveractl --settings other.ini pin COM4 /dev/zero
  COM4 is /dev/zero
  $ grep -c COM4 bench.ini other.ini
  bench.ini:0
  other.ini:1

Without either, the file is the usual one:

  $ lumaveractl pin COM5 /dev/null
  COM5 is /dev/null
  $ cat config/lumavera/lumavera.ini
  [Ports]\r (esc)
  COM5=/dev/null\r (esc)

An option without its file is bad usage:

  $ lumaveractl --settings
  lumaveractl: --settings needs a file
  Usage: lumaveractl [--port PORT] [--json] [--timeout MS] [--verbose]
                     [--settings FILE] COMMAND [ARGS]
  Try 'lumaveractl --help' for more.
  [2]
