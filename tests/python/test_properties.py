"""Properties over many generated values: number text, conversions and arithmetic agree with
plain float arithmetic on the catalogue's factors."""

import math
from fractions import Fraction

import pytest

hypothesis = pytest.importorskip("hypothesis")
from hypothesis import given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402

from modrin import Modrin  # noqa: E402

# Compatible families with each unit's factor to coherent SI, stated independently here.
FAMILIES = {
    "length": {"m": 1.0, "km": 1000.0, "ft": 0.3048, "in": 0.0254, "mi": 1609.344, "mm": 0.001},
    "time": {"s": 1.0, "hr": 3600.0, "min": 60.0, "d": 86400.0, "ms": 0.001},
    "energy": {"J": 1.0, "kJ": 1000.0, "cal": 4.184, "Wh": 3600.0, "eV": 1.602176634e-19},
    "pressure": {"Pa": 1.0, "bar": 1e5, "atm": 101325.0, "psi": 4.4482216152605 / 0.0254**2},
}
pairs = st.sampled_from(sorted(FAMILIES)).flatmap(
    lambda fam: st.tuples(st.sampled_from(sorted(FAMILIES[fam])), st.sampled_from(sorted(FAMILIES[fam]))).map(
        lambda p: (fam, *p)
    )
)
finite = st.floats(allow_nan=False, allow_infinity=False, min_value=-1e12, max_value=1e12)


@settings(max_examples=300, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False))
def test_printed_number_reads_back_exactly(x):
    text = str(Modrin.empty() * x).split(" ")[0]
    assert "e" not in text
    assert float(text) == x and math.copysign(1, float(text)) == math.copysign(1, x)


@settings(max_examples=300, deadline=None)
@given(pairs, finite)
def test_conversion_scales_by_the_ratio_of_factors(pair, x):
    family, a, b = pair
    fa, fb = FAMILIES[family][a], FAMILIES[family][b]
    got = (Modrin.unit(a) * x).as_number(b)
    assert got == pytest.approx(x * fa / fb, rel=1e-12, abs=1e-300)


@settings(max_examples=300, deadline=None)
@given(pairs, finite, finite)
def test_addition_is_in_the_left_units(pair, x, y):
    family, a, b = pair
    fa, fb = FAMILIES[family][a], FAMILIES[family][b]
    total = Modrin.unit(a) * x + Modrin.unit(b) * y
    assert total.as_number(a) == pytest.approx(x + y * fb / fa, rel=1e-9, abs=1e-6 * (abs(x) + abs(y * fb / fa)) + 1e-300)


@settings(max_examples=200, deadline=None)
@given(pairs, pairs, finite)
def test_products_simplify_to_the_same_amount(p, q, x):
    _, a, b = p
    _, c, d = q
    prod = Modrin.unit(a) * Modrin.unit(b) / (Modrin.unit(c) * Modrin.unit(d)) * x
    base = prod.as_base_units()
    simple = prod.simplify()
    assert float(simple.as_base_units()) == pytest.approx(float(base), rel=1e-12, abs=1e-300)
    assert str(simple) == str(simple.simplify())  # simplifying again changes nothing


@settings(max_examples=200, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False), st.integers(-30, 30))
def test_rounding_matches_the_decimal_definition_and_never_nans(x, n):
    r = float(round(Modrin.empty() * x, n))
    assert not math.isnan(r)
    s = float((Modrin.empty() * x).round_sfig(max(n, 1)))
    assert not math.isnan(s)
    if x != 0 and math.isfinite(s) and abs(x) > 1e-290:
        assert abs(s - x) <= abs(x) * 10.0 ** (1 - max(n, 1)) / 2 * (1 + 1e-9) + abs(x) * 1e-15


def _digits(text):
    """The significant digits and decimal exponent of a positional or exponent-form number."""
    mantissa, _, exp = text.lstrip("-").partition("e")
    whole, _, frac = mantissa.partition(".")
    digits = (whole + frac).lstrip("0")
    point = len(whole) - (len(whole + frac) - len(digits)) + int(exp or 0)
    return digits.rstrip("0") or "0", point if digits else 0


def test_number_text_has_the_digits_of_repr_at_every_magnitude():
    import random
    import struct

    from modrin import LogModrin

    rng = random.Random(20261209)
    one = LogModrin.unit("B")  # multiplying its value by x prints x itself
    checked = 0
    while checked < 200_000:
        (x,) = struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))
        if not math.isfinite(x):
            continue
        text = str(one * x)[: -len(" [B]")]
        assert float(text) == x and _digits(text) == _digits(repr(x)), (text, repr(x))
        checked += 1


