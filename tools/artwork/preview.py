#!/usr/bin/python3
"""Previews of the panel artwork, for checking it by eye (not part of the build).

    /usr/bin/python3 tools/artwork/preview.py [--panel PNG] [--led PNG] [--out DIR]

writes into DIR (default /tmp/pulskar16_artwork):
  live_1662.png, live_1320.png, live_960.png  the panel as the editor shows it,
      with lit LEDs, switch thumbs, display text and knob pointers painted the
      way the editor paints them, at full size and at the default and smallest
      editor sizes;
  plain_1320.png, plain_960.png  the bare artwork scaled to those sizes;
  check_alignment.png  the artwork with every control rectangle (green),
      knob pointer centre (magenta), LED point (cyan), switch slot (yellow)
      and display window (orange) drawn over it.
"""

import argparse
import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import panel_layout as L  # noqa: E402
from make_artwork import knob_angle  # noqa: E402

MONO = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"


def reduce_led_spill(img, fade_start, fade_width):
    a = np.asarray(img.convert("RGBA"), np.float32)
    h, w = a.shape[:2]
    ys, xs = np.mgrid[0:h, 0:w].astype(np.float32)
    d = np.hypot(xs + 0.5 - w / 2.0, ys + 0.5 - h / 2.0)
    t = np.clip((d - fade_start) / fade_width, 0, 1)
    s = t * t * (3 - 2 * t)
    a[..., 3] *= (1 - 0.88 * s)
    return Image.fromarray(np.clip(a + 0.5, 0, 255).astype(np.uint8), "RGBA")


def soften_rim(img, rim):
    a = np.asarray(img.convert("RGBA"), np.float32)
    h, w = a.shape[:2]
    ys, xs = np.mgrid[0:h, 0:w].astype(np.float32)
    d = np.hypot(xs + 0.5 - w / 2.0, ys + 0.5 - h / 2.0)
    g = np.exp(-0.5 * ((d - 6.6) / 1.25) ** 2)
    k = g * 0.56 * np.clip((190 - a[..., 0]) / 85.0, 0, 1)
    rim = np.asarray(rim, np.float32)
    a[..., :3] = a[..., :3] + (rim - a[..., :3]) * k[..., None]
    return Image.fromarray(np.clip(a + 0.5, 0, 255).astype(np.uint8), "RGBA")


