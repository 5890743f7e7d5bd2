#!/usr/bin/env python3
"""Checks the files that publish Backdrift where Windows users look; the first argument names the group.

  manifests <checkout>   tools/manifests.sh's Scoop and winget manifests: fields, the zip's hash, address and command
  zip <checkout>   tools/pack-zip.py: same bytes in any time zone and file mode; entries sorted, dated SOURCE_DATE_EPOCH
  workflows <checkout>   every workflow parses; each step that runs something runs a script or program of the checkout
"""
import glob
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import zipfile

import yaml

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def check_fields(where, data, expected):
    for field, want in expected.items():
        check(data.get(field) == want, f"{where}: {field} is {data.get(field)!r}, not {want!r}")


def manifests(checkout):
    with tempfile.TemporaryDirectory() as scratch:
        version = "9.8.7"
        zip_path = os.path.join(scratch, f"Backdrift-{version}-win64.zip")
        with zipfile.ZipFile(zip_path, "w") as archive:
            for name in ("Backdrift.exe", "README.md", "LICENSE"):
                archive.writestr(name, f"stands in for {name}")
        names = zipfile.ZipFile(zip_path).namelist()
        digest = hashlib.sha256(open(zip_path, "rb").read()).hexdigest()
        url = f"https://github.com/velmaro/backdrift/releases/download/v{version}/Backdrift-{version}-win64.zip"
        out = os.path.join(scratch, "out")
        tool = os.path.join(checkout, "tools", "manifests.sh")
        subprocess.run(["bash", tool, zip_path, out], check=True, stdout=subprocess.DEVNULL)

        scoop = json.load(open(os.path.join(out, "scoop", "backdrift.json")))
        for field in ("version", "description", "homepage", "license", "architecture", "bin"):
            check(field in scoop, f"scoop: no {field}")
        check_fields("scoop", scoop, {"version": version})
        check_fields("scoop", scoop.get("architecture", {}).get("64bit", {}), {"url": url, "hash": digest})
        check(scoop.get("bin") in names, f"scoop: bin {scoop.get('bin')} is not in the zip")

        folder = os.path.join(out, "winget", "manifests", "v", "Velmaro", "Backdrift", version)
        required = {  # each manifest's type, what its file name adds and the fields it must fill
            ("version", ""): ("DefaultLocale",),
            ("installer", ".installer"): ("InstallerType", "NestedInstallerType", "NestedInstallerFiles", "Installers"),
            ("defaultLocale", ".locale.en-US"): ("PackageLocale", "Publisher", "PackageName", "License",
                                                 "ShortDescription"),
        }
        sets = {}
        for (kind, part), fields in required.items():
            data = sets[kind] = yaml.safe_load(open(os.path.join(folder, f"Velmaro.Backdrift{part}.yaml")))
            check_fields(f"winget {kind}", data, {"PackageIdentifier": "Velmaro.Backdrift", "PackageVersion": version,
                                                  "ManifestType": kind, "ManifestVersion": "1.6.0"})
            for field in fields:
                check(data.get(field), f"winget {kind}: no {field}")
        check(sets["version"].get("DefaultLocale") == sets["defaultLocale"].get("PackageLocale"), "winget: locales")
        installer = sets["installer"]
        check_fields("winget", installer, {"InstallerType": "zip", "NestedInstallerType": "portable"})
        nested = (installer.get("NestedInstallerFiles") or [{}])[0]
        check(nested.get("RelativeFilePath") in names, f"winget: {nested.get('RelativeFilePath')} is not in the zip")
        check(nested.get("PortableCommandAlias"), "winget: no command")
        entry = (installer.get("Installers") or [{}])[0]
        check_fields("winget", entry, {"Architecture": "x64", "InstallerUrl": url, "InstallerSha256": digest.upper()})

        other = os.path.join(scratch, "Backdrift-latest.zip")
        os.rename(zip_path, other)
        refused = subprocess.run(["bash", tool, other, out], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(refused.returncode != 0, "a zip without a version in its name was taken")


def zip_(checkout):
    with tempfile.TemporaryDirectory() as scratch:
        files = [os.path.join(scratch, name) for name in ("README.md", "LICENSE", "Backdrift.exe")]
        for path in files:
            open(path, "w").write(f"stands in for {path}")
            os.chmod(path, 0o600)
        zones = ("UTC0", "EAST-14")  # POSIX zone strings, which need no time zone data
        made = [os.path.join(scratch, f"Backdrift-{zone}.zip") for zone in zones]
        for path, zone in zip(made, zones):
            subprocess.run([sys.executable, os.path.join(checkout, "tools", "pack-zip.py"), path, *files], check=True,
                           env=dict(os.environ, TZ=zone, SOURCE_DATE_EPOCH="1700000001"))
        data = [open(path, "rb").read() for path in made]
        check(data[0] == data[1], "zip: other bytes in another time zone")
        checksum = f"{hashlib.sha256(data[0]).hexdigest()}  {os.path.basename(made[0])}\n"
        check(open(made[0] + ".sha256").read() == checksum, "zip: checksum")
        at = (2023, 11, 14, 22, 13, 20)
        entries = [(e.filename, e.date_time, e.external_attr >> 16) for e in zipfile.ZipFile(made[0]).infolist()]
        check(entries == [("Backdrift.exe", at, 0o100755), ("LICENSE", at, 0o100644), ("README.md", at, 0o100644)],
              f"zip: entries {entries}")


def workflows(checkout):
    paths = sorted(glob.glob(os.path.join(checkout, ".github", "workflows", "*.yml")))
    check(paths, "no workflow files")
    steps_by_file, triggers = {}, {}
    for path in paths:
        data = yaml.safe_load(open(path))  # raises on YAML that does not parse
        name = os.path.basename(path)
        triggers[name] = data.get("on", data.get(True))  # YAML 1.1 reads a bare on as true
        check(triggers[name], f"{name}: no triggers")
        steps_by_file[name] = [(job_name, job, step) for job_name, job in data.get("jobs", {}).items()
                               for step in job.get("steps", [])]
        for job_name, _, step in steps_by_file[name]:
            if step.get("run") is None:
                continue
            words = step["run"].split()
            program = (words[1] if words[0] in ("bash", "sh", "pwsh") else words[0]).replace("\\", "/")
            built = re.fullmatch(r"build/[^ ]*/(\w+)\.exe", program)
            source = f"tools/{built.group(1)}.cpp" if built else program
            check(os.path.isfile(os.path.join(checkout, source)),
                  f"{name}, job {job_name}: runs {program}, which is not in the checkout")

    def runs(file, text):
        return [(job_name, job) for job_name, job, step in steps_by_file.get(file, []) if text in step.get("run", "")]

    linux = runs("ci.yml", ".ci/run")
    check(linux and linux[0][1].get("container") == "debian:12", "ci.yml: the test command does not run on Debian 12")
    tested = runs("ci.yml", "run_tests.exe build\\tested\\tests.txt")
    check(tested and tested[0][1].get("runs-on") == "windows-latest", "ci.yml: no Windows job runs the tested programs")
    check(tested and tested[0][1].get("needs") == linux[0][0] if linux else False, "ci.yml: Windows job does not wait")
    check(runs("ci.yml", "tools\\windows-native.cmd"), "ci.yml: no native Visual Studio build")
    tags = (triggers.get("release.yml") or {}).get("push", {}).get("tags", [])
    check(tags == ["v*"], f"release.yml: triggered by tags {tags}")
    check(runs("release.yml", "tools/package.sh") and runs("release.yml", "tools/publish-release.sh"),
          "release.yml: does not package and publish")

    def where(file, text):  # the first step that runs or uses <text>, by its place in the file
        return next((i for i, (_, _, step) in enumerate(steps_by_file.get(file, []))
                     if text in (step.get("run") or step.get("uses") or "")), -1)

    tests, again = where("ci.yml", ".ci/run"), where("ci.yml", "tools/check-reproducible.sh")
    check(linux and 0 <= tests < again and runs("ci.yml", "check-reproducible")[0][0] == linux[0][0],
          "ci.yml: the Linux job does not build the zip twice to compare after the tests")
    git, package = where("release.yml", "tools/deps.sh git"), where("release.yml", "tools/package.sh")
    clones = [i for i, (_, _, step) in enumerate(steps_by_file.get("release.yml", []))
              if git < i < package and "actions/checkout" in step.get("uses", "")]
    check(git >= 0 and clones, "release.yml: the zip is not built in a clone, whose commit dates its entries")


if __name__ == "__main__":
    {"manifests": manifests, "zip": zip_, "workflows": workflows}[sys.argv[1]](sys.argv[2])
    for failure in failures:
        print("FAIL", failure)
    print("ok" if not failures else f"{len(failures)} failed")
    sys.exit(1 if failures else 0)