# Units whose powers leave the double range long before the quantities do.
EXTREME = {
    "length": ["m", "Qm", "Rm", "Ym", "qm", "rm", "ym", "ft"],
    "time": ["s", "Qs", "qs", "ys", "hr"],
    "area": ["shed", "b", "ha", "Qb"],
    "mass": ["kg", "Qg", "qg", "lb"],
}
# Per family: the source unit, the target unit and their common exponent (0 leaves it out).
extreme_families = st.tuples(
    *(st.tuples(st.sampled_from(m), st.sampled_from(m), st.integers(-9, 9)) for m in EXTREME.values())
).map(lambda fs: [((a, b), e) for a, b, e in fs if e]).filter(bool)


def _text(pairs):
    num = ".".join(f"{u}{e}" for u, e in pairs if e > 0)
    den = ".".join(f"{u}{-e}" for u, e in pairs if e < 0)
    return f"{num}/{den}" if den else num


SMALLEST, LARGEST = 2.2250738585072014e-308, 1.7976931348623157e308


@settings(max_examples=1000, deadline=None)
@given(extreme_families, st.floats(min_value=1, max_value=10), st.integers(-300, 300), st.booleans())
def test_conversions_keep_the_scale_apart_where_factors_leave_the_range(families, mantissa, power, negative):
    def factor(unit):
        return Fraction(float(Modrin.unit(unit).as_base_units()))

    x = (-1 if negative else 1) * mantissa * 10.0**power
    source = [(a, e) for (a, _), e in families]
    target = [(b, e) for (_, b), e in families]
    exact = Fraction(x)
    for (a, b), e in families:
        exact *= (factor(a) / factor(b)) ** e
    if not SMALLEST <= abs(exact) <= LARGEST:
        return
    got = (Modrin.unit(_text(source)) * x).as_number(_text(target))
    assert abs(Fraction(got) - exact) <= 8 * Fraction(math.ulp(float(exact))), (source, target, x, got)


@settings(max_examples=1000, deadline=None)
@given(extreme_families, st.floats(min_value=1, max_value=10), st.integers(-300, 300),
       st.floats(min_value=-10, max_value=10), st.integers(-300, 300))
def test_sums_differences_and_zeros_hold_where_factors_leave_the_range(families, mx, px, my, py):
    def factor(unit):
        return Fraction(float(Modrin.unit(unit).as_base_units()))

    source = _text([(a, e) for (a, _), e in families])
    target = _text([(b, e) for (_, b), e in families])
    q, r = Modrin.unit(source) * (mx * 10.0**px), Modrin.unit(target) * (my * 10.0**py)

    # The same units: exact, whatever the factors.
    own = float(q)
    assert float(q + q) == 2 * own and float(q - q) == 0 and q == q and not q < q
    assert float(q.as_unit(q)) == own
    for zero in (0.0, -0.0):
        z = Modrin.unit(source) * zero
        for form in (z, z.as_unit(target), z.as_base_units(), z + z, z.as_unit(q) - Modrin.unit(target) * 0.0):
            assert float(form) == 0 and math.copysign(1, float(form)) == math.copysign(1, zero), form

    # Different units: the exact sum in the result's units, where it and its terms are normal
    # doubles there. One unit per dimension: normalising leaves the collections as they are.
    ratio = 1  # target's factor over source's
    for (a, b), e in families:
        ratio *= (factor(b) / factor(a)) ** e
    x, y = Fraction(mx * 10.0**px), Fraction(my * 10.0**py)
    for got, terms in ((q + r, (x, y * ratio)), (q - r, (x, -y * ratio)), (r - q, (y, -x / ratio))):
        scale = max(abs(t) for t in terms)
        if SMALLEST <= scale <= LARGEST:
            exact, value = sum(terms), float(got)
            assert math.isfinite(value) and abs(Fraction(value) - exact) <= 8 * Fraction(math.ulp(float(scale))), (
                source, target, got)
    scale = max(abs(x), abs(y * ratio))
    if SMALLEST <= scale <= LARGEST:
        assert (q < r) == (x < y * ratio) or abs(x - y * ratio) <= 8 * Fraction(math.ulp(float(scale)))
