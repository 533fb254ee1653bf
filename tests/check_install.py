#!/usr/bin/env python3
"""Installs the built bundles both ways a user or a packager would.

tools/install-plugins.sh, which tools/build.sh ends with, must put both
bundles into a private home every time it runs: also after the user removed
one, and replacing a stale copy rather than adding to it. `cmake --install`
with DESTDIR must lay them out as lib/vst3 and lib/lv2 under the prefix.
Each installed bundle must hold exactly the built files.
"""
import argparse
import filecmp
import os
import pathlib
import shutil
import subprocess
import sys

# Artefacts subfolder, bundle, per-user folder, folder under the prefix.
BUNDLES = (("VST3", "Grelk.vst3", ".vst3", "lib/vst3"),
           ("LV2", "Grelk.lv2", ".lv2", "lib/lv2"))


def files_below(folder):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file())


def differences(built, installed):
    if not installed.is_dir():
        return [f"{installed} is missing"]
    problems = []
    want, got = files_below(built), files_below(installed)
    if want != got:
        problems.append(f"{installed} holds {got}, the build {want}")
    for name in set(want) & set(got):
        if not filecmp.cmp(built / name, installed / name, shallow=False):
            problems.append(f"{installed / name} differs from the built file")
    return problems


def run(cmd, env=None):
    result = subprocess.run(cmd, env=env, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{' '.join(map(str, cmd))} failed ({result.returncode}):\n{result.stdout}\n{result.stderr}")
    return result.stdout


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--artefacts", required=True, help="the build's Grelk_artefacts/<config> folder")
    ap.add_argument("--script", required=True, help="tools/install-plugins.sh")
    ap.add_argument("--build-dir", required=True)
    ap.add_argument("--work-dir", required=True)
    args = ap.parse_args()

    artefacts = pathlib.Path(args.artefacts).resolve()
    work = pathlib.Path(args.work_dir)
    shutil.rmtree(work, ignore_errors=True)
    home = work / "home"
    home.mkdir(parents=True)
    env = dict(os.environ, HOME=str(home))

    failures = []

    def install_for_user(when):
        printed = run([args.script, str(artefacts)], env)
        for fmt, name, user_dir, _ in BUNDLES:
            copy = home / user_dir / name
            failures.extend(f"{when}: {p}" for p in differences(artefacts / fmt / name, copy))
            if str(copy) not in printed:
                failures.append(f"{when}: the script does not say it copied {name}:\n{printed}")

    install_for_user("first install")

    shutil.rmtree(home / ".lv2" / "Grelk.lv2")
    (home / ".vst3" / "Grelk.vst3" / "Contents" / "stale.txt").write_text("left by an older version\n")
    install_for_user("install over a removed LV2 and a stale VST3")

    stage = work / "stage"
    run(["cmake", "--install", args.build_dir, "--prefix", "/usr/local"], dict(os.environ, DESTDIR=str(stage)))
    for fmt, name, _, prefix_dir in BUNDLES:
        failures.extend(f"cmake --install: {p}" for p in differences(artefacts / fmt / name, stage / "usr/local" / prefix_dir / name))

    if failures:
        sys.exit("\n".join(failures))
    print("install-plugins.sh replaced both bundles twice; cmake --install laid them out under lib/vst3 and lib/lv2")


if __name__ == "__main__":
    main()
