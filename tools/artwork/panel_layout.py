"""Positions of everything printed on the PULSKAR-16 front panel.

All numbers are panel coordinates: pixels of the 1662 x 946 artwork, origin top
left, y downwards. The editor lays its invisible controls over exactly these
places, so the artwork must put every knob body, LED hole, switch slot, button
cap and display window where this table says. The table is the only place in
the generator that knows where things are.
"""

PANEL_W = 1662
PANEL_H = 946

# ---------------------------------------------------------------------------
# Knobs.  "rect" is the editor's hit rectangle; "centre" is the point the
# editor rotates the pointer around, so the knob body is centred there.
#   kind: large (101 px hit area), small (43), step (45, step lanes),
#         swing (45), clock (47, the multiplier knob, no scale: LED ring)
#   bipolar knobs get an emphasised centre tick.
# ---------------------------------------------------------------------------

def _large_centre(rect, lift):
    x, y, w, h = rect
    return (x + w / 2.0, y + h / 2.0 - lift)


KNOBS = [
    # id,            kind,    rect (x, y, w, h),              centre,            legend,       bipolar
    ("vco1Level",   "small", (51.5, 191, 43, 43),     (73.0, 207.2),    "LEVEL",      False),
    ("vco1Freq",    "large", (339, 163.5, 101, 101),  None,             "FREQ",       False),
    ("vco1EgAmt",   "small", (492.5, 157, 43, 43),    (513.5, 173.7),   "EG AMT",     True),
    ("vcoDecay",    "small", (492.5, 233, 43, 43),    (513.5, 248.7),   "DECAY",      False),
    ("vco2Level",   "small", (51.5, 332, 43, 43),     (73.0, 347.7),    "LEVEL",      False),
    ("vco2Freq",    "large", (339, 307.5, 101, 101),  None,             "FREQ",       False),
    ("vco2EgAmt",   "small", (492.5, 314, 43, 43),    (513.5, 329.7),   "EG AMT",     True),
    ("vco2Decay",   "small", (493, 383.5, 43, 43),    (513.5, 398.7),   "DECAY",      False),
    ("fmAmount",    "small", (272.5, 442, 43, 43),    (294.0, 458.2),   "FM AMOUNT",  False),
    ("untz",        "small", (373, 442, 43, 43),      (394.5, 458.7),   "UNTZ",       True),
    ("noiseLevel",  "small", (591, 181.5, 43, 43),    (612.5, 197.2),   "LEVEL",      False),
    ("noiseColor",  "small", (669, 182, 43, 43),      (690.0, 197.2),   "COLOR",      True),
    ("noiseDecay",  "small", (743, 181.5, 43, 43),    (764.5, 197.2),   "DECAY",      False),
    ("clickLevel",  "small", (591.5, 360, 43, 43),    (612.5, 375.7),   "LEVEL",      False),
    ("clickTune",   "small", (669, 359.5, 43, 43),    (690.5, 376.2),   "TUNE",       False),
    ("clickDecay",  "small", (743, 360, 43, 43),      (764.5, 376.2),   "DECAY",      False),
    ("cutoff",      "large", (844, 241, 101, 101),    None,             "CUTOFF",     False),
    ("resonance",   "large", (985, 241, 101, 101),    None,             "RESONANCE",  False),
    ("vcfDecay",    "small", (846, 413, 43, 43),      (867.0, 428.2),   "DECAY",      False),
    ("vcfEgAmt",    "small", (933.5, 413.5, 43, 43),  (955.0, 427.7),   "EG AMT",     True),
    ("noiseVcfMod", "small", (1022.5, 413, 43, 43),   (1044.0, 428.7),  "NOISE MOD",  False),
    ("vcaEg",       "small", (1156.5, 164.5, 43, 43), (1178.0, 177.7),  "VCA EG",     False),
    ("vcaDecay",    "small", (1276, 164, 43, 43),     (1297.5, 177.7),  "DECAY",      False),
    ("volume",      "large", (1188.5, 244, 101, 101), None,             "VOLUME",     False),
    ("preDrive",    "small", (1157.5, 413.5, 43, 43), (1179.0, 428.2),  "PRE DRIVE",  False),
    ("postDrive",   "small", (1262, 413.5, 43, 43),   (1284.0, 428.2),  "POST DRIVE", False),
    ("lfoRate",     "small", (1414.5, 163, 43, 43),   (1436.0, 177.7),  "RATE",       False),
    ("lfoAmt",      "small", (1538, 162.5, 43, 43),   (1559.5, 177.7),  "AMOUNT",     False),
    ("clockMult",   "clock", (1472.5, 592.5, 47, 47), (1495.6, 612.6),  "CLOCK MULT", False),
    ("swing",       "swing", (1473, 702, 45, 45),     (1495.4, 720.0),  "SWING",      False),
]