class Live:
    """Paints the moving parts over the artwork, in panel coordinates, at an
    oversampled resolution. Every part is drawn on a small patch and composited
    in place."""

    def __init__(self, panel, led, scale=3):
        self.k = scale
        self.base = panel.convert("RGBA").resize((panel.width * scale, panel.height * scale), Image.LANCZOS)
        self.red = led.convert("RGBA")
        self.flash = reduce_led_spill(self.red, 7.5, 6.5)
        self.steady = reduce_led_spill(soften_rim(self.red, (0xdf, 0x55, 0x59)), 7.5, 6.5)

    def patch(self, x0, y0, x1, y1, paint):
        """paint(draw, ox, oy) draws with panel coords mapped by (v * k - o)."""
        k = self.k
        px0, py0 = int(math.floor(x0 * k)) - 2, int(math.floor(y0 * k)) - 2
        px1, py1 = int(math.ceil(x1 * k)) + 2, int(math.ceil(y1 * k)) + 2
        lay = Image.new("RGBA", (px1 - px0, py1 - py0), (0, 0, 0, 0))
        paint(ImageDraw.Draw(lay), px0, py0)
        self.base.alpha_composite(lay, (px0, py0))

    def rrect(self, x, y, w, h, r, fill=None, outline=None, width=1.0):
        k = self.k

        def paint(d, ox, oy):
            d.rounded_rectangle([x * k - ox, y * k - oy, (x + w) * k - ox, (y + h) * k - oy], radius=r * k,
                                fill=fill, outline=outline, width=max(1, int(round(width * k))))
        self.patch(x, y, x + w, y + h, paint)

    def line(self, x0, y0, x1, y1, col, width):
        k = self.k

        def paint(d, ox, oy):
            d.line([x0 * k - ox, y0 * k - oy, x1 * k - ox, y1 * k - oy], fill=col,
                   width=max(1, int(round(width * k))))
        self.patch(min(x0, x1) - 2, min(y0, y1) - 2, max(x0, x1) + 2, max(y0, y1) + 2, paint)

    def led(self, x, y, flash):
        radius = 3.8
        img = self.flash if flash else self.steady
        size = int(round(48 * radius / 5.0 * self.k))
        im = img.resize((size, size), Image.LANCZOS)
        px, py = int(round(x * self.k - size / 2.0)), int(round(y * self.k - size / 2.0))
        self.base.alpha_composite(im, (px, py))
        if not flash:
            a = np.asarray(im, np.float32)
            a[..., 3] *= 0.2
            self.base.alpha_composite(Image.fromarray(a.astype(np.uint8), "RGBA"), (px, py))
            g = 0.72 * radius
            k = self.k

            def paint(d, ox, oy):
                n = 12
                for i in range(n, 0, -1):
                    rr = g * i / n * k
                    d.ellipse([x * k - rr - ox, y * k - rr - oy, x * k + rr - ox, y * k + rr - oy],
                              fill=(255, 235, 225, int(0x21 * (1 - i / n) + 2)))
            self.patch(x - g, y - g, x + g, y + g, paint)

    def toggle(self, r, on):
        x, y, w, h = r
        ax, ay, aw, ah = x + 0.4, y + 0.6, w - 0.8, h - 1.2
        self.rrect(ax + 0.8, ay + 1.5, aw, ah, 2.6, fill=(0, 0, 0, 0x66))
        self.rrect(ax, ay, aw, ah, 2.6, fill=(0x16, 0x15, 0x14, 255), outline=(5, 5, 5, 255), width=0.9)
        tw, th = 0.57 * aw, ah - 3.2
        ty = ay + 1.6
        tx = ax + aw - tw - 1.6 if on else ax + 1.6
        self.rrect(tx + 0.7, ty + 1, tw, th, 2.2, fill=(0, 0, 0, 0x55))
        self.rrect(tx, ty, tw, th, 2.2, fill=(0x33, 0x32, 0x2f, 255), outline=(0x11, 0x10, 0x0f, 255), width=0.9)
        self.line(tx + 2, ty + 1.5, tx + tw - 2, ty + 1.5, (255, 255, 255, 0x44), 0.7)

    def display(self, r, text, fh):
        x, y, w, h = r
        k = self.k
        self.rrect(x, y, w, h, 3, fill=(3, 2, 1, 0xee))
        self.rrect(x + 0.5, y + 0.5, w - 1, h - 1, 3, outline=(0x17, 0x13, 0x13, 255), width=1)
        font = ImageFont.truetype(MONO, int(round(fh / 1.164 * k)))
        text = text.upper()
        for (dx, dy, col) in ((6, 3, (0xff, 0x1f, 0x18, 0x33)), (8, 3, (0xff, 0x1f, 0x18, 0x33)),
                              (7, 3, (0xff, 0x3a, 0x2f, 0xf0)), (7, 2, (0xff, 0x8a, 0x78, 0x57))):
            cy = y + dy + (h - 6) / 2.0

            def paint(d, ox, oy, dx=dx, cy=cy, col=col):
                d.text(((x + dx) * k - ox, cy * k - oy), text, font=font, fill=col, anchor="lm")
            self.patch(x, y, x + w, y + h, paint)

    def pointer(self, cx, cy, p, length):
        a = knob_angle(p)
        self.line(cx, cy, cx + math.cos(a) * length, cy + math.sin(a) * length, (0xf5, 0xef, 0xe0, 255), 1.6)

    def result(self, size):
        return self.base.convert("RGB").resize(size, Image.LANCZOS)


