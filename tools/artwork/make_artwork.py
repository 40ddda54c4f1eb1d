#!/usr/bin/python3
"""Draws the PULSKAR-16 panel artwork and the lit-LED image.

    /usr/bin/python3 tools/artwork/make_artwork.py [--out DIR]

writes orra_kv_panel.png (1662 x 946, RGB) and pulskar16_red_panel_on_48.png
(48 x 48, RGBA) into DIR (default: resources/ of this checkout). The output is
deterministic: the same script gives byte-identical files.

Geometry is drawn with anti-aliased distance fields on a supersampled float
canvas (numpy), reduced to panel size with a box filter; legends are set
afterwards at panel size with FreeType so they stay crisp. Every position comes
from panel_layout.py.
"""

import argparse
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import panel_layout as L  # noqa: E402

SS = 3  # supersampling factor of the geometry canvas

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_BOLD_COND = os.path.join(FONT_DIR, "DejaVuSansCondensed-Bold.ttf")
FONT_BOLD = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")
FONT_BOLD_OBLIQUE = os.path.join(FONT_DIR, "DejaVuSans-BoldOblique.ttf")


def hexrgb(v):
    return ((v >> 16) & 255, (v >> 8) & 255, v & 255)


# Palette shared with the editor's look and feel.
PANEL_BASE = hexrgb(0xeee2c8)
PANEL_SHADE = hexrgb(0xe2d5ba)
INK = hexrgb(0x15140f)
DIVIDER = hexrgb(0xb2a486)
ACCENT_RED = hexrgb(0xb8362a)
KNOB_EDGE = hexrgb(0x050505)
LED_RED = (237, 38, 57)

# Radii of the printed and moulded parts, in panel pixels.
KNOB_GEOMETRY = {
    #         cap,  skirt, tick inner, tick outer, ticks, ridges
    "large": (42.6, 47.6, 50.6, 54.4, 21, 64),
    "small": (14.1, 17.6, 19.8, 22.8, 11, 30),
    "swing": (14.6, 18.0, 20.2, 23.0, 11, 30),
    "step":  (15.3, 18.6, 20.6, 23.2, 5, 32),
    "clock": (16.6, 20.0, 0.0, 0.0, 0, 34),
}
LED_BEZEL_R = 6.3
LED_LENS_R = 4.6

SWEEP = 4.649557
SWEEP_START = -2.3247786 - 1.5707964


def knob_angle(p):
    return p * SWEEP + SWEEP_START


# ---------------------------------------------------------------------------
# Supersampled distance-field canvas
# ---------------------------------------------------------------------------

def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


class Canvas:
    def __init__(self, w, h, ss):
        self.w, self.h, self.ss = w, h, ss
        self.px = np.zeros((h * ss, w * ss, 3), np.float32)

    def grid(self, x0, y0, x1, y1):
        ss = self.ss
        i0 = max(0, int(math.floor(x0 * ss)))
        i1 = min(self.w * ss, int(math.ceil(x1 * ss)))
        j0 = max(0, int(math.floor(y0 * ss)))
        j1 = min(self.h * ss, int(math.ceil(y1 * ss)))
        if i1 <= i0 or j1 <= j0:
            return None
        xs = (np.arange(i0, i1, dtype=np.float32) + 0.5) / ss
        ys = (np.arange(j0, j1, dtype=np.float32) + 0.5) / ss
        return (slice(j0, j1), slice(i0, i1)), xs[None, :], ys[:, None]

    def cover(self, sd):
        """Anti-aliased coverage of a signed distance (panel px) at canvas resolution."""
        return np.clip(0.5 - sd * self.ss, 0.0, 1.0)

    def blend(self, sl, cov, colour, X, Y):
        if callable(colour):
            col = colour(X, Y)
        else:
            col = np.asarray(colour, np.float32)
        dst = self.px[sl]
        cov = np.broadcast_to(cov, dst.shape[:2])
        col = np.broadcast_to(col, dst.shape)
        dst += (col - dst) * cov[..., None]

    # -- primitives --------------------------------------------------------
    def shape(self, bounds, sdf, colour, alpha=1.0, soft=0.0):
        g = self.grid(*bounds)
        if g is None:
            return
        sl, X, Y = g
        sd = sdf(X, Y)
        if soft > 0:
            cov = 1.0 - smoothstep(-soft, soft, sd)
        else:
            cov = self.cover(sd)
        if callable(alpha):
            cov = cov * alpha(X, Y)
        else:
            cov = cov * alpha
        self.blend(sl, cov, colour, X, Y)

    def circle(self, cx, cy, r, colour, alpha=1.0, soft=0.0):
        m = r + soft + 2
        self.shape((cx - m, cy - m, cx + m, cy + m),
                   lambda X, Y: np.hypot(X - cx, Y - cy) - r, colour, alpha, soft)

    def ring(self, cx, cy, r, t, colour, alpha=1.0):
        m = r + t + 2
        self.shape((cx - m, cy - m, cx + m, cy + m),
                   lambda X, Y: np.abs(np.hypot(X - cx, Y - cy) - r) - t / 2.0, colour, alpha)

    def rrect(self, x, y, w, h, rad, colour, alpha=1.0, soft=0.0):
        m = soft + 2
        self.shape((x - m, y - m, x + w + m, y + h + m),
                   lambda X, Y: sd_rrect(X, Y, x, y, w, h, rad), colour, alpha, soft)

    def rrect_outline(self, x, y, w, h, rad, t, colour, alpha=1.0):
        m = t + 2
        self.shape((x - m, y - m, x + w + m, y + h + m),
                   lambda X, Y: np.abs(sd_rrect(X, Y, x, y, w, h, rad)) - t / 2.0, colour, alpha)

    def segment(self, x0, y0, x1, y1, t, colour, alpha=1.0):
        m = t + 2
        self.shape((min(x0, x1) - m, min(y0, y1) - m, max(x0, x1) + m, max(y0, y1) + m),
                   lambda X, Y: sd_segment(X, Y, x0, y0, x1, y1) - t / 2.0, colour, alpha)

    def to_image(self):
        ss = self.ss
        a = self.px.reshape(self.h, ss, self.w, ss, 3).mean(axis=(1, 3))
        return a


