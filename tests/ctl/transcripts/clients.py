# Programs on the window's socket, as any could be:
#   clients.py SOCKET flood      short lines without end, never reading
#   clients.py SOCKET silent N   N connections that say nothing; prints when
#                                the window has closed them all (15 s at most)
#   clients.py SOCKET full       five that say nothing, one past the window's
#                                four: prints whether the first gave way
#   clients.py SOCKET ask LINE   one request as written; prints whether the
#                                window took it
#   clients.py SOCKET stranger   a server of user nobody's (run as root) that
#                                says it carried out every step
#   clients.py SOCKET unheld     a server of the user's own that says yes to
#                                the probe, then did not carry out a step but
#                                names no fault
import json
import os
import socket
import sys
import time

path, kind = sys.argv[1], sys.argv[2]
if kind == "flood":
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)
    print("connected", flush=True)
    for _ in range(200000):
        s.send(b"{}\n")
elif kind == "silent":
    clients = []
    for _ in range(int(sys.argv[3])):
        c = socket.socket(socket.AF_UNIX)
        c.connect(path)
        clients.append(c)
    print("connected", flush=True)
    closed = 0
    deadline = time.monotonic() + 15
    for c in clients:
        c.settimeout(max(0.1, deadline - time.monotonic()))
        try:
            closed += c.recv(1) == b""
        except OSError:
            pass
    print(f"{closed} closed by the window", flush=True)
elif kind == "full":
    clients = [socket.socket(socket.AF_UNIX) for _ in range(5)]
    for c in clients:
        c.connect(path)
    clients[0].settimeout(8)  # the window's idle clients last ten seconds
    try:
        gave_way = clients[0].recv(1) == b""
    except OSError:
        gave_way = False
    clients[1].setblocking(False)
    try:
        waits = clients[1].recv(1) != b""
    except BlockingIOError:
        waits = True
    print(f"the first {'gave way' if gave_way else 'stayed'}; "
          f"the second {'still waits' if waits else 'is gone'}")
elif kind == "ask":
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)
    s.send(sys.argv[3].encode() + b"\n")
    reply = json.loads(s.makefile("rb").readline())
    print("handled" if reply.get("handled") else "not handled")
else:
    black = {"red": 0, "green": 0, "blue": 0}
    settings = {"mode": 0, "fade": 0, "hold": 0, "slots": [black] * 10}
    s = socket.socket(socket.AF_UNIX)
    s.bind(path)
    if kind == "stranger":
        os.setgid(65534)
        os.setuid(65534)
    s.listen(4)
    while True:
        c, _ = s.accept()
        for line in c.makefile("rb"):
            handled = kind == "stranger" or b'"probe"' in line
            reply = {"handled": handled, "fault": "", "reason": "", "traffic": [],
                     "settings": settings}
            c.send(json.dumps(reply).encode() + b"\n")
