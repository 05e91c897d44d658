"""NumPy functions on ModrinArray: values and units against pint and astropy as oracles, the
refusals, out=, and the elements that Modrin itself gives where it has the operation."""

import re

import pytest

np = pytest.importorskip("numpy")
ModrinArray = pytest.importorskip("modrin_array").ModrinArray

from modrin import Modrin  # noqa: E402

M, KM, S = Modrin.unit("m"), Modrin.unit("km"), Modrin.unit("s")
COND = np.array([True, False, True, True, False, False])

# The base units of SI in modrin's spelling, by pint's and astropy's names.
BASE = {"meter": "m", "second": "s", "kilogram": "kg", "ampere": "A", "kelvin": "K",
        "mole": "mol", "candela": "cd", "m": "m", "s": "s", "kg": "kg", "A": "A", "K": "K"}


def modrin_make(values, unit):
    return ModrinArray(values, unit or None)


def pint_lib():
    pint = pytest.importorskip("pint")
    registry = pint.UnitRegistry()
    to_base = lambda q: q.to_base_units()
    return (lambda v, unit: registry.Quantity(v, unit or "dimensionless"),
            lambda q: isinstance(q, registry.Quantity),
            lambda q: (to_base(q).magnitude, dict(to_base(q)._units)))


def astropy_lib():
    u = pytest.importorskip("astropy.units")
    return (lambda v, unit: u.Quantity(v, unit or u.dimensionless_unscaled),
            lambda q: isinstance(q, u.Quantity),
            lambda q: (q.decompose().value,
                       dict(zip(map(str, q.decompose().unit.bases), q.decompose().unit.powers))))


ORACLES = {"pint": pint_lib, "astropy": astropy_lib}


def modrin_unit(powers):
    """The SI base units with these powers, as a Modrin of one."""
    unit = Modrin.empty()
    for name, p in powers.items():
        unit = unit * Modrin.unit(BASE[name]) ** float(p)
    return unit


def check(mine, theirs, is_quantity, base):
    """mine equals the oracle's result: in the same units (converted), with the same values."""
    if isinstance(theirs, (tuple, list)):
        assert isinstance(mine, (tuple, list)) and len(mine) == len(theirs)
        for m, t in zip(mine, theirs):
            check(m, t, is_quantity, base)
        return
    if not is_quantity(theirs):
        assert not isinstance(mine, (ModrinArray, Modrin)), f"{mine!r} has units"
        np.testing.assert_array_equal(mine, theirs)
        return
    assert isinstance(mine, (ModrinArray, Modrin)), f"{mine!r} has no units"
    magnitude, powers = base(theirs)
    got = mine.as_number(modrin_unit(powers))  # raises unless the units agree
    assert np.shape(got) == np.shape(magnitude)
    np.testing.assert_allclose(got, magnitude, rtol=1e-10, atol=1e-300)


def sorted_(shape, unit):
    return ("sorted", shape, unit)


def inputs(layouts, rng):
    """(values, unit) for each layout: random shapes (some NaN where asked), or sorted numbers."""
    made = []
    for layout in layouts:
        kind, shape, unit = layout if layout[0] in ("sorted", "nan") else ("plain", *layout)
        v = rng.uniform(0.5, 2.0, shape)
        if kind == "sorted":
            v = np.sort(v)
        if kind == "nan":
            v.flat[::3] = np.nan
        made.append((v, unit))
    return made


def nan(shape, unit):
    return ("nan", shape, unit)


A34 = ((3, 4), "km")
V6, W6 = ((6,), "m"), ((6,), "km")
# Where an oracle differs, and why.
NOT_IN_PINT = "pint has no implementation of it"
NO_PINT_AVERAGE = "pint's average recurses without end"
NO_ASTROPY_PROD = "astropy refuses products whose units depend on the count"
ASTROPY_SUBOK = "astropy gives plain numbers unless subok=True; units are never dropped here"
PINT_LIKE = "pint's ones_like and zeros_like give plain numbers; here they keep the units"