def sd_rrect(X, Y, x, y, w, h, rad):
    rad = min(rad, w / 2.0, h / 2.0)
    cx, cy = x + w / 2.0, y + h / 2.0
    qx = np.abs(X - cx) - (w / 2.0 - rad)
    qy = np.abs(Y - cy) - (h / 2.0 - rad)
    outside = np.hypot(np.maximum(qx, 0), np.maximum(qy, 0))
    inside = np.minimum(np.maximum(qx, qy), 0)
    return outside + inside - rad


def sd_segment(X, Y, x0, y0, x1, y1):
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy
    if ll <= 1e-9:
        return np.hypot(X - x0, Y - y0)
    t = np.clip(((X - x0) * dx + (Y - y0) * dy) / ll, 0.0, 1.0)
    return np.hypot(X - (x0 + t * dx), Y - (y0 + t * dy))


def lerp(c0, c1, t):
    c0 = np.asarray(c0, np.float32)
    c1 = np.asarray(c1, np.float32)
    t = np.asarray(t, np.float32)[..., None]
    return c0 + (c1 - c0) * t


def vgrad(y0, y1, c0, c1):
    return lambda X, Y: lerp(c0, c1, np.clip((Y - y0) / max(1e-6, (y1 - y0)), 0, 1) + 0 * X)


def radial(cx, cy, r, c0, c1, power=1.0):
    return lambda X, Y: lerp(c0, c1, np.clip(np.hypot(X - cx, Y - cy) / r, 0, 1) ** power)


# ---------------------------------------------------------------------------
# Panel parts
# ---------------------------------------------------------------------------

