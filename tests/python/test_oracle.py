"""pint as an independent oracle for the catalogue: factors to base units and dimensions of every
unit that pint also defines, and of random compound expressions of them."""

import math
import random

import pytest

pint = pytest.importorskip("pint")

import _modrin_testhooks as hooks  # noqa: E402
from modrin import Modrin  # noqa: E402

# Our name -> pint's, where replacing spaces by underscores does not give it.
PINT_NAMES = {
    "degree (angle)": "degree", "minute (angle)": "arcminute", "second (angle)": "arcsecond",
    "pound-force": "pound_force", "pound-mol": "pound_mole", "pounds per square inch": "psi",
    "Rankine": "degree_Rankine",
    "lightyear": "light_year", "light speed": "speed_of_light", "Hartree": "hartree",
    "calendar year": "common_year", "meter of mercury": "meter_Hg", "inch of mercury": "inch_Hg",
    "fluid ounce (imperial)": "imperial_fluid_ounce", "pint (imperial)": "imperial_pint",
    "pint (dry)": "dry_pint", "quart (imperial)": "imperial_quart", "quart (dry)": "dry_quart",
    "gallon (imperial)": "imperial_gallon", "gill (imperial)": "imperial_gill",
    "hundredweight": "short_hundredweight", "hundredweight (imperial)": "long_hundredweight",
    "horsepower (metric)": "metric_horsepower",
    # Offset scales compare by their degree size; the zero points are tested below.
    "degree Celsius": "delta_degC", "degree Fahrenheit": "delta_degF",
}

# Units whose definitions legitimately differ from pint's, with the reason.
DIFFERING = {
    "year": "the tropical year; pint's year is the Julian year",
    "month": "a twelfth of the tropical year; pint's is of the Julian year",
    "century": "a hundred tropical years; pint's are Julian",
    "millennium": "a thousand tropical years; pint's are Julian",
    "decade": "ten tropical years; pint's decade is the dimensionless logarithmic factor 10",
    "acre": "the international acre; pint's is the US survey acre",
    "furlong": "from the international foot; pint's from the US survey foot",
    "chain": "from the international foot; pint's from the US survey foot",
    "rod": "from the international foot; pint's from the US survey foot",
    "link": "from the international foot; pint's from the US survey foot",
    "british thermal unit": "the thermochemical BTU, 1054.35 J; pint's is the International Table BTU",
    "parsec": "648000/pi astronomical units (IAU 2015); pint divides the unit by tan(1 arcsecond)",
    "inch of mercury": "the conventional 3386.389 Pa; pint derives it from mercury's density",
    "slug": "one pound times 32.17405 ft/s2, standard gravity rounded; pint's is lbf.s2/ft",
    "Hartree": "4.359748199e-18 J as catalogued; pint has the CODATA 2018 Hartree energy",
}

# pint counts these as base units; the catalogue makes them dimensionless.
DIMENSIONLESS_IN_PINT = {"radian", "count"}

ureg = pint.UnitRegistry()


def pint_base(name):
    """(factor, dimensions) of one of our units through pint, or None where pint lacks it."""
    try:
        q = ureg.Quantity(1, PINT_NAMES.get(name, name.replace(" ", "_"))).to_base_units()
    except pint.UndefinedUnitError:
        return None
    return float(q.magnitude), {u: e for u, e in q.units._units.items() if u not in DIMENSIONLESS_IN_PINT}


def our_base(q):
    """(factor, dimensions) of a quantity in base units, dimensions read from the descriptive text."""
    base = q.as_base_units()
    shown = base.descriptive()
    text = shown[shown.index("[") + 1 : -1]
    num, _, den = text.partition("/")
    dims = {}
    for part, sign in ((num, 1), (den, -1)):
        for item in filter(None, part.split(".")):
            if item == "1":
                continue
            name = item.rstrip("0123456789")
            dims[name] = sign * float(item[len(name):] or 1)
    return float(base), dims


def relative(a, b):
    return abs(a - b) / abs(b)


ORACLE = {name: pint_base(name) for name in hooks.unit_names()}
SHARED = sorted(name for name, base in ORACLE.items() if base is not None)


def test_pint_knows_most_of_the_catalogue():
    assert len(SHARED) >= 100
    assert set(DIFFERING) <= set(SHARED)


@pytest.mark.parametrize("name", SHARED)
def test_catalogue_unit_agrees_with_pint(name):
    want_factor, want_dims = ORACLE[name]
    factor, dims = our_base(Modrin.unit(name))
    if name in DIFFERING:
        # The list stays honest: a unit on it really differs.
        assert relative(factor, want_factor) > 1e-12 or dims != want_dims
    else:
        assert dims == want_dims
        assert relative(factor, want_factor) <= 1e-12


@pytest.mark.parametrize(
    ("ours", "theirs", "degrees"),
    [("degree Celsius", "degC", -40.0), ("degree Fahrenheit", "degF", -40.0), ("degree Fahrenheit", "degF", 212.0)],
)
def test_temperature_zero_points_agree_with_pint(ours, theirs, degrees):
    kelvin = (Modrin.unit(ours) * degrees).as_number("K")
    assert kelvin == pytest.approx(ureg.Quantity(degrees, theirs).to("K").magnitude, rel=1e-12)


def test_random_compound_expressions_agree_with_pint():
    # Offset scales do not combine in pint; the differing units would only restate the list.
    usable = [n for n in SHARED if n not in DIFFERING and n not in ("degree Celsius", "degree Fahrenheit")]
    rng = random.Random(11)
    for _ in range(2000):
        picked = rng.sample(usable, rng.randint(1, 5))
        split = rng.randint(1, len(picked))
        powers = [rng.randint(1, 4) for _ in picked]
        text = ".".join(f"{n}{p}" for n, p in zip(picked[:split], powers)) + "/" + ".".join(
            f"{n}{p}" for n, p in zip(picked[split:], powers[split:])
        )
        want = ureg.Quantity(1, "")
        for k, (n, p) in enumerate(zip(picked, powers)):
            want = want * ureg.Quantity(1, PINT_NAMES.get(n, n.replace(" ", "_"))) ** (p if k < split else -p)
        want = want.to_base_units()
        want_dims = {u: e for u, e in want.units._units.items() if u not in DIMENSIONLESS_IN_PINT}
        factor, dims = our_base(Modrin.unit(text))
        assert {u: e for u, e in dims.items() if e} == {u: e for u, e in want_dims.items() if e}, text
        assert math.isclose(factor, float(want.magnitude), rel_tol=1e-11), text
