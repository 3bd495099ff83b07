#!/usr/bin/env python3
# A scriptable TCP peer on 127.0.0.1 for the tests. One command per line on stdin, one answer
# per line on stdout. Connections are named by the test.
#   connect NAME PORT   -> connected NAME LOCALPORT   (or refused NAME)
#   send NAME HEX       -> sent NAME
#   recv NAME COUNT     -> data NAME HEX              (stops early at end of stream)
#   eof NAME            -> eof NAME | data-before-eof NAME HEX   (reads until the other side closes)
#   digest NAME [COUNT] -> digest NAME LENGTH SHA1    (reads COUNT bytes, or until the other side closes)
#   close NAME          -> closed NAME                (graceful)
#   reset NAME          -> reset NAME                 (SO_LINGER 0, then close: the peer sees RST)
#   shutdown NAME       -> shut NAME                  (no more sending, reading goes on: the peer sees FIN)
#   buffers NAME        -> buffers NAME SNDBUF RCVBUF (the sizes the system reports)
#   listen              -> port N
#   accept NAME         -> accepted NAME PEERPORT
#   quit
import hashlib
import socket
import struct
import sys

conns = {}
listener = None


def out(*words):
    print(*words, flush=True)


for line in sys.stdin:
    p = line.split()
    if not p:
        continue
    cmd = p[0]
    try:
        if cmd == 'connect':
            try:
                s = socket.create_connection(('127.0.0.1', int(p[2])), timeout=10)
            except ConnectionRefusedError:
                out('refused', p[1])
                continue
            s.settimeout(10)
            conns[p[1]] = s
            out('connected', p[1], s.getsockname()[1])
        elif cmd == 'send':
            conns[p[1]].sendall(bytes.fromhex(p[2]) if len(p) > 2 else b'')
            out('sent', p[1])
        elif cmd == 'recv':
            s, n, buf = conns[p[1]], int(p[2]), b''
            while len(buf) < n:
                d = s.recv(n - len(buf))
                if not d:
                    break
                buf += d
            out('data', p[1], buf.hex() or '-')
        elif cmd == 'eof':
            s, buf = conns[p[1]], b''
            while True:
                d = s.recv(65536)
                if not d:
                    break
                buf += d
            out('eof', p[1]) if not buf else out('data-before-eof', p[1], buf.hex())
        elif cmd == 'digest':
            s, n, h, got = conns[p[1]], int(p[2]) if len(p) > 2 else -1, hashlib.sha1(), 0
            while n < 0 or got < n:
                d = s.recv(65536 if n < 0 else min(65536, n - got))
                if not d:
                    break
                h.update(d)
                got += len(d)
            out('digest', p[1], got, h.hexdigest())
        elif cmd == 'close':
            conns.pop(p[1]).close()
            out('closed', p[1])
        elif cmd == 'reset':
            s = conns.pop(p[1])
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
            s.close()
            out('reset', p[1])
        elif cmd == 'shutdown':
            conns[p[1]].shutdown(socket.SHUT_WR)
            out('shut', p[1])
        elif cmd == 'buffers':
            s = conns[p[1]]
            out('buffers', p[1], s.getsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF),
                s.getsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF))
        elif cmd == 'listen':
            listener = socket.socket()
            listener.bind(('127.0.0.1', 0))
            listener.listen(5)
            listener.settimeout(10)
            out('port', listener.getsockname()[1])
        elif cmd == 'accept':
            s, a = listener.accept()
            s.settimeout(10)
            conns[p[1]] = s
            out('accepted', p[1], a[1])
        elif cmd == 'quit':
            break
        else:
            out('error', cmd, 'unknown command')
    except Exception as e:  # reported, never fatal: the test decides
        out('error', cmd, repr(e).replace(' ', '_'))