# The five large knobs turn around their hit-area centre lifted by these amounts.
LARGE_KNOB_LIFT = {"vco1Freq": 10, "vco2Freq": 7, "cutoff": 8, "resonance": 8, "volume": 8}

for _i, _k in enumerate(KNOBS):
    if _k[3] is None:
        KNOBS[_i] = _k[:3] + (_large_centre(_k[2], LARGE_KNOB_LIFT[_k[0]]),) + _k[4:]

# Step lanes: 8 columns x 4 rows of knobs (pages A and B share the places).
STEP_HIT_COL_X = [430.2, 557.0, 683.2, 808.9, 934.5, 1059.6, 1185.9, 1310.7]
STEP_HIT_ROW_Y = {"stepPitch": 580.5, "stepVel": 641.0, "stepModA": 698.2, "stepModB": 754.8}
STEP_KNOB_COL_X = [430.2, 556.7, 682.9, 808.6, 934.4, 1059.5, 1185.6, 1312.2]
STEP_KNOB_ROW_Y = {"stepPitch": 599.3, "stepVel": 660.3, "stepModA": 717.5, "stepModB": 774.3}
STEP_LANES = ["stepPitch", "stepVel", "stepModA", "stepModB"]
STEP_LEDS = [(429.2, 568.1), (555.3, 568.0), (682.0, 568.0), (808.2, 567.9),
             (933.4, 567.9), (1058.1, 568.0), (1184.9, 568.1), (1311.0, 568.1)]


def step_knobs():
    """(id, hit rect, centre) for the 32 visible step knob places (page A names)."""
    out = []
    for lane in STEP_LANES:
        for c in range(8):
            rect = (STEP_HIT_COL_X[c] - 22.5, STEP_HIT_ROW_Y[lane], 45, 45)
            out.append(("%s%d" % (lane, c), rect, (STEP_KNOB_COL_X[c], STEP_KNOB_ROW_Y[lane])))
    return out


# ---------------------------------------------------------------------------
# Choice buttons: a row of caps, one LED each.  "led_side" says where the LED
# sits relative to the cap: "below" (cap above its LED) or "right".
#   (group, legend, hit rect, LED point)
# ---------------------------------------------------------------------------
CHOICE_GROUPS = [
    # group id,     group legend,  LED side, buttons
    ("vco1Wave",    "WAVE",        "below", [
        ("SQR", (130, 193, 30, 40), (144.4, 227.0)),
        ("TRI", (178, 193, 30, 40), (193.0, 226.7)),
        ("MET", (227, 193, 30, 40), (241.4, 227.1)),
        ("SIN", (275, 193, 30, 40), (289.0, 226.7))]),
    ("vco2Wave",    "WAVE",        "below", [
        ("SQR", (129, 332, 30, 40), (144.2, 366.5)),
        ("TRI", (178, 332, 30, 40), (193.0, 366.6)),
        ("SIN", (227, 332, 30, 40), (241.4, 366.5))]),
    ("vcoEgShape",  "VCO EG SHAPE", "below", [
        ("LIN", (58, 465, 30, 38), (72.6, 496.8)),
        ("EXP", (108, 465, 30, 38), (122.4, 496.9)),
        ("LOG", (157, 465, 30, 38), (172.0, 496.9))]),
    ("vcfMode",     "MODE",        "below", [
        ("LP", (900, 159, 40, 42), (919.4, 194.4)),
        ("HP", (991, 159, 40, 42), (1011.0, 194.4))]),
    ("lfoWave",     "WAVE",        "below", [
        ("TRI", (1402, 250, 30, 40), (1416.5, 283.3)),
        ("SQR", (1454, 250, 30, 40), (1468.6, 283.2)),
        ("SAW", (1506, 250, 30, 40), (1520.6, 283.1)),
        ("SH", (1559, 250, 30, 40), (1573.9, 283.3))]),
    ("seqPitchMod", "PITCH MOD",   "right", [
        ("VCO 1+2", (67, 609, 62, 25), (122.4, 620.2)),
        ("OFF", (167, 609, 62, 25), (224.9, 620.2)),
        ("VCO 2", (267, 609, 62, 25), (320.4, 620.3))]),
]

