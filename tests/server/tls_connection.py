"""The server side of one TLS connection, encrypted through memory BIOs over
a plain socket, so that the bytes on the wire can be held to a rate below
the TLS records (ext_content's "line_rate"): what a slow line does, where
bytes keep coming while a whole 16 KiB record takes seconds.

It stands in for the socket in the request handler: makefile("rb") for the
request, sendall for the answer, and the socket's own calls (timeouts,
options, shutdown, close) passed through. A peer that ends without TLS's
closing message reads as a plain end, as with ssl's ragged ends.
"""
import io
import ssl
import time

PIECE = 512  # bytes on the wire at a time while a rate holds


class TlsConnection:
    def __init__(self, sock, context):
        self.sock = sock
        self.line_rate = 0  # bytes a second on the wire, 0: as fast as it goes
        self._incoming = ssl.MemoryBIO()
        self._outgoing = ssl.MemoryBIO()
        self._tls = context.wrap_bio(self._incoming, self._outgoing, server_side=True)
        while True:
            try:
                self._tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                self._flush()
                if not self._fill():
                    raise ssl.SSLEOFError("the peer left during the handshake")
        self._flush()  # the session tickets

    def _flush(self):
        data = self._outgoing.read()
        if not data:
            return
        if self.line_rate <= 0:
            self.sock.sendall(data)
            return
        start = time.monotonic()
        for at in range(0, len(data), PIECE):
            self.sock.sendall(data[at:at + PIECE])
            pause = start + (at + PIECE) / self.line_rate - time.monotonic()
            if pause > 0:
                time.sleep(pause)

    def _fill(self):
        data = self.sock.recv(65536)
        if data:
            self._incoming.write(data)
        else:
            self._incoming.write_eof()
        return bool(data)

    def recv_into(self, buffer):
        while True:
            try:
                return self._tls.read(len(buffer), buffer)
            except ssl.SSLWantReadError:
                self._flush()
                self._fill()
            except (ssl.SSLZeroReturnError, ssl.SSLEOFError):
                return 0

    def sendall(self, data):
        self._tls.write(data)
        self._flush()

    def makefile(self, mode="rb", buffering=-1):
        if mode != "rb":
            raise ValueError("only reading is buffered")
        return io.BufferedReader(_Reader(self), io.DEFAULT_BUFFER_SIZE if buffering in (-1, 0) else buffering)

    def settimeout(self, timeout):
        self.sock.settimeout(timeout)

    def setsockopt(self, *args):
        self.sock.setsockopt(*args)

    def fileno(self):
        return self.sock.fileno()

    def getpeername(self):
        return self.sock.getpeername()

    def shutdown(self, how):
        self.sock.shutdown(how)

    def close(self):
        self.sock.close()


class _Reader(io.RawIOBase):
    def __init__(self, connection):
        self._connection = connection

    def readable(self):
        return True

    def readinto(self, buffer):
        return self._connection.recv_into(buffer)
