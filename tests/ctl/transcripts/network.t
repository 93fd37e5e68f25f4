Modules on another machine: Debian's ser2net serves the virtual module's
line on 127.0.0.1, raw and with RFC 2217. Each 0xFF is doubled on the
telnet connection and undoubled again: the module sees exactly its frames,
and an answer full of 0xFF comes back whole. (Each server throws away what
the line still holds as it lets go of it: the raw one is used once the
telnet one has let go.)

  $ . "$TESTDIR/module.sh"
  $ export LUMAVERA_SETTINGS="$PWD/lumavera.ini"
  $ start_module line --fast; line=$module
  $ serve line 'telnet(rfc2217),tcp'; telnet=$served; telnet_server=$server
  $ serve line tcp; raw=$served; raw_server=$server
  $ for port in rfc2217://127.0.0.1:$telnet socket://localhost:$raw; do
  >     lumaveractl --port $port store 1 '#FFFFFF' && lumaveractl --port $port color 255 255 255 &&
  >     lumaveractl --port $port read | grep 'slot 1 '
  >     poll 200 "ser2net kept the line" lets_go $telnet_server line
  > done
  slot 1 255 255 255
  slot 1 255 255 255
  $ grep -v '^device\|^link' line.log
  ReadModuleSettings -> 35 bytes
  StoreSlot slot=1 r=255 g=255 b=255
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes
  SetColor r=255 g=255 b=255
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes
  StoreSlot slot=1 r=255 g=255 b=255
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes
  SetColor r=255 g=255 b=255
  ReadModuleSettings -> 35 bytes
  ReadModuleSettings -> 35 bytes

A step with no answer of its own is done once the module has answered a
read sent after it: the server throws away what it has not yet passed on
when the connection closes. Two hundred such steps through each kind of
server, every one in the module's log (a module each: a server that lets go
of a line flushes it, and would throw away the other's first answer):

  $ start_module rawline --fast; serve rawline tcp; rawline=$served
  $ for port in rfc2217://127.0.0.1:$telnet socket://localhost:$rawline; do
  >     for i in $(seq 40); do
  >         for step in "color $i 0 0" "mode 1" "fade 2" "hold 3" "store 2 $i 0 0"; do
  >             lumaveractl --port $port $step || echo "$step failed"
  >         done
  >     done
  > done
  $ grep -hv '^device\|^link\|^Read' line.log rawline.log | sed 's/ .*//' | sort | uniq -c
       82 SetColor
       80 SetFade
       80 SetHold
       80 SetMode
       82 StoreSlot
  $ kill $module $server

python3-serial's own RFC 2217 server, which notifies its modem lines between
its answers, sets the line up as ser2net does, and throws away what it held
from before each connection as it is asked to:

  $ python3 "$TESTDIR/rfc2217server.py" "$(readlink -f line)" > pyport & pyserver=$!
  $ poll 200 "the RFC 2217 server did not listen" test -s pyport
  $ for i in $(seq 20); do
  >     lumaveractl --port rfc2217://127.0.0.1:$(cat pyport) read > /dev/null || echo "read $i failed"
  > done
  $ lumaveractl --port rfc2217://127.0.0.1:$(cat pyport) color 4 5 6 && grep -c 'r=4 g=5 b=6' line.log
  1
  $ sort purges.log | uniq -c
       21 purge in
  $ kill $pyserver

A relay that passes one byte at a time, cutting every answer and every
negotiation into pieces, changes nothing:

  $ relay=$(free_port); socat -b1 TCP-LISTEN:$relay,bind=127.0.0.1,fork,reuseaddr TCP:127.0.0.1:$telnet & relayer=$!
  $ poll 200 "the relay did not listen" listening $relay
  $ for i in $(seq 10); do
  >     lumaveractl --port rfc2217://127.0.0.1:$relay read > /dev/null || echo "read $i failed"
  > done
  $ kill $relayer

