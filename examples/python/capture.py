#!/usr/bin/env python3
"""A host program of libRDLK_HID.so in Python, with the standard library only.

It loads the library with ctypes, connects to the first attached reader and
prints every barcode the reader sends, until Ctrl+C (SIGINT) or SIGTERM. A
barcode reaches it twice, on the two ways a host can learn of it:

  1. the capture callback (StartDataCapture): the library calls it with the
     report's bytes, on the library's own receive thread;
  2. a window message (MessageIdentify): the library posts "WM_VSCP_FRAME" to
     a window of ours, and we fetch the report with GetBarcodeData.

A window is a Unix datagram socket in the runtime folder; its protocol is in
docs/window-messages.md.

Usage: capture.py [LIBRARY]   (default: libRDLK_HID.so, found the way the
dynamic loader finds libraries)
"""

import ctypes
import os
import random
import select
import signal
import socket
import struct
import sys

SETTINGS_KEY = b"HKCU\\Software\\Korvane\\LX2D Capture Example"
HOST_ID = 7  # our identifier in the messages' lParam (bits 24..31)
KIND_BCD = 0x60
KIND_SBCD = 0x62
RDLK_SUCCESS = 0

# int32_t callback(unsigned char* data, uint32_t length)
CAPTURE_CALLBACK = ctypes.CFUNCTYPE(
    ctypes.c_int32, ctypes.POINTER(ctypes.c_ubyte), ctypes.c_uint32)


def load_library(path):
    """The library with the argument and result types of the exports we use."""
    lib = ctypes.CDLL(path)
    u8p = ctypes.POINTER(ctypes.c_ubyte)
    u32p = ctypes.POINTER(ctypes.c_uint32)
    exports = {
        "Initialize": (ctypes.c_uint16, [ctypes.c_char_p, u8p]),
        "Deinitialize": (ctypes.c_uint16, []),
        "HIDEnumDevices": (ctypes.c_int, [ctypes.c_int, ctypes.c_char_p]),
        "UsbSettings": (None, [ctypes.c_char_p]),
        "Connect": (ctypes.c_uint16, []),
        "Disconnect": (ctypes.c_uint16, []),
        "StartDataCapture": (ctypes.c_int, [ctypes.c_int, CAPTURE_CALLBACK]),
        "MessageIdentify": (ctypes.c_uint16, [ctypes.c_size_t, ctypes.c_ubyte]),
        "GetBarcodeData": (ctypes.c_uint16, [u8p, ctypes.c_uint32, u32p]),
        "GetSetupBarcodeData": (ctypes.c_uint16, [u8p, ctypes.c_uint32, u32p]),
        "GetRawData": (ctypes.c_uint16, [u8p, ctypes.c_uint32, u32p]),
        "GetDllVersion": (ctypes.c_uint16, [ctypes.c_char_p, ctypes.c_uint32, u32p]),
    }
    for name, (result, arguments) in exports.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


def report_text(data):
    """A BCD or SBCD report: a two-byte big-endian length and that many bytes
    of barcode data. Anything else is shown in hex."""
    if len(data) >= 2 and (data[0] << 8 | data[1]) == len(data) - 2:
        return data[2:].decode("latin-1")
    return "%d bytes: %s" % (len(data), data.hex(" ").upper())


@CAPTURE_CALLBACK
def on_capture(data, length):
    """Runs on the library's receive thread for every buffered report and
    every chunk of raw bytes. Keep it short."""
    print("capture: " + report_text(bytes(data[:length])), flush=True)
    return 0


# --- A window of the platform's message system ------------------------------

def runtime_folder():
    """$LX2D_RUNTIME_DIR, else /run/lx2d when we may write it, else
    $XDG_RUNTIME_DIR/lx2d, else /tmp/lx2d-<uid>."""
    if os.environ.get("LX2D_RUNTIME_DIR"):
        return os.environ["LX2D_RUNTIME_DIR"]
    if os.access("/run/lx2d", os.W_OK) or (
            not os.path.exists("/run/lx2d") and os.access("/run", os.W_OK)):
        return "/run/lx2d"
    if os.environ.get("XDG_RUNTIME_DIR"):
        return os.path.join(os.environ["XDG_RUNTIME_DIR"], "lx2d")
    return "/tmp/lx2d-%d" % os.getuid()


def message_number(name):
    """RegisterWindowMessage: the same number for a name in every process."""
    value = 2166136261
    for b in name.encode():
        if 65 <= b <= 90:
            b += 32
        value = ((value ^ b) * 16777619) & 0xFFFFFFFF
    return 0xC000 + value % 0x4000