def live_panel(panel, led, size):
    lv = Live(panel, led)
    rng = np.random.default_rng(7)
    # Switches: sync and bypass of the noise on.
    states = {"hardSync": True, "noiseVcfBypass": True, "clickVcfBypass": False, "lfoSync": False,
              "lfoRetrig": True}
    for sid, _leg, _hit, slot, led_pt in L.SWITCHES:
        lv.toggle(slot, states[sid])
    texts = {"preset": "FAC 010  Snare", "lfoDest": "CUTOFF", "modADest": "VCO1 PITCH",
             "modBDest": "OFF", "pitchSteps": "16", "velSteps": "8", "modASteps": "12", "modBSteps": "5"}
    for did, r in L.DISPLAYS:
        lv.display(r, texts[did], 23 if did == "preset" else 19)
    lit = [L.CHOICE_GROUPS[0][3][2][2], L.CHOICE_GROUPS[1][3][0][2], L.CHOICE_GROUPS[2][3][1][2],
           L.CHOICE_GROUPS[3][3][0][2], L.CHOICE_GROUPS[4][3][1][2], L.CHOICE_GROUPS[5][3][0][2]]
    for sid, _leg, _hit, slot, led_pt in L.SWITCHES:
        if states[sid]:
            lit.append(led_pt)
    for bid, _leg, _r, led_pt, _side, _st in L.BUTTONS:
        if bid in ("patternA", "runStop"):
            lit.append(led_pt)
    lit.append(L.STEP_LEDS[2])
    for x, y in lit:
        lv.led(x, y, False)
    lv.led(*[b[3] for b in L.BUTTONS if b[0] == "trigger"][0], True)
    for kid, kind, rect, (cx, cy), _leg, _b in L.KNOBS:
        if kid == "clockMult":
            continue
        r = (min(rect[2], rect[3]) - 4) / 2.0
        lv.pointer(cx, cy, rng.uniform(0, 1), r * (0.86 if kind == "large" else 0.68))
    for kid, rect, (cx, cy) in L.step_knobs():
        r = (min(rect[2], rect[3]) - 2) / 2.0
        lv.pointer(cx, cy, rng.uniform(0, 1), r * 0.68)
    # clock multiplier lamp "2x" and its pointer
    lab, (lx, ly) = L.CLOCK_LEDS[5]
    lv.led(lx, ly, False)
    ox, oy = 1495.6, 612.6
    dx, dy = lx - ox, ly - oy
    n = math.hypot(dx, dy)
    ln = 0.68 * 47 / 2.0
    lv.line(ox, oy, ox + dx / n * ln, oy + dy / n * ln, (0xf5, 0xef, 0xe0, 255), 1.6)
    return lv.result(size)


def check_alignment(panel):
    k = 2
    img = panel.convert("RGB").resize((panel.width * k, panel.height * k), Image.LANCZOS)
    d = ImageDraw.Draw(img)

    def box(r, col, w=1):
        x, y, ww, hh = r
        d.rectangle([x * k, y * k, (x + ww) * k - 1, (y + hh) * k - 1], outline=col, width=w)

    for name, r in L.hit_rects():
        box(r, (0, 255, 0), 2)
    for sid, _leg, _hit, slot, _led in L.SWITCHES:
        box(slot, (255, 230, 0), 1)
    for did, r in L.DISPLAYS:
        box(r, (255, 140, 0), 1)
    for x, y in L.all_leds():
        rr = 3.8 * k
        d.ellipse([x * k - rr, y * k - rr, x * k + rr, y * k + rr], outline=(0, 255, 255), width=1)
    pts = [k_[3] for k_ in L.KNOBS] + [s[2] for s in L.step_knobs()]
    for x, y in pts:
        d.line([x * k - 6, y * k, x * k + 6, y * k], fill=(255, 0, 255), width=1)
        d.line([x * k, y * k - 6, x * k, y * k + 6], fill=(255, 0, 255), width=1)
    return img


def main(argv=None):
    res = os.path.normpath(os.path.join(HERE, "..", "..", "resources"))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--panel", default=os.path.join(res, "orra_kv_panel.png"))
    ap.add_argument("--led", default=os.path.join(res, "pulskar16_red_panel_on_48.png"))
    ap.add_argument("--out", default="/tmp/pulskar16_artwork")
    args = ap.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    panel = Image.open(args.panel)
    led = Image.open(args.led)
    for w, h in ((1320, 751), (960, 546)):
        panel.convert("RGB").resize((w, h), Image.LANCZOS).save(os.path.join(args.out, "plain_%d.png" % w))
    for w, h in ((1662, 946), (1320, 751), (960, 546)):
        live_panel(panel, led, (w, h)).save(os.path.join(args.out, "live_%d.png" % w))
    check_alignment(panel).save(os.path.join(args.out, "check_alignment.png"))
    big = led.convert("RGBA").resize((384, 384), Image.NEAREST)
    bg = Image.new("RGBA", big.size, (238, 226, 200, 255))
    Image.alpha_composite(bg, big).convert("RGB").save(os.path.join(args.out, "led_x8.png"))
    print("previews in", args.out)


if __name__ == "__main__":
    main()