def draw_face(c):
    W, H = c.w, c.h
    ss = c.ss
    ys = (np.arange(H * ss, dtype=np.float32) + 0.5) / ss
    xs = (np.arange(W * ss, dtype=np.float32) + 0.5) / ss
    # Warm enamel, a touch lighter in the upper middle like a lit panel.
    base = np.asarray(PANEL_BASE, np.float32)
    ny = (ys[:, None] / H - 0.38)
    nx = (xs[None, :] / W - 0.5)
    light = 1.0 + 0.018 - 0.05 * (nx * nx * 1.2 + ny * ny * 1.6)
    c.px[:] = base[None, None, :] * light[..., None]
    # Low-frequency mottling of the paint.
    rng = np.random.default_rng(1662)
    small = rng.normal(0.0, 1.0, (H // 24 + 2, W // 24 + 2)).astype(np.float32)
    mott = np.asarray(Image.fromarray(small).resize((W * ss, H * ss), Image.BICUBIC))
    c.px += mott[..., None] * 0.9


def draw_edge(c):
    W, H = c.w, c.h
    # Outer chamfer of the plate: dark edge, then a highlight on top/left and
    # a shadow on bottom/right.
    c.rrect_outline(0.5, 0.5, W - 1, H - 1, 3, 1.2, (120, 110, 92))
    c.rrect_outline(2.2, 2.2, W - 4.4, H - 4.4, 3, 1.0, (252, 247, 234), 0.85)
    c.segment(3, H - 3.2, W - 3, H - 3.2, 1.0, (170, 158, 134), 0.8)
    c.segment(W - 3.2, 3, W - 3.2, H - 3, 1.0, (170, 158, 134), 0.8)


def draw_screw(c, cx, cy, angle):
    c.circle(cx + 0.6, cy + 1.2, 8.4, (60, 52, 40), 0.35, soft=1.6)
    c.circle(cx, cy, 8.2, (150, 142, 128))                      # countersink
    c.circle(cx, cy, 7.2, radial(cx - 2.5, cy - 3.0, 11, (238, 236, 230), (120, 116, 108)))
    c.ring(cx, cy, 7.2, 0.7, (90, 86, 80))
    for a in (angle, angle + math.pi / 2):
        dx, dy = math.cos(a) * 4.4, math.sin(a) * 4.4
        c.segment(cx - dx, cy - dy, cx + dx, cy + dy, 1.9, (58, 55, 50))
        c.segment(cx - dx + 0.35, cy - dy + 0.6, cx + dx + 0.35, cy + dy + 0.6, 0.6, (200, 196, 188), 0.5)


# Section frames: (title, x, y, w, h, tab x)
SECTIONS_TOP_Y = 129.0
SECTIONS_TOP_BOTTOM = 516.0
SECTIONS_LOW_Y = 531.0
SECTIONS_LOW_BOTTOM = 821.0

FRAMES = [
    ("OSCILLATORS / INTERACTION", 36, SECTIONS_TOP_Y, 526, SECTIONS_TOP_BOTTOM - SECTIONS_TOP_Y),
    ("MIX / TRANSIENT",           572, SECTIONS_TOP_Y, 234, SECTIONS_TOP_BOTTOM - SECTIONS_TOP_Y),
    ("FILTER",                    816, SECTIONS_TOP_Y, 292, SECTIONS_TOP_BOTTOM - SECTIONS_TOP_Y),
    ("AMP / DRIVE",               1118, SECTIONS_TOP_Y, 240, SECTIONS_TOP_BOTTOM - SECTIONS_TOP_Y),
    ("LFO",                       1368, SECTIONS_TOP_Y, 258, SECTIONS_TOP_BOTTOM - SECTIONS_TOP_Y),
    ("2x8 STEP SEQUENCER",        36, SECTIONS_LOW_Y, 1322, SECTIONS_LOW_BOTTOM - SECTIONS_LOW_Y),
    ("CLOCK / HOST SYNC",         1368, SECTIONS_LOW_Y, 258, SECTIONS_LOW_BOTTOM - SECTIONS_LOW_Y),
]
TAB_H = 20.0
TAB_FONT = 14
TAB_PAD = 11.0
# Where a frame's title tab starts (default: frame x + 16).
TAB_X = {"2x8 STEP SEQUENCER": 417.0}

PRESET_STRIP = (36, 836, 1590, 96)


def tab_geometry(fonts, title, fx, fy):
    tw = text_width(fonts.get(FONT_BOLD, TAB_FONT), title, 1.6)
    x = TAB_X.get(title, fx + 16.0)
    return (x, fy - TAB_H / 2.0, tw + 2 * TAB_PAD, TAB_H)


def draw_frames(c, fonts):
    for title, x, y, w, h in FRAMES:
        c.rrect(x + 1.0, y + 1.4, w, h, 9, (120, 104, 76), 0.10, soft=1.5)
        c.rrect_outline(x, y, w, h, 9, 1.7, INK)
        tx, ty, tw, th = tab_geometry(fonts, title, x, y)
        c.rrect(tx - 3, ty - 1, tw + 6, th + 2, 5, PANEL_BASE)   # clear the line under the tab
        c.rrect(tx, ty, tw, th, 4, INK)


def draw_title_block(c):
    # Heavy rule with a thin red rule under the product name.
    c.segment(36, 104, 1626, 104, 2.4, INK)
    c.segment(36, 109.5, 1626, 109.5, 1.0, ACCENT_RED)


def draw_preset_strip(c):
    x, y, w, h = PRESET_STRIP
    c.rrect(x, y, w, h, 9, PANEL_SHADE)
    c.rrect(x + 1.0, y + 1.4, w, h, 9, (120, 104, 76), 0.10, soft=1.5)
    c.rrect_outline(x, y, w, h, 9, 1.7, INK)
    # A red accent bar at the left end, behind the strip title.
    c.rrect(x + 14, y + 18, 4, h - 36, 2, ACCENT_RED)


def draw_ticks(c, cx, cy, r1, r2, n, bipolar, colour=INK):
    for i in range(n):
        p = i / (n - 1.0)
        a = knob_angle(p)
        major = (i == 0 or i == n - 1 or (n > 1 and i * 2 == n - 1))
        if n > 12:
            major = major or (i % 2 == 0)
        ro = r2 + (1.6 if major else 0.0)
        t = 1.45 if major else 1.05
        if bipolar and i * 2 == n - 1:
            ro += 1.4
            t = 1.9
        ri = r1 if (major or n <= 12) else r1 + 1.2
        ca, sa = math.cos(a), math.sin(a)
        c.segment(cx + ca * ri, cy + sa * ri, cx + ca * ro, cy + sa * ro, t, colour, 0.88)


def draw_knob(c, cx, cy, kind):
    cap, skirt, _ti, _to, _n, ridges = KNOB_GEOMETRY[kind]
    big = kind == "large"
    # Contact shadow and a softer cast shadow.
    c.circle(cx + 0.6, cy + 1.3, skirt + 0.4, (0, 0, 0), 0.50, soft=1.2)
    c.circle(cx + 1.5, cy + 3.4, skirt + 0.8, (40, 30, 15), 0.28, soft=3.8 if big else 2.6)

    top = np.asarray((78, 75, 71), np.float32)
    bot = np.asarray((10, 10, 9), np.float32)

    def skirt_col(X, Y):
        t = np.clip((Y - (cy - skirt)) / (2 * skirt), 0, 1)
        col = lerp(top, bot, t ** 0.75)
        phi = np.arctan2(Y - cy, X - cx)
        # fluted grip: ridges catching the light from above
        rid = np.cos(phi * ridges)
        lit = np.clip(-np.sin(phi) * 0.55 + 0.45, 0, 1)
        col = col * (1.0 + (0.28 * rid * lit)[..., None]) + (7.0 * rid * lit)[..., None]
        return col

    c.circle(cx, cy, skirt, skirt_col)
    c.ring(cx, cy, skirt - 0.35, 0.7, KNOB_EDGE, 0.95)
    # Groove between grip and cap.
    c.ring(cx, cy, cap + 0.5, 1.1, (5, 5, 5))
    # Cap face: matte black with a soft dome highlight.
    c.circle(cx, cy, cap, radial(cx - 0.30 * cap, cy - 0.42 * cap, 1.5 * cap,
                                 (64, 62, 59), (19, 18, 17), 0.8))

    def rim_alpha(X, Y):
        phi = np.arctan2(Y - cy, X - cx)
        return np.clip(-np.sin(phi - 0.35), 0, 1) ** 1.5 * 0.55

    # Bevel of the cap edge, lit from the upper left.
    c.ring(cx, cy, cap - 0.7, 1.0, (190, 184, 172), rim_alpha)
    c.ring(cx, cy, cap - 0.6, 0.9, (0, 0, 0),
           lambda X, Y: np.clip(np.sin(np.arctan2(Y - cy, X - cx) - 0.35), 0, 1) * 0.5)
    # Satin sheen across the cap.
    c.circle(cx - 0.22 * cap, cy - 0.38 * cap, 0.46 * cap, (255, 250, 240), 0.05, soft=0.34 * cap)
    if big:
        # Concentric machining rings on the large caps.
        for k in range(3, int(cap) - 2, 3):
            c.ring(cx, cy, k, 0.45, (255, 255, 255), 0.02)


def draw_led_hole(c, x, y):
    c.circle(x + 0.3, y + 0.6, LED_BEZEL_R + 0.6, (60, 45, 25), 0.30, soft=1.0)
    c.circle(x, y, LED_BEZEL_R, radial(x - 2.0, y - 2.4, 9.0, (66, 62, 58), (14, 13, 12)))
    c.ring(x, y, LED_BEZEL_R - 0.3, 0.6, (6, 6, 5))
    c.circle(x, y, LED_LENS_R + 0.5, (8, 4, 3))
    c.circle(x, y, LED_LENS_R, radial(x - 1.1, y - 1.3, LED_LENS_R * 1.7, (92, 26, 20), (34, 8, 6)))
    c.circle(x - 1.5, y - 1.7, 1.25, (255, 220, 210), 0.32, soft=0.6)


def cap_rect_below(rect, led, width, gap=3.0):
    """Cap of a button whose LED sits under it: centred on the LED column."""
    x, y, w, h = rect
    top = y + 2.0
    bottom = led[1] - LED_BEZEL_R - gap
    return (led[0] - width / 2.0, top, width, bottom - top)


def cap_rect_right(rect, led, gap=4.5):
    x, y, w, h = rect
    left = x + 1.0
    right = led[0] - LED_BEZEL_R - gap
    return (left, y + 1.0, right - left, h - 2.0)


def draw_cap(c, r, style):
    x, y, w, h = r
    rad = 3.2
    # Recess in the panel around the cap.
    c.rrect(x - 2.4, y - 2.2, w + 4.8, h + 4.8, rad + 2.2, (168, 156, 132))
    c.rrect(x - 1.6, y - 1.4, w + 3.2, h + 3.2, rad + 1.5, (12, 11, 10))
    if style == "red":
        body_top, body_bot = (214, 88, 70), (120, 30, 22)
        face_top, face_bot = (196, 64, 50), (150, 40, 30)
        rim_hi = (255, 170, 150)
    else:
        body_top, body_bot = (66, 63, 60), (14, 13, 12)
        face_top, face_bot = (44, 42, 40), (26, 25, 23)
        rim_hi = (130, 126, 120)
    c.rrect(x, y, w, h, rad, vgrad(y, y + h, body_top, body_bot))
    c.rrect(x + 1.6, y + 1.3, w - 3.2, h - 3.6, rad - 1.0, vgrad(y, y + h, face_top, face_bot))
    c.segment(x + rad, y + 0.8, x + w - rad, y + 0.8, 0.7, rim_hi, 0.7)
    c.rrect_outline(x, y, w, h, rad, 0.7, (4, 4, 4), 0.9)


def draw_switch_bezel(c, r):
    x, y, w, h = r
    c.rrect(x - 4.2, y - 4.0, w + 8.4, h + 8.0, 5.5, (168, 156, 132))
    c.rrect(x - 3.2, y - 3.0, w + 6.4, h + 6.0, 4.8,
            vgrad(y - 3, y + h + 3, (40, 38, 35), (92, 88, 82)))
    c.rrect(x - 1.2, y - 1.0, w + 2.4, h + 2.0, 3.4, (6, 6, 5))
    c.rrect(x, y, w, h, 2.6, vgrad(y, y + h, (36, 35, 33), (8, 8, 7)))
    # The thumb resting position (the editor paints the live thumb over it).
    a = (x + 0.4, y + 0.6, w - 0.8, h - 1.2)
    tw, th = 0.57 * a[2], a[3] - 3.2
    c.rrect(a[0] + 1.6, a[1] + 1.6, tw, th, 2.2, vgrad(a[1], a[1] + th, (71, 70, 66), (28, 27, 25)))


def draw_display_bezel(c, r):
    x, y, w, h = r
    c.rrect(x - 5.0, y - 5.0, w + 10.0, h + 10.0, 7.0, (176, 164, 140))
    c.rrect(x - 4.0, y - 4.0, w + 8.0, h + 8.0, 6.0,
            vgrad(y - 4, y + h + 4, (70, 64, 56), (228, 218, 196)))
    c.rrect(x - 2.0, y - 2.0, w + 4.0, h + 4.0, 4.5, (10, 9, 8))
    c.rrect(x, y, w, h, 3.0, vgrad(y, y + h, (4, 3, 2), (16, 13, 11)))
    # Faint glass reflection fading down from the top edge.
    c.rrect(x + 1.5, y + 1.5, w - 3, h - 3, 2.5, (255, 240, 220),
            lambda X, Y: 0.05 * np.clip(1.0 - (Y - y) / (0.6 * h), 0, 1) ** 2)


def draw_bracket(c, x0, x1, y, gap_x0, gap_x1, up=3.5):
    col = INK
    c.segment(x0, y - up, x0, y, 1.1, col, 0.8)
    c.segment(x1, y - up, x1, y, 1.1, col, 0.8)
    if gap_x0 > x0:
        c.segment(x0, y, gap_x0, y, 1.1, col, 0.8)
    if x1 > gap_x1:
        c.segment(gap_x1, y, x1, y, 1.1, col, 0.8)


# ---------------------------------------------------------------------------
# Text
# ---------------------------------------------------------------------------

class Fonts:
    def __init__(self):
        self.cache = {}

    def get(self, path, size):
        key = (path, size)
        if key not in self.cache:
            self.cache[key] = ImageFont.truetype(path, size)
        return self.cache[key]


def text_width(font, s, tracking=0.0):
    if tracking == 0.0:
        return font.getlength(s)
    return sum(font.getlength(ch) for ch in s) + tracking * (len(s) - 1)


def cap_height(font):
    b = font.getbbox("H", anchor="ls")
    return -b[1]


class Printer:
    """Sets legends on an RGBA layer at panel resolution."""

    def __init__(self, size, fonts):
        self.layer = Image.new("RGBA", size, (0, 0, 0, 0))
        self.draw = ImageDraw.Draw(self.layer)
        self.fonts = fonts
        self.boxes = []  # (text, x, y, w, h) of every legend, for the overlap check

    def text(self, x, y, s, size, path=FONT_BOLD_COND, colour=INK, align="centre",
             valign="top", tracking=0.0, alpha=255, check=True):
        """Place s with its cap height starting at y (valign top), centred on y
        (valign middle) or with its baseline on y (valign base)."""
        font = self.fonts.get(path, size)
        ch = cap_height(font)
        if valign == "top":
            base = y + ch
        elif valign == "middle":
            base = y + ch / 2.0
        else:
            base = y
        w = text_width(font, s, tracking)
        if align == "centre":
            x0 = x - w / 2.0
        elif align == "right":
            x0 = x - w
        else:
            x0 = x
        fill = tuple(colour) + (alpha,)
        if tracking == 0.0:
            self.draw.text((round(x0), round(base)), s, font=font, fill=fill, anchor="ls")
        else:
            cx = x0
            for chr_ in s:
                self.draw.text((round(cx), round(base)), chr_, font=font, fill=fill, anchor="ls")
                cx += font.getlength(chr_) + tracking
        if check:
            self.boxes.append((s, x0, base - ch, w, ch))
        return (x0, base - ch, w, ch)


# ---------------------------------------------------------------------------
# The panel
# ---------------------------------------------------------------------------

LEGEND = 14          # knob and switch legends
OPTION = 13          # legends over choice caps
ROW = 14             # row and sub-panel titles
KNOB_LEGEND_GAP = 3.6
# Choice groups whose group legend sits above the option legends.
BRACKET_ABOVE = {"vcoEgShape"}


def legend_top_below_knob(kind, cy):
    return cy + KNOB_GEOMETRY[kind][3] + KNOB_LEGEND_GAP


def build_panel():
    fonts = Fonts()
    c = Canvas(L.PANEL_W, L.PANEL_H, SS)
    draw_face(c)
    draw_edge(c)
    draw_title_block(c)
    draw_frames(c, fonts)
    draw_preset_strip(c)

    # Shaded field behind the lane-length windows and the step knobs.
    c.rrect(354, 555, 1342 - 354, 254, 8, PANEL_SHADE)
    c.rrect_outline(354, 555, 1342 - 354, 254, 8, 1.0, DIVIDER, 0.9)
    # Step grid: beat grouping lines between the columns.
    xs = L.STEP_KNOB_COL_X
    for i in range(7):
        mx = (xs[i] + xs[i + 1]) / 2.0
        if i == 3:
            c.segment(mx, 558, mx, 806, 1.6, INK, 0.75)
        else:
            c.segment(mx, 562, mx, 802, 1.0, DIVIDER, 0.9)

    # Knob scales and bodies.
    for kid, kind, rect, (cx, cy), legend, bip in L.KNOBS:
        cap, skirt, ti, to, n, _r = KNOB_GEOMETRY[kind]
        if n:
            draw_ticks(c, cx, cy, ti, to, n, bip)
    for kid, rect, (cx, cy) in L.step_knobs():
        _cap, _skirt, ti, to, n, _r = KNOB_GEOMETRY["step"]
        draw_ticks(c, cx, cy, ti, to, n, kid.startswith("stepPitch"))

    # Group brackets under choice rows whose LEDs sit under the caps.
    bracket_gaps = {}
    for gid, glabel, side, buttons in L.CHOICE_GROUPS:
        if side != "below":
            continue
        leds = [b[2] for b in buttons]
        x0, x1 = leds[0][0] - 10, leds[-1][0] + 10
        w = text_width(fonts.get(FONT_BOLD_COND, LEGEND), glabel) + 10
        mid = (x0 + x1) / 2.0
        if gid in BRACKET_ABOVE:
            top = min(b[1][1] for b in buttons) + 2.0 - 5.5 - cap_height(fonts.get(FONT_BOLD_COND, OPTION))
            ybr = top - 8.0
            draw_bracket(c, x0, x1, ybr, mid - w / 2.0, mid + w / 2.0, up=-3.5)
        else:
            ybr = max(p[1] for p in leds) + LED_BEZEL_R + 8.0
            draw_bracket(c, x0, x1, ybr, mid - w / 2.0, mid + w / 2.0)
        bracket_gaps[gid] = (mid, ybr)

    # Display windows, switch slots, button caps, LED holes.
    for did, r in L.DISPLAYS:
        draw_display_bezel(c, r)
    for sid, legend, hit, slot, led in L.SWITCHES:
        draw_switch_bezel(c, slot)
    for gid, glabel, side, buttons in L.CHOICE_GROUPS:
        for label, rect, led in buttons:
            if side == "below":
                width = 32.0 if gid == "vcfMode" else 24.0
                draw_cap(c, cap_rect_below(rect, led, width), "dark")
            else:
                draw_cap(c, cap_rect_right(rect, led), "dark")
    for bid, legend, rect, led, side, style in L.BUTTONS:
        if side == "below":
            draw_cap(c, cap_rect_below(rect, led, 34.0), style)
        else:
            draw_cap(c, cap_rect_right(rect, led), style)
    for (x, y) in L.all_leds():
        draw_led_hole(c, x, y)

    for kid, kind, rect, (cx, cy), legend, bip in L.KNOBS:
        draw_knob(c, cx, cy, kind)
    for kid, rect, (cx, cy) in L.step_knobs():
        draw_knob(c, cx, cy, "step")

    for (sx, sy, a) in ((20, 20, 0.5), (L.PANEL_W - 20, 20, 1.1),
                        (20, L.PANEL_H - 20, 0.2), (L.PANEL_W - 20, L.PANEL_H - 20, 0.8)):
        draw_screw(c, sx, sy, a)

    draw_logo_geometry(c)

    arr = c.to_image()
    # Fine grain of the enamel.
    rng = np.random.default_rng(946)
    arr += rng.normal(0.0, 1.1, arr.shape[:2]).astype(np.float32)[..., None]
    img = Image.fromarray(np.clip(arr + 0.5, 0, 255).astype(np.uint8), "RGB").convert("RGBA")

    pr = Printer(img.size, fonts)
    print_legends(pr, fonts, bracket_gaps)
    img = Image.alpha_composite(img, pr.layer)
    report_overlaps(pr.boxes)
    return img.convert("RGB")


def footprints():
    """Printed and moulded parts that no legend may touch: ("circle", x, y, r)
    or ("rect", x, y, w, h)."""
    out = []
    for kid, kind, rect, (cx, cy), legend, bip in L.KNOBS:
        g = KNOB_GEOMETRY[kind]
        out.append((kid, ("circle", cx, cy, (g[3] + 1.6) if g[4] else g[1] + 1.0)))
    for kid, rect, (cx, cy) in L.step_knobs():
        out.append((kid, ("circle", cx, cy, KNOB_GEOMETRY["step"][3] + 1.6)))
    for i, (x, y) in enumerate(L.all_leds()):
        out.append(("led%d" % i, ("circle", x, y, LED_BEZEL_R)))
    for gid, glabel, side, buttons in L.CHOICE_GROUPS:
        for label, rect, led in buttons:
            if side == "below":
                r = cap_rect_below(rect, led, 32.0 if gid == "vcfMode" else 24.0)
            else:
                r = cap_rect_right(rect, led)
            out.append((gid + ":" + label, ("rect", r[0] - 2.4, r[1] - 2.2, r[2] + 4.8, r[3] + 4.8)))
    for bid, legend, rect, led, side, style in L.BUTTONS:
        r = cap_rect_below(rect, led, 34.0) if side == "below" else cap_rect_right(rect, led)
        out.append((bid, ("rect", r[0] - 2.4, r[1] - 2.2, r[2] + 4.8, r[3] + 4.8)))
    for sid, legend, hit, slot, led in L.SWITCHES:
        x, y, w, h = slot
        out.append((sid, ("rect", x - 4.2, y - 4.0, w + 8.4, h + 8.0)))
    for did, (x, y, w, h) in L.DISPLAYS:
        out.append((did, ("rect", x - 5.0, y - 5.0, w + 10.0, h + 10.0)))
    frames = [(t, x, y, w, h) for t, x, y, w, h in FRAMES] + [("preset strip",) + tuple(PRESET_STRIP)]
    for t, x, y, w, h in frames:
        for edge in ((x, y - 1, w, 2), (x, y + h - 1, w, 2), (x - 1, y, 2, h), (x + w - 1, y, 2, h)):
            out.append(("frame " + t, ("rect",) + edge))
    return out


def report_overlaps(boxes, margin=1.0):
    """Warns about legends that touch each other or a part of the panel."""
    def rect_hits(a, b):
        return not (a[0] + a[2] + margin <= b[0] or b[0] + b[2] + margin <= a[0] or
                    a[1] + a[3] + margin <= b[1] or b[1] + b[3] + margin <= a[1])

    problems = []
    for i, (s1, x, y, w, h) in enumerate(boxes):
        for (s2, x2, y2, w2, h2) in boxes[i + 1:]:
            if rect_hits((x, y, w, h), (x2, y2, w2, h2)):
                problems.append("legend %r touches legend %r" % (s1, s2))
        for name, fp in footprints():
            if fp[0] == "circle":
                _k, cx, cy, r = fp
                nx = min(max(cx, x), x + w)
                ny = min(max(cy, y), y + h)
                if math.hypot(nx - cx, ny - cy) < r + margin:
                    problems.append("legend %r touches %s" % (s1, name))
            elif rect_hits((x, y, w, h), fp[1:]):
                problems.append("legend %r touches %s" % (s1, name))
    for p in problems:
        print("warning:", p, file=sys.stderr)
    return problems


LOGO_X = 1300.0
LOGO_Y = 884.0


def draw_logo_geometry(c):
    # Maker's mark: a red disc with a cream pulse trace.
    cx, cy, r = LOGO_X, LOGO_Y, 22.0
    c.circle(cx + 0.5, cy + 1.0, r + 0.5, (60, 40, 20), 0.25, soft=1.5)
    c.circle(cx, cy, r, radial(cx - 6, cy - 8, 34, (206, 72, 56), (150, 38, 28)))
    c.ring(cx, cy, r - 0.3, 0.8, (90, 24, 18))
    pts = [(-15, 3), (-7, 3), (-4, -9), (0, 12), (4, -14), (7, 3), (15, 3)]
    for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
        c.segment(cx + x0, cy + y0, cx + x1, cy + y1, 2.2, PANEL_BASE)


def print_legends(pr, fonts, bracket_gaps):
    cream = PANEL_BASE

    # Product name and subtitle.
    pr.text(40, 38, "PULSKAR-16", 46, FONT_BOLD_OBLIQUE, INK, "left", "top", tracking=1.0)
    pr.text(42, 88, "MONOPHONIC PERCUSSION SYNTHESISER", 13, FONT_BOLD_COND, INK, "left", "middle",
            tracking=2.2)
    pr.text(1622, 52, "ANALOGUE-STYLE PERCUSSION VOICE", 14, FONT_BOLD_COND, INK, "right", "middle",
            tracking=2.0)
    pr.text(1622, 80, "VCO  \u00b7  VCF  \u00b7  VCA  \u00b7  LFO  \u00b7  2\u00d78 STEP SEQUENCER", 13,
            FONT_BOLD_COND, ACCENT_RED, "right", "middle", tracking=1.6)

    # Section tabs.
    for title, x, y, w, h in FRAMES:
        tx, ty, tw, th = tab_geometry(fonts, title, x, y)
        pr.text(tx + TAB_PAD, ty + th / 2.0, title, TAB_FONT, FONT_BOLD, cream, "left", "middle",
                tracking=1.6, check=False)

    # Sub-panel titles.
    sub = [("VCO 1", 50, 150, "left"), ("VCO 2", 50, 300, "left"), ("INTERACTION", 50, 412, "left"),
           ("NOISE", 586, 150, "left"), ("CLICK", 586, 330, "left"),
           ("AMP", 1238, 150, "centre"), ("DRIVE", 1231.5, 392, "centre")]
    for s, x, y, al in sub:
        pr.text(x, y, s, ROW, FONT_BOLD, ACCENT_RED, al, "top", tracking=1.2)

    # Knob legends.
    for kid, kind, rect, (cx, cy), legend, bip in L.KNOBS:
        if kid == "clockMult":
            continue
        if kid == "swing":
            pr.text(cx + 28, cy, legend, LEGEND, align="left", valign="middle")
            continue
        pr.text(cx, legend_top_below_knob(kind, cy), legend, LEGEND)

    # Choice rows.
    for gid, glabel, side, buttons in L.CHOICE_GROUPS:
        if side == "below":
            for label, rect, led in buttons:
                width = 32.0 if gid == "vcfMode" else 24.0
                cr = cap_rect_below(rect, led, width)
                pr.text(led[0], cr[1] - 5.5, label, OPTION, valign="base")
            mid, ybr = bracket_gaps[gid]
            pr.text(mid, ybr, glabel, LEGEND, valign="middle")
        else:
            for label, rect, led in buttons:
                x, y, w, h = rect
                pr.text(x + w / 2.0, y + h + 4.0, label, OPTION)
            x0 = buttons[0][1][0]
            pr.text(x0, buttons[0][1][1] - 15.0, glabel, ROW, FONT_BOLD, INK, "left", "top", tracking=0.8)

    # Buttons.
    for bid, legend, rect, led, side, style in L.BUTTONS:
        x, y, w, h = rect
        if bid == "velocityClear":
            pr.text(led[0] + 11, led[1], legend, OPTION, align="left", valign="middle")
        elif side == "right":
            pr.text(x + w / 2.0, y + h + 4.0, legend, OPTION)
        else:
            cr = cap_rect_below(rect, led, 34.0)
            pr.text(led[0], cr[1] - 5.5, legend, OPTION, valign="base")
    # Arrows printed on the PREV and NEXT caps.
    for bid, glyph in (("prevPreset", "\u25c0"), ("nextPreset", "\u25b6")):
        b = [b for b in L.BUTTONS if b[0] == bid][0]
        cr = cap_rect_below(b[2], b[3], 34.0)
        pr.text(cr[0] + cr[2] / 2.0, cr[1] + cr[3] / 2.0 - 0.5, glyph, 11, FONT_BOLD, (226, 216, 196),
                valign="middle", check=False)

    # Switches.
    for sid, legend, hit, slot, led in L.SWITCHES:
        x, y, w, h = hit
        sx, sy, sw, sh = slot
        pr.text((sx + led[0]) / 2.0 + 2, sy + sh + 8.0, legend, LEGEND)
        pr.text(led[0], led[1] - LED_BEZEL_R - 4.0, "ON", 11, valign="base")

    d = [d for d in L.DISPLAYS if d[0] == "lfoDest"][0][1]
    pr.text(d[0] + d[2] / 2.0, d[1] + d[3] + 9.0, "DESTINATION", LEGEND)

    # Sequencer left block.
    rows = [("VELOCITY", 677.5), ("MOD A", 722.0), ("MOD B", 779.0)]
    for s, y in rows:
        pr.text(60, y, s, ROW, FONT_BOLD, INK, "left", "middle", tracking=0.8)
    pr.text(385, 578, "STEPS", OPTION, valign="base")
    for i, (x, y) in enumerate(L.STEP_LEDS):
        pr.text(x + 11.0, y, str(i + 1), 15, FONT_BOLD, INK, "left", "middle")

    # Clock multiplier ring.
    for label, (x, y) in L.CLOCK_LEDS:
        if label == "1X":
            pr.text(x, y - LED_BEZEL_R - 3.5, label, OPTION, valign="base")
        elif x < 1495:
            pr.text(x - 10, y, label, OPTION, align="right", valign="middle")
        else:
            pr.text(x + 10, y, label, OPTION, align="left", valign="middle")
    pr.text(1495.6, 556, "CLOCK MULT", LEGEND, valign="base")

    # Preset strip.
    x, y, w, h = PRESET_STRIP
    pr.text(x + 28, y + 32, "PRESET", 20, FONT_BOLD, INK, "left", "top", tracking=2.0)
    pr.text(x + 29, y + 60, "PATCH SELECTION / UTILITY", 11, FONT_BOLD_COND, INK, "left", "top",
            tracking=0.4)
    nx, _ny, nw, _nh = pr.text(LOGO_X + 36, LOGO_Y, "NORRVALE", 28, FONT_BOLD, INK, "left", "middle",
                               tracking=3.2)
    pr.text(nx + nw + 13, LOGO_Y, "DSP", 28, FONT_BOLD, ACCENT_RED, "left", "middle", tracking=3.2)


# ---------------------------------------------------------------------------
# Lit LED
# ---------------------------------------------------------------------------

def build_led():
    """48 x 48 RGBA: a red lens of about 12 px with a soft halo fading out
    about 15 px from the centre, transparent corners."""
    n = 48
    ss = 4
    ys, xs = np.mgrid[0:n * ss, 0:n * ss].astype(np.float32)
    X = (xs + 0.5) / ss
    Y = (ys + 0.5) / ss
    cx = cy = n / 2.0
    d = np.hypot(X - cx, Y - cy)
    lens_r = 6.0
    rgb = np.zeros((n * ss, n * ss, 3), np.float32)
    alpha = np.zeros((n * ss, n * ss), np.float32)

    # Halo: colour of the lit lens, low alpha, gone by about 15 px.
    t = np.clip((d - lens_r) / (15.5 - lens_r), 0, 1)
    halo = 0.46 * (1.0 - smoothstep(0.0, 1.0, t)) ** 1.6
    rgb[:] = LED_RED
    alpha[:] = halo

    # Dark rim around the lens (the panel bezel seen through the glow).
    rim = np.clip(1.0 - np.abs(d - 6.6) / 0.9, 0, 1)
    rim_col = np.asarray((110, 16, 22), np.float32)
    a_rim = rim * 0.9
    rgb = rgb * (1 - a_rim[..., None]) + rim_col * a_rim[..., None]
    alpha = alpha + (1 - alpha) * a_rim

    # Lens: opaque, hot white-pink core falling to saturated red at the edge.
    lens_cov = np.clip((lens_r - d) * ss * 0.5 + 0.5, 0, 1)
    dl = np.hypot(X - (cx - 0.9), Y - (cy - 1.1)) / lens_r
    core = np.asarray((255, 236, 226), np.float32)
    mid = np.asarray((255, 70, 72), np.float32)
    edge = np.asarray((196, 22, 36), np.float32)
    lens = np.where((dl < 0.45)[..., None],
                    lerp(core, mid, np.clip(dl / 0.45, 0, 1)),
                    lerp(mid, edge, np.clip((dl - 0.45) / 0.65, 0, 1)))
    rgb = rgb * (1 - lens_cov[..., None]) + lens * lens_cov[..., None]
    alpha = alpha + (1 - alpha) * lens_cov

    # Reduce: average colour weighted by alpha (premultiplied), then unpremultiply.
    pm = rgb * alpha[..., None]
    pm = pm.reshape(n, ss, n, ss, 3).mean(axis=(1, 3))
    a = alpha.reshape(n, ss, n, ss).mean(axis=(1, 3))
    col = np.where(a[..., None] > 1e-6, pm / np.maximum(a[..., None], 1e-6), 0)
    a8 = np.clip(a * 255 + 0.5, 0, 255).astype(np.uint8)
    col8 = np.clip(col + 0.5, 0, 255).astype(np.uint8)
    col8[a8 == 0] = 0
    out = np.dstack([col8, a8])
    return Image.fromarray(out, "RGBA")


def main(argv=None):
    here = os.path.dirname(os.path.abspath(__file__))
    default_out = os.path.normpath(os.path.join(here, "..", "..", "resources"))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=default_out, help="output folder (default: %(default)s)")
    args = ap.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)

    panel = build_panel()
    assert panel.size == (L.PANEL_W, L.PANEL_H)
    panel_path = os.path.join(args.out, "orra_kv_panel.png")
    panel.save(panel_path, optimize=True)

    led = build_led()
    led_path = os.path.join(args.out, "pulskar16_red_panel_on_48.png")
    led.save(led_path, optimize=True)
    print("wrote", panel_path)
    print("wrote", led_path)


if __name__ == "__main__":
    main()