# Single buttons with their own LED: (id, legend, hit rect, LED point, LED side, cap style)
BUTTONS = [
    ("patternA",      "PATTERN A", (67, 543, 66, 25),      (122.5, 553.6), "right", "dark"),
    ("patternB",      "PATTERN B", (167, 543, 68, 25),     (225.6, 553.7), "right", "dark"),
    ("chain",         "A + B",     (268, 543, 58, 25),     (320.5, 553.6), "right", "dark"),
    ("velocityClear", "ZERO",      (167, 665, 65, 25),     (226.4, 675.4), "right", "dark"),
    ("runStop",       "RUN/STOP",  (1389, 775, 41, 40),    (1407.9, 807.7), "below", "red"),
    ("trigger",       "TRIGGER",   (1476, 775, 42, 40),    (1495.1, 807.7), "below", "dark"),
    ("reset",         "RESET",     (1564, 775, 41, 40),    (1583.0, 807.7), "below", "dark"),
    ("prevPreset",    "PREV",      (789, 855, 40, 36),     (808.8, 893.6), "below", "dark"),
    ("nextPreset",    "NEXT",      (894.5, 855, 40, 36),   (914.5, 893.6), "below", "dark"),
    ("savePreset",    "SAVE",      (993.5, 855, 40, 36),   (1013.6, 893.5), "below", "dark"),
    ("deletePreset",  "DELETE",    (1092, 854.5, 40, 36),  (1112.0, 893.6), "below", "dark"),
    ("initPreset",    "INIT",      (1194, 854.5, 38, 36),  (1213.0, 893.5), "below", "dark"),
]

# Slide switches: (id, legend, hit rect, slot rect, LED point)
SWITCHES = [
    ("hardSync",       "HARD SYNC",  (481, 465, 64, 24),  (481, 465, 41, 22),  (537.0, 474.8)),
    ("noiseVcfBypass", "VCF BYPASS", (665, 266, 110, 25), (665, 266, 44, 24),  (765.4, 275.3)),
    ("clickVcfBypass", "VCF BYPASS", (663, 442, 112, 25), (663, 442, 46, 24),  (765.4, 452.0)),
    ("lfoSync",        "SYNC",       (1408, 452, 66, 24), (1408, 452, 45, 23), (1468.9, 462.8)),
    ("lfoRetrig",      "RETRIG",     (1527, 452, 69, 25), (1527, 452, 45, 24), (1590.4, 462.8)),
]

# Dark display windows the editor writes text into: (id, rect)
DISPLAYS = [
    ("preset",     (245, 851, 443, 49)),
    ("lfoDest",    (1422, 318, 149, 48)),
    ("modADest",   (165, 703, 148, 38)),
    ("modBDest",   (165, 760, 148, 38)),
    ("pitchSteps", (366, 589, 38, 28)),
    ("velSteps",   (366, 649, 38, 28)),
    ("modASteps",  (366, 707, 38, 28)),
    ("modBSteps",  (366, 763, 38, 28)),
]

# Clock multiplier lamp ring around the clockMult knob: (legend, LED point)
CLOCK_LEDS = [
    ("1/5", (1464.2, 669.9)), ("1/4", (1451.9, 643.5)), ("1/3", (1448.7, 613.3)),
    ("1/2", (1452.2, 581.3)), ("1X", (1495.5, 581.7)), ("2X", (1536.7, 581.4)),
    ("3X", (1540.9, 613.5)), ("4X", (1537.6, 643.6)), ("6X", (1526.5, 670.0)),
]

# Hit rectangle of the invisible preset box (lies over the preset window).
PRESET_BOX = (245, 851, 443, 49)


def all_leds():
    """Every LED hole of the panel as (x, y)."""
    pts = []
    for _g, _t, _s, buttons in CHOICE_GROUPS:
        pts += [b[2] for b in buttons]
    pts += [b[3] for b in BUTTONS]
    pts += [s[4] for s in SWITCHES]
    pts += list(STEP_LEDS)
    pts += [p for _l, p in CLOCK_LEDS]
    return pts


def hit_rects():
    """Every editor hit rectangle as (name, rect), for the alignment check."""
    out = [("presetBox", PRESET_BOX)]
    out += [(k[0], k[2]) for k in KNOBS]
    out += [(k[0], k[1]) for k in step_knobs()]
    for g, _t, _s, buttons in CHOICE_GROUPS:
        out += [("%s:%s" % (g, b[0]), b[1]) for b in buttons]
    out += [(b[0], b[2]) for b in BUTTONS]
    out += [(s[0], s[2]) for s in SWITCHES]
    out += [(d[0], d[1]) for d in DISPLAYS if d[0] != "preset"]
    return out
