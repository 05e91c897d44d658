"""Every NumPy ufunc on ModrinArray: the units its rule gives, with the numbers NumPy gives for
the same numbers converted by hand, or a TypeError naming it."""

import math
import re

import pytest

np = pytest.importorskip("numpy")

from modrin import Modrin  # noqa: E402
from modrin_array import ModrinArray  # noqa: E402

X = np.array([0.25, -1.5, 3.0, 0.0, np.nan, -0.0])
Y = np.array([2.0, 0.5, -0.125, np.inf, 1.0, 4.0])
SMALL = np.array([0.25, -0.5, 0.75, 0.0, np.nan, -0.0])  # inside every inverse's domain

SAME = {"add", "subtract", "maximum", "minimum", "fmax", "fmin", "hypot", "remainder", "fmod",
        "nextafter", "negative", "positive", "absolute", "fabs", "rint", "floor", "ceil", "trunc",
        "conjugate", "spacing"}
UNITLESS = {"exp", "exp2", "expm1", "log", "log2", "log10", "log1p", "logaddexp", "logaddexp2",
            "sin", "cos", "tan", "arcsin", "arccos", "arctan", "sinh", "cosh", "tanh", "arcsinh",
            "arccosh", "arctanh"}
PLAIN = {"isfinite", "isinf", "isnan", "signbit", "sign"}
COMPARED = {"less", "less_equal", "equal", "not_equal", "greater", "greater_equal", "arctan2"}
ANGLE = {"deg2rad", "rad2deg", "degrees", "radians"}
# name: (units of x ** p * y ** q as (p, q), NumPy's function of the numbers in m and m)
ALGEBRA = {"multiply": (1, 1), "divide": (1, -1), "matmul": (1, 1), "vecdot": (1, 1),
           "square": (2, 0), "sqrt": (0.5, 0), "cbrt": (1 / 3, 0), "reciprocal": (-1, 0)}
OWN = {"power", "float_power", "copysign", "ldexp", "modf", "divmod", "floor_divide",
       "matvec", "vecmat"}  # tested below

UFUNCS = sorted({v for v in vars(np).values() if isinstance(v, np.ufunc)}, key=lambda u: u.__name__)


def numbers(r, unit):
    assert isinstance(r, ModrinArray), repr(r)
    return r.as_number(unit)


@pytest.mark.parametrize("ufunc", UFUNCS, ids=lambda u: u.__name__)
def test_every_ufunc_follows_its_rule_or_refuses_by_name(ufunc):
    name = ufunc.__name__
    if name in OWN:
        return
    args_in = lambda unit, v, w: (ModrinArray(v, unit), ModrinArray(w, unit))[:ufunc.nin]
    with np.errstate(all="ignore"):
        if name in SAME:  # km operands converted into the first one's metres
            got = ufunc(ModrinArray(X, "m"), *[ModrinArray(Y / 1000, "km")][:ufunc.nin - 1])
            np.testing.assert_array_equal(numbers(got, "m"), ufunc(X, *[Y][:ufunc.nin - 1]))
        elif name in UNITLESS:  # degrees count as radians through their factor
            v = SMALL * 180 / math.pi
            got = ufunc(*args_in("deg", v, v))
            want = ufunc(*(SMALL, ModrinArray(v, "deg").as_unitless())[:ufunc.nin])
            np.testing.assert_allclose(numbers(got, None), want, rtol=1e-15)
            with pytest.raises(TypeError, match=r"\[m\] and \[\] are not compatible"):
                ufunc(*args_in("m", X, X))
        elif name in PLAIN:
            got = ufunc(ModrinArray(X, "km"))
            assert type(got) is np.ndarray
            np.testing.assert_array_equal(got, ufunc(X))
        elif name in COMPARED:
            got = ufunc(ModrinArray(X, "m"), ModrinArray(Y / 1000, "km"))
            want = ufunc(X, Y)
            if name == "arctan2":
                got = numbers(got, None)
            np.testing.assert_array_equal(got, want)
        elif name in ANGLE:
            np.testing.assert_array_equal(numbers(ufunc(ModrinArray(X)), None), ufunc(X))
            with pytest.raises(TypeError, match=f"ufunc '{name}' takes numbers without units"):
                ufunc(ModrinArray(X, "deg"))
        elif name in ALGEBRA:
            p, q = ALGEBRA[name]
            x, y = X, Y / 1000
            if name in ("matmul", "vecdot"):  # arrays of results
                x, y = X[:3].reshape(1, 3), y[:3].reshape((3, 1) if name == "matmul" else (1, 3))
            got = ufunc(*(ModrinArray(x, "m"), ModrinArray(y, "km"))[:ufunc.nin])
            base = got.as_base_units()  # in m ** (p + q): km counted as 1000 m
            assert str(base.unit) == str((Modrin.unit("m") ** (p + q)).as_base_units())
            want = ufunc(*(x, y * 1000)[:ufunc.nin])
            np.testing.assert_allclose(base.as_number(), want, rtol=1e-15)
        else:
            with pytest.raises(TypeError, match=f"ufunc '{name}' does not support ModrinArray"):
                ufunc(*args_in("m", X, X))


