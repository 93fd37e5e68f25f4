# python3-serial's own RFC 2217 server around one serial line, one client at
# a time, on 127.0.0.1 (its port printed once it listens); each purge a
# client asks for, a line in purges.log:
#   rfc2217server.py DEVICE
import logging
import socket
import sys
import threading

import serial
import serial.rfc2217



class Line(serial.Serial):
    # A pseudo-terminal has no modem lines: setting them is a no-op, and
    # they read as raised.
    def _update_dtr_state(self):
        pass

    def _update_rts_state(self):
        pass

    cts = dsr = cd = property(lambda self: True)
    ri = property(lambda self: False)


purges = logging.getLogger("purges")
purges.setLevel(logging.INFO)
purges.addHandler(logging.FileHandler("purges.log"))
purges.handlers[0].addFilter(lambda record: record.getMessage().startswith("purge"))

line = Line()
line.port = sys.argv[1]
line.timeout = 0.05
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(1)
print(listener.getsockname()[1], flush=True)


class Connection:
    # What the manager writes its answers to.
    def __init__(self, client):
        self.client = client

    def write(self, data):
        self.client.sendall(data)


while True:
    client, _ = listener.accept()
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    line.open()
    manager = serial.rfc2217.PortManager(line, Connection(client), logger=purges)
    done = threading.Event()

    def to_client():
        while not done.is_set():
            try:
                data = line.read(line.in_waiting or 1)
                if data:
                    client.sendall(b"".join(manager.escape(data)))
                manager.check_modem_lines()
            except (OSError, serial.SerialException):
                break

    reader = threading.Thread(target=to_client, daemon=True)
    reader.start()
    try:
        while data := client.recv(1024):
            line.write(b"".join(manager.filter(data)))
    except OSError as e:
        print(e, file=sys.stderr)
    done.set()
    reader.join()
    client.close()
    line.close()
