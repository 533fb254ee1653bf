#!/usr/bin/env python3
"""Reads the built LV2 bundle with tools nobody here wrote.

lilv (lv2ls, lv2info) must find the plug-in under our URI, load its data and
file it as a distortion plug-in with a mailto: contact; serdi parses the
Turtle that lilv reads (manifest.ttl and what it points to) into N-Triples,
from which the class, the licence and the declared parameters, their labels,
ranges and defaults are read and compared with what hosts must see.
"""
import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys

LV2 = "http://lv2plug.in/ns/lv2core#"
RDFS = "http://www.w3.org/2000/01/rdf-schema#"
RDF = "http://www.w3.org/1999/02/22-rdf-syntax-ns#"
PATCH = "http://lv2plug.in/ns/ext/patch#"
DOAP = "http://usefulinc.com/ns/doap#"
FOAF = "http://xmlns.com/foaf/0.1/"

LICENCE = "http://opensource.org/licenses/GPL-3.0"

# lilv names the classes from lv2-dev's core.lv2.
CORE_BUNDLE_DIRS = ("/usr/lib/lv2", "/usr/local/lib/lv2", "/usr/lib/x86_64-linux-gnu/lv2")

EXPECTED = [
    # label, minimum, maximum, default
    ("Noise", 0.0, 100.0, 0.15),
    ("Bite", 2.0, 32.0, 32.0),
    ("Suck", 1.0, 50.0, 1.0),
    ("Wobble", 0.01, 1.0, 0.01),
    ("Depth", 0.01, 1.0, 0.01),
    ("XXX", 0.0, 1.0, 0.6),
    ("XXX", 0.0, 1.0, 1.0),
]

TRIPLE = re.compile(r'^(\S+) (\S+) (.+) \.$')


def run(cmd, env):
    result = subprocess.run(cmd, env=env, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(cmd)} failed ({result.returncode}):\n{result.stdout}\n{result.stderr}")
    return result.stdout


def parse_turtle(path, base):
    out = subprocess.run(["serdi", "-i", "turtle", "-o", "ntriples", str(path), base],
                         capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(f"serdi could not parse {path}:\n{out.stderr}")
    triples = []
    for line in out.stdout.splitlines():
        m = TRIPLE.match(line.strip())
        if m:
            triples.append(m.groups())
    return triples


def literal_value(term):
    m = re.match(r'^"((?:[^"\\]|\\.)*)"', term)
    return m.group(1) if m else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lv2-dir", required=True, help="folder holding Grelk.lv2")
    ap.add_argument("--uri", required=True)
    ap.add_argument("--contact", required=True, help="the maintainer's mailto: IRI")
    ap.add_argument("--work-dir", required=True)
    args = ap.parse_args()

    bundle = pathlib.Path(args.lv2_dir).resolve() / "Grelk.lv2"
    if not bundle.is_dir():
        sys.exit(f"no bundle at {bundle}")

    # Our bundle and the LV2 core bundle only, so that no installed copy
    # of the plug-in stands in for the built one.
    core = next((pathlib.Path(d) / "core.lv2" for d in CORE_BUNDLE_DIRS
                 if (pathlib.Path(d) / "core.lv2" / "manifest.ttl").is_file()), None)
    if core is None:
        sys.exit(f"no core.lv2 in {CORE_BUNDLE_DIRS} (Debian: lv2-dev)")
    lv2_dir = pathlib.Path(args.work_dir)
    shutil.rmtree(lv2_dir, ignore_errors=True)
    lv2_dir.mkdir(parents=True)
    (lv2_dir / "Grelk.lv2").symlink_to(bundle)
    (lv2_dir / "core.lv2").symlink_to(core)

    env = dict(os.environ, LV2_PATH=str(lv2_dir))

    listed = run(["lv2ls"], env).split()
    if args.uri not in listed:
        sys.exit(f"lv2ls does not list {args.uri}; it lists {listed}")

    info = run(["lv2info", args.uri], env)
    for needed in (args.uri, "Name:", "Grelk", "Binary:"):
        if needed not in info:
            sys.exit(f"lv2info output lacks {needed!r}:\n{info}")
    if "AudioPort" not in info and "Audio" not in info:
        sys.exit(f"lv2info shows no audio ports:\n{info}")
    for label, want in (("Class", "Distortion Plugin"), ("Author Email", args.contact)):
        # The plug-in's own lines; the UI's are indented further.
        lines = [line.split(":", 1)[1].strip() for line in info.splitlines() if line.startswith(f"\t{label}:")]
        if lines != [want]:
            sys.exit(f"lv2info shows {label} {lines}, expected {want!r}:\n{info}")

    base = bundle.as_uri() + "/"
    triples = parse_turtle(bundle / "manifest.ttl", base)
    for s, p, o in list(triples):
        if p == f"<{RDFS}seeAlso>" and o.startswith(f"<{base}"):
            triples += parse_turtle(bundle / o[len(base) + 1:-1], base)

    plugin = f"<{args.uri}>"
    types = {o for s, p, o in triples if s == plugin and p == f"<{RDF}type>"}
    for cls in ("Plugin", "DistortionPlugin"):
        if f"<{LV2}{cls}>" not in types:
            sys.exit(f"{plugin} is not an lv2:{cls}; its types: {sorted(types)}")
    licences = [o for s, p, o in triples if s == plugin and p == f"<{DOAP}license>"]
    if licences != [f"<{LICENCE}>"]:
        sys.exit(f"{plugin} doap:license {licences}, expected <{LICENCE}>")
    mboxes = [o for s, p, o in triples if p == f"<{FOAF}mbox>"]
    if mboxes != [f"<{args.contact}>"] or not args.contact.startswith("mailto:"):
        sys.exit(f"foaf:mbox {mboxes}, expected <{args.contact}> (a mailto: IRI)")
    subjects = {}
    for s, p, o in triples:
        subjects.setdefault(s, []).append((p, o))

    # The plug-in's writable parameters, in the order the Turtle lists them.
    writable = [o for s, p, o in triples if s == plugin and p == f"<{PATCH}writable>"]
    if len(writable) < 7:
        sys.exit(f"expected at least 7 writable parameters, found {len(writable)}: {writable}")

    def prop(subject, predicate):
        for p, o in subjects.get(subject, []):
            if p == f"<{predicate}>":
                return o
        return None

    # Drop anything the wrapper adds beside ours (e.g. a bypass parameter).
    params = [w for w in writable if literal_value(prop(w, RDFS + "label") or "") != None]
    ours = [w for w in params if literal_value(prop(w, RDFS + "label")) in {e[0] for e in EXPECTED}]
    if len(ours) != 7:
        sys.exit(f"expected 7 of our parameters, found {[literal_value(prop(w, RDFS + 'label')) for w in params]}")

    failures = []
    for w, (label, lo, hi, default) in zip(ours, EXPECTED):
        got_label = literal_value(prop(w, RDFS + "label"))
        values = {}
        for key in ("minimum", "maximum", "default"):
            term = prop(w, LV2 + key)
            values[key] = float(literal_value(term)) if term else None
        if got_label != label:
            failures.append(f"{w}: label {got_label!r}, expected {label!r}")
        for key, want in (("minimum", lo), ("maximum", hi), ("default", default)):
            got = values[key]
            if got is None or abs(got - want) > 1e-5:
                failures.append(f"{label} ({w}): {key} {got}, expected {want}")

    if failures:
        sys.exit("\n".join(failures))

    print(f"lv2ls and lv2info found {args.uri}, a distortion plug-in with a contact; "
          "serdi read its licence and 7 parameters in host order")


if __name__ == "__main__":
    main()
