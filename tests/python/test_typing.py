"""Stubs: mypy --strict accepts typed use and reports misuse; the stub matches the runtime classes."""

import os
import re
import runpy
import subprocess
import sys
import typing
from pathlib import Path

import pytest

import modrin

pytest.importorskip("mypy")

SCRIPTS = Path(__file__).parent / "typed_use"
ROOT = Path(__file__).resolve().parents[2]


def run(module, *args, cwd):
    # No MYPYPATH: the checkers find the stub beside the built module, as in site-packages.
    env = {k: v for k, v in os.environ.items() if k != "MYPYPATH"}
    return subprocess.run([sys.executable, "-m", module, *args], capture_output=True, text=True,
                          env=env, cwd=cwd)


def test_dev_run_gives_mypy_the_stub_as_an_installed_package_would(tmp_path):
    if Path(modrin.__file__).resolve().parent != ROOT / "build" / "release" / "python":
        pytest.skip("./dev run serves the release build, not the one under test")
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MYPYPATH")}
    done = subprocess.run([str(ROOT / "dev"), "run", "python3", "-m", "mypy", "--strict",
                           "--cache-dir", str(tmp_path), str(SCRIPTS / "uses_modrin.py")],
                          capture_output=True, text=True, env=env, cwd=tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_mypy_strict_accepts_typed_use_and_reports_each_marked_misuse(tmp_path):
    good, bad = SCRIPTS / "uses_modrin.py", SCRIPTS / "misuses_modrin.py"
    arrays = SCRIPTS / "uses_modrin_array.py"
    done = run("mypy", "--strict", "--cache-dir", str(tmp_path), str(good), str(arrays), str(bad),
               cwd=tmp_path)
    reported = set(re.findall(r"^(.+?):(\d+): error: .*  \[([\w-]+)\]$", done.stdout, re.M))
    expected = {(str(bad), str(n), m[1])
                for n, line in enumerate(bad.read_text().splitlines(), 1)
                if (m := re.search(r"# E: ([\w-]+)$", line))}
    assert len(expected) >= 10
    assert reported == expected, done.stdout


@pytest.mark.parametrize("module", ["modrin", "modrin_array"])
def test_stub_matches_the_runtime_members_and_signatures(module, tmp_path):
    done = run("mypy.stubtest", module, cwd=tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_types_the_stub_promises_are_the_types_returned(monkeypatch):
    def exact(value, expected):
        assert type(value) is (type(None) if expected is None else expected), (value, expected)
        return value

    monkeypatch.setattr(typing, "assert_type", exact)
    runpy.run_path(str(SCRIPTS / "uses_modrin.py"))
    runpy.run_path(str(SCRIPTS / "uses_modrin_array.py"))
