#!/usr/bin/python3
"""Taps the X screen of $DISPLAY at a point, as the stylus would: the pointer
moves there, the first button goes down and, a moment later, up (through the
XTEST extension, so the program sees real input).

    x_tap.py X Y
"""
import ctypes
import ctypes.util
import sys
import time


def main():
    x, y = int(sys.argv[1]), int(sys.argv[2])
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    for f in (xtst.XTestFakeMotionEvent, xtst.XTestFakeButtonEvent, xlib.XFlush, xlib.XCloseDisplay):
        f.argtypes = None
    display = xlib.XOpenDisplay(None)
    if not display:
        sys.exit("x_tap.py: cannot open the display")
    display = ctypes.c_void_p(display)
    xtst.XTestFakeMotionEvent(display, -1, x, y, 0)
    xlib.XFlush(display)
    time.sleep(0.1)
    xtst.XTestFakeButtonEvent(display, 1, True, 0)
    xlib.XFlush(display)
    time.sleep(0.1)
    xtst.XTestFakeButtonEvent(display, 1, False, 0)
    xlib.XFlush(display)
    xlib.XCloseDisplay(display)


if __name__ == "__main__":
    main()
