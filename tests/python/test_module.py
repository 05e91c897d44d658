"""The module frame: what import gives, and the properties both classes share."""

import gc
import shutil
import subprocess
import sys

import pytest

import modrin
from modrin import LogModrin, Modrin

CLASSES = [Modrin, LogModrin]


def test_all_lists_the_two_classes_in_order():
    assert modrin.__all__ == ["Modrin", "LogModrin"]


def test_module_has_only_the_classes_beside_the_usual_attributes():
    usual = {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__", "__all__"}
    assert set(vars(modrin)) - usual == {"Modrin", "LogModrin"}
    assert isinstance(modrin.__doc__, str) and modrin.__doc__


@pytest.mark.parametrize(("cls", "name", "doc"), [(Modrin, "Modrin", "Unit! yippee"), (LogModrin, "LogModrin", None)])
def test_class_names_module_and_docstring(cls, name, doc):
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__module__ == "modrin"
    assert cls.__doc__ == doc
    assert cls.__bases__ == (object,)


@pytest.mark.parametrize("cls", CLASSES)
def test_classes_cannot_be_instantiated(cls):
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        cls.__new__(cls)


@pytest.mark.parametrize("cls", CLASSES)
def test_classes_cannot_be_subclassed(cls):
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


@pytest.mark.parametrize("cls", CLASSES)
def test_classes_are_immutable(cls):
    with pytest.raises(TypeError):
        cls.extra = 1


@pytest.mark.parametrize("cls", CLASSES)
def test_instances_would_have_no_dict_weakref_or_hash(cls):
    assert "__dict__" not in dir(cls)
    assert cls.__weakrefoffset__ == 0
    assert cls.__dictoffset__ == 0
    assert cls.__hash__ is None


@pytest.mark.parametrize("cls", CLASSES)
def test_classes_take_part_in_garbage_collection(cls):
    assert cls.__flags__ & (1 << 14)  # Py_TPFLAGS_HAVE_GC
    instance = cls.unit("dB" if cls is LogModrin else "m")
    assert gc.is_tracked(instance)
    assert gc.get_referents(instance) == [cls]  # only the type: instances hold no references
    gc.collect()
    assert str(instance) in ("1 [m]", "1 [dB]")


def test_reimport_in_a_fresh_interpreter_is_clean():
    code = (
        "import importlib, sys, modrin\n"
        "first = modrin.Modrin\n"
        "del sys.modules['modrin']\n"
        "again = importlib.import_module('modrin')\n"
        "assert again.Modrin is first\n"
        "assert again.__all__ == ['Modrin', 'LogModrin'], again.__all__\n"
        "print('ok')\n"
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "ok"



def test_shared_library_exports_only_its_entry_point():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    out = subprocess.run([nm, "-D", "--defined-only", modrin.__file__], capture_output=True, text=True, check=True)
    symbols = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
    assert symbols == ["PyInit_modrin"]


def test_an_application_can_embed_the_interpreter_twice():
    import os
    import pathlib

    exe = pathlib.Path(modrin.__file__).parent.parent / "tests" / "embed" / "modrin_embed"
    if not exe.exists():
        pytest.skip("the embedding test is built with the C++ tests")
    env = dict(os.environ, PYTHONPATH=str(pathlib.Path(modrin.__file__).parent))
    done = subprocess.run([str(exe)], capture_output=True, text=True, env=env, timeout=60)
    assert (done.returncode, done.stdout) == (0, "embedded twice\n"), done.stderr