class Window:
    """A top-level window: a datagram socket bound to
    <runtime>/windows/<handle>.sock, described in <handle>.info."""

    def __init__(self, class_name):
        folder = os.path.join(runtime_folder(), "windows")
        os.makedirs(folder, mode=0o700, exist_ok=True)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        while True:
            self.handle = random.randint(0x10000, 0x7FFFFFFF)
            self.sock_path = os.path.join(folder, "%08x.sock" % self.handle)
            try:
                self.sock.bind(self.sock_path)
                break
            except OSError:
                continue  # a handle taken already: pick another
        self.info_path = os.path.join(folder, "%08x.info" % self.handle)
        with open(self.info_path + ".tmp", "w") as info:
            info.write("pid=%d\nclass=%s\ntitle=\nparent=00000000\n"
                       % (os.getpid(), class_name))
        # Renamed into place, so nobody reads half a description.
        os.rename(self.info_path + ".tmp", self.info_path)

    def receive(self):
        """One message as (number, wParam, lParam), or None for anything
        else. A descriptor attached to a sent message (the sender's reply
        channel) is closed unanswered: the sender then sees 0."""
        data, fds, _, _ = socket.recv_fds(self.sock, 64, 4)
        for fd in fds:
            os.close(fd)
        if len(data) != 48 or data[:4] != b"LX2W":
            return None
        _, version, _, _, number, wparam, lparam, _, _ = struct.unpack(
            "<4sHHIIQqqq", data)
        return (number, wparam, lparam) if version == 1 else None

    def destroy(self):
        os.unlink(self.info_path)
        os.unlink(self.sock_path)
        self.sock.close()


# --- The program ---------------------------------------------------------------

def take(getter, capacity=65536):
    """The bytes a getter delivers, or b"" when it has none or fails."""
    buffer = (ctypes.c_ubyte * capacity)()
    length = ctypes.c_uint32(0)
    if getter(buffer, capacity, ctypes.byref(length)) != RDLK_SUCCESS:
        return b""
    return bytes(buffer[:length.value])


def capture_until_stopped(lib, window, version):
    """Connects to the first reader and prints what it sends until a stop
    signal. 0 when it ran; 1 when no reader could be connected."""
    wm_vscp_frame = message_number("WM_VSCP_FRAME")
    wm_raw_data = message_number("WM_RAW_DATA")

    # The first reader; Connect opens the one named by UsbSettings.
    description = ctypes.create_string_buffer(520)
    if not lib.HIDEnumDevices(0, description):
        print("capture.py: no reader attached", file=sys.stderr)
        return 1
    lib.UsbSettings(description.value)
    connected = lib.Connect()
    if connected != RDLK_SUCCESS:
        print("capture.py: Connect failed with %d" % connected, file=sys.stderr)
        return 1
    print("%s connected to %s; waiting for barcodes (Ctrl+C ends)"
          % (version, description.value.decode("latin-1")), flush=True)

    stop = []
    signal.signal(signal.SIGINT, lambda *_: stop.append(True))
    signal.signal(signal.SIGTERM, lambda *_: stop.append(True))
    while not stop:
        # A bounded wait also covers a signal that comes just before select.
        ready, _, _ = select.select([window.sock], [], [], 0.5)
        if not ready:
            continue
        message = window.receive()
        if message is None:
            continue
        number, kind, _ = message
        if number == wm_vscp_frame:
            getter = {KIND_BCD: lib.GetBarcodeData,
                      KIND_SBCD: lib.GetSetupBarcodeData}.get(kind)
            if getter is None:
                print("report of kind 0x%02X left in the library's buffer" % kind,
                      flush=True)
                continue
            data = take(getter)
            if data:
                print("barcode: " + report_text(data), flush=True)
        elif number == wm_raw_data:
            data = take(lib.GetRawData)
            if data:
                print("raw: " + report_text(data), flush=True)
    lib.Disconnect()
    return 0


def main():
    lib = load_library(sys.argv[1] if len(sys.argv) > 1 else "libRDLK_HID.so")
    initialized = ctypes.c_ubyte(0)
    if lib.Initialize(SETTINGS_KEY, ctypes.byref(initialized)) != RDLK_SUCCESS:
        print("capture.py: Initialize failed (registry)", file=sys.stderr)
        return 1
    version = ctypes.create_string_buffer(32)
    lib.GetDllVersion(version, len(version), ctypes.byref(ctypes.c_uint32(0)))

    window = Window("LX2D_Capture_Example")
    lib.MessageIdentify(window.handle, HOST_ID)  # messages to our window
    lib.StartDataCapture(1, on_capture)  # before Connect: data may come at once
    try:
        status = capture_until_stopped(lib, window, version.value.decode())
    finally:
        lib.StartDataCapture(0, CAPTURE_CALLBACK())
        lib.Deinitialize()
        window.destroy()
    return status


if __name__ == "__main__":
    sys.exit(main())