def test_the_rule_table_names_every_ufunc_only_once():
    groups = [SAME, UNITLESS, PLAIN, COMPARED, ANGLE, set(ALGEBRA), OWN]
    assert sum(len(g) for g in groups) == len(set().union(*groups))


@pytest.mark.parametrize("expr, text", [
    ("np.copysign(ModrinArray([1.0, -2], 'm'), ModrinArray([-1.0, 1], 's'))", "[-1.  2.] [m]"),
    ("np.ldexp(ModrinArray([1.0, 3], 'm'), [2, 1])", "[4. 6.] [m]"),
    ("np.modf(ModrinArray([1.5, -2.25], 'm'))", "([ 0.5  -0.25] [m], [ 1. -2.] [m])"),
    ("np.divmod(ModrinArray([2500.0], 'm'), ModrinArray([1.0], 'km'))", "([2.] [], [500.] [m])"),
    ("np.floor_divide(ModrinArray([2500.0], 'm'), ModrinArray([1.0], 'km'))", "[2.] []"),
    ("np.power(ModrinArray([2.0, 3], 'm'), 2)", "[4. 9.] [m2]"),
    ("np.float_power(ModrinArray([4.0], 'm2'), 0.5)", "[2.] [m]"),
    ("np.matvec(ModrinArray([[1.0, 2], [3, 4]], 'm'), ModrinArray([1.0, 1], 's'))", "[3. 7.] [m.s]"),
    ("np.vecmat(ModrinArray([1.0, 1], 's'), ModrinArray([[1.0, 2], [3, 4]], 'm'))", "[4. 6.] [m.s]"),
    # methods
    ("np.add.reduce(ModrinArray([1.0, 2], 'km'))", "3 [km]"),
    ("np.add.accumulate(ModrinArray([1.0, 2, 3], 'm'))", "[1. 3. 6.] [m]"),
    ("np.maximum.reduceat(ModrinArray([1.0, 5, 2, 3], 's'), [0, 2])", "[5. 3.] [s]"),
    ("np.multiply.reduce(ModrinArray([[1.0, 2], [3, 4]], 's'), axis=None)", "24 [s4]"),
    ("np.multiply.reduce(ModrinArray([[1.0, 2], [3, 4]], 's'), axis=1)", "[ 2. 12.] [s2]"),
    ("np.add.outer(ModrinArray([1.0, 2], 'm'), ModrinArray([1.0], 'km'))", "[[1001.]\n [1002.]] [m]"),
    ("np.multiply.outer(ModrinArray([1.0, 2], 'm'), ModrinArray([3.0], 's'))", "[[3.]\n [6.]] [m.s]"),
    ("np.less.outer(ModrinArray([1.0, 2000], 'm'), ModrinArray([1.0], 'km'))", "[[ True]\n [False]]"),
    ("np.divide.reduce(ModrinArray([1.0, 2], 'm'))", "ufunc 'divide' does not support reduce"),
    ("np.multiply.accumulate(ModrinArray([1.0, 2], 'm'))", "ufunc 'multiply' does not support accumulate"),
    ("np.multiply.reduce(ModrinArray([1.0, 2], 'm'), where=[True, False])", "ufunc 'multiply' does not support reduce"),
    ("np.add(ModrinArray([1.0], 'm'), 1.0, dtype=np.float32)", "ufunc 'add' does not take dtype="),
    ("np.add(ModrinArray([1.0], 'm'), 1.0, out=(np.zeros(1),))", r"\[m\] and \[\] are not compatible"),
    ("np.add(ModrinArray([1.0], 'm'), ModrinArray([1.0], 'm'), out=(np.zeros(1),))",
     r"ufunc 'add' cannot store \[m\] in a NumPy array"),
    ("np.isnan(ModrinArray([1.0], 'm'), out=(ModrinArray([1.0], 'm'),))", "gives numbers without units"),
    ("np.deg2rad(ModrinArray([1.0], 'deg'))", "takes numbers without units"),
    ("np.ldexp(ModrinArray([1.0], 'm'), ModrinArray([1.0], 'm'))", "takes an exponent without units"),
])
def test_rules_with_their_own_units_and_methods(expr, text):
    try:
        got = eval(expr)
    except TypeError as e:
        assert re.search(text, str(e)), str(e)
        return
    shown = str(got) if not isinstance(got, tuple) else "(" + ", ".join(map(str, got)) + ")"
    assert shown == text