# (id, call, inputs, oracles that differ: {library: reason}). The same random numbers go to
# every library.
CASES = [
    ("sum", lambda a: np.sum(a), [A34], {}),
    ("sum_axis", lambda a: np.sum(a, axis=0, keepdims=True), [A34], {}),
    ("mean", lambda a: np.mean(a), [A34], {}),
    ("mean_axis", lambda a: np.mean(a, axis=1), [A34], {}),
    ("average", lambda a, w: np.average(a, axis=0, weights=w), [A34, ((3, 4), "s")],
     {"pint": NO_PINT_AVERAGE}),
    ("average_returned", lambda a, w: np.average(a, weights=w, returned=True), [A34, ((3, 4), "s")],
     {"pint": NO_PINT_AVERAGE}),
    ("median", lambda a: np.median(a, axis=0), [A34], {}),
    ("percentile", lambda a: np.percentile(a, [10, 90], axis=1), [A34], {}),
    ("quantile", lambda a: np.quantile(a, 0.3), [A34], {}),
    ("std", lambda a: np.std(a, ddof=1), [A34], {}),
    ("var", lambda a: np.var(a, axis=0), [A34], {}),
    ("min", lambda a: np.min(a), [A34], {}),
    ("amax", lambda a: np.amax(a, axis=1), [A34], {}),
    ("ptp", lambda a: np.ptp(a, axis=0), [A34], {}),
    ("argmin", lambda a: np.argmin(a), [A34], {}),
    ("argmax", lambda a: np.argmax(a, axis=0), [A34], {}),
    ("cumsum", lambda a: np.cumsum(a, axis=1), [A34], {}),
    ("cumprod", lambda a: np.cumprod(a), [((5,), "")], {}),
    ("prod", lambda a: np.prod(a, axis=0), [((3, 2), "m")], {"astropy": NO_ASTROPY_PROD}),
    ("prod_all", lambda a: np.prod(a), [((2, 2), "s")], {"astropy": NO_ASTROPY_PROD}),
    ("diff", lambda a: np.diff(a, axis=0), [A34], {}),
    ("gradient", lambda f, dx: np.gradient(f, dx), [V6, ((), "s")], {}),
    ("gradient_2d", lambda f, x: np.gradient(f, x, axis=1), [A34, sorted_((4,), "s")],
     {}),
    ("trapezoid", lambda y, x: np.trapezoid(y, x), [((6,), "N"), sorted_((6,), "m")], {}),
    ("cross", lambda a, b: np.cross(a, b), [((4, 3), "m"), ((4, 3), "N")], {}),
    ("dot", lambda a, b: np.dot(a, b), [A34, ((4,), "N")], {}),
    ("inner", lambda a, b: np.inner(a, b), [A34, ((2, 4), "s")], {}),
    ("outer", lambda a, b: np.outer(a, b), [V6, ((3,), "s")], {}),
    ("norm", lambda a: np.linalg.norm(a, axis=1), [A34], {}),
    ("det", lambda a: np.linalg.det(a), [((3, 3), "m")], {"pint": NOT_IN_PINT}),
    ("concatenate", lambda a, b: np.concatenate([a, b]), [V6, ((4,), "km")], {}),
    ("concatenate_axis", lambda a, b: np.concatenate((a, b), axis=1), [A34, ((3, 2), "m")], {}),
    ("stack", lambda a, b: np.stack([a, b], axis=1), [V6, W6], {}),
    ("hstack", lambda a, b: np.hstack((a, b)), [V6, W6], {}),
    ("vstack", lambda a, b: np.vstack([a, b]), [A34, ((4,), "cm")], {}),
    ("column_stack", lambda a, b: np.column_stack([a, b]), [V6, W6], {}),
    ("split", lambda a: np.split(a, 2, axis=1), [A34], {"pint": NOT_IN_PINT}),
    ("array_split", lambda a: np.array_split(a, 3, axis=1), [A34], {"pint": NOT_IN_PINT}),
    ("where", lambda a, b: np.where(COND, a, b), [V6, W6], {}),
    ("select", lambda a, b: np.select([COND, ~COND], [a, b]), [V6, W6], {"pint": NOT_IN_PINT}),
    ("clip", lambda a, lo, hi: np.clip(a, lo, hi), [((6,), "km"), ((), "m"), ((), "mm")],
     {}),
    ("sort", lambda a: np.sort(a, axis=0), [A34], {}),
    ("argsort", lambda a: np.argsort(a), [A34], {}),
    ("searchsorted", lambda a, v: np.searchsorted(a, v), [sorted_((6,), "m"), ((3,), "cm")], {}),
    ("unique", lambda a: np.unique(np.concatenate([a, a]), return_counts=True), [V6],
     {"pint": NOT_IN_PINT}),
    ("round", lambda a: np.round(a, 2), [A34], {}),  # ties differ: see the Modrin checks below
    ("isclose", lambda a, b, tol: np.isclose(a, b, atol=tol), [V6, W6, ((), "km")], {}),
    ("allclose", lambda a, b: np.allclose(a, b * 1.0), [V6, V6], {}),
    ("array_equal", lambda a, b: np.array_equal(a, b), [V6, V6], {"pint": NOT_IN_PINT}),
    ("interp", lambda x, xp, fp: np.interp(x, xp, fp), [((5,), "km"), sorted_((6,), "km"),
                                                          ((6,), "s")], {}),
    ("histogram", lambda a: np.histogram(a, bins=4), [V6], {"pint": NOT_IN_PINT}),
    ("histogram_bins", lambda a, b: np.histogram(a, bins=b), [V6, sorted_((4,), "mm")],
     {"pint": NOT_IN_PINT}),
    ("histogram_weights", lambda a, w: np.histogram(a, bins=3, weights=w), [V6, ((6,), "s")],
     {"pint": NOT_IN_PINT}),
    ("histogram_density", lambda a: np.histogram(a, bins=3, density=True), [V6],
     {"pint": NOT_IN_PINT}),
    ("nansum", lambda a: np.nansum(a, axis=0), [nan((3, 4), "km")], {}),
    ("nanmean", lambda a: np.nanmean(a), [nan((3, 4), "km")], {}),
    ("nanmedian", lambda a: np.nanmedian(a), [nan((3, 4), "km")], {}),
    ("nanpercentile", lambda a: np.nanpercentile(a, 20), [nan((3, 4), "km")], {}),
    ("nanquantile", lambda a: np.nanquantile(a, 0.2, axis=0), [nan((3, 4), "km")], {}),
    ("nanstd", lambda a: np.nanstd(a), [nan((3, 4), "km")], {}),
    ("nanvar", lambda a: np.nanvar(a), [nan((3, 4), "km")], {}),
    ("nanmin", lambda a: np.nanmin(a), [nan((3, 4), "km")], {}),
    ("nanmax", lambda a: np.nanmax(a, axis=1), [nan((3, 4), "km")], {}),
    ("nanargmin", lambda a: np.nanargmin(a), [nan((3, 4), "km")], {}),
    ("nanargmax", lambda a: np.nanargmax(a, axis=0), [nan((3, 4), "km")], {}),
    ("nancumsum", lambda a: np.nancumsum(a), [nan((3, 4), "km")], {}),
    ("nancumprod", lambda a: np.nancumprod(a), [nan((5,), "")], {}),
    ("nanprod", lambda a: np.nanprod(a), [nan((5,), "")], {}),
    ("reshape", lambda a: np.reshape(a, (2, 6)), [A34], {}),
    ("transpose", lambda a: np.transpose(a), [A34], {}),
    ("moveaxis", lambda a: np.moveaxis(a, 0, 1), [A34], {}),
    ("squeeze", lambda a: np.squeeze(a), [((1, 4), "km")], {}),
    ("expand_dims", lambda a: np.expand_dims(a, 1), [A34], {}),
    ("broadcast_to", lambda a: np.broadcast_to(a, (2, 3, 4)), [A34], {"astropy": ASTROPY_SUBOK}),
    ("broadcast_arrays", lambda a, b: np.broadcast_arrays(a, b), [A34, ((4,), "s")],
     {"astropy": ASTROPY_SUBOK, "pint": "converts every array into the first one's units"}),
    ("atleast_1d", lambda a: np.atleast_1d(a), [((), "km")], {}),
    ("atleast_2d", lambda a, b: np.atleast_2d(a, b), [V6, ((), "s")], {}),
    ("atleast_3d", lambda a: np.atleast_3d(a), [A34], {}),
    ("tile", lambda a: np.tile(a, 2), [V6], {}),
    ("repeat", lambda a: np.repeat(a, 2), [V6], {"pint": NOT_IN_PINT}),
    ("flip", lambda a: np.flip(a), [A34], {}),
    ("roll", lambda a: np.roll(a, 2), [V6], {}),
    ("take", lambda a: np.take(a, [0, 5]), [A34], {"pint": NOT_IN_PINT}),
    ("delete", lambda a: np.delete(a, 1), [V6], {}),
    ("insert", lambda a, v: np.insert(a, 1, v), [V6, ((), "km")], {}),
    ("append", lambda a, v: np.append(a, v), [V6, ((2,), "km")], {}),
    ("copy", lambda a: np.copy(a), [A34], {}),
    ("ones_like", lambda a: np.ones_like(a), [A34], {"pint": PINT_LIKE}),
    ("zeros_like", lambda a: np.zeros_like(a), [A34], {"pint": PINT_LIKE}),
    ("full_like", lambda a, v: np.full_like(a, v), [A34, ((), "m")], {}),
    ("linspace", lambda a, b: np.linspace(a, b, 5), [((), "m"), ((), "km")], {}),
    ("geomspace", lambda a, b: np.geomspace(a, b, 4), [((2,), "m"), ((2,), "km")], {}),
    ("meshgrid", lambda a, b: np.meshgrid(a, b), [V6, ((3,), "s")], {}),
    ("fftshift", lambda a: np.fft.fftshift(a), [V6], {"pint": NOT_IN_PINT}),
    ("ifftshift", lambda a: np.fft.ifftshift(a), [A34], {"pint": NOT_IN_PINT}),
]


