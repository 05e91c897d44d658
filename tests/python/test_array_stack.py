"""ModrinArray with xarray and Dask, the real libraries: xarray's operations keep the units and
give what the same computation on bare numbers, converted by hand, gives; Dask's stay lazy,
know their units at once and compute what the same operations in memory compute, on one
machine and on a cluster of worker processes."""

import pickle
import subprocess
import sys

import pytest

np = pytest.importorskip("numpy")
from modrin import Modrin  # noqa: E402
from modrin_array import ModrinArray  # noqa: E402

A = np.arange(12.0).reshape(3, 4) - 4  # metres
B = np.linspace(0.5, 3.0, 12).reshape(3, 4)  # kilometres
A[1, 2] = np.nan
X, XB, Y = [0, 1, 2], [1, 2, 3], [10, 20, 30, 40]  # b's x shifted: alignment matters

# Each case runs on DataArrays of ModrinArrays (a in m, b in km, u(text) a Modrin of 1) and on
# DataArrays of bare numbers (both in m, u(text) the number of metres); the results compare
# in `units`.
XARRAY = [
    ("add, aligned", lambda xr, a, b, u: a + b, "m"),
    ("multiply", lambda xr, a, b, u: a * b, "m2"),
    ("sel", lambda xr, a, b, u: a.sel(x=1), "m"),
    ("isel", lambda xr, a, b, u: b.isel(y=slice(1, 3)), "m"),
    ("mean", lambda xr, a, b, u: a.mean("x"), "m"),
    ("sum", lambda xr, a, b, u: b.sum("y"), "m"),
    ("std", lambda xr, a, b, u: a.std("x"), "m"),
    ("min", lambda xr, a, b, u: a.min("y"), "m"),
    ("max of all", lambda xr, a, b, u: b.max(), "m"),
    ("cumsum", lambda xr, a, b, u: a.cumsum("x"), "m"),
    ("concat", lambda xr, a, b, u: xr.concat([a, b], dim="x"), "m"),
    ("where", lambda xr, a, b, u: a.where(a > 2 * u("m")), "m"),
    ("xarray.where", lambda xr, a, b, u: xr.where(a > u("m"), a, -a), "m"),
    ("fillna", lambda xr, a, b, u: a.fillna(3 * u("cm")), "m"),
    ("shift", lambda xr, a, b, u: b.shift(y=1), "m"),
    ("rolling mean", lambda xr, a, b, u: a.rolling(y=2).mean(), "m"),
    ("rolling sum, centred", lambda xr, a, b, u: b.rolling(y=3, center=True).sum(), "m"),
    ("groupby mean", lambda xr, a, b, u: a.groupby(xr.DataArray([0, 0, 1], dims="x",
                                                                 coords={"x": X})).mean(), "m"),
    ("dataset mean", lambda xr, a, b, u: xr.Dataset({"d": a}).mean("y")["d"], "m"),
    ("copy", lambda xr, a, b, u: b.copy(deep=True), "m"),
    ("pickle", lambda xr, a, b, u: pickle.loads(pickle.dumps(b)), "m"),
]


@pytest.fixture(scope="module")
def xr():
    xr = pytest.importorskip("xarray")
    # xarray hands bare arrays to bottleneck when the array does not keep its own functions.
    pytest.importorskip("bottleneck")
    return xr


@pytest.mark.parametrize("lazy", [False, True], ids=["in memory", "lazy"])
@pytest.mark.parametrize("name, op, units", XARRAY, ids=[c[0] for c in XARRAY])
def test_xarray_keeps_units_and_computes_what_bare_numbers_give(xr, name, op, units, lazy):
    def arrays(a, b):
        return (xr.DataArray(a, dims=("x", "y"), coords={"x": X, "y": Y}),
                xr.DataArray(b, dims=("x", "y"), coords={"x": XB, "y": Y}))

    def numbers(values):
        return pytest.importorskip("dask.array").from_array(values, chunks=2) if lazy else values

    with xr.set_options(use_bottleneck=True):
        got = op(xr, *arrays(ModrinArray(numbers(A), "m"), ModrinArray(numbers(B), "km")),
                 Modrin.unit)
        want = op(xr, *arrays(A, B * 1000), lambda t: Modrin.unit(t).as_number("m"))
    assert isinstance(got.data, ModrinArray), type(got.data)
    got = got.compute()
    assert got.dims == want.dims
    for k in want.coords:
        np.testing.assert_array_equal(got[k].values, want[k].values)
    np.testing.assert_allclose(got.data.as_number(units), want.values, rtol=1e-12)


def test_xarray_shows_the_units(xr):
    a = xr.DataArray(ModrinArray(np.arange(5000.0), "km/hr"), dims="t")
    assert "'km/hr')" in repr(a)
    assert "[km/hr] 0.0 1.0" in repr(xr.Dataset({"v": a}))  # before any number is cut off


# ---- Dask ------------------------------------------------------------------------------------

@pytest.fixture(scope="module")
def da():
    return pytest.importorskip("dask.array")


NUMBERS = np.arange(24.0).reshape(4, 6) * 1.5 - 7

