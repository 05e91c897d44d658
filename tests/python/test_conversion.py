"""Conversion methods: as_unit, as_number, as_unitless, as_base_units, simplify, float, int."""

import math

import pytest

from modrin import Modrin


def U(text):
    return Modrin.unit(text)


@pytest.mark.parametrize(
    ("make", "number", "shown"),
    [
        (lambda: U("km").as_unit("m"), 1000, "1000 [m]"),
        (lambda: U("km").as_unit(U("m") * 5), 1000, "1000 [m]"),  # other's number is not used
        (lambda: (U("km/hr") * 36).as_unit("m/s"), 10, "10 [m/s]"),
        (lambda: (U("degree Celsius") * 20).as_unit("K"), 293.15, "293.15 [K]"),
        (lambda: (U("K") * 293.15).as_unit("degree Celsius"), 20, "20 [°C]"),
        (lambda: (U("°F") * 212).as_unit("°C"), 100, "100 [°C]"),
        (lambda: (U("°F") * 32).as_unit("K"), 273.15, "273.15 [K]"),
        (lambda: (U("°C") ** -1 * 2).as_unit("1/K"), 2, "2 [1/K]"),  # per degree: no offset
        (lambda: (U("°C") ** 2 * 20).as_unit("K2"), 20, "20 [K2]"),
        (lambda: U("psi").as_unit("Pa"), 6894.757293168361, "6894.757293168361 [Pa]"),
        (lambda: U("N").as_base_units(), 1, "1 [kg.m/s2]"),
        (lambda: (U("km") * 2).as_base_units(), 2000, "2000 [m]"),
        (lambda: (U("degree Celsius") * 20).as_base_units(), 20, "20 [K]"),  # eight entries: no offset
        (lambda: (U("kg") * U("J") / (U("N") * U("m")) * 5).simplify(), 5, "5 [kg]"),
        (lambda: (U("J") / (U("N") * U("m"))).simplify(), 1, "1 []"),
    ],
)
def test_conversions(make, number, shown):
    q = make()
    assert float(q) == pytest.approx(number, rel=1e-15)
    assert str(q) == shown


@pytest.mark.parametrize(
    ("call", "expected"),
    [
        (lambda: U("km").as_number("m"), 1000.0),
        (lambda: U("km").as_number(), 1.0),
        (lambda: U("km").as_number(None, True), 1.0),  # scale is ignored without other
        (lambda: (U("m") * 3).as_number(U("cm") * 10, scale=True), 30.0),
        (lambda: (U("m") * 3).as_number(U("cm") * 10, scale=False), 300.0),
        (lambda: (U("m") * 3).as_number(other=U("cm") * 10), 300.0),
        (lambda: Modrin.empty().as_unitless(), 1.0),
        (lambda: (U("deg") * 90).as_unitless(), 1.5707963267948966),
        (lambda: (U("m") / U("km")).as_unitless(), 0.001),
        (lambda: float(U("km")), 1.0),
    ],
)
def test_numbers(call, expected):
    result = call()
    assert type(result) is float
    assert result == expected


@pytest.mark.parametrize(
    ("call", "exc", "message", "notes"),
    [
        (lambda: U("m").as_unit("s"), TypeError, "[m] and [s] are not compatible", None),
        (lambda: U("m").as_unit("flurb"), LookupError, "Unit flurb not found", ["while processing 'other'"]),
        (lambda: U("m").as_unit([1, 2]), TypeError, "[1, 2] cannot be coerced into a unit", ["while processing 'other'"]),
        (lambda: U("m").as_unit(2**31), OverflowError, "out of range integral type conversion attempted", ["while processing 'other'"]),
        (lambda: U("m").as_unitless(), TypeError, "[m] and [] are not compatible", None),
        (lambda: U("m").as_number(scale=1), TypeError, "'int' object is not an instance of 'bool'", ["while processing 'scale'"]),
        (lambda: U("m").as_number("m", "yes"), TypeError, "'str' object is not an instance of 'bool'", ["while processing 'scale'"]),
        (lambda: U("m").as_number("s"), TypeError, "[m] and [s] are not compatible", None),
        (lambda: U("m").as_unit(), TypeError, "Modrin.as_unit() missing 1 required positional argument: 'other'", None),
        (lambda: U("m").as_number(1, 2, 3), TypeError, "Modrin.as_number() takes from 0 to 2 positional arguments but 3 were given", None),
    ],
)
def test_conversion_failures(call, exc, message, notes):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc
    assert str(info.value) == message
    assert getattr(info.value, "__notes__", None) == notes


def test_numpy_bool_is_accepted_as_scale():
    np = pytest.importorskip("numpy")
    q = U("m") * 3
    assert q.as_number(U("cm") * 10, scale=np.True_) == 30.0
    assert q.as_number(U("cm") * 10, scale=np.False_) == 300.0
    with pytest.raises(TypeError):
        q.as_number("cm", scale=np.int64(1))


def test_simplify_returns_new_and_simplify_inplace_changes_the_instance():
    q = U("kg") * U("J") / (U("N") * U("m")) * 5
    s = q.simplify()
    assert s is not q
    assert q.descriptive() == "5 [joule.kilogram/meter.newton]"
    assert q.simplify_inplace() is None
    assert q.descriptive() == "5 [kilogram]"
    assert float(q) == 5


@pytest.mark.parametrize(
    ("value", "expected"),
    [
        (3.9, 3),
        (-3.9, -3),
        (1e10, 10000000000),  # exact, not saturated at 32 bits
        (-1e10, -10000000000),
        (2.0**70, 2**70),
        (-0.0, 0),
    ],
)
def test_int_truncates_exactly(value, expected):
    result = int(U("m") * value)
    assert type(result) is int and result == expected == int(value)


@pytest.mark.parametrize(("value", "exc"), [(float("nan"), ValueError), (float("inf"), OverflowError), (float("-inf"), OverflowError)])
def test_int_of_non_finite_raises_as_python_does(value, exc):
    with pytest.raises(exc):
        int(U("m") * value)
    with pytest.raises(exc):
        int(value)


def test_int_and_float_ignore_units():
    assert int(U("km")) == 1
    assert float(U("km") * 2.5) == 2.5
    assert math.exp(U("m")) == math.e  # math goes through float()
