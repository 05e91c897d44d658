"""ModrinArray against Modrin: every element of every operation is the Modrin that the same
elements give, unit records and number bits alike, and where Modrin raises the array raises
the same exception with the same message."""

import math
import operator
import re
import struct
import warnings

import pytest

np = pytest.importorskip("numpy")
pytest.importorskip("hypothesis")
ModrinArray = pytest.importorskip("modrin_array").ModrinArray

from hypothesis import HealthCheck, assume, given, settings  # noqa: E402
from hypothesis import strategies as st  # noqa: E402
from hypothesis.extra import numpy as hnp  # noqa: E402

from modrin import Modrin  # noqa: E402

try:
    import dask.array as da
except ImportError:
    da = None

BLORP = Modrin.custom("blorp", "blp", Modrin.unit("m") * 3)
EON = Modrin.custom("eon", "eon", Modrin.unit("Qs") * 7)
DOZEN = Modrin.custom("dozen", "dz", 12)

# A unit is a text, a Modrin (custom, or scaled: its number multiplies) or None (unitless).
# Families keep sums and comparisons mostly compatible; the last is the exponents' family.
FAMILIES = [
    ["m", "km", "ft", "Qm", "ym", "m2/km", BLORP, Modrin.unit("ft") * 2.5],
    ["s", "hr", "Qs", "qs", "ys", EON],
    ["K", "deg C", "deg F", "mK", Modrin.unit("deg F") * -4.0],
    ["m/s", "km/hr", "Rm/ys", "rm/Ys", "ft/min"],
    ["J", "kJ", "eV", "kg.m2/s2", "W.s"],
    ["Qm9.Qm2", "Mm9.Mm2", "qm5.ym6"],  # factors beyond the double range
    [None, "m/km", "rad", DOZEN, Modrin.empty() * 3.0],
]
any_unit = st.sampled_from([u for f in FAMILIES for u in f])
unit_pairs = st.one_of(
    st.sampled_from(FAMILIES).flatmap(lambda f: st.tuples(st.sampled_from(f), st.sampled_from(f))),
    st.tuples(any_unit, any_unit),
)
exponent_units = st.one_of(st.sampled_from(FAMILIES[-1]), any_unit)

SPECIAL = [math.nan, math.inf, -math.inf, 0.0, -0.0, 5e-324, -5e-324, 2.2250738585072014e-308,
           -1e-310, 1.7976931348623157e308, -1e300, 1e-300, 1.0, -2.0, 0.1]
numbers = st.one_of(st.sampled_from(SPECIAL), st.floats(), st.floats(-1e3, 1e3))
# Python ints reach Modrin's 32-bit check: the edges of its range raise OverflowError.
plain = st.one_of(numbers, st.integers(-100, 100),
                  st.sampled_from([2**31 - 1, 2**31, -(2**31), -(2**31) - 1]))
exponents = st.sampled_from([0.0, -0.0, 1.0, 2.0, 3.0, -1.0, -2.0, 0.5, -0.5, 1 / 3, 2.5, -7.25,
                             1e10, 1e-300, math.nan, math.inf, -math.inf, 2, -3, 0])
shapes = hnp.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=4)


def one(unit):
    if unit is None:
        return Modrin.empty()
    return Modrin.unit(unit) if isinstance(unit, str) else unit


def quantity(v, unit):
    """The Modrin that ModrinArray([v], unit)[0] stands for."""
    number, *record = one(unit).__reduce__()[1]
    return Modrin._reconstruct(float(v) * number, *record)


def bits(x):
    """Floats by their bits, any NaN as one; tuples item by item."""
    if isinstance(x, tuple):
        return tuple(bits(i) for i in x)
    if isinstance(x, float):
        return "NaN" if x != x else struct.pack("<d", x).hex()
    return x


def state(q):
    assert type(q) is Modrin, f"{q!r} is not a Modrin"
    return bits(q.__reduce__()[1])


def unit_state(q):
    """The state of 1 in the units of q."""
    return (bits(1.0), *state(q)[1:])


def same_elements(got, want_at, shape):
    """`got` holds want_at(idx) at every index of `shape`, of the result's type."""
    assert got.shape == shape
    for idx in np.ndindex(shape):
        want = want_at(idx)
        if isinstance(want, Modrin):
            assert state(got[idx]) == state(want), (idx, str(got[idx]), str(want))
        elif isinstance(want, bool):
            assert got.dtype == np.bool_ and bool(got[idx]) is want, (idx, got[idx], want)
        else:
            assert got.dtype == np.float64, got.dtype
            assert bits(float(got[idx])) == bits(want), (idx, got[idx], want)


def make(values, unit, copy=True):
    with warnings.catch_warnings():  # Modrin overflows to inf without a word
        warnings.simplefilter("error")
        a = ModrinArray(values, unit, copy=copy)
    assert state(a.unit) == unit_state(one(unit))
    same_elements(a, lambda idx: quantity(values[idx], unit), values.shape)
    return a


PYTHONS_OWN = re.compile("not supported between instances|unsupported operand type")


