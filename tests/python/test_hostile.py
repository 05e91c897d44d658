"""Hostile input: huge unit texts, extreme numbers and exponents, operands that raise or re-enter.
Every case ends in a result or a clean exception; the timings are bench/bench_hostile.py's."""

import math

import pytest
from hostile_texts import KINDS, SIZES, hostile_text

from modrin import Modrin


def expected_for(kind, text):
    """The exception type a text must raise, or the plain text of the unit it must give."""
    if kind == "random bytes":
        return UnicodeEncodeError  # surrogates have no UTF-8 form
    if kind == "m.m.m":
        return f"1 [m{text.count('m')}]"
    return LookupError


@pytest.mark.parametrize("size", SIZES)
@pytest.mark.parametrize("kind", KINDS)
def test_huge_unit_texts_give_a_unit_or_a_clean_error(kind, size):
    text = hostile_text(kind, size)
    expected = expected_for(kind, text)
    if isinstance(expected, str):
        assert str(Modrin.unit(text)) == expected
        assert str(Modrin.unit("s") * text).startswith("1 [m")  # the operand path parses too
    else:
        with pytest.raises(expected):
            Modrin.unit(text)
        with pytest.raises(TypeError, match="unsupported operand"):
            Modrin.unit("s") / text


M = Modrin.unit("m")
NAN, INF = math.nan, math.inf


@pytest.mark.parametrize(
    ("make", "shown"),
    [
        (lambda: M * 1e308 * 10, "inf [m]"),
        (lambda: M * 1e308 * M * 1e10, "inf [m2]"),
        (lambda: (M * 5e-324).as_unit("km"), "0 [km]"),  # underflows, as the float does
        (lambda: M * NAN, "NaN [m]"),
        (lambda: (M * -INF).as_unit("km"), "-inf [km]"),
        (lambda: round(M * NAN, 2), "NaN [m]"),
        (lambda: (M * INF).round_sfig(3), "inf [m]"),
        (lambda: round(M * -0.0, 3), "-0 [m]"),
        (lambda: M**INF, "1 [minf]"),
        (lambda: M**-INF, "1 [1/minf]"),
        (lambda: M**NAN, "1 []"),  # a NaN exponent is shown nowhere
        (lambda: Modrin.custom("huge", "hg", M * 1e308) ** 2, "1 [hg2]"),
        (lambda: Modrin.custom("nan", "nn", M * NAN) * 2, "NaN [nn]"),
        (lambda: (Modrin.custom("inf", "if", M * INF) / M).simplify(), "inf []"),
        (lambda: (Modrin.custom("zero", "z", M * 0.0) / M).simplify(), "0 []"),
        (lambda: Modrin.unit("shed9.rad") * 5, "5 [shed9]"),  # factors 0 and 0, kept apart
        (lambda: Modrin.unit("Qm9.Qm2") / M, "1000000000000000000000000000000 [Qm10]"),
    ],
)
def test_extreme_numbers_exponents_and_factors_flow_through(make, shown):
    assert str(make()) == shown


@pytest.mark.parametrize(
    ("call", "exc", "message"),
    [
        (lambda: int(M * NAN), ValueError, "NaN"),
        (lambda: int(M * INF), OverflowError, "infinity"),
        (lambda: M ** (2**31), TypeError, "unsupported operand"),  # operands are 32-bit ints
        (lambda: round(M, 2**40), OverflowError, "out of range"),
        (lambda: M * NAN < M, None, False),
        (lambda: Modrin.custom("nan", "nn", M * NAN) == Modrin.custom("nan", "nn", M * NAN), None, False),
    ],
)
def test_extreme_operands_give_results_or_clean_errors(call, exc, message):
    if exc is None:
        assert call() is message
    else:
        with pytest.raises(exc, match=message):
            call()


class RaisingStr:
    def __str__(self):
        raise ValueError("no text")


class RaisingIndex:
    def __index__(self):
        raise ValueError("no index")


class RaisingFloat:
    def __float__(self):
        raise AssertionError("__float__ is never asked for")


class ReenteringStr:
    def __init__(self, q):
        self.q = q

    def __str__(self):
        return str(self.q)  # the same object, while as_unit holds it


Q = Modrin.unit("km") * 3


@pytest.mark.filterwarnings("ignore::pytest.PytestUnraisableExceptionWarning")
@pytest.mark.parametrize(
    ("call", "exc", "message", "note"),
    [
        (lambda: Q.as_unit(RaisingStr()), TypeError, "<unprintable RaisingStr object> cannot be coerced", "other"),
        (lambda: Q * RaisingStr(), TypeError, "unsupported operand", None),
        (lambda: round(Q, RaisingIndex()), ValueError, "no index", "ndigits"),
        (lambda: Q.round_sfig(RaisingIndex()), ValueError, "no index", "n_sig_figs"),
        (lambda: Q * RaisingFloat(), TypeError, "unsupported operand", None),
        (lambda: Q.as_unit(ReenteringStr(Q)), TypeError, "<unprintable ReenteringStr object>", "other"),
        (lambda: Modrin.custom("a", "b", ReenteringStr(Q)), TypeError, "3 .km. cannot be coerced", "definition"),
    ],
)
def test_operands_that_raise_or_reenter_fail_cleanly(call, exc, message, note):
    with pytest.raises(exc, match=message) as info:
        call()
    assert getattr(info.value, "__notes__", [None])[-1] == (note and f"while processing '{note}'")
    assert str(Q) == "3 [km]"  # the object is whole and free again
