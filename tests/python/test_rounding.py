"""Rounding and transcendental functions."""

import math

import pytest

from modrin import Modrin


def U(text):
    return Modrin.unit(text)


@pytest.mark.parametrize(
    ("value", "ndigits", "expected"),
    [
        (2.5, None, 3.0),  # halves away from zero
        (-2.5, None, -3.0),
        (0.5, None, 1.0),
        (1.23456, 2, 1.23),
        (1234.5, -2, 1200.0),
        (1.5, 0, 2.0),
        (-0.0, 2, -0.0),
        (1.0e300, 400, 1.0e300),  # scale overflows: nothing finer to round
        (123.456, 2**31 - 1, 123.456),
        (123.456, -400, 0.0),  # scale underflows: zero with the number's sign
        (-123.456, -(2**31), -0.0),
        (1.7e308, 10, 1.7e308),  # scaled number overflows: unchanged
    ],
)
def test_round(value, ndigits, expected):
    q = U("m") * value
    r = round(q, ndigits) if ndigits is not None else round(q)
    assert type(r) is Modrin
    assert float(r) == expected
    assert math.copysign(1, float(r)) == math.copysign(1, expected)


@pytest.mark.parametrize(
    ("value", "figures", "expected"),
    [
        (1234.5678, 3, 1230.0),
        (0.00123456, 2, 0.0012),
        (-987.6, 1, -1000.0),
        (1234, 0, 0.0),
        (5678, 0, 10000.0),
        (0.0, 3, 0.0),  # zero is kept, not NaN
        (-0.0, 3, -0.0),
        (math.inf, 3, math.inf),
        (-math.inf, 2, -math.inf),
        (5e-324, 1, 5e-324),
        (1.7976931348623157e308, 2, math.inf),  # rounds up past the largest double
        (123.456, 2**31 - 1, 123.456),
        (123.456, -(2**31), 0.0),
    ],
)
def test_round_sfig(value, figures, expected):
    r = (U("m") * value).round_sfig(figures)
    assert float(r) == expected
    assert math.copysign(1, float(r)) == math.copysign(1, expected)


def test_rounding_keeps_nan():
    assert math.isnan(float((U("m") * math.nan).round_sfig(3)))
    assert math.isnan(float(round(U("m") * math.nan, 2)))


def test_rounding_simplifies_the_instance_but_keeps_its_number():
    q = U("m2") / U("km") * 1.23456
    r = round(q, 2)
    assert str(r) == "0 [m]"
    assert float(q) == pytest.approx(0.00123456)  # simplified in place, not rounded
    assert str(q) == f"{float(q)!r} [m]"


@pytest.mark.parametrize(
    ("call", "exc", "note"),
    [
        (lambda q: round(q, 2.0), TypeError, "ndigits"),
        (lambda q: round(q, 2**31), OverflowError, "ndigits"),
        (lambda q: q.round_sfig("3"), TypeError, "n_sig_figs"),
        (lambda q: q.round_sfig(-(2**31) - 1), OverflowError, "n_sig_figs"),
    ],
)
def test_rounding_argument_failures(call, exc, note):
    with pytest.raises(exc) as info:
        call(U("m"))
    assert info.value.__notes__ == [f"while processing '{note}'"]


def test_round_with_none_equals_round_without():
    q = U("m") * 2.5
    assert float(round(q, None)) == float(round(q)) == 3.0


@pytest.mark.parametrize(
    ("make", "method", "expected"),
    [
        (lambda: Modrin.empty(), "log", 0.0),
        (lambda: Modrin.empty() * 100, "log10", 2.0),
        (lambda: Modrin.empty(), "exp", math.e),
        (lambda: U("m") / U("km"), "log10", -3.0),
        (lambda: Modrin.empty() * 0, "log", -math.inf),
        (lambda: Modrin.empty() * 1000, "exp", math.inf),
        (lambda: U("deg") * 180, "exp", math.exp(math.pi)),
    ],
)
def test_transcendental_functions(make, method, expected):
    assert getattr(make(), method)() == expected
    assert getattr(make(), f"__{method}__")() == expected


def test_log_of_negative_is_nan():
    assert math.isnan((Modrin.empty() * -1).log())


@pytest.mark.parametrize("method", ["exp", "log", "log10", "__exp__", "__log__", "__log10__"])
def test_transcendental_functions_refuse_dimensions(method):
    with pytest.raises(TypeError) as info:
        getattr(U("m"), method)()
    assert str(info.value) == "[m] and [] are not compatible"