@pytest.mark.parametrize("library", ORACLES)
@pytest.mark.parametrize("name, call, layouts, differs", CASES, ids=[c[0] for c in CASES])
def test_functions_agree_with_the_oracles(library, name, call, layouts, differs):
    if library in differs:
        pytest.skip(differs[library])
    make, is_quantity, base = ORACLES[library]()
    made = inputs(layouts, np.random.default_rng(len(name)))
    theirs = call(*[make(v, u) for v, u in made])
    mine = call(*[modrin_make(v, u) for v, u in made])
    check(mine, theirs, is_quantity, base)


def test_empty_like_keeps_the_units():
    assert str(np.empty_like(ModrinArray([1.0, 2.0], "km")).unit) == "1 [km]"


@pytest.mark.parametrize("call, error, message", [
    (lambda a, b: np.fft.fft(a), TypeError,
     r"numpy\.fft\.fft does not support ModrinArray: use a\.as_number\(unit\)"),
    (lambda a, b: np.convolve(a, b), TypeError, r"numpy\.convolve does not support ModrinArray"),
    (lambda a, b: np.concatenate([a, a.unit * 1 / S]), TypeError, r"\[m/s\] and \[m\] are not compatible"),
    (lambda a, b: np.cumprod(a), TypeError, r"\[m\] and \[\] are not compatible"),
    (lambda a, b: np.nanprod(a), TypeError, r"\[m\] and \[\] are not compatible"),
    (lambda a, b: np.prod(a, initial=M), TypeError, r"\[m\] and \[\] are not compatible"),
    (lambda a, b: np.clip(a, 0, 1), TypeError, r"\[\] and \[m\] are not compatible"),
    (lambda a, b: np.isclose(a, b, atol=1e-3), TypeError, r"\[\] and \[m\] are not compatible"),
    (lambda a, b: np.array_equal(a, ModrinArray(b.as_number(), "s")), TypeError,
     r"\[s\] and \[m\] are not compatible"),  # astropy says False
    (lambda a, b: np.interp(a, ModrinArray([1, 2], "s"), [1, 2]), TypeError,
     r"\[s\] and \[m\] are not compatible"),
    (lambda a, b: np.histogram(a, bins=ModrinArray([0, 1], "s")), TypeError,
     r"\[s\] and \[m\] are not compatible"),
    (lambda a, b: np.linspace(a[0:1], ModrinArray(1, "s")), TypeError,
     r"\[s\] and \[m\] are not compatible"),
    (lambda a, b: np.prod(a, where=[True, False, True]), TypeError, r"numpy\.prod does not take where="),
    (lambda a, b: np.sum(a, axis=0, out=np.zeros(())), TypeError,
     r"numpy\.sum takes a ModrinArray out= for a result in units"),
    (lambda a, b: np.sum(a, out=ModrinArray(np.zeros(2))), ValueError, "out= does not have"),
])
def test_refusals(call, error, message):
    a, b = ModrinArray([1.0, 2.0, 3.0], "m"), ModrinArray([1.0, 2.0, 3.0], "km")
    with pytest.raises(error, match=message):
        call(a, b)