def test_out_takes_the_units_and_where_keeps_the_outs_own():
    a, b = ModrinArray([1.0, 2.0], "m"), ModrinArray([1.0, 1.0], "km")
    out = ModrinArray([0.0, 0.0], "s")
    assert np.multiply(a, b, out=out) is out
    assert str(out) == "[1. 2.] [km.m]"
    kept = ModrinArray([5.0, 5.0], "km")
    np.add(a, b, out=kept, where=[True, False])
    assert str(kept) == "[1.001 5.   ] [km]"
    with pytest.raises(TypeError, match=r"\[s\] and \[m\] are not compatible"):
        np.add(a, b, out=ModrinArray([0.0, 0.0], "s"), where=[True, False])
    np.add(a, b, out=a)  # an operand as out
    assert str(a) == "[1001. 1002.] [m]"
    np.add.at(a, [0, 0], b[:1])
    assert str(a) == "[3001. 1002.] [m]"
    np.multiply.at(a, [1], 2)
    assert str(a) == "[3001. 2004.] [m]"
    with pytest.raises(TypeError, match=r"\[km\] and \[\] are not compatible"):
        np.multiply.at(a, [1], b[:1])


def test_modrin_scalars_take_every_rule():
    m = Modrin.unit("m")
    assert str(np.maximum(m, Modrin.unit("km"))) == "1000 [m]"
    assert str(np.floor(m * 2.5)) == "2 [m]"
    assert str(np.exp(m / Modrin.unit("km"))) == f"{math.exp(0.001)!r} []"
    assert np.isnan(m) is np.False_
    with pytest.raises(TypeError, match="ufunc 'bitwise_and'"):
        np.bitwise_and(m, m)


@pytest.mark.parametrize("ufunc, method", [(np.exp, "exp"), (np.log, "log"), (np.log10, "log10")])
def test_the_functions_modrin_has_give_its_bits(ufunc, method):
    values = np.array([1e-300, 0.1, 0.7, 1.0, 2.5, 700.0, 1e300, np.inf, 0.0, np.nan])
    got = ufunc(ModrinArray(values, "m/km")).as_number()
    for g, v in zip(got, values):
        want = getattr(Modrin.unit("m") / Modrin.unit("km") * v, method)()
        assert g == want or (math.isnan(g) and math.isnan(want)), v
