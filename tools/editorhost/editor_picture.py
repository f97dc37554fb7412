#!/usr/bin/python3
"""Opens a VST3 bundle's editor in the SDK's editor host on a private X
display and writes a picture of the editor's window.

Usage: /usr/bin/python3 editor_picture.py EDITORHOST BUNDLE OUT.png REFERENCE.png

The editor counts as drawn once its window shows REFERENCE (the panel's
offscreen snapshot or preview composite, same size) within the tolerance: the mean absolute
difference per channel (0..255) in the worst 8 x 8 tile at most TOLERANCE,
over the part of the window that the host's windows leave visible (the
rest of an X screenshot is undefined; the SDK's host clips one row and
column with the border of its window).
Exits non-zero with the reason when the host fails, the editor's window
never shows, never shows the panel, or the host does not end cleanly once
its window is closed. A picture that never matched is kept as
OUT.rejected.png for a look.
"""

import ctypes
import os
import subprocess
import sys
import tempfile
import time

import cairo
import numpy as np

TOLERANCE = 16.0
TILE = 8
SHOW_TIMEOUT_S = 30.0
EXIT_TIMEOUT_S = 10.0


class Failure(Exception):
    pass


# --- Xlib through ctypes -----------------------------------------------------------------

class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


class XImage(ctypes.Structure):
    # The leading fields only: the image is read, never built here.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


IS_VIEWABLE = 2
Z_PIXMAP = 2
ALL_PLANES = ctypes.c_ulong(-1).value
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)