What goes wrong is said plainly, naming HOST:PORT, within the command's
timeout, with a local port's exit status: a port nothing serves, a telnet
server without RFC 2217, a server that never says a word, a host that
never answers the connection (a listener whose queue is full), a line
another client has (ser2net says so; over RFC 2217 it may reset the
connection, our set-up unread, before its words go out), a port that is no
address at all:

  $ serve line telnet,tcp; plain=$served
  $ ports=($(free_port) $(free_port))
  $ python3 -c '
  > import socket, sys, time
  > full = socket.socket(); full.bind(("127.0.0.1", int(sys.argv[1]))); full.listen(0)
  > queued = [socket.create_connection(("127.0.0.1", int(sys.argv[1])))]
  > mute = socket.socket(); mute.bind(("127.0.0.1", int(sys.argv[2]))); mute.listen(8)
  > others = [socket.create_connection(("127.0.0.1", int(p))) for p in sys.argv[3:]]
  > open("ready", "w").close()
  > time.sleep(60)' ${ports[@]} $telnet $raw < /dev/null > others.log 2>&1 & others=$!
  $ poll 200 "$(cat others.log 2> /dev/null)" test -e ready
  $ for port in socket://127.0.0.1:$(free_port) rfc2217://127.0.0.1:$plain \
  >     rfc2217://127.0.0.1:${ports[1]} socket://127.0.0.1:${ports[0]} \
  >     rfc2217://127.0.0.1:$telnet socket://127.0.0.1:$raw socket://[::1]; do
  >     lumaveractl --port $port --timeout 300 color 1 2 3 2>&1 | head -1; echo "exit ${PIPESTATUS[0]}"
  > done
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* refused the connection: nothing serves a line there. (glob)
  exit 3
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* does not set serial lines (it refused RFC 2217); where its server fixes the line at 9600 8N1, use socket://127.0.0.1:*. (glob)
  exit 3
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* did not answer telnet's greeting in time: where it serves a raw line, use socket://127.0.0.1:*. (glob)
  exit 3
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* did not answer within 300 ms. (glob)
  exit 3
  lumaveractl: Selected Com Port Not Available: 127\.0\.0\.1:[0-9]+ (is in use by another client of its server|closed the connection)\. (re)
  exit 3
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* is in use by another client of its server. (glob)
  exit 3
  lumaveractl: --port socket://[::1] is no network address: write rfc2217://HOST:PORT or socket://HOST:PORT
  exit 2
  $ kill $others 2> /dev/null || true
  $ grep -c 'r=1 g=2' line.log
  0
  [1]

Servers no serial server should be: one that sends zeros without end, one
whose subnegotiation never ends, one that offers an option three thousand
times, one that sets the line but refuses an 8-bit clean one. Each ends
within the timeout with what it did; the offer is refused once, not three
thousand times:

  $ python3 "$TESTDIR/servers.py" > hostile 2> /dev/null & hostile=$!
  $ poll 200 "the hostile servers did not listen" test -s hostile; read flood subneg storm silent nobinary notify < hostile
  $ for port in rfc2217://127.0.0.1:$flood socket://127.0.0.1:$flood \
  >     rfc2217://127.0.0.1:$subneg rfc2217://127.0.0.1:$storm rfc2217://127.0.0.1:$nobinary; do
  >     lumaveractl --port $port --timeout 500 read 2>&1 | head -1; echo "exit ${PIPESTATUS[0]}"
  > done
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* sends without end, and never set up its line. (glob)
  exit 3
  lumaveractl: read failed: The answer does not start like a settings reply.
  exit 1
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* sends without end, and never set up its line. (glob)
  exit 3
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* did not set up its line in time (is it an RFC 2217 server?). (glob)
  exit 3
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* refused an 8-bit clean line (telnet BINARY both ways), so frames would not pass as they are. (glob)
  exit 3
  $ wait_for storm.log refused 1; cat storm.log
  refused 1 times

The server's notifications of its line are taken wherever they come, in the
middle of an answer too, and shown with the traffic:

  $ lumaveractl --port rfc2217://127.0.0.1:$notify --verbose read 2>&1 > /dev/null | cut -c13- | grep -v TX
    OPEN  rfc2217://127.0.0.1:* (glob)
    SERVER 30  |0|  the server's modem state (NOTIFY-MODEMSTATE)
    SERVER 30  |0|  the server's modem state (NOTIFY-MODEMSTATE)
    RX FF 02 01 0A 00 00 00 01 00 00 02 00 00 03 00 00 04 00 00 05 00 00 06 00 00 07 00 00 08 00 00 09 00 00 00  |...................................|  settings reply: mode 2 fade 1 hold 10

One that takes the connection and never answers is waited for no longer
than the timeout, and Ctrl+C calls the wait off at once:

  $ lumaveractl --port rfc2217://127.0.0.1:$silent --timeout 60000 read & wait_for silent.log connected 1; kill -INT $!; wait $!
  lumaveractl: stopped by Ctrl+C (SIGINT) before the command was done; the port is let go.
  [130]
  $ kill $hostile