def check(run, want_at, shape, representative):
    """run() against the scalar algebra: raises as `representative` (the scalar operation on
    ones) does, else holds want_at(idx) everywhere, in the units that `representative` has."""
    try:
        rep = representative()
    except Exception as error:  # noqa: BLE001 - any error the scalar raises is the expectation
        with pytest.raises(Exception) as info, warnings.catch_warnings():
            warnings.simplefilter("error")
            run()
        assert type(info.value) is type(error), (info.value, error)
        # Python's own refusal of an operand names the operands' classes: only its type counts.
        if not PYTHONS_OWN.search(str(error)):
            assert str(info.value) == str(error)
        return False
    with warnings.catch_warnings():  # as Modrin gives them: silently
        warnings.simplefilter("error")
        got = run()
    if isinstance(rep, Modrin):
        assert type(got) is ModrinArray, type(got)
        assert state(got.unit) == unit_state(rep)
    else:
        assert type(got) is np.ndarray, type(got)
    same_elements(got, want_at, shape)
    return True


class Side:
    """An operand: the object handed to the array operation, its values and the scalar each
    value stands for."""

    def __init__(self, data, kind, unit, shape, uniform=None):
        self.kind, self.unit = kind, unit
        if kind in ("number", "modrin"):
            v = data.draw(plain if kind == "number" else numbers) if uniform is None else uniform
            self.obj = v if kind == "number" else quantity(v, unit)
            self.values, self.scalar = np.zeros(()), lambda _: self.obj
            return
        given = (np.full(shape, float(uniform)) if uniform is not None
                 else data.draw(hnp.arrays(np.float64, shape, elements=numbers)))
        if data.draw(st.booleans(), label="reversed view"):  # negative strides
            given = np.flip(given)
        self.values = given.copy()
        if kind == "array":
            given = make(given, unit, data.draw(st.booleans(), label="copy"))
        self.obj = given
        self.scalar = (lambda v: quantity(v, unit)) if kind == "array" else float
        self.rep = self.scalar(1.0 if uniform is None else uniform)

    def at(self, shape):
        b = np.broadcast_to(self.values, shape)
        return lambda idx: self.scalar(b[idx])

    def representative(self):
        return self.rep if self.kind in ("array", "ndarray") else self.obj

    def unchanged(self):
        if self.kind == "array":
            same_elements(self.obj, self.at(self.values.shape), self.values.shape)
        elif self.kind == "ndarray":
            assert self.obj.tobytes() == self.values.tobytes()


BINARY = {
    "+": (operator.add, operator.iadd, np.add),
    "-": (operator.sub, operator.isub, np.subtract),
    "*": (operator.mul, operator.imul, np.multiply),
    "/": (operator.truediv, operator.itruediv, np.divide),
    "**": (operator.pow, operator.ipow, np.power),
    "<": (operator.lt, None, np.less),
    "<=": (operator.le, None, np.less_equal),
    "==": (operator.eq, None, np.equal),
    "!=": (operator.ne, None, np.not_equal),
    ">": (operator.gt, None, np.greater),
    ">=": (operator.ge, None, np.greater_equal),
}
FORMS = ["operator", "reflected", "in place", "ufunc", "ufunc reflected", "ufunc out"]
# The array's numbers as a Dask array of several blocks, the result computed.
FORMS += ["lazy", "lazy reflected", "lazy ufunc"] if da is not None else []


def lazy(side):
    return ModrinArray(da.from_array(side.values, chunks=2), side.unit)


def computed(r):
    if isinstance(r, ModrinArray):
        assert isinstance(r.as_number(), da.Array), "not lazy"
        return r.compute()
    assert isinstance(r, da.Array), type(r)
    return r.compute()


def into(shape):
    """Shapes that broadcast into `shape` unchanged, as an in-place operand must."""
    return st.integers(0, len(shape)).flatmap(
        lambda k: st.tuples(*(st.sampled_from([s, 1]) for s in shape[k:])))


