"""`pip install .` path: the scikit-build-core wheel carries the module and nothing to import wrongly."""

import os
import shutil
import subprocess
import sys
import tomllib
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]

pytestmark = pytest.mark.skipif(os.environ.get("MODRIN_SKIP_WHEEL") == "1", reason="wheel build disabled")


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    pytest.importorskip("scikit_build_core")
    pip = [sys.executable, "-m", "pip"]
    if subprocess.run([*pip, "--version"], capture_output=True).returncode != 0:
        pytest.skip("pip is not installed")
    tmp_path = tmp_path_factory.mktemp("wheel")
    # Build from a copy so the wheel build leaves the work tree untouched.
    src = tmp_path / "src"
    shutil.copytree(ROOT, src, ignore=shutil.ignore_patterns("build", "dist", ".git", "__pycache__"))
    out = tmp_path / "wheels"
    subprocess.run(
        [*pip, "wheel", "--no-build-isolation", "--no-deps", "-q", "-w", str(out), str(src)],
        check=True,
        capture_output=True,
        env={**os.environ, "CMAKE_BUILD_PARALLEL_LEVEL": str(os.cpu_count() or 1)},
    )
    (built,) = out.glob("modrin-*.whl")
    return built


def test_wheel_builds_and_holds_the_extension(wheel, tmp_path):
    names = zipfile.ZipFile(wheel).namelist()
    modules = sorted(n for n in names if n.endswith(".so"))
    assert [m.split(".")[0] for m in modules] == ["modrin", "modrin_array"]
    assert all(".cpython-314" in m for m in modules)
    # The installed module imports and exposes the classes.
    target = tmp_path / "site"
    zipfile.ZipFile(wheel).extractall(target)
    code = ("import sys, modrin; print(modrin.__all__, 'numpy' in sys.modules); "
            "import modrin_array; print(modrin_array.ModrinArray([1, 2], 'm') * modrin.Modrin.unit('s')); "
            # The parts written in Python come along.
            "print(modrin_array.ModrinArray([1.0]).__array_namespace__().__name__)")
    res = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True,
                         env={**os.environ, "PYTHONPATH": str(target)}, cwd=tmp_path)
    assert res.stdout == "['Modrin', 'LogModrin'] False\n[1. 2.] [m.s]\n_modrin_array.namespace\n"


SMOKE = """
import importlib.metadata, pickle, sys
import modrin
from modrin import Modrin
assert modrin.__file__.startswith(sys.prefix), modrin.__file__
g = pickle.loads(pickle.dumps(Modrin.constant("earth gravity")))
print(importlib.metadata.version("modrin"), f"{g:.2f}", g.as_unit("ft/s2").round_sfig(3))
"""

TYPED = """
from modrin import LogModrin, Modrin
speed: Modrin = Modrin.unit("km/hr") * 36
ratio: float = LogModrin.unit("dB") * LogModrin.unit("dB")
"""


def test_wheel_installs_offline_into_a_fresh_environment_and_works_outside_the_tree(wheel, tmp_path):
    # The system's site packages provide pip and mypy, as the distribution does for a build.
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", "--system-site-packages", str(venv)],
                   check=True)
    python = str(venv / "bin" / "python")
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    subprocess.run([python, "-m", "pip", "install", "--no-index", "--no-deps", "-q", str(wheel)],
                   check=True, capture_output=True, env=env, cwd=tmp_path)
    res = subprocess.run([python, "-c", SMOKE], capture_output=True, text=True, env=env, cwd=tmp_path)
    assert res.returncode == 0, res.stderr
    version = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]["version"]
    assert res.stdout == f"{version} 9.81 [m/s2] 32.2 [ft/s2]\n"
    # mypy finds the installed stub: without it, --strict reports import-not-found.
    if subprocess.run([python, "-c", "import mypy"], env=env).returncode == 0:
        (tmp_path / "typed.py").write_text(TYPED)
        res = subprocess.run([python, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
                              "typed.py"], capture_output=True, text=True, env=env, cwd=tmp_path)
        assert res.returncode == 0, res.stdout
