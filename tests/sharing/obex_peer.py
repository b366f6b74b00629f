"""An OBEX peer of our own making for the infrared tests: it plays the other
device, well-behaved or hostile, over the infrared stand-in's loopback TCP,
building every packet itself from the OBEX layout (IrDA Object Exchange) so
that the program's own packet code is not used to test itself.

    obex_peer.py push  REGISTRY SCRIPT RESULT
    obex_peer.py serve REGISTRY SCRIPT RESULT

push: waits for a device with an "OBEX" service in the stand-in's registry
folder, connects to it and runs the steps of SCRIPT (JSON, a list):
    {"op": "connect", "max": 2048}        CONNECT with that largest packet
    {"op": "put", "name": "a.jpg", "file": PATH or "size": N,
     "chunk": 1024, "length": N}          first PUT with the Name (and a Length
                                          when given), then the body in chunks:
                                          0x02/Body for full chunks, 0x82/End of
                                          Body for the last, each packet chunk+6
                                          bytes, as handheld clients do;
                                          stops at the first refusal
    {"op": "raw", "hex": "..."}           sends bytes, reads one response
    {"op": "silent", "hold": 60}          sends nothing until the device closes
                                          the connection or the hold runs out
    {"op": "flood", "hold": 60}           sends bytes without pause until then
    {"op": "disconnect"}, {"op": "close"}
serve: publishes a device of its own (a bridge record) and takes one
connection; SCRIPT is {"mute": true, "hold": 60}: it reads and never answers,
until the other side closes or the hold runs out.

RESULT receives one line per step (written whole, by a rename, at the end):
    connect a0 | put 90 90 a0 | put 90 cd | raw d1 | disconnect a0
    silent closed | silent held | flood closed | flood held | mute closed | mute held
    sent <body bytes the device acknowledged or took before it closed>
A response that never came is "closed".
"""
import json
import os
import random
import socket
import struct
import sys
import time


def find_device(registry, deadline):
    """The port of the first device record with an OBEX service."""
    while time.monotonic() < deadline:
        try:
            names = sorted(os.listdir(registry))
        except OSError:
            names = []
        for name in names:
            if not (name.startswith('dev-') and name.endswith('.txt')):
                continue
            try:
                with open(os.path.join(registry, name)) as f:
                    for line in f:
                        words = line.split()
                        if len(words) == 4 and words[0] == 'service' and words[3] == 'OBEX':
                            return int(words[2])
            except OSError:
                pass
        time.sleep(0.02)
    raise SystemExit('no device appeared')


def recv_exact(sock, n):
    data = b''
    while len(data) < n:
        part = sock.recv(n - len(data))
        if not part:
            return None
        data += part
    return data


def response(sock):
    """The response code as two hex digits, or "closed"."""
    try:
        head = recv_exact(sock, 3)
        if head is None:
            return 'closed'
        length = struct.unpack('>H', head[1:3])[0]
        if length > 3 and recv_exact(sock, length - 3) is None:
            return 'closed'
        return '%02x' % head[0]
    except OSError:
        return 'closed'


def send(sock, data):
    try:
        sock.sendall(data)
        return True
    except OSError:
        return False


def packet(code, headers):
    return struct.pack('>BH', code, 3 + len(headers)) + headers


def name_header(name):
    text = (name + '\0').encode('utf-16-be')
    return struct.pack('>BH', 0x01, 3 + len(text)) + text