@pytest.mark.parametrize("symbol", list(BINARY))
@settings(max_examples=100, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(data=st.data())
def test_binary_operations_match_modrin_element_by_element(symbol, data):
    op, iop, ufunc = BINARY[symbol]
    form = data.draw(st.sampled_from([f for f in FORMS if iop or f != "in place"]), label="form")
    kind = data.draw(st.sampled_from(["array", "modrin", "ndarray", "number"]), label="other")
    unit, other_unit = data.draw(unit_pairs, label="units")
    if form == "in place":
        ashape = data.draw(shapes, label="shape")
        oshape = data.draw(into(ashape), label="other shape")
    else:
        pair = hnp.mutually_broadcastable_shapes(num_shapes=2, max_dims=3, min_side=0, max_side=4)
        ashape, oshape = data.draw(pair, label="shapes").input_shapes
    reflected = "reflected" in form
    # A power's exponent is uniform: the array itself when reflected, else the other operand.
    e = data.draw(exponents, label="exponent") if symbol == "**" else None
    if e is not None:
        if reflected:
            unit = data.draw(exponent_units, label="exponent units")
        else:
            other_unit = data.draw(exponent_units, label="exponent units")
        # Lazy numbers take no exponent array: its values would set the units.
        assume("lazy" not in form or not reflected and kind in ("number", "modrin"))
        # An empty exponent array leaves the result's units open.
        exponent_shape = ashape if reflected else () if kind in ("number", "modrin") else oshape
        assume(math.prod(exponent_shape) > 0)
    a = Side(data, "array", unit, ashape, e if reflected else None)
    other = Side(data, kind, other_unit, oshape, None if reflected else e)
    shape = np.broadcast_shapes(ashape, other.values.shape)

    def scalar(x, y):
        return op(y, x) if reflected else op(x, y)

    run = {
        "operator": lambda: op(a.obj, other.obj),
        "reflected": lambda: op(other.obj, a.obj),
        "in place": lambda: iop(a.obj, other.obj),
        "ufunc": lambda: ufunc(a.obj, other.obj),
        "ufunc reflected": lambda: ufunc(other.obj, a.obj),
        # Into an array in other units, which takes the result's.
        "ufunc out": lambda: ufunc(a.obj, other.obj, out=ModrinArray(np.ones(shape), "s")
                                   if iop else np.ones(shape, bool)),
        "lazy": lambda: computed(op(lazy(a), other.obj)),
        "lazy reflected": lambda: computed(op(other.obj, lazy(a))),
        "lazy ufunc": lambda: computed(ufunc(lazy(a), other.obj)),
    }[form]
    x_at, y_at = a.at(shape), other.at(shape)
    done = check(run, lambda idx: scalar(x_at(idx), y_at(idx)), shape,
                 lambda: scalar(a.representative(), other.representative()))
    if form != "in place" or not done:  # a failed in-place operation leaves its target alone
        a.unchanged()
    other.unchanged()


def _sqrt(x):
    """x ** 0.5 with the correctly rounded root of x's number: the root as NumPy takes it, then
    the conversion Modrin's power applies."""
    v, *record = x.__reduce__()[1]
    if v == 0 and math.copysign(1, v) < 0:  # the root keeps the sign, the power does not
        return -(Modrin._reconstruct(0.0, *record) ** 0.5)
    v = math.nan if v < 0 else v
    assume(v != v or math.pow(v, 0.5) == math.sqrt(v))  # else the power has another root
    return Modrin._reconstruct(v, *record) ** 0.5


# name: (array operation, scalar operation), each given the operand, a target and a flag.
UNARY = {
    "-": (lambda a, t, s: -a, lambda x, t, s: -x),
    "+": (lambda a, t, s: +a, lambda x, t, s: +x),
    "abs": (lambda a, t, s: abs(a), lambda x, t, s: abs(x)),
    "negative": (lambda a, t, s: np.negative(a), lambda x, t, s: -x),
    "positive": (lambda a, t, s: np.positive(a), lambda x, t, s: +x),
    "absolute": (lambda a, t, s: np.absolute(a), lambda x, t, s: abs(x)),
    "square": (lambda a, t, s: np.square(a), lambda x, t, s: x**2),
    "reciprocal": (lambda a, t, s: np.reciprocal(a), lambda x, t, s: 1 / x),
    "sqrt": (lambda a, t, s: np.sqrt(a), lambda x, t, s: _sqrt(x)),
    "as_unit": (lambda a, t, s: a.as_unit(t), lambda x, t, s: x.as_unit(t)),
    "as_base_units": (lambda a, t, s: a.as_base_units(), lambda x, t, s: x.as_base_units()),
    "simplify": (lambda a, t, s: a.simplify(), lambda x, t, s: x.simplify()),
    "as_number": (lambda a, t, s: a.as_number(t, scale=s), lambda x, t, s: x.as_number(t, scale=s)),
    "as_number()": (lambda a, t, s: a.as_number(), lambda x, t, s: x.as_number()),
    "as_unitless": (lambda a, t, s: a.as_unitless(), lambda x, t, s: x.as_unitless()),
}


@pytest.mark.parametrize("name", list(UNARY))
@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(data=st.data())
def test_unary_operations_and_conversions_match_modrin_element_by_element(name, data):
    run, scalar = UNARY[name]
    unit, target_unit = data.draw(unit_pairs, label="unit, target unit")
    shape = data.draw(shapes, label="shape")
    # The target as text, or as a Modrin whose number scales with `scale`.
    if isinstance(target_unit, str) and data.draw(st.booleans(), label="target as text"):
        target = target_unit
    else:
        target = quantity(data.draw(numbers, label="target number"), target_unit)
    scale = data.draw(st.booleans(), label="scale")
    a = Side(data, "array", unit, shape)
    x_at = a.at(shape)
    if da is not None and data.draw(st.booleans(), label="lazy"):
        def go():
            return computed(run(lazy(a), target, scale))
    else:
        def go():
            return run(a.obj, target, scale)
    check(go, lambda idx: scalar(x_at(idx), target, scale), shape,
          lambda: scalar(a.representative(), target, scale))
    a.unchanged()
