"""Text forms: str/repr (fully simplified), latex and descriptive, and what they store back."""

import math

import pytest

from modrin import Modrin


def U(text):
    return Modrin.unit(text)


@pytest.mark.parametrize(
    ("text", "plain", "descriptive", "latex"),
    [
        ("m/s", "1 [m/s]", "1 [meter/second]", "1~\\mathrm{\\frac{m}{s}}"),
        ("m/s2", "1 [m/s2]", "1 [meter/second2]", "1~\\mathrm{\\frac{m}{s^2}}"),
        ("J.s", "1 [J.s]", "1 [joule.second]", "1~\\mathrm{J~s}"),
        ("J/K.mol", "1 [J/K.mol]", "1 [joule/kelvin.mole]", "1~\\mathrm{\\frac{J}{K~mol}}"),
        ("W/m2.K4", "1 [W/K4.m2]", "1 [watt/kelvin4.meter2]", "1~\\mathrm{\\frac{W}{K^4~m^2}}"),
        ("N.m2/kg2", "1 [N.m2/kg2]", "1 [meter2.newton/kilogram2]", "1~\\mathrm{\\frac{N~m^2}{kg^2}}"),
        ("1/s", "1 [1/s]", "1 [1/second]", "1~\\mathrm{\\frac{1}{s}}"),
        ("km/hr", "1 [km/hr]", "1 [kilometer/hour]", "1~\\mathrm{\\frac{km}{hr}}"),
        ("degree Celsius", "1 [°C]", "1 [degree Celsius]", "1~\\mathrm{°C}"),
        ("decameter.dekameter", "1 [dam.dam]", "1 [decameter.dekameter]", "1~\\mathrm{dam~dam}"),
    ],
)
def test_three_renderings(text, plain, descriptive, latex):
    q = U(text)
    assert str(q) == plain
    assert repr(q) == plain
    assert q.descriptive() == descriptive
    assert q.latex() == latex


@pytest.mark.parametrize(
    ("make", "plain"),
    [
        (lambda: U("m") ** 0.5, "1 [m0.5]"),
        (lambda: U("s") ** -1.5, "1 [1/s1.5]"),
        (lambda: U("m/s") ** 0, "1 []"),
        (lambda: Modrin.empty() * 2.5, "2.5 []"),
        (lambda: U("m") * float("nan"), "NaN [m]"),
        (lambda: U("m") * float("inf"), "inf [m]"),
        (lambda: U("m") * float("-inf"), "-inf [m]"),
        (lambda: U("m") * -0.0, "-0 [m]"),
        (lambda: U("m") * 1e21, "1000000000000000000000 [m]"),
        (lambda: U("m") * 1e-7, "0.0000001 [m]"),
        (lambda: U("m") * (0.1 + 0.2), "0.30000000000000004 [m]"),
        (lambda: U("m") ** 1.0000000000000002, "1 [m1.0000000000000002]"),
    ],
)
def test_numbers_and_exponents_in_shortest_positional_form(make, plain):
    assert str(make()) == plain


def test_offset_units_print_their_own_number():
    # Converting a quantity into its own units leaves the number alone.
    f = U("degree Fahrenheit")
    assert str(f) == "1 [°F]"
    assert float(f) == 1.0
    assert str(U("degree Celsius")) == "1 [°C]"
    assert str(U("degree Celsius") * 0.1) == "0.1 [°C]"


def test_str_stores_the_simple_simplification_and_is_stable():
    q = U("m2") / U("km")
    assert str(q) == "0.001 [m]"
    assert float(q) == 0.001  # phase 1 stayed in the instance
    assert str(q) == "0.001 [m]"


def test_str_shows_the_full_simplification_without_storing_it():
    q = U("kg") * U("J") / (U("N") * U("m"))
    assert str(q) == "1 [kg]"
    assert q.descriptive() == "1 [joule.kilogram/meter.newton]"
    assert q.latex() == "1~\\mathrm{\\frac{J~kg}{N~m}}"


def test_fractional_residue_prints_without_an_internal_fault():
    q = U("m") ** 0.1 * U("km") ** 0.2 / U("mm") ** 0.3
    text = str(q)
    assert text.startswith("1 [")  # nothing cancels exactly, nothing fails
    assert math.isfinite(float(q))


@pytest.mark.parametrize(
    ("make", "shown"),
    [
        (lambda: U("km") / U("m") ** 3, "1000 [1/m2]"),
        (lambda: U("hr") / U("s"), "3600 []"),
        (lambda: U("Hz") * U("s"), "1 []"),
        (lambda: U("rad") / U("deg"), "57.29577951308232 []"),
        (lambda: U("W") * U("s") / U("m"), "1 [W.s/m]"),
        (lambda: U("N") * U("s") ** 2, "1 [N.s2]"),
        (lambda: U("J") / (U("N") * U("m")), "1 []"),
        (lambda: U("kg") * U("m") / U("s"), "1 [kg.m/s]"),
        (lambda: U("km/hr") + U("m/s"), "4.6 [km/hr]"),
    ],
)
def test_simplified_forms(make, shown):
    assert str(make()) == shown


def _huge():
    m = Modrin.unit("m")
    x = m**1e308 * m**1e308  # exponent inf
    return x / x  # exponent NaN


@pytest.mark.parametrize(
    ("make", "shown"),
    [
        (lambda: Modrin.unit("m") ** math.inf, "1 [minf]"),
        (lambda: Modrin.unit("km") ** -math.inf, "1 [1/kminf]"),
        (lambda: Modrin.unit("m") ** math.nan, "1 []"),
        (_huge, "1 []"),
    ],
)
@pytest.mark.parametrize("form", [str, repr, Modrin.latex, Modrin.descriptive, round,
                                  Modrin.simplify, Modrin.as_base_units, Modrin.simplify_inplace])
def test_a_result_with_non_finite_exponents_can_always_be_shown(make, shown, form):
    q = make()
    form(q)  # must not raise
    assert str(q) == shown  # number and units kept as they are
