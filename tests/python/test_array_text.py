"""ModrinArray's format(), latex(), descriptive() and _repr_latex_() against Modrin's own text
forms of its elements."""

import re

import pytest

np = pytest.importorskip("numpy")

from modrin import Modrin  # noqa: E402
from modrin_array import ModrinArray  # noqa: E402

m, km, s = Modrin.unit("m"), Modrin.unit("km"), Modrin.unit("s")
smoot = Modrin.custom("smoot", "smt", m * 1.7018)
nan = float("nan")


def elements(a):
    return list(a.reshape(-1))


@pytest.mark.parametrize("values, unit, spec, text", [
    ([1, 2.5], "km", ".3f", "[1.000 2.500] [km]"),
    ([[1, 2.5]], "hr/s", ".0f", "[[3600 9000]] []"),         # in the units str() shows
    ([1234.5, -0.0, nan], "m", "+,.1f", "[+1,234.5 -0.0 +nan] [m]"),
    ([0.5, 4], "kg.J/N.m", ".2e", "[5.00e-01 4.00e+00] [kg]"),
    ([1, 2], smoot / s, "6.2f", "[  1.00   2.00] [smt/s]"),
    (2.5, "deg C", ".2f", "2.50 [°C]"),
    ([], "km", ".1f", "[] [km]"),
])
def test_format_applies_the_spec_to_each_number_as_modrin_does(values, unit, spec, text):
    a = ModrinArray(values, unit)
    assert format(a, spec) == f"{a:{spec}}" == text
    assert format(a, "") == str(a)
    units = text[text.rindex(" ["):]
    numbers = re.findall(r"[^\s\[\]]+", text.removesuffix(units))
    assert numbers == [format(q, spec).removesuffix(units).strip() for q in elements(a)]


@pytest.mark.parametrize("a", [ModrinArray([1, 2], "km"), ModrinArray([], "m")])
@pytest.mark.parametrize("spec", ["q", ".2.3f", "d", "=^^10s", 3])
def test_invalid_format_spec_fails_as_for_modrin(a, spec):
    with pytest.raises((ValueError, TypeError)) as expected:
        km.__format__(spec)
    with pytest.raises(expected.type) as got:
        a.__format__(spec)
    assert str(got.value) == str(expected.value)
    assert getattr(got.value, "__notes__", None) == getattr(expected.value, "__notes__", None)


@pytest.mark.parametrize("unit", ["km", "kg.J/N.m", "deg C", "hr/s", "1/s", "m2/km", smoot / s])
@pytest.mark.parametrize("values", [[1.5, 2], [[0.25], [-3]]])
def test_latex_and_descriptive_are_modrins_with_numpys_number_text(unit, values):
    a = ModrinArray(values, unit)
    for method, separator in [("latex", "~"), ("descriptive", " ")]:
        parts = [getattr(q, method)().split(separator, 1) for q in elements(a)]
        numbers = np.array([float(n) for n, _ in parts]).reshape(a.shape)
        assert {u for _, u in parts} == {parts[0][1]}
        assert getattr(a, method)() == f"{numbers}{separator}{parts[0][1]}"
    first = a.reshape(-1)[0]
    assert a._repr_latex_() == first._repr_latex_().replace(first.latex(), a.latex())
