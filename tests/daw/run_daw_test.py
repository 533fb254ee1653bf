#!/usr/bin/env python3
"""Renders a short file through the built Grelk LV2 and VST3 in Ardour.

Ardour's Lua session tool runs headless on its "None (Dummy)" backend: a bus
holds a Lua probe that plays our input file at the transport position, the
plug-in, and a second probe that keeps what the plug-in made (written out as
a float WAV once the transport has played the file). The session is then saved,
reopened and played again, so the plug-in's saved state goes through a real
DAW. Every render is checked against the documented processing with "noise"
off: output = input x wobble gain, one modulation counter shared by both
channels (channel 1 runs one block ahead) and advancing two blocks' worth per
block. The counter's value when the transport starts is not known (the engine
runs the plug-in all along), so the check finds it.
"""

import argparse
import base64
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

RATE = 48000
FRAMES = RATE // 2
MAGIC = 0x21324356
JUCE_BASE64 = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"
HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULTS = {"noise": 0.15, "bite": 32.0, "suck": 1.0, "wobble": 0.01, "depth": 0.01}


def f32(v):
    return struct.unpack("<f", struct.pack("<f", v))[0]


# --- files -------------------------------------------------------------------

def write_float_wav(path, channels):
    frames = b"".join(struct.pack("<ff", l, r) for l, r in zip(*channels))
    fmt = struct.pack("<HHIIHH", 3, 2, RATE, RATE * 8, 8, 32)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(frames)) + frames
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def read_float_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    pos, channels, samples = 12, None, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if chunk == b"fmt ":
            tag, channels, rate = struct.unpack("<HHI", data[pos + 8:pos + 16])
            if tag != 3 or rate != RATE:
                raise AssertionError(f"{path}: format {tag} at {rate} Hz, expected float at {RATE}")
        elif chunk == b"data":
            samples = data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size % 2)
    values = struct.unpack(f"<{len(samples) // 4}f", samples)
    return [values[c::channels] for c in range(channels)]


def test_input():
    # Never zero, so every output sample shows its gain.
    left = [f32(0.5 + 0.3 * math.sin(2 * math.pi * 441 * i / RATE)) for i in range(FRAMES)]
    right = [f32(-0.4 + 0.3 * math.sin(2 * math.pi * 997 * i / RATE)) for i in range(FRAMES)]
    return [left, right]


# --- our state blob ----------------------------------------------------------

def juce_base64_decode(text):
    size, _, chars = text.partition(".")
    value = 0
    for i, c in enumerate(chars):
        value |= JUCE_BASE64.index(c) << (6 * i)
    return (value & ((1 << (8 * int(size))) - 1)).to_bytes(int(size), "little")


def juce_base64_encode(data):
    value = int.from_bytes(data, "little")
    chars = (len(data) * 8 + 5) // 6
    return f"{len(data)}." + "".join(JUCE_BASE64[(value >> (6 * i)) & 63] for i in range(chars))


def parse_blob(data):
    """Our blob at the start of data: returns {id: value} and the blob's size."""
    if len(data) < 9:
        raise AssertionError(f"state of {len(data)} bytes is too short for our blob")
    magic, length = struct.unpack("<II", data[:8])
    if magic != MAGIC:
        raise AssertionError(f"state does not start with our magic: {data[:8].hex()}")
    text = data[8:8 + length]
    if data[8 + length:9 + length] != b"\0":
        raise AssertionError("state blob lacks its end mark")
    root = ET.fromstring(text.decode("utf-8").split("?>", 1)[1])
    if root.tag != "Grelk":
        raise AssertionError(f"root tag {root.tag}")
    return {p.get("id"): float(p.get("value")) for p in root.findall("PARAM")}, 9 + length


def make_blob(values):
    children = "".join(f'<PARAM id="{k}" value="{values[k]!r}"/>' for k in sorted(values))
    text = ('<?xml version="1.0" encoding="UTF-8"?> <Grelk>' + children + "</Grelk>").encode()
    return struct.pack("<II", MAGIC, len(text)) + text + b"\0"


def vst3_component_state(session_file):
    """Ardour keeps a VST3 plug-in's state as a .vstpreset image in <chunk>."""
    chunk = ET.parse(session_file).getroot().find(".//Processor[@type='vst3']/vst3/chunk")
    data = base64.b64decode(chunk.text)
    if data[:4] != b"VST3":
        raise AssertionError("VST3 chunk is not a preset image")
    list_offset = struct.unpack("<q", data[40:48])[0]
    if data[list_offset:list_offset + 4] != b"List":
        raise AssertionError("VST3 preset image has no chunk list")
    count = struct.unpack("<i", data[list_offset + 4:list_offset + 8])[0]
    for i in range(count):
        entry = list_offset + 8 + 20 * i
        kind = data[entry:entry + 4]
        offset, size = struct.unpack("<qq", data[entry + 4:entry + 20])
        if kind == b"Comp":
            return data[offset:offset + size]
    raise AssertionError("VST3 preset image has no component state")


