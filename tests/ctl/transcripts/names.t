Names that come from devices and links are printed with their control
characters escaped, so that they cannot rewrite the terminal; JSON keeps the
real text.

  $ . "$TESTDIR/module.sh"
  $ export LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ start_module m --fast
  $ ln -s m "$(printf 'mod\033[2Jule')"
  $ lumaveractl pin COM20 "$PWD/$(printf 'mod\033[2Jule')"
  COM20 is /*/mod\x1b[2Jule (glob)
  $ lumaveractl list | grep COM20
  COM20  present    /*/mod\x1b[2Jule  (pinned) (glob)
  $ lumaveractl find --match '*mod*'
  COM20  /*/mod\x1b[2Jule  -  module (mode 0, fade 0, hold 0) (glob)
  $ lumaveractl find --match '*mod*' --json | grep -c 'mod\\u001b\[2Jule'
  1
  $ kill $module; wait