class XDisplay:
    """The few Xlib calls needed to find a window, read its pixels and unmap it."""

    def __init__(self, name):
        self.x = ctypes.CDLL("libX11.so.6")
        x = self.x
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]
        x.XGetImage.restype = ctypes.POINTER(XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x.XUnmapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        # Windows of another client may go at any moment: their errors are expected, not fatal.
        self.errors = 0

        def on_error(_display, _event):
            self.errors += 1
            return 0
        self._handler = ERROR_HANDLER(on_error)
        x.XSetErrorHandler(self._handler)
        self.display = x.XOpenDisplay(name.encode())
        if not self.display:
            raise Failure("cannot open the X display %s" % name)

    def close(self):
        self.x.XCloseDisplay(self.display)

    def root(self):
        return self.x.XDefaultRootWindow(self.display)

    def parent(self, window):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        items, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self.x.XQueryTree(self.display, window, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(items), ctypes.byref(count)):
            return 0
        if items:
            self.x.XFree(items)
        return parent.value if parent.value != root.value else 0

    def visible_rect(self, window):
        """(left, top, right, bottom) of the window's area inside all its ancestors, in its own pixels."""
        a = self.attributes(window)
        if not a:
            return None
        left, top, right, bottom = 0, 0, a.width, a.height
        dx = dy = 0
        while True:
            dx += a.x + a.border_width
            dy += a.y + a.border_width
            window = self.parent(window)
            if not window:
                break
            a = self.attributes(window)
            if not a:
                return None
            left, top = max(left, -dx), max(top, -dy)
            right, bottom = min(right, a.width - dx), min(bottom, a.height - dy)
        return (left, top, right, bottom) if left < right and top < bottom else None

    def children(self, window):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        items, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self.x.XQueryTree(self.display, window, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(items), ctypes.byref(count)):
            return []
        out = [items[i] for i in range(count.value)]
        if items:
            self.x.XFree(items)
        return out

    def name(self, window):
        text = ctypes.c_char_p()
        if not self.x.XFetchName(self.display, window, ctypes.byref(text)) or not text.value:
            return None
        value = text.value.decode(errors="replace")
        self.x.XFree(text)
        return value

    def attributes(self, window):
        attributes = XWindowAttributes()
        if not self.x.XGetWindowAttributes(self.display, window, ctypes.byref(attributes)):
            return None
        return attributes

    def capture(self, window, width, height):
        """The window's pixels as an (height, width, 3) uint8 array, or None."""
        self.x.XSync(self.display, 0)
        image = self.x.XGetImage(self.display, window, 0, 0, width, height, ALL_PLANES, Z_PIXMAP)
        if not image:
            return None
        try:
            im = image.contents
            if im.bits_per_pixel != 32:
                raise Failure("unexpected X image format: %d bits per pixel" % im.bits_per_pixel)
            raw = ctypes.string_at(im.data, im.bytes_per_line * im.height)
            words = np.frombuffer(raw, dtype="<u4" if im.byte_order == 0 else ">u4")
            words = words.reshape(im.height, im.bytes_per_line // 4)[:, :im.width]
            channels = []
            for mask in (im.red_mask, im.green_mask, im.blue_mask):
                shift = (mask & -mask).bit_length() - 1
                channels.append(((words & mask) >> shift).astype(np.uint8))
            return np.dstack(channels)
        finally:
            self.x.XDestroyImage(image)

    def unmap(self, window):
        self.x.XUnmapWindow(self.display, window)
        self.x.XSync(self.display, 0)


# --- Pictures --------------------------------------------------------------------------------

def read_png(path):
    surface = cairo.ImageSurface.create_from_png(path)
    if surface.get_format() not in (cairo.FORMAT_RGB24, cairo.FORMAT_ARGB32):
        raise Failure("%s: unexpected PNG format" % path)
    h, w, stride = surface.get_height(), surface.get_width(), surface.get_stride()
    words = np.frombuffer(surface.get_data(), dtype="<u4").reshape(h, stride // 4)[:, :w]
    return np.dstack([((words >> s) & 0xFF).astype(np.uint8) for s in (16, 8, 0)])


def write_png(path, rgb):
    h, w, _ = rgb.shape
    words = (0xFF000000 | (rgb[:, :, 0].astype(np.uint32) << 16) | (rgb[:, :, 1].astype(np.uint32) << 8)
             | rgb[:, :, 2].astype(np.uint32))
    surface = cairo.ImageSurface.create_for_data(bytearray(words.astype("<u4").tobytes()), cairo.FORMAT_RGB24, w, h,
                                                 w * 4)
    surface.write_to_png(path)


def worst_tile(a, b):
    """Mean absolute channel difference in the worst TILE x TILE tile (inf for different sizes)."""
    if a.shape != b.shape:
        return float("inf")
    d = np.abs(a.astype(np.int32) - b.astype(np.int32)).astype(np.float64)
    h, w, _ = d.shape
    padded_h, padded_w = -(-h // TILE) * TILE, -(-w // TILE) * TILE
    sums = np.zeros((padded_h, padded_w))
    counts = np.zeros((padded_h, padded_w))
    sums[:h, :w] = d.sum(axis=2)
    counts[:h, :w] = 3
    tile_sums = sums.reshape(padded_h // TILE, TILE, padded_w // TILE, TILE).sum(axis=(1, 3))
    tile_counts = counts.reshape(padded_h // TILE, TILE, padded_w // TILE, TILE).sum(axis=(1, 3))
    return float((tile_sums / tile_counts).max())


# --- The run -----------------------------------------------------------------------------------

def free_display():
    n = 70
    while os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
        n += 1
    return ":%d" % n


def start_xvfb(display):
    xvfb = subprocess.Popen(["Xvfb", display, "-noreset", "-screen", "0", "1280x1024x24"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    socket = "/tmp/.X11-unix/X" + display[1:]
    for _ in range(100):
        if os.path.exists(socket) or xvfb.poll() is not None:
            break
        time.sleep(0.1)
    if xvfb.poll() is not None or not os.path.exists(socket):
        raise Failure("Xvfb did not start on %s" % display)
    return xvfb


def find_editor(x, host_window_name):
    """The plug-in's window inside the host's window: (host window, editor window) or (None, None)."""
    for top in x.children(x.root()):
        if x.name(top) != host_window_name:
            continue
        for holder in x.children(top):
            for window in x.children(holder):
                a = x.attributes(window)
                if a and a.map_state == IS_VIEWABLE:
                    return top, window
    return None, None


def run(editorhost, bundle, out, reference_path):
    reference = read_png(reference_path)
    display = free_display()
    xvfb = start_xvfb(display)
    host = None
    log = tempfile.TemporaryFile()
    x = None
    try:
        env = dict(os.environ, DISPLAY=display)
        # The host looks the XEMBED atom up without making it; a fresh server has none.
        subprocess.run(["xprop", "-root", "-f", "_XEMBED_INFO", "32c", "-set", "_XEMBED_INFO", "0"], env=env,
                       check=True)
        try:
            host = subprocess.Popen([editorhost, bundle], env=env, stdout=log, stderr=subprocess.STDOUT)
        except OSError as error:
            raise Failure("cannot start the editor host %s: %s" % (editorhost, error))
        x = XDisplay(display)
        deadline = time.monotonic() + SHOW_TIMEOUT_S
        host_window = editor = None
        picture = None
        difference = None
        while time.monotonic() < deadline:
            if host.poll() is not None:
                raise Failure("the editor host ended (status %d) before the editor showed the panel" % host.returncode)
            if not editor:
                host_window, editor = find_editor(x, "Editor")
            if editor:
                a = x.attributes(editor)
                picture = x.capture(editor, a.width, a.height) if a and a.map_state == IS_VIEWABLE else None
                visible = x.visible_rect(editor)
                if picture is not None and visible:
                    left, top, right, bottom = visible
                    difference = (worst_tile(picture[top:bottom, left:right], reference[top:bottom, left:right])
                                  if picture.shape == reference.shape else float("inf"))
                    if difference <= TOLERANCE:
                        break
            time.sleep(0.25)
        else:
            if not editor:
                raise Failure("the editor's window never showed in the editor host within %.0f s" % SHOW_TIMEOUT_S)
            if picture is not None:
                write_png(out + ".rejected.png", picture)
                raise Failure("the editor's window never showed the panel: worst tile %.2f (tolerance %.1f), "
                              "size %dx%d against %dx%d; last picture in %s.rejected.png"
                              % (difference, TOLERANCE, picture.shape[1], picture.shape[0], reference.shape[1],
                                 reference.shape[0], out))
            raise Failure("the editor's window could not be read")
        write_png(out, picture)
        print("editor picture %dx%d (%dx%d of it visible in the host): worst 8x8 tile %.2f against the reference "
              "(tolerance %.1f)" % (picture.shape[1], picture.shape[0], right - left, bottom - top, difference,
                                    TOLERANCE))
        # Closing the host's window closes the editor (removed()) and ends the host.
        x.unmap(host_window)
        try:
            status = host.wait(EXIT_TIMEOUT_S)
        except subprocess.TimeoutExpired:
            raise Failure("the editor host did not end within %.0f s of its window closing" % EXIT_TIMEOUT_S)
        if status != 0:
            raise Failure("the editor host ended with status %d after its window closed" % status)
    except Failure:
        log.seek(0)
        text = log.read().decode(errors="replace").strip()
        if text:
            sys.stderr.write("editor host output:\n%s\n" % text[-4000:])
        raise
    finally:
        if x:
            x.close()
        if host and host.poll() is None:
            host.kill()
            host.wait()
        xvfb.terminate()
        xvfb.wait()
        log.close()


def main(argv):
    if len(argv) != 5:
        sys.stderr.write("usage: %s EDITORHOST BUNDLE OUT.png REFERENCE.png\n" % argv[0])
        return 2
    try:
        run(*argv[1:])
    except Failure as failure:
        sys.stderr.write("editor_picture: %s\n" % failure)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
