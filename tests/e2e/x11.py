"""The one X request xdotool lacks: WM_DELETE_WINDOW, which a window manager sends when the
user clicks a window's close box. Speaks the X protocol directly so that no Xlib is needed."""

import os
import socket
import struct

_OPCODE_INTERN_ATOM = 16
_OPCODE_SEND_EVENT = 25
_OPCODE_GET_INPUT_FOCUS = 43
_CLIENT_MESSAGE = 33


def _pad(n):
    return (4 - n % 4) % 4


class Connection:
    def __init__(self, display):
        number = display.lstrip(':').split('.')[0]
        self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._sock.settimeout(10)
        self._sock.connect('/tmp/.X11-unix/X' + number)
        self._sock.sendall(struct.pack('<BxHHHH2x', ord('l'), 11, 0, 0, 0))
        head = self._read(8)
        if head[0] != 1:
            raise OSError('X server refused the connection')
        self._read(struct.unpack('<H', head[6:8])[0] * 4)

    def close(self):
        self._sock.close()

    def _read(self, n):
        data = b''
        while len(data) < n:
            chunk = self._sock.recv(n - len(data))
            if not chunk:
                raise OSError('X server closed the connection')
            data += chunk
        return data

    def _reply(self):
        packet = self._read(32)
        if packet[0] == 0:
            raise OSError('X error %d' % packet[1])
        return packet + self._read(struct.unpack('<I', packet[4:8])[0] * 4)

    def intern_atom(self, name):
        raw = name.encode('ascii')
        length = (8 + len(raw) + _pad(len(raw))) // 4
        self._sock.sendall(struct.pack('<BBHH2x', _OPCODE_INTERN_ATOM, 0, length, len(raw)) +
                           raw + b'\0' * _pad(len(raw)))
        return struct.unpack('<I', self._reply()[8:12])[0]

    def send_delete_window(self, window):
        protocols = self.intern_atom('WM_PROTOCOLS')
        delete = self.intern_atom('WM_DELETE_WINDOW')
        event = struct.pack('<BBHII5I', _CLIENT_MESSAGE, 32, 0, window, protocols, delete, 0, 0, 0, 0)
        self._sock.sendall(struct.pack('<BBHII', _OPCODE_SEND_EVENT, 0, 11, window, 0) + event)
        # A round trip, so that an error from the send surfaces here.
        self._sock.sendall(struct.pack('<BxH', _OPCODE_GET_INPUT_FOCUS, 1))
        self._reply()


def close_window(display, window):
    connection = Connection(display or os.environ['DISPLAY'])
    try:
        connection.send_delete_window(window)
    finally:
        connection.close()
