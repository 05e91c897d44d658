"""Matplotlib with modrin's converter: each axis takes the units of its first quantities, labels
them and shows later series and limits converted into them; incompatible units are refused."""

import subprocess
import sys

import numpy as np
import pytest

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")

import matplotlib.pyplot as plt  # noqa: E402
from matplotlib import units as munits  # noqa: E402

from modrin import Modrin  # noqa: E402
from modrin_array import ModrinArray, matplotlib_support  # noqa: E402

U = Modrin.unit


@pytest.fixture
def ax():
    with matplotlib_support():
        fig, ax = plt.subplots()
        yield ax
    plt.close(fig)


def drawn(ax):
    ax.figure.canvas.draw()
    return ax.xaxis.get_label().get_text(), ax.yaxis.get_label().get_text()


def series(values, unit, form):
    if form == "array":
        return ModrinArray(values, unit)
    return [U(unit) * float(v) for v in values]


@pytest.mark.parametrize(("x_unit", "y_unit", "labels"), [
    ("hr", "km", ("[hr]", "[km]")),
    ("degree Celsius", "W/m2.K4", ("[°C]", "[W/K4.m2]")),
    ("s", None, ("[s]", "")),                     # no units, no label
])
@pytest.mark.parametrize("form", ["array", "modrins"])
def test_each_axis_is_labelled_with_its_units(ax, x_unit, y_unit, labels, form):
    ax.plot(series([1, 2], x_unit, form), ModrinArray([3, 4], y_unit))
    assert drawn(ax) == labels
    np.testing.assert_array_equal(ax.lines[0].get_xydata(), [[1, 3], [2, 4]])


# A first series in the axis's units, then another in other units: its data in the axis's.
@pytest.mark.parametrize(("axis_unit", "values", "unit", "expected"), [
    ("hr", [30, 90], "min", [0.5, 1.5]),
    ("km", [500, 2500], "m", [0.5, 2.5]),
    ("km/hr", [10, 20], "m/s", [36, 72]),
    ("degree Celsius", [273.15, 373.15], "K", [0, 100]),
    ("ft", [1], "mi", [5280]),
])
@pytest.mark.parametrize("form", ["array", "modrins"])
def test_a_later_series_is_drawn_in_the_axis_units(ax, axis_unit, values, unit, expected, form):
    ax.plot(ModrinArray([0, 1], "s"), ModrinArray([0, 1], axis_unit))
    ax.plot(ModrinArray(np.arange(len(values)), "min"), series(values, unit, form))
    np.testing.assert_allclose(ax.lines[1].get_xydata(),
                               np.column_stack([np.arange(len(values)) * 60, expected]))


@pytest.mark.parametrize(("limits", "expected"), [
    ((U("min") * 30, U("hr") * 2), (0.5, 2.0)),
    ((U("s") * -360, None), (-0.1, None)),         # only the left limit
    ((U("hr") * 0, U("day")), (0, 24)),
])
def test_limits_given_as_modrins_are_set_in_the_axis_units(ax, limits, expected):
    ax.plot(ModrinArray([0.5, 1], "hr"), ModrinArray([1, 2], "km"))
    before = ax.get_xlim()
    ax.set_xlim(*limits)
    wanted = [b if e is None else e for b, e in zip(before, expected)]
    np.testing.assert_allclose(ax.get_xlim(), wanted, atol=1e-12)


def refusal(x_unit):
    """What modrin's own conversion of x_unit into the axis's hours raises."""
    with pytest.raises(TypeError) as error:
        ModrinArray([1.0], x_unit).as_number(U("hr"))
    return str(error.value)


@pytest.mark.parametrize("x_unit", ["m", "hr/s"])
def test_incompatible_units_are_refused_with_modrin_s_error(ax, x_unit):
    ax.plot(ModrinArray([0, 1], "hr"), ModrinArray([0, 1], "km"))
    with pytest.raises(TypeError) as error:
        ax.plot(ModrinArray([1, 2], x_unit), ModrinArray([3, 4], "km"))
    assert type(error.value) is TypeError and str(error.value) == refusal(x_unit)
    assert len(ax.lines) == 1
    # Matplotlib wraps what the conversion of limits raises; the cause is modrin's error.
    with pytest.raises(TypeError) as error:
        ax.set_xlim(U(x_unit), U(x_unit) * 2)
    assert str(error.value.__cause__) == refusal(x_unit)


OTHER = munits.ConversionInterface()


@pytest.mark.parametrize("before", [None, OTHER])
@pytest.mark.parametrize("enable", [True, False])
def test_the_context_restores_the_converters_it_replaced(monkeypatch, before, enable):
    monkeypatch.setattr(munits, "registry", munits.Registry(
        {} if before is None else {Modrin: before, ModrinArray: before}))
    with matplotlib_support(enable):
        inside = [munits.registry.get(cls) for cls in (Modrin, ModrinArray)]
    assert [munits.registry.get(cls) for cls in (Modrin, ModrinArray)] == [before, before]
    if enable:
        assert inside[0] is inside[1] is not before
        assert isinstance(inside[0], munits.ConversionInterface)
    else:
        assert inside == [None, None]


def test_importing_modrin_array_leaves_matplotlib_unimported():
    probe = ("import sys, modrin_array; before = 'matplotlib' in sys.modules; "
             "modrin_array.matplotlib_support(); print(before, 'matplotlib' in sys.modules)")
    done = subprocess.run([sys.executable, "-c", probe], capture_output=True, text=True)
    assert done.stdout.split() == ["False", "True"], done.stderr