def body_bytes(step):
    if 'file' in step:
        with open(step['file'], 'rb') as f:
            return f.read()
    generator = random.Random(step.get('seed', 1))
    return bytes(generator.getrandbits(8) for _ in range(min(step['size'], 65536))) * \
        (step['size'] // 65536 + 1)


def put(sock, step, lines):
    body = body_bytes(step)
    if 'size' in step:
        body = body[:step['size']]
    chunk = step.get('chunk', 1024)
    headers = name_header(step['name'])
    if 'length' in step:
        headers += struct.pack('>BI', 0xC3, step['length'])
    codes = []
    sent = 0
    ok = send(sock, packet(0x02, headers))
    codes.append(response(sock) if ok else 'closed')
    offset = 0
    while codes[-1] == '90':
        piece = body[offset:offset + chunk]
        last = len(piece) < chunk
        code, header = (0x82, 0x49) if last else (0x02, 0x48)
        if not send(sock, packet(code, struct.pack('>BH', header, 3 + len(piece)) + piece)):
            codes.append('closed')
            break
        codes.append(response(sock))
        if codes[-1] in ('90', 'a0'):
            sent += len(piece)
        offset += len(piece)
        if last:
            break
    lines.append('put ' + ' '.join(codes))
    lines.append('sent %d' % sent)


def hold(sock, seconds):
    """"closed" when the other side closes within `seconds`, else "held"."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        sock.settimeout(max(0.01, min(0.2, deadline - time.monotonic())))
        try:
            if not sock.recv(65536):
                return 'closed'
        except socket.timeout:
            continue
        except OSError:
            return 'closed'
    return 'held'


def flood(sock, seconds):
    """"closed" when the other side closes within `seconds`, else "held"."""
    deadline = time.monotonic() + seconds
    sock.settimeout(0.2)
    while time.monotonic() < deadline:
        try:
            sock.send(b'\x00' * 4096)
        except socket.timeout:
            continue
        except OSError:
            return 'closed'
    return 'held'


def push(registry, script, lines):
    port = find_device(registry, time.monotonic() + 60)
    sock = socket.create_connection(('127.0.0.1', port))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    for step in script:
        op = step['op']
        if op == 'connect':
            ok = send(sock, struct.pack('>BHBBH', 0x80, 7, 0x10, 0, step.get('max', 2048)))
            lines.append('connect ' + (response(sock) if ok else 'closed'))
        elif op == 'put':
            put(sock, step, lines)
        elif op == 'raw':
            ok = send(sock, bytes.fromhex(step['hex']))
            lines.append('raw ' + (response(sock) if ok else 'closed'))
        elif op == 'silent':
            lines.append('silent ' + hold(sock, step.get('hold', 60)))
        elif op == 'flood':
            lines.append('flood ' + flood(sock, step.get('hold', 60)))
        elif op == 'disconnect':
            ok = send(sock, packet(0x81, b''))
            lines.append('disconnect ' + (response(sock) if ok else 'closed'))
        elif op == 'close':
            break
    sock.close()


def serve(registry, script, lines):
    listener = socket.socket()
    listener.bind(('127.0.0.1', 0))
    listener.listen(1)
    port = listener.getsockname()[1]
    record = os.path.join(registry, 'dev-%08x.txt' % random.randrange(1, 1 << 32))
    os.makedirs(registry, exist_ok=True)
    with open(record + '.tmp', 'w') as f:
        f.write('pid 0\nname python\nhost 127.0.0.1\nservice %d %d OBEX\n' % (1 + port % 0x6F, port))
    os.rename(record + '.tmp', record)
    listener.settimeout(script.get('hold', 60))
    try:
        sock, _ = listener.accept()
    except socket.timeout:
        lines.append('mute unreached')
        return
    finally:
        os.remove(record)
    lines.append('mute ' + hold(sock, script.get('hold', 60)))
    sock.close()


def main():
    mode, registry, script_path, result = sys.argv[1:5]
    with open(script_path) as f:
        script = json.load(f)
    lines = []
    try:
        (push if mode == 'push' else serve)(registry, script, lines)
    except (OSError, SystemExit) as error:
        lines.append('error ' + str(error).replace('\n', ' '))
    with open(result + '.tmp', 'w') as f:
        f.write('\n'.join(lines) + '\n')
    os.rename(result + '.tmp', result)


if __name__ == '__main__':
    main()
