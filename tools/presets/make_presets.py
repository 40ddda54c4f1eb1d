#!/usr/bin/env python3
"""Writes the thirteen factory presets (resources/presets/*.pk16) from the tables below.

    tools/presets/make_presets.py [--tool <pulskar_make_presets>] [--out resources/presets]

The tables are read by pulskar_make_presets (tools/presets/make_presets.cpp), which sets every
value through the real parameter and writes the files with the framework's own XML writer, so
each file holds exactly what the parameters hold, in the stored text form (CR LF line ends,
attribute lists wrapped at 60 columns). Build the tool first:

    cmake --build <build folder> --target pulskar_make_presets

Conventions of the tables:
  * plain numbers are parameter values in their own units (Hz, seconds, semitones, 0..1);
  * strings are choice labels ("Metal", "HP", "CUTOFF", "16", "1x" ...);
  * Verbatim("...") is written into the file as it stands (used for "Snare", whose stored values
    are fixed and include one below its parameter's range);
  * parameters a preset does not list keep their defaults; the transport parameters (seqRun,
    seqResetOnStart) are never part of a preset.

The files declare the destination lists of schema "3". That numbering equals the current one
for both lists (the readers convert 3 -> 4 and 3 -> 5 without changing a value), so the labels
below map to the indices the instrument uses today.

Every pattern fills page A (steps 1-8); page B repeats page A, because a preset with
pageBInitialised "0" gets page A copied onto page B the first time page B is shown.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile


class Verbatim(str):
    """A value written into the file exactly as given."""


def pattern(pitch, vel, mod_a=None, mod_b=None, page_b=None):
    """Step values of page A (eight per lane); page B repeats them unless given."""
    mod_a = mod_a or [0.5] * 8
    mod_b = mod_b or [0.5] * 8
    lanes = {"stepPitch": pitch, "stepVel": vel, "stepModA": mod_a, "stepModB": mod_b}
    for lane, values in lanes.items():
        assert len(values) == 8, lane
    values = {}
    for lane, page_a in lanes.items():
        second = (page_b or {}).get(lane, page_a)
        for step, v in enumerate(list(page_a) + list(second)):
            values["%s%d" % (lane, step)] = v
    return values


# ----- the one preset whose stored values are fixed -------------------------------------------
SNARE_VELOCITIES = ["0.0", "0.0", "0.4099999964237213", "0.0", "0.02999999932944775", "0.550000011920929",
                    "0.3499999940395355", "0.0"] + ["0.8"] * 8

SNARE = {
    "vco1Wave": "3", "vco2Wave": "0",
    "vco1Freq": "220.9499969482422", "vco2Freq": "235.0",
    "vco1EgAmt": "13.99999809265137", "vco2EgAmt": "-1.341104507446289e-6",
    "vcoDecay": "0.07430767267942429", "vco2Decay": "0.07", "vcoEgShape": "0", "fmAmount": "0.0",
    "preTrim": "0.84", "preDrive": "1.4", "postDrive": "1.0", "volume": "0.82",
    "pitchSteps": "15", "velSteps": "15", "modASteps": "15", "modBSteps": "15",
    "noiseLevel": "0.9699999690055847", "noiseColor": "-0.5199999809265137", "noiseDecay": "0.9894875884056091",
    "noiseVcfBypass": "0.0",
    "vco1Level": "0.7", "vco2Level": "0.0",
    "cutoff": "8000.0", "resonance": "0.12", "vcfMode": "0", "vcfDecay": "0.12", "vcfEgAmt": "0.55",
    "vcaDecay": "0.03254818916320801", "vcaAttack": "0.001000001560896635",
    "clickLevel": "0.3", "clickTune": "4000.0", "clickDecay": "0.001101180678233504", "clickVcfBypass": "1",
    "modADest": "0", "modBDest": "0", "clockMult": "4.0", "seqPitchMod": "0", "hardSync": "0",
    "vcaEg": "0.0", "noiseVcfMod": "0.0", "velVcfDecaySens": "0.5", "pitchFmAmt": "0.0",
    "lfoRate": "1.0", "lfoWave": "0", "lfoSync": "0", "lfoRetrig": "0", "lfoDest": "0", "lfoAmt": "0.5",
    "tempo": "120.0", "swing": "0.0", "untz": "0.0",
}
for step in range(16):
    SNARE["stepPitch%d" % step] = "60.0"
    SNARE["stepVel%d" % step] = SNARE_VELOCITIES[step]
    SNARE["stepModA%d" % step] = "0.5"
    SNARE["stepModB%d" % step] = "0.5"
    SNARE["stepActive%d" % step] = "1"
SNARE = {key: Verbatim(value) for key, value in SNARE.items()}

# Every other preset carries the unused parameter of older versions as well.
OLD_VERSION_CHILDREN = {"pitchFmAmt": Verbatim("0.0")}

# ----- the designed presets ----------------------------------------------------------------------
# Kicks: a sine, triangle or square an octave or two below middle C whose pitch envelope starts
# two to three octaves higher and falls within a few tens of milliseconds ("EXP" squares the
# envelope, so the drop is fast), a long amplifier decay for the body, a short click for the
# beater.

VISIONAIRE_KICK = {
    "vco1Wave": "Sine", "vco1Freq": 47.0, "vco1Level": 0.95,
    "vco1EgAmt": 31.0, "vcoDecay": 0.045, "vcoEgShape": "EXP",
    "vco2Level": 0.0,
    "cutoff": 850.0, "resonance": 0.1, "vcfEgAmt": 0.35, "vcfDecay": 0.08, "velVcfDecaySens": 0.3,
    "vcaDecay": 0.38, "untz": 0.35,
    "clickLevel": 0.22, "clickTune": 2600.0, "clickDecay": 0.006,
    "preDrive": 1.35, "volume": 0.85,
    "seqPitchMod": "VCO 1+2",
    **pattern(pitch=[60] * 8, vel=[1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.42]),
}

FALSE_DRIVE_KICK = {
    "vco1Wave": "Triangle", "vco1Freq": 52.0, "vco1Level": 0.9,
    "vco1EgAmt": 36.0, "vcoDecay": 0.032, "vcoEgShape": "EXP",
    "cutoff": 1700.0, "resonance": 0.28, "vcfEgAmt": 0.45, "vcfDecay": 0.09, "velVcfDecaySens": 0.4,
    "vcaDecay": 0.3, "untz": 0.55,
    "noiseLevel": 0.12, "noiseColor": -0.4, "noiseDecay": 0.02,
    "clickLevel": 0.4, "clickTune": 2200.0, "clickDecay": 0.008,
    "preTrim": 0.9, "preDrive": 6.0, "postDrive": 2.4, "volume": 0.62,
    **pattern(pitch=[60] * 8, vel=[1.0, 0.0, 0.0, 0.55, 1.0, 0.0, 0.0, 0.0]),
}

FILTER_KICK = {
    "vco1Wave": "Square", "vco1Freq": 44.0, "vco1Level": 0.85,
    "vco1EgAmt": 24.0, "vcoDecay": 0.05, "vcoEgShape": "EXP",
    "cutoff": 130.0, "resonance": 0.7, "vcfEgAmt": 0.6, "vcfDecay": 0.08, "velVcfDecaySens": 0.35,
    "vcaDecay": 0.34, "untz": 0.25,
    "clickLevel": 0.18, "clickTune": 1800.0, "clickDecay": 0.007,
    "preDrive": 2.0, "volume": 0.85,
    **pattern(pitch=[60] * 8, vel=[1.0, 0.0, 0.35, 0.0, 1.0, 0.0, 0.0, 0.6]),
}

# Hats: VCO 1's six metallic partials and bright noise through the high-pass, very short.
CLOSED_HH = {
    "vco1Wave": "Metal", "vco1Freq": 420.0, "vco1Level": 0.7,
    "seqPitchMod": "OFF",
    "noiseLevel": 0.55, "noiseColor": 0.6, "noiseDecay": 0.03,
    "vcfMode": "HP", "cutoff": 7200.0, "resonance": 0.2,
    "vcaDecay": 0.032, "untz": -0.3,
    "clickLevel": 0.15, "clickTune": 7800.0, "clickDecay": 0.005, "clickVcfBypass": "on",
    "preDrive": 1.2, "volume": 0.75,
    **pattern(pitch=[60] * 8, vel=[1.0, 0.45, 0.72, 0.45, 1.0, 0.45, 0.72, 0.55]),
}

OTHER_HH = {
    "vco1Wave": "Metal", "vco1Freq": 610.0, "vco1Level": 0.6,
    "vco2Wave": "Square", "vco2Freq": 1470.0, "vco2Level": 0.3, "fmAmount": 0.15,
    "seqPitchMod": "OFF",
    "noiseLevel": 0.6, "noiseColor": 0.8, "noiseDecay": 0.05,
    "vcfMode": "HP", "cutoff": 6000.0, "resonance": 0.35,
    "vcaDecay": 0.05, "untz": -0.5,
    # Mod lane A lengthens the off-beat hits a little.
    "modADest": "VCA DEC", "modASteps": "4",
    "preDrive": 1.3, "volume": 0.6,
    **pattern(pitch=[60] * 8, vel=[0.9, 0.5, 1.0, 0.5, 0.9, 0.5, 1.0, 0.6],
              mod_a=[0.5, 0.5, 0.72, 0.5, 0.5, 0.5, 0.72, 0.5]),
}

# Brush: soft noise swish with a slow attack, slowly recoloured by the LFO, swung.
BRUSH_HAT = {
    "vco1Level": 0.0,
    "noiseLevel": 0.85, "noiseColor": 0.0, "noiseDecay": 0.16,
    "vcfMode": "HP", "cutoff": 1900.0, "resonance": 0.05,
    "vcaEg": 0.32, "vcaDecay": 0.11, "untz": 0.4,
    "lfoDest": "NOISE COL", "lfoWave": "TRI", "lfoRate": 0.45, "lfoAmt": 0.3,
    "swing": 0.22, "volume": 0.85,
    **pattern(pitch=[60] * 8, vel=[0.8, 0.4, 0.62, 0.45, 0.78, 0.38, 0.66, 0.5]),
}

# Cowbell: two detuned squares at the classic non-harmonic pair, a resonant low-pass peak.
COWBELL = {
    "vco1Wave": "Square", "vco1Freq": 540.0, "vco1Level": 0.55,
    "vco2Wave": "Square", "vco2Freq": 800.0, "vco2Level": 0.55,
    "cutoff": 2600.0, "resonance": 0.45, "vcfEgAmt": 0.2, "vcfDecay": 0.05,
    "vcaDecay": 0.12, "untz": -0.6,
    "clickLevel": 0.1, "clickTune": 4000.0, "clickDecay": 0.005,
    "preDrive": 1.5, "volume": 0.7,
    **pattern(pitch=[60] * 8, vel=[1.0, 0.0, 0.6, 0.0, 0.0, 0.8, 0.0, 0.5]),
}

# Bass: a walking line in C minor; triangle plus a square an octave up through a plucked low-pass.
JAZZY_BASE = {
    "vco1Wave": "Triangle", "vco1Freq": 65.4, "vco1Level": 0.8,
    "vco2Wave": "Square", "vco2Freq": 131.2, "vco2Level": 0.28,
    "vco1EgAmt": 3.0, "vco2EgAmt": 3.0, "vcoDecay": 0.02, "vco2Decay": 0.02,
    "cutoff": 480.0, "resonance": 0.45, "vcfEgAmt": 0.52, "vcfDecay": 0.28, "velVcfDecaySens": 0.5,
    "vcaEg": 0.05, "vcaDecay": 0.36, "untz": 0.2,
    "preDrive": 1.6, "volume": 0.8, "swing": 0.2,
    **pattern(pitch=[60, 63, 65, 67, 70, 67, 65, 62],
              vel=[0.95, 0.6, 0.75, 0.6, 0.88, 0.55, 0.72, 0.65]),
}

# Melodic pluck: the pitch lane (7 steps) drifts against the velocity lane (5), mod lane A opens
# the filter per step (6 steps), mod lane B adds FM (3 steps); the LFO pans slowly.
MELODI = {
    "vco1Wave": "Triangle", "vco1Freq": 261.6, "vco1Level": 0.7,
    "vco2Wave": "Sine", "vco2Freq": 523.3, "vco2Level": 0.35, "fmAmount": 0.2,
    "cutoff": 1200.0, "resonance": 0.5, "vcfEgAmt": 0.55, "vcfDecay": 0.3, "velVcfDecaySens": 0.4,
    "vcaEg": 0.02, "vcaDecay": 0.4,
    "pitchSteps": "7", "velSteps": "5", "modASteps": "6", "modBSteps": "3",
    "modADest": "CUTOFF", "modBDest": "FM AMT",
    "lfoDest": "PAN", "lfoWave": "TRI", "lfoRate": 0.25, "lfoAmt": 0.3,
    "volume": 0.9,
    **pattern(pitch=[60, 67, 63, 72, 70, 67, 63, 65],
              vel=[0.9, 0.55, 0.75, 0.6, 0.8, 0.7, 0.6, 0.7],
              mod_a=[0.5, 0.75, 0.35, 0.85, 0.55, 0.3, 0.5, 0.5],
              mod_b=[0.5, 0.8, 0.35, 0.5, 0.5, 0.5, 0.5, 0.5]),
}

# Tuned percussion sequence: a pitched sine tom with an FM'd triangle; five pitches against eight
# velocities, mod lane A bends VCO 2 (3 steps), mod lane B changes the decay (6 steps).
PERC_SEQ = {
    "vco1Wave": "Sine", "vco1Freq": 110.0, "vco1Level": 0.75,
    "vco1EgAmt": 12.0, "vcoDecay": 0.05, "vcoEgShape": "EXP",
    "vco2Wave": "Triangle", "vco2Freq": 277.0, "vco2Level": 0.3, "fmAmount": 0.35,
    "noiseLevel": 0.15, "noiseDecay": 0.03,
    "cutoff": 2500.0, "resonance": 0.3, "vcfEgAmt": 0.3, "vcfDecay": 0.1,
    "vcaDecay": 0.18,
    "pitchSteps": "5", "velSteps": "8", "modASteps": "3", "modBSteps": "6",
    "modADest": "VCO2 PITCH", "modBDest": "VCA DEC",
    "preDrive": 1.4, "volume": 0.78,
    **pattern(pitch=[60, 67, 55, 72, 64, 60, 48, 67],
              vel=[1.0, 0.0, 0.7, 0.5, 0.0, 0.85, 0.45, 0.65],
              mod_a=[0.5, 0.62, 0.4, 0.5, 0.5, 0.5, 0.5, 0.5],
              mod_b=[0.5, 0.4, 0.65, 0.5, 0.35, 0.7, 0.5, 0.5]),
}

# Electronic tom: hard-synced VCO 2 sweeps down with its own pitch envelope over a falling VCO 1.
TRANSISTOR_2 = {
    "vco1Wave": "Square", "vco1Freq": 92.0, "vco1Level": 0.3,
    "vco1EgAmt": 12.0, "vcoDecay": 0.08, "vcoEgShape": "EXP",
    "vco2Wave": "Square", "vco2Freq": 260.0, "vco2Level": 0.5, "hardSync": "on",
    "vco2EgAmt": 24.0, "vco2Decay": 0.06,
    "cutoff": 3000.0, "resonance": 0.4, "vcfEgAmt": 0.3, "vcfDecay": 0.1,
    "noiseLevel": 0.05, "noiseDecay": 0.02,
    "vcaDecay": 0.22,
    "preDrive": 2.5, "postDrive": 1.5, "volume": 0.7,
    **pattern(pitch=[60, 60, 55, 60, 53, 60, 55, 48],
              vel=[1.0, 0.0, 0.6, 0.0, 0.85, 0.0, 0.55, 0.7]),
}

# Odd one out: a talking "wha". Two squares a fifth apart open a ringing low-pass after a slow
# attack and close it again; a synced sample-and-hold nudges the cutoff every sixteenth, mod lane A
# changes the sweep per step and mod lane B throws the hits around the stereo field.
WHAT = {
    "vco1Wave": "Square", "vco1Freq": 98.0, "vco1Level": 0.6,
    "vco2Wave": "Square", "vco2Freq": 147.0, "vco2Level": 0.4,
    "cutoff": 260.0, "resonance": 0.82, "vcfEgAmt": 0.62, "vcfDecay": 0.22, "velVcfDecaySens": 0.2,
    "vcaEg": 0.3, "vcaDecay": 0.26, "untz": 0.6,
    "lfoDest": "CUTOFF", "lfoWave": "SH", "lfoSync": "on", "lfoRate": 4.0, "lfoAmt": 0.25,
    "modADest": "VCF EG", "modBDest": "PAN", "modASteps": "5", "modBSteps": "3",
    "preDrive": 1.8, "volume": 0.75,
    **pattern(pitch=[60, 60, 67, 60, 58, 60, 72, 55],
              vel=[1.0, 0.0, 0.7, 0.45, 0.0, 0.85, 0.6, 0.0],
              mod_a=[0.5, 0.7, 0.3, 0.6, 0.4, 0.5, 0.5, 0.5],
              mod_b=[0.5, 0.2, 0.8, 0.5, 0.5, 0.5, 0.5, 0.5]),
}

PRESETS = [
    ("Brush Hat", BRUSH_HAT),
    ("Closed HH", CLOSED_HH),
    ("Cowbell", COWBELL),
    ("False Drive Kick", FALSE_DRIVE_KICK),
    ("Filter KiCK", FILTER_KICK),
    ("Jazzy Base", JAZZY_BASE),
    ("Melodi", MELODI),
    ("Other HH", OTHER_HH),
    ("Perc Seq", PERC_SEQ),
    ("Snare", SNARE),
    ("Transistor 2", TRANSISTOR_2),
    ("Visionaire Kick", VISIONAIRE_KICK),
    ("What", WHAT),
]

SWITCH_LABELS = {"off": 0.0, "on": 1.0}


def entries(values):
    out = []
    for key, value in values.items():
        if isinstance(value, Verbatim):
            out.append({"id": key, "text": str(value)})
        elif isinstance(value, str) and value in SWITCH_LABELS:
            out.append({"id": key, "value": SWITCH_LABELS[value]})
        elif isinstance(value, str):
            out.append({"id": key, "label": value})
        else:
            out.append({"id": key, "value": float(value)})
    return out


def tables():
    presets = []
    for name, values in PRESETS:
        merged = dict(values)
        merged.update(OLD_VERSION_CHILDREN if name != "Snare" else {})
        presets.append({"name": name, "pageBInitialised": "0", "values": entries(merged)})
    return {"presets": presets}


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", default=os.path.join(root, "build", "tools", "presets", "pulskar_make_presets"))
    parser.add_argument("--out", default=os.path.join(root, "resources", "presets"))
    parser.add_argument("--json", help="only write the tables to this file")
    args = parser.parse_args()

    data = json.dumps(tables(), indent=1)
    if args.json:
        with open(args.json, "w") as f:
            f.write(data)
        return 0

    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        f.write(data)
        path = f.name
    try:
        return subprocess.call([args.tool, path, args.out])
    finally:
        os.unlink(path)


if __name__ == "__main__":
    sys.exit(main())