def test_out_takes_the_results_numbers_and_units():
    a = ModrinArray([[1.0, 2.0], [3.0, 5.0]], "km")
    out = ModrinArray(np.zeros(2), "s")
    assert np.sum(a, axis=0, out=out) is out and str(out) == "[4. 7.] [km]"
    np.clip(a, M * 1500, KM * 4, out=a)  # an input as out=: converted, then written
    assert str(a) == "[[1.5 2. ]\n [3.  4. ]] [km]"
    indices = np.zeros(2, dtype=np.intp)
    assert np.argmax(a, axis=0, out=indices) is indices and indices.tolist() == [1, 1]
    unitless = np.zeros(3)
    assert np.cumprod(ModrinArray([2.0, 3.0, 4.0]), out=unitless) is unitless
    assert unitless.tolist() == [2, 6, 24]
    assert str(np.max(a, initial=KM * 7)) == "7 [km]" and str(np.min(a, initial=M * 7)) == "0.007 [km]"


@pytest.mark.parametrize("units", [("m", "km"), ("km.N/mm", "N"), ("deg C", "K"), ("ft", "m2/km")])
def test_elements_are_what_modrin_gives(units):
    """Each element as the Modrin of the same elements, bits and units alike."""
    rng = np.random.default_rng(7)
    x = rng.uniform(-50.0, 50.0, 6)
    x[:3] = [2.5, -0.125, 1.005]  # halves, for round
    a, b = ModrinArray(x, units[0]), ModrinArray(rng.uniform(-50.0, 50.0, 6), units[1])
    lo, hi = (a[1], b[2]) if a[1] < b[2] else (b[2], a[1])
    mine = a[0] + b[0]  # raises where Modrin does: then every function below must too
    pairs = [
        (np.concatenate([a, b]), [*a, *(q.as_unit(a.unit) for q in b)]),
        (np.where(COND, a, b), [p if c else q.as_unit(a.unit) for c, p, q in zip(COND, a, b)]),
        (np.select([COND], [b], a[0]), [q.as_unit(b.unit) if c else a[0].as_unit(b.unit)
                                        for c, q in zip(COND, b)]),
        (np.clip(a, lo, hi), [lo.as_unit(a.unit) if p < lo else hi.as_unit(a.unit) if p > hi else p
                              for p in a]),
        (np.full_like(a, b[0]), [b[0].as_unit(a.unit)] * 6),
        (np.diff(a), [q - p for p, q in zip(a, a[1:])]),
        (np.outer(a, b).ravel(), [p * q for p in a for q in b]),
        (np.round(a, 2), [round(p, 2) for p in a]),
        (np.round(a), [round(p) for p in a]),
    ]
    assert mine is not None
    for got, want in pairs:
        assert len(got) == len(want)
        for g, w in zip(got, want):
            assert str(g.unit) == str(w.unit)
            assert g.as_number() == w.as_number() or (g.as_number() != g.as_number()
                                                     and w.as_number() != w.as_number())


def test_a_full_reduction_gives_a_modrin_and_one_along_an_axis_an_array():
    a = ModrinArray([[1.0, 2.0], [3.0, 5.0]], "km")
    assert isinstance(np.median(a), Modrin) and isinstance(np.median(a, axis=0), ModrinArray)
    assert isinstance(np.sum(a, keepdims=True), ModrinArray)
    assert np.linalg.norm(a[0], ord=0) == 2.0  # a count of the elements that are not zero
    # Sums and means in the units a Modrin sum has.
    b = ModrinArray([1.0, 2.0], "km.N/mm")
    assert str(np.sum(b).unit) == str((b[0] + b[1]).unit) == str(np.mean(b).unit)