A server whose device is missing says so before it hangs up; its words are
the message, for either kind of line. (An RFC 2217 server that hangs up with
our set-up unread may reset the connection before its words go out; then
only the hang-up is told.)

  $ serve absent 'telnet(rfc2217),tcp'; absent_telnet=$served
  $ serve absent tcp; absent_raw=$served
  $ for port in rfc2217://127.0.0.1:$absent_telnet socket://127.0.0.1:$absent_raw; do
  >     lumaveractl --port $port read 2>&1 | head -1; echo "exit ${PIPESTATUS[0]}"
  > done
  lumaveractl: Selected Com Port Not Available: 127\.0\.0\.1:[0-9]+ closed the connection(, saying "Device open failure: Value or file not found")?\. (re)
  exit 3
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* closed the connection, saying "Device open failure: Value or file not found". (glob)
  exit 3

The wrong scheme is told by the server's first bytes: a telnet server's
negotiation where a raw line's answer should be, and a raw server's silence
where telnet's answer should be. Of the set-up, the raw server's module
meets only the greeting's 15 bytes (two frames it does not know, and the
start of a third):

  $ lumaveractl --port socket://127.0.0.1:$telnet read
  lumaveractl: read failed: 127.0.0.1:* speaks telnet, as an RFC 2217 server does: use rfc2217://127.0.0.1:*. (glob)
  [1]
  $ poll 200 "ser2net kept the line" lets_go $telnet_server line
  $ lumaveractl --port rfc2217://127.0.0.1:$raw --timeout 500 read 2>&1 | head -1
  lumaveractl: Selected Com Port Not Available: 127.0.0.1:* did not answer telnet's greeting in time: where it serves a raw line, use socket://127.0.0.1:*. (glob)
  $ poll 200 "ser2net kept the line" lets_go $raw_server line
  $ tail -2 line.log
  Unknown FF FB 2C FF FB
  Unknown FF FD 00 FF FB

A server stopped in the middle of a restore: the step it cut short is named,
with why:

  $ lumaveractl --port rfc2217://127.0.0.1:$telnet backup golden.ini
  backed up rfc2217://127.0.0.1:* to golden.ini (glob)
  $ fades=$(grep -c SetFade line.log)
  $ lumaveractl --port rfc2217://127.0.0.1:$telnet restore golden.ini --gap 1000 2>&1 & restoring=$!
  $ wait_for line.log SetFade $((fades + 1)); kill $telnet_server; wait $restoring
  lumaveractl: hold failed: The frame could not be written: 127.0.0.1:* closed the connection. (glob)
  lumaveractl: the restore stopped at step 3 of 14: mode and fade reached the module; hold and the slots did not. What the module held before is kept in /*/state/lumavera/*.ini; restoring golden.ini again finishes it, restoring that file undoes it. (glob)
  [1]

Cables at two benches at once, one CSV: verdicts as for local cables. A
bench that goes away fails only the module it held, and the station keeps
polling the other. A connection is kept alive, so that a bench whose machine
went without a word is found out:

  $ start_module benchA --fast --attach 8000:1000; a=$module
  $ start_module benchB --fast --attach 8000:1000; b=$module
  $ serve benchA 'telnet(rfc2217),tcp'; A=rfc2217://127.0.0.1:$served
  $ serve benchB 'telnet(rfc2217),tcp'; B=rfc2217://127.0.0.1:$served; b_server=$server
  $ lumaveractl station golden.ini --port $A --port $B --cable --gap 200 --log s.csv > out 2> err &
  $ station=$!; poll 200 "no keep-alive on the connection to A" keeps_alive ${A##*:}
  $ wait_for benchB.log SetMode 1; kill $b_server; wait_for out PASS 2; kill -INT $station; wait $station
  [1]
  $ sed "s,^[0-9-]* [0-9:]*  ,,; s,$A,A,; s,$B,B," out | sort
    A: 2 passed, 0 failed
    B: 0 passed, 1 failed
  2 passed, 1 failed
  A  -  PASS  * ms (glob)
  A  -  PASS  * ms (glob)
  B  -  FAIL  * ms  cut off during restore at step * of 14 (127.0.0.1:* closed the connection): * reached the module; * did not (glob)
  $ grep "${B#*//}" err | grep -v 'modules on' | sed "s,$B,B,"
  lumaveractl: waiting for a module on B
  lumaveractl: module found on B
  lumaveractl: 127.0.0.1:* refused the connection: nothing serves a line there. (glob)
  $ cut -d, -f2,4 s.csv | sed "s,$A,A,; s,$B,B," | sort
  A,PASS
  A,PASS
  B,FAIL
  device,result

Every server and module goes:

  $ kill $a $b $line; pkill -P $$ -x ser2net; wait
