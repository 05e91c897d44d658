"""`pip install .` path: the scikit-build-core wheel carries the module and nothing to import wrongly."""

import os
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


@pytest.mark.skipif(os.environ.get("MODRIN_SKIP_WHEEL") == "1", reason="wheel build disabled")
def test_wheel_builds_and_holds_the_extension(tmp_path):
    pytest.importorskip("scikit_build_core")
    pip = [sys.executable, "-m", "pip"]
    if subprocess.run([*pip, "--version"], capture_output=True).returncode != 0:
        pytest.skip("pip is not installed")
    # Build from a copy so the wheel build leaves the work tree untouched.
    src = tmp_path / "src"
    shutil.copytree(ROOT, src, ignore=shutil.ignore_patterns("build", ".git", "__pycache__"))
    out = tmp_path / "wheels"
    subprocess.run(
        [*pip, "wheel", "--no-build-isolation", "--no-deps", "-q", "-w", str(out), str(src)],
        check=True,
        capture_output=True,
        env={**os.environ, "CMAKE_BUILD_PARALLEL_LEVEL": str(os.cpu_count() or 1)},
    )
    (wheel,) = out.glob("modrin-*.whl")
    names = zipfile.ZipFile(wheel).namelist()
    modules = [n for n in names if n.endswith(".so")]
    assert len(modules) == 1 and modules[0].startswith("modrin.cpython-314")
    # The installed module imports and exposes the classes.
    target = tmp_path / "site"
    zipfile.ZipFile(wheel).extractall(target)
    code = "import modrin; print(modrin.__all__)"
    res = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True,
                         env={**os.environ, "PYTHONPATH": str(target)}, cwd=tmp_path)
    assert res.stdout.strip() == "['Modrin', 'LogModrin']"