# Reductions agree within rounding; everything else bit for bit (the differential tests
# cover the element-by-element operations one by one).
LAZY = [
    ("sum", lambda a: a.sum(), False),
    ("mean along an axis", lambda a: np.mean(a, axis=1), False),
    ("std", np.std, False),
    ("var along an axis", lambda a: np.var(a, axis=0), False),
    ("nanmean", np.nanmean, False),
    ("min", lambda a: a.min(), True),
    ("max keeping dimensions", lambda a: a.max(axis=1, keepdims=True), True),
    ("concatenate with other units", lambda a: np.concatenate([a, a.as_unit("km")]), True),
    ("cumsum along an axis", lambda a: np.cumsum(a, axis=1), False),
    ("nancumsum", np.nancumsum, False),
    ("slice", lambda a: a[1:, ::2], True),
    ("transpose", lambda a: a.T, True),
    ("reshape", lambda a: a.reshape(-1), True),
    ("formula", lambda a: (a * Modrin.unit("N") + Modrin.unit("J") * 2).as_unit("kJ"), True),
    ("compare", lambda a: a >= Modrin.unit("yd"), True),
]


@pytest.mark.parametrize("name, op, exact", LAZY, ids=[c[0] for c in LAZY])
def test_lazy_operations_compute_what_memory_gives(da, name, op, exact):
    lazy = op(ModrinArray(da.from_array(NUMBERS, chunks=(3, 4)), "ft"))
    want = op(ModrinArray(NUMBERS, "ft"))
    if isinstance(want, np.ndarray):
        assert isinstance(lazy, da.Array)
        np.testing.assert_array_equal(lazy.compute(), want)
        return
    want = ModrinArray(want)  # a Modrin from a full reduction: its 0-d array
    # Lazy, with its units known before anything is computed.
    assert isinstance(lazy.as_number(), da.Array)
    assert str(lazy.unit) == str(want.unit)
    got = lazy.compute()
    assert type(got) is ModrinArray and str(got.unit) == str(want.unit)
    if exact:
        assert got.as_number().tobytes() == want.as_number().tobytes()
    else:
        np.testing.assert_allclose(got.as_number(), want.as_number(), rtol=1e-13)


@pytest.mark.parametrize("op, message", [
    (lambda a: a + Modrin.unit("s"), "[ft] and [s] are not compatible"),
    (lambda a: np.exp(a), "[ft] and [] are not compatible"),
    (lambda a: np.prod(a), "prod"),
    (lambda a: a ** ModrinArray(np.full(NUMBERS.shape, 2.0)), "exponent"),
    (lambda a: np.add.reduce(a), "reduce"),
    (lambda a: np.negative(a, where=NUMBERS > 0), "where="),
    (lambda a: np.concatenate([[a, a]]), "does not become plain numbers"),
])
def test_lazy_operations_refuse_at_once(da, op, message):
    with pytest.raises(TypeError, match=message.replace("[", r"\[")):
        op(ModrinArray(da.from_array(NUMBERS, chunks=3), "ft"))


def test_dask_arrays_of_modrin_array_blocks(da):
    x = da.arange(10.0, chunks=3)
    blocks = x.map_blocks(ModrinArray, "km", meta=ModrinArray(np.empty(0), "km"))
    want = ModrinArray(np.arange(10.0), "km")
    # As a ModrinArray's lazy numbers, with their units taken from the blocks.
    a = ModrinArray(blocks)
    assert str(a.unit) == "1 [km]"
    assert a.as_unit("m").compute().as_number().tobytes() == want.as_unit("m").as_number().tobytes()
    # Operated on as it is, block by block.
    for got in ((blocks * Modrin.unit("s")).compute(), (Modrin.unit("s") * blocks).compute(),
                (ModrinArray(np.ones(10), "s") * blocks).compute()):
        assert type(got) is ModrinArray
        assert got.as_number("km.s").tobytes() == want.as_number().tobytes()


def test_lazy_arrays_pickle_persist_and_read_back(da):
    a = ModrinArray(da.from_array(NUMBERS, chunks=2), Modrin.custom("glorp", "glp", Modrin.unit("m") * 3))
    for b in (pickle.loads(pickle.dumps(a * 2)), (a * 2).persist()):
        assert isinstance(b.as_number(), da.Array)
        np.testing.assert_array_equal(b.compute().as_number("m"), NUMBERS * 6)


CLUSTER = """
import numpy as np, dask.array as da, distributed
from modrin import Modrin
from modrin_array import ModrinArray

if __name__ == "__main__":
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  host="127.0.0.1", dashboard_address=None) as cluster, \\
            distributed.Client(cluster) as client:
        numbers = da.arange(2e5, chunks=1e4) * 0.7
        lazy = ModrinArray(numbers, "km").as_unit("m") + Modrin.unit("cm") * 5
        want = ModrinArray(numbers.compute(), "km").as_unit("m") + Modrin.unit("cm") * 5
        got = lazy.compute()
        assert str(got.unit) == "1 [m]" and got.as_number().tobytes() == want.as_number().tobytes()
        total = lazy.sum().compute()
        assert abs(total.as_number("m") / want.sum().as_number("m") - 1) < 1e-12
        # Blocks that are ModrinArrays travel between the processes pickled, units and all.
        blocks = numbers.map_blocks(ModrinArray, "ft", meta=ModrinArray(np.empty(0), "ft"))
        back = client.compute(blocks).result()
        assert type(back) is ModrinArray and str(back.unit) == "1 [ft]"
        assert len(client.scheduler_info()["workers"]) == 2
    print("ok")
"""


def test_a_cluster_of_two_worker_processes(tmp_path):
    pytest.importorskip("distributed")
    script = tmp_path / "cluster.py"
    script.write_text(CLUSTER)
    # A script of its own: worker processes start by importing the main module.
    run = subprocess.run([sys.executable, str(script)], capture_output=True, text=True,
                         timeout=300)
    assert run.returncode == 0 and run.stdout.strip() == "ok", run.stderr[-3000:]
