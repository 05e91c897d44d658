"""Arithmetic: the five operators both ways, unary operators, __div__/__rdiv__, normalisation."""

import math

import pytest

from modrin import Modrin


def U(text):
    return Modrin.unit(text)


DEG = 0.017453292519943295


@pytest.mark.parametrize(
    ("make", "number", "shown"),
    [
        (lambda: U("km") + U("m"), 1.001, "1.001 [km]"),  # result in the left operand's units
        (lambda: U("m") + U("km"), 1001, "1001 [m]"),
        (lambda: U("km") - U("m"), 0.999, "0.999 [km]"),
        (lambda: "m" + U("km"), 1.001, "1.001 [km]"),  # text coerced to 1 m, result in km
        (lambda: "m" - U("km"), -0.999, "-0.999 [km]"),  # reflected subtraction: o - S
        (lambda: 1 + U("deg") * 30, 1 / DEG + 30, "87.29577951308232 [°]"),
        (lambda: 1 - U("deg") * 30, 1 / DEG - 30, "27.295779513082323 [°]"),
        (lambda: U("deg") * 30 - 1, 30 - 1 / DEG, "-27.295779513082323 [°]"),
        (lambda: 2 * U("m"), 2, "2 [m]"),
        (lambda: U("m") * 2, 2, "2 [m]"),
        (lambda: 1 / U("s"), 1, "1 [1/s]"),
        (lambda: U("m") / U("s"), 1, "1 [m/s]"),
        (lambda: U("m") ** 2, 1, "1 [m2]"),
        (lambda: 2 ** Modrin.empty(), 2, "2 []"),
        (lambda: pow(U("m"), 2, 7), 1, "1 [m2]"),  # the modulus is checked, not used
        (lambda: (U("m") * 3) ** (Modrin.empty() * 2), 9, "9 [m2]"),
        (lambda: U("m") ** (U("km") / U("m")), 1, "1 [m1000]"),  # a scaled exponent is scaled
        (lambda: U("m") * 2.0**31, 2.0**31, "2147483648 [m]"),
        (lambda: U("m") * (2**31 - 1), 2**31 - 1, "2147483647 [m]"),
        (lambda: U("m") * True, 1, "1 [m]"),
        (lambda: U("m2") / U("km"), 0.001, "0.001 [m]"),  # normalised by simple simplification
        (lambda: U("degree Fahrenheit") * 1, 1, "1 [°F]"),  # no drift through the offset
        (lambda: U("degree Celsius") * 0.1, 0.1, "0.1 [°C]"),
        # The same units add as they are: no round trip through the factors.
        (lambda: U("ft") * 7 - U("ft") * 7, 0, "0 [ft]"),
        (lambda: U("mi") * 0.45 + U("mi") * 0.45, 0.9, "0.9 [mi]"),
        (lambda: U("Qm9.Qm2") + U("Qm9.Qm2"), 2, "2 [Qm11]"),  # a factor beyond the double range
        (lambda: U("Mm9.Mm2") + U("Qm9.Ym2"), 1e252, "1" + "0" * 252 + " [Mm11]"),
        # Zero is zero in every unit, and factors stay exact through subnormal steps.
        (lambda: U("Qm9/qm2") * 0, 0, "0 [Qm7]"),
        (lambda: (U("Qm9.Qm2") * 0).as_base_units(), 0, "0 [m11]"),
        (lambda: U("shed6/shed").as_base_units(), 1e-260, "0." + "0" * 259 + "1 [m10]"),
        (lambda: U("W.s.C/J.A") ** 950, 1, "1 [s950]"),  # simplified at once at any power
    ],
)
def test_operator_results(make, number, shown):
    q = make()
    assert type(q) is Modrin
    assert float(q) == pytest.approx(number, rel=1e-15)
    assert str(q) == shown


def test_division_by_zero_follows_ieee():
    assert float(U("m") / 0) == math.inf
    assert math.isnan(float((U("m") * 0) / 0))
    assert math.isnan(float((U("m") * -8) ** 0.5))


@pytest.mark.parametrize(
    ("make", "message"),
    [
        (lambda: U("m") + U("s"), "[m] and [s] are not compatible"),
        (lambda: U("m") + 1, "[m] and [] are not compatible"),
        (lambda: 1 + U("m"), "[m] and [] are not compatible"),  # reflected: S's units first
        (lambda: U("s") - U("m"), "[s] and [m] are not compatible"),
        (lambda: U("m") ** U("m"), "[m] and [] are not compatible"),
        (lambda: 2 ** U("m"), "[m] and [] are not compatible"),
        (lambda: U("degree Celsius") + 1, "[°C] and [] are not compatible"),
        (lambda: U("psi") + U("kg/m2"), "[psi] and [kg/m2] are not compatible"),
    ],
)
def test_incompatible_operands_raise(make, message):
    with pytest.raises(TypeError) as info:
        make()
    assert str(info.value) == message


@pytest.mark.parametrize(
    "make",
    [
        lambda: U("m") * 2**31,
        lambda: 2**31 * U("m"),
        lambda: U("m") + "flurb",
        lambda: "flurb" + U("m"),
        lambda: U("m") + [1],
        lambda: [1] + U("m"),
        lambda: U("m") * None,
        lambda: pow(U("m"), 2, "x"),
        lambda: pow(U("m"), 2, U("m")),
        lambda: U("m") // U("m"),
        lambda: U("m") % 2,
        lambda: U("m") @ U("m"),
    ],
)
def test_unsupported_operands_give_pythons_own_type_error(make):
    with pytest.raises(TypeError) as info:
        make()
    text = str(info.value)
    assert "cannot be coerced" not in text and "not compatible" not in text


def test_unary_operators():
    q = U("m2") / U("km") * 5
    neg = -q
    assert float(neg) == -0.005 and str(neg) == "-0.005 [m]"
    pos = +q
    assert pos is not q and float(pos) == 0.005
    a = abs(U("m") * -0.0)
    assert math.copysign(1.0, float(a)) == 1.0
    assert str(abs(U("m") * -3)) == "3 [m]"
    assert math.isnan(float(abs(U("m") * float("nan"))))
    assert float(-U("m")) == -1


def test_explicit_division_methods():
    q = U("m") * 6
    assert str(q.__div__("s")) == str(q / U("s"))
    assert str(q.__rdiv__(1)) == str(1 / q)
    with pytest.raises(TypeError) as info:
        q.__div__([1])
    assert str(info.value) == "[1] cannot be coerced into a unit"
    assert info.value.__notes__ == ["while processing 'other'"]
    with pytest.raises(OverflowError) as info:
        q.__rdiv__(2**31)
    assert info.value.__notes__ == ["while processing 'other'"]


def test_operands_are_unchanged_and_coerced_operands_are_copies():
    a, b = U("km") * 2, U("m") * 3
    r = a * b
    b.simplify_inplace()
    assert str(r) == "6 [km.m]"
    assert float(a) == 2 and float(b) == 3
    with pytest.raises(TypeError):
        a + U("s")
    assert str(a) == "2 [km]"


def test_in_place_operators_rebind():
    q = U("m")
    r = q
    q += U("m")
    assert float(q) == 2 and float(r) == 1
