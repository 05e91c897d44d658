"""ModrinArray's format(), latex(), descriptive() and _repr_latex_() against Modrin's own text
forms of its elements, and the testing helpers of modrin_array."""

import re

import pytest

np = pytest.importorskip("numpy")

from modrin import Modrin  # noqa: E402
from modrin_array import ModrinArray, assert_allclose, assert_array_equal  # noqa: E402

m, km, s, K = Modrin.unit("m"), Modrin.unit("km"), Modrin.unit("s"), Modrin.unit("K")
smoot = Modrin.custom("smoot", "smt", m * 1.7018)
nan = float("nan")


def elements(a):
    return list(a.reshape(-1))


@pytest.mark.parametrize("values, unit, fmt, text", [
    ([1, 2.5], "km", ".3f", "[1.000 2.500] [km]"),
    ([[1, 2.5]], "hr/s", ".0f", "[[3600 9000]] []"),         # in the units str() shows
    ([1234.5, -0.0, nan], "m", "+,.1f", "[+1,234.5 -0.0 +nan] [m]"),
    ([0.5, 4], "kg.J/N.m", ".2e", "[5.00e-01 4.00e+00] [kg]"),
    ([1, 2], smoot / s, "6.2f", "[  1.00   2.00] [smt/s]"),
    (2.5, "deg C", ".2f", "2.50 [°C]"),
    ([], "km", ".1f", "[] [km]"),
])
def test_format_applies_the_spec_to_each_number_as_modrin_does(values, unit, fmt, text):
    a = ModrinArray(values, unit)
    assert format(a, fmt) == f"{a:{fmt}}" == text
    assert format(a, "") == str(a)
    units = text[text.rindex(" ["):]
    numbers = re.findall(r"[^\s\[\]]+", text.removesuffix(units))
    assert numbers == [format(q, fmt).removesuffix(units).strip() for q in elements(a)]


@pytest.mark.parametrize("a", [ModrinArray([1, 2], "km"), ModrinArray([], "m")])
@pytest.mark.parametrize("fmt", ["q", ".2.3f", "d", "=^^10s", 3])
def test_an_invalid_format_fails_as_for_modrin(a, fmt):
    with pytest.raises((ValueError, TypeError)) as expected:
        km.__format__(fmt)
    with pytest.raises(expected.type) as got:
        a.__format__(fmt)
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


@pytest.mark.parametrize("check, args, kwargs, failure", [
    (assert_allclose, (ModrinArray([1, 2.5], "km"), ModrinArray([1000, 2500], "m")), {}, None),
    (assert_allclose, (ModrinArray([1000, 1000.0001], "m"), km), {"rtol": 1e-6}, None),
    (assert_allclose, (ModrinArray([1, 2.5], "km"), ModrinArray([1000, 2501], "m")), {},
     ("Not equal to tolerance rtol=1e-07, atol=0", "numbers in [km]", "Mismatched")),
    (assert_allclose, (ModrinArray([1], "km"), m * 1001), {"atol": m * 2}, None),
    (assert_allclose, (ModrinArray([1], "km"), m * 1001), {"atol": m * 0.5},
     ("atol=0.0005", "numbers in [km]")),
    # A tolerance is a difference: 1 K is 1 °C, zero points aside.
    (assert_allclose, (ModrinArray([20], "deg C"), ModrinArray([20.5], "deg C")),
     {"atol": K}, None),
    (assert_allclose, (ModrinArray([20], "deg C"), ModrinArray([20.5], "deg C")),
     {"atol": K * 0.4}, ("atol=0.4", "numbers in [°C]")),
    (assert_allclose, (ModrinArray([1], "km"), ModrinArray([1], "s")), {},
     ("desired in [s] and actual in [km] are not compatible",)),
    (assert_allclose, (ModrinArray([1], "km"), [1]), {},
     ("desired in [] and actual in [km] are not compatible",)),
    (assert_allclose, (ModrinArray([1], "km"), km), {"atol": s},
     ("atol in [s] and actual in [km] are not compatible",)),
    (assert_allclose, ([1, 2], np.array([1, 2.0])), {}, None),
    (assert_allclose, (ModrinArray([1, 2], "m/km"), [0.001, 0.002]), {}, None),
    (assert_allclose, (np.array([1.0]), ModrinArray([1], "m")), {},
     ("desired in [m] and actual in [] are not compatible",)),
    (assert_array_equal, (km, m * 1000), {}, None),
    (assert_array_equal, (ModrinArray([[1, 2]], "km"), ModrinArray([[1000, 2001]], "m")), {},
     ("Arrays are not equal", "numbers in [km]", "Mismatched")),
    (assert_array_equal, (km, ModrinArray([1], "kg")), {},
     ("desired in [kg] and actual in [km] are not compatible",)),
])
def test_assert_helpers_compare_in_the_actual_units(check, args, kwargs, failure):
    """failure: None when the check passes, else pieces of its AssertionError's message."""
    if failure is None:
        check(*args, **kwargs)
        return
    with pytest.raises(AssertionError) as info:
        check(*args, **kwargs)
    for piece in failure:
        assert piece in str(info.value)