def lv2_state_file(session_dir):
    found = [os.path.join(d, "state.ttl") for d, _, files in os.walk(os.path.join(session_dir, "plugins")) if "state.ttl" in files]
    if len(found) != 1:
        raise AssertionError(f"expected one LV2 state file, found {found}")
    return found[0]


# --- expected processing -----------------------------------------------------

def stored(value):
    """The plug-in keeps 32-bit floats; the model computes with those."""
    return f32(value)


def gain_table(wobble, depth):
    frequency = f32(f32(wobble) * 20.0)
    threshold = RATE / frequency
    period = int(math.ceil(threshold)) if threshold != int(threshold) else int(threshold)
    q = frequency / RATE
    depth = f32(depth)

    def gain(counter):
        theta = counter * q
        theta *= 2.0
        theta *= 3.1415927410125732
        return 1.0 - (0.5 + math.sin(theta) * 0.5) * depth

    return gain, period


def check_render(x, y, block, wobble, depth, label):
    """Finds the start counter that explains the whole render, or fails."""
    frames = len(x[0])
    if len(y) != 2 or len(y[0]) != frames:
        raise AssertionError(f"{label}: {len(y)} channels of {len(y[0])} frames, expected 2 of {frames}")
    for c in range(2):
        if not all(math.isfinite(v) for v in y[c]):
            raise AssertionError(f"{label}: non-finite output")

    gain, period = gain_table(wobble, depth)
    tolerance = 2e-6

    def counter(start, j, channel):
        return (start + 2 * block * (j // block) + channel * block + j % block) % period

    def explains(start, samples):
        return all(abs(y[c][j] - x[c][j] * gain(counter(start, j, c))) <= tolerance for j in samples for c in (0, 1))

    probe = [0, 1, 2, block - 1, block, 2 * block + 7, frames // 2, frames - 1]
    candidates = [s for s in range(period) if abs(y[0][0] - x[0][0] * gain(s)) <= tolerance]
    for start in candidates:
        if explains(start, probe) and explains(start, range(frames)):
            return start
    worst = max(abs(y[c][j] / x[c][j] - 1.0) for c in (0, 1) for j in range(frames))
    raise AssertionError(f"{label}: no start of the wobble counter explains the output "
                         f"(blocks of {block}, wobble {wobble}, depth {depth}; largest |out/in - 1| {worst:.3g})")


# --- Ardour ------------------------------------------------------------------

class Ardour:
    def __init__(self, work, lv2_dir, vst3_dir, timeout):
        self.work = work
        self.timeout = timeout
        home = os.path.join(work, "home")
        config = os.path.join(home, "config", "ardour7")
        os.makedirs(os.path.join(config, "scripts"))
        shutil.copy(os.path.join(HERE, "grelk_probe.lua"), os.path.join(config, "scripts"))
        with open(os.path.join(config, "config"), "w") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<Ardour><Config>\n'
                    '<Option name="hide-dummy-backend" value="0"/>\n'
                    f'<Option name="plugin-path-vst3" value="{vst3_dir}"/>\n</Config></Ardour>\n')
        # Only our bundles: no user or system plug-ins, no user settings.
        # The framework's plug-in clients open an X display when they load,
        # falling back to ":0" without DISPLAY, and Xlib ends the whole host
        # when that server goes away (another test's Xvfb, say). A display
        # that does not exist keeps them off X entirely.
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                        XDG_CACHE_HOME=os.path.join(home, "cache"), LV2_PATH=lv2_dir, VST3_PATH=vst3_dir,
                        DISPLAY=":59999")

    def run(self, argv, label, extra_env=None):
        started = time.monotonic()
        try:
            result = subprocess.run(argv, env=dict(self.env, **(extra_env or {})), cwd=self.work,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=self.timeout)
        except subprocess.TimeoutExpired as e:
            raise AssertionError(f"{label}: no answer within {self.timeout} s\n{e.stdout or ''}")
        output = result.stdout
        print(f"  {label}: {time.monotonic() - started:.1f} s")
        if result.returncode != 0 or (argv[0] == "ardour7-lua" and "\ndone" not in "\n" + output):
            raise AssertionError(f"{label} failed ({result.returncode}):\n{output}")
        return output

    def scan_vst3(self, bundle):
        # Ardour lists VST3 plug-ins from its scan cache only; its scanner
        # fills that cache for the freshly built bundle.
        scanner = "/usr/lib/ardour7/ardour-vst3-scanner"
        self.run([scanner, "-f", "-q", bundle], "VST3 scan",
                 {"LD_LIBRARY_PATH": "/usr/lib/ardour7"})

    def session(self, phase, fmt, plugin, session_dir, params=""):
        rendered = os.path.join(self.work, f"{fmt}-{phase}.wav")
        output = self.run(["ardour7-lua", os.path.join(HERE, "grelk_session.lua")], f"{fmt} {phase}", {
            "GRELK_FORMAT": fmt, "GRELK_PLUGIN": plugin, "GRELK_PHASE": phase,
            "GRELK_SESSION_DIR": session_dir, "GRELK_INPUT": os.path.join(self.work, "input.wav"),
            "GRELK_OUTPUT": rendered, "GRELK_PARAMS": params})
        return rendered, int(re.search(r"block size (\d+)", output).group(1))


def normalised(value, low, high):
    return (value - low) / (high - low)


def run_format(ardour, fmt, plugin, x):
    session_dir = os.path.join(ardour.work, f"session-{fmt}")
    print(fmt)

    if fmt == "VST3":
        # Ardour shows VST3 parameters normalised, in the plug-in's order.
        first = {"noise": 0.0, "bite": 32.0, "suck": 1.0, "wobble": 0.75, "depth": 0.8}
        params = (f"0={normalised(0.0, 0, 100)} 3={normalised(0.75, 0.01, 1)} 4={normalised(0.8, 0.01, 1)}")
    else:
        # Ardour offers no Lua access to LV2 patch parameters: the defaults
        # play ("noise" 0.15 adds nothing), and the reload below brings others.
        first, params = dict(DEFAULTS), ""

    render, block = ardour.session("create", fmt, plugin, session_dir, params)
    start = check_render(x, read_float_wav(render), block, first["wobble"], first["depth"], f"{fmt} first render")
    print(f"  first render matches input x wobble gain (blocks of {block}, counter started at {start})")

    # What Ardour saved must hold our blob, with the values that played.
    if fmt == "VST3":
        values, _ = parse_blob(vst3_component_state(os.path.join(session_dir, "grelk.ardour")))
        second = first
    else:
        state_file = lv2_state_file(session_dir)
        with open(state_file) as f:
            ttl = f.read()
        match = re.search(r'grelk:StateString>\s+"([^"]+)"', ttl)
        if match is None:
            raise AssertionError(f"no StateString in {state_file}:\n{ttl}")
        values, _ = parse_blob(juce_base64_decode(match.group(1)))
        # Reopening must apply a state the session brings along.
        second = {"noise": 0.0, "bite": 20.0, "suck": 1.0, "wobble": 0.75, "depth": 0.8}
        with open(state_file, "w") as f:
            f.write(ttl.replace(match.group(1), juce_base64_encode(make_blob(second))))

    for key, value in first.items():
        if values.get(key) is None or abs(values[key] - stored(value)) > 1e-6:
            raise AssertionError(f"{fmt}: saved state has {key}={values.get(key)}, expected {value}")
    print(f"  the session holds our state: {values}")

    render, block = ardour.session("reload", fmt, plugin, session_dir)
    start = check_render(x, read_float_wav(render), block, second["wobble"], second["depth"], f"{fmt} render after reopening")
    print(f"  render after reopening matches (counter started at {start})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--lv2-dir", required=True, help="directory holding Grelk.lv2")
    parser.add_argument("--vst3-bundle", required=True)
    parser.add_argument("--lv2-uri", required=True)
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--timeout", type=int, default=120, help="seconds per Ardour run")
    parser.add_argument("--formats", default="LV2,VST3")
    args = parser.parse_args()

    started = time.monotonic()
    shutil.rmtree(args.work_dir, ignore_errors=True)
    os.makedirs(args.work_dir)
    x = test_input()
    write_float_wav(os.path.join(args.work_dir, "input.wav"), x)

    vst3_bundle = os.path.abspath(args.vst3_bundle)
    ardour = Ardour(args.work_dir, os.path.abspath(args.lv2_dir), os.path.dirname(vst3_bundle), args.timeout)
    failures = []
    for fmt in args.formats.split(","):
        try:
            if fmt == "VST3":
                ardour.scan_vst3(vst3_bundle)
            run_format(ardour, fmt, args.lv2_uri if fmt == "LV2" else "Grelk", x)
        except AssertionError as e:
            failures.append(f"{fmt}: {e}")
            print(f"  FAILED: {e}")

    print(f"Ardour test finished in {time.monotonic() - started:.1f} s")
    if failures:
        sys.exit(1)


if __name__ == "__main__":
    main()
