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


def nobinary(c):
    heard = b""
    while chunk := c.recv(65536):
        heard += chunk
        while (start := heard.find(bytes([IAC]))) >= 0 and len(heard) >= start + 3:
            verb, option = heard[start + 1], heard[start + 2]
            if verb == SB:
                end = heard.find(bytes([IAC, SE]), start)
                if end < 0:
                    break
                command, value = heard[start + 3], heard[start + 4 : end]
                c.sendall(bytes([IAC, SB, COM_PORT, command + 100]) + value + bytes([IAC, SE]))
                heard = heard[end + 2 :]
                continue
            if verb in (WILL, DO):
                yes = option == COM_PORT or option == 3
                answer = {WILL: DO if yes else DONT, DO: WILL if yes else WONT}[verb]
                c.sendall(bytes([IAC, answer, option]))
            heard = heard[start + 3 :]


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
for behaviour in (flood, subneg, storm, silent, nobinary):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    ports.append(str(listener.getsockname()[1]))
    threads.append(threading.Thread(target=serve, args=(listener, behaviour), daemon=True))
for t in threads:
    t.start()
print(" ".join(ports), flush=True)
threading.Event().wait()
