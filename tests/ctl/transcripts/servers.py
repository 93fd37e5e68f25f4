# Network servers no serial server should be, on 127.0.0.1, each on its own
# port (printed in this order, one line, once all listen); each connection
# gets the behaviour without end:
#   flood        zeros, as fast as the client takes them
#   subneg       a COM-PORT-OPTION subnegotiation that never ends
#   storm        WILL 99, three thousand times; how often the client
#                refused it, in storm.log once it hangs up
#   silent       nothing: reads what comes and never answers; each
#                connection a line "connected" in silent.log
#   nobinary     RFC 2217 as asked, but an 8-bit clean line refused: DONT
#                and WONT BINARY
#   notify       RFC 2217 as asked, answering the read command with a
#                module's settings, its modem state notified before the
#                answer and in its middle
import socket
import threading

IAC, SE, SB, WILL, WONT, DO, DONT = 255, 240, 250, 251, 252, 253, 254
BINARY, COM_PORT = 0, 44


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


def rfc2217(c, binary, frame):
    # Answers the set-up as asked, and gives each frame of data to `frame`.
    heard = b""
    while chunk := c.recv(65536):
        heard += chunk
        while (start := heard.find(bytes([IAC]))) >= 0 and len(heard) >= start + 3:
            if start > 0:
                frame(heard[:start])
                heard = heard[start:]
                continue
            verb, option = heard[1], heard[2]
            if verb == SB:
                end = heard.find(bytes([IAC, SE]))
                if end < 0:
                    break
                command, value = heard[3], heard[4:end]
                c.sendall(bytes([IAC, SB, COM_PORT, command + 100]) + value + bytes([IAC, SE]))
                heard = heard[end + 2 :]
                continue
            if verb == IAC:  # a doubled 0xFF: the data's own
                frame(bytes([IAC]))
                heard = heard[2:]
                continue
            if verb in (WILL, DO):
                yes = option in (COM_PORT, 3) or (binary and option == BINARY)
                answer = {WILL: DO if yes else DONT, DO: WILL if yes else WONT}[verb]
                c.sendall(bytes([IAC, answer, option]))
            heard = heard[3:]
        if heard and IAC not in heard:
            frame(heard)
            heard = b""


def nobinary(c):
    rfc2217(c, False, lambda data: None)


def notify(c):
    # A settings answer (mode 2, fade 1, hold 10, slot i red i) with the
    # server's modem state told before it and in its middle.
    modem = bytes([IAC, SB, COM_PORT, 107, 0x30, IAC, SE])
    answer = bytes([IAC, IAC, 2, 1, 10]) + bytes(sum(([i, 0, 0] for i in range(10)), [])) + b"\x00"

    def frame(data):
        # The read command's 3C, after its 0xFF (doubled, told apart).
        if data.startswith(b"\x3c"):
            c.sendall(modem + answer[:12] + modem + answer[12:])

    rfc2217(c, True, frame)


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
for behaviour in (flood, subneg, storm, silent, nobinary, notify):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    ports.append(str(listener.getsockname()[1]))
    threads.append(threading.Thread(target=serve, args=(listener, behaviour), daemon=True))
for t in threads:
    t.start()
print(" ".join(ports), flush=True)
threading.Event().wait()
