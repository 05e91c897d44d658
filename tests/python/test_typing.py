"""Stubs: mypy --strict accepts typed use and reports misuse; the stub matches the runtime classes."""

import os
import re
import runpy
import subprocess
import sys
import typing
from pathlib import Path

import pytest

pytest.importorskip("mypy")

SCRIPTS = Path(__file__).parent / "typed_use"
STUBS = Path(__file__).resolve().parents[2] / "src" / "lib"


def run(module, *args, cwd):
    env = {**os.environ, "MYPYPATH": str(STUBS)}
    return subprocess.run([sys.executable, "-m", module, *args], capture_output=True, text=True,
                          env=env, cwd=cwd)


def test_mypy_strict_accepts_typed_use_and_reports_each_marked_misuse(tmp_path):
    good, bad = SCRIPTS / "uses_modrin.py", SCRIPTS / "misuses_modrin.py"
    done = run("mypy", "--strict", "--cache-dir", str(tmp_path), str(good), str(bad), cwd=tmp_path)
    reported = set(re.findall(r"^(.+?):(\d+): error: .*  \[([\w-]+)\]$", done.stdout, re.M))
    expected = {(str(bad), str(n), m[1])
                for n, line in enumerate(bad.read_text().splitlines(), 1)
                if (m := re.search(r"# E: ([\w-]+)$", line))}
    assert len(expected) >= 10
    assert reported == expected, done.stdout


def test_stub_matches_the_runtime_members_and_signatures(tmp_path):
    done = run("mypy.stubtest", "modrin", cwd=tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr


def test_types_the_stub_promises_are_the_types_returned(monkeypatch):
    def exact(value, expected):
        assert type(value) is (type(None) if expected is None else expected), (value, expected)
        return value

    monkeypatch.setattr(typing, "assert_type", exact)
    runpy.run_path(str(SCRIPTS / "uses_modrin.py"))
