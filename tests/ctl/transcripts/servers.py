# Network servers no serial server should be, on 127.0.0.1, each on its own
# port (printed in this order, one line, once all listen); each connection
# gets the behaviour without end:
#   flood        zeros, as fast as the client takes them
#   subneg       a COM-PORT-OPTION subnegotiation that never ends
#   storm        WILL 99, three thousand times; how often the client
#                refused it, in storm.log once it hangs up
#   silent       nothing: reads what comes and never answers; each
#                connection a line "connected" in silent.log
import socket
import threading

IAC, SB, WILL, DONT = 255, 250, 251, 254


def flood(c):
    zeros = bytes(4096)
    while True:
        c.sendall(zeros)


def subneg(c):
    c.sendall(bytes([IAC, SB, 44, 101]))
    while True:
        c.sendall(b"x" * 4096)


def storm(c):
    c.sendall(bytes([IAC, WILL, 99]) * 3000)
    heard = b""
    while chunk := c.recv(65536):
        heard += chunk
    with open("storm.log", "a") as log:
        print(f"refused {heard.count(bytes([IAC, DONT, 99]))} times", file=log)


def silent(c):
    with open("silent.log", "a") as log:
        print("connected", file=log)
    while c.recv(65536):
        pass


def serve(listener, behaviour):
    while True:
        c, _ = listener.accept()

        def run(c=c):
            try:
                behaviour(c)
            except OSError:
                c.close()

        threading.Thread(target=run, daemon=True).start()


ports = []
threads = []
for behaviour in (flood, subneg, storm, silent):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    ports.append(str(listener.getsockname()[1]))
    threads.append(threading.Thread(target=serve, args=(listener, behaviour), daemon=True))
for t in threads:
    t.start()
print(" ".join(ports), flush=True)
threading.Event().wait()
