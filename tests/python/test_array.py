"""ModrinArray: construction, NumPy's protocols, indexing, text forms and refusals. Element values
are checked against Modrin in test_array_differential.py."""

import copy
import pickle
import re
import subprocess
import sys

import pytest

np = pytest.importorskip("numpy")

from modrin import LogModrin, Modrin  # noqa: E402
from modrin_array import ModrinArray  # noqa: E402

m, km, s = Modrin.unit("m"), Modrin.unit("km"), Modrin.unit("s")


def same(a, numbers, units):
    assert isinstance(a, ModrinArray)
    assert str(a.unit) == f"1 {units}"
    np.testing.assert_array_equal(a.as_number(), numbers)


@pytest.mark.parametrize("values, unit, numbers, units", [
    ([1, 2.5, 3], "km", [1, 2.5, 3], "[km]"),
    (np.arange(3, dtype=np.int16), None, [0, 1, 2], "[]"),
    ([[True, False]], "s", [[1, 0]], "[s]"),
    (4, "m/s", 4, "[m/s]"),
    ([1, 2], km * 2, [2, 4], "[km]"),                 # a Modrin's number scales
    ([m, km * 2], None, [1, 2000], "[m]"),  # in the first one's units
    (ModrinArray([1, 2], "km"), "m", [1000, 2000], "[m]"),
    (km * 3, None, 3, "[km]"),
])
def test_construction(values, unit, numbers, units):
    same(ModrinArray(values, unit), numbers, units)


@pytest.mark.parametrize("values, dtype", [
    ([1j], "complex128"), (["a"], "<U1"), (np.array(["2020-01-01"], "M8[D]"), "datetime64[D]"),
    ([None, 1], "object"),
])
def test_values_other_than_numbers_are_refused_naming_their_dtype(values, dtype):
    with pytest.raises(TypeError, match=re.escape(f"not {dtype}")):
        ModrinArray(values, "m")


def test_refusals_of_units_and_mixed_quantities():
    with pytest.raises(LookupError, match="Unit flurb not found"):
        ModrinArray([1], "flurb")
    with pytest.raises(TypeError, match=r"\[s\] and \[m\] are not compatible"):
        ModrinArray([m, s])


def test_copy_false_shares_a_float64_buffer_and_copy_true_does_not():
    x = np.zeros(3)
    ModrinArray(x, "m", copy=False)[0] = m * 5
    ModrinArray(x, "m")[1] = m * 5
    assert x.tolist() == [5, 0, 0]


def test_indexing_gives_modrins_for_elements_and_views_for_slices():
    a = ModrinArray(np.arange(6.0).reshape(2, 3), "km")
    assert str(a[1, 2]) == "5 [km]" and isinstance(a[1, 2], Modrin)
    same(a[1], [3, 4, 5], "[km]")
    same(a[a > km * 3], [4, 5], "[km]")
    same(a[..., [0, 2]], [[0, 2], [3, 5]], "[km]")
    view = a[:, 1]
    a[0, 1] = m * 500
    same(view, [0.5, 4], "[km]")
    assert [str(q) for q in a[0]] == ["0 [km]", "0.5 [km]", "2 [km]"]
    assert str(a.tolist()[1][2]) == "5 [km]"
    assert (len(a), a.shape, a.ndim, a.size, a.dtype) == (2, (2, 3), 2, 6, np.float64)
    same(a.T, [[0, 3], [0.5, 4], [2, 5]], "[km]")
    same(a.reshape(3, 2)[2], [4, 5], "[km]")


@pytest.mark.parametrize("value, message", [
    (s * 2, r"\[s\] and \[m\] are not compatible"),
    (3.0, r"\[\] and \[m\] are not compatible"),
    (np.ones(2), r"\[\] and \[m\] are not compatible"),
])
def test_a_failed_assignment_changes_nothing(value, message):
    a = ModrinArray([1.0, 2.0], "m")
    with pytest.raises(TypeError, match=message):
        a[:] = value
    same(a, [1, 2], "[m]")


def test_assignment_converts_into_the_arrays_units():
    a = ModrinArray([1.0, 2.0, 3.0], "m")
    a[1:] = ModrinArray([1, 2], "km")
    a[0] = "cm"  # one of the unit, as for Modrin operands
    same(a, [0.01, 1000, 2000], "[m]")
    plain = ModrinArray([1.0, 2.0])
    plain[0] = 7
    same(plain, [7, 2], "[]")


def test_units_are_never_dropped_silently():
    a = ModrinArray([1.0, 2.0], "m")
    for drop in (np.asarray, np.array, float, lambda x: np.convolve(x, x)):
        with pytest.raises(TypeError, match=r"a.as_number\(unit\)"):
            drop(a if drop is not float else a[:1].reshape(()))
    with pytest.raises(TypeError, match="ufunc 'gcd' does not support ModrinArray operands"):
        np.gcd(a, a)
    x = np.ones(2)
    with pytest.raises(TypeError, match=r"ufunc 'multiply' cannot store \[m\] in a NumPy array"):
        x *= a
    assert np.asarray(ModrinArray([1.0, 2.0])).tolist() == [1, 2]
    assert float(ModrinArray(2.5)) == 2.5


def test_text_forms():
    a = ModrinArray([1, 2.5, 3], "km")
    assert str(a) == "[1.  2.5 3. ] [km]"
    assert repr(a) == "ModrinArray([1. , 2.5, 3. ], 'km')"
    assert repr(ModrinArray([1, 2])) == "ModrinArray([1., 2.])"
    # The numbers and units each element's str() shows.
    b = ModrinArray([1, 2], "km.N/mm")
    shown = [str(q).split(" ", 1) for q in b]
    assert str(b) == f"{np.array([float(n) for n, _ in shown])} {shown[0][1]}" != f"[1. 2.] [km.N/mm]"


@pytest.mark.parametrize("clone", [copy.copy, copy.deepcopy, lambda a: pickle.loads(pickle.dumps(a))])
def test_copies_round_trip_exactly_and_own_their_numbers(clone):
    furlong = Modrin.custom("furlong", "fur", Modrin.unit("m") * 201.168)
    a = ModrinArray([0.1, -0.0, float("nan"), 1e-310], furlong / s)
    b = clone(a)
    assert str(b.unit) == str(a.unit) and repr(b) == repr(a)
    assert np.array_equal(a.as_number().view(np.int64), b.as_number().view(np.int64))
    assert str(b.as_unit("m/s")[0]) == str((furlong / s * 0.1).as_unit("m/s"))
    b[0] = furlong / s * 9
    assert str(a[0]) != str(b[0])


def test_operands_of_every_kind_broadcast():
    a = ModrinArray(np.ones((2, 1)), "m")
    same(a + ModrinArray([1, 2, 3], "cm"), [[1.01, 1.02, 1.03]] * 2, "[m]")
    same(a * np.arange(3), [[0, 1, 2]] * 2, "[m]")
    same(np.arange(3) * a, [[0, 1, 2]] * 2, "[m]")
    same(m * np.arange(2), [0, 1], "[m]")
    same(np.arange(1, 3) / m, [1, 2], "[1/m]")
    ten_db = LogModrin.unit("dB") * 10  # its ratio, as Modrin takes it
    same(a * ten_db, [[(m * ten_db).as_number()]] * 2, "[m]")
    same(ModrinArray([1, 2]) + 1, [2, 3], "[]")
    with pytest.raises(TypeError, match=r"\[m\] and \[\] are not compatible"):
        a + 1


def test_in_place_operators_write_into_the_buffer_and_may_change_units():
    x = np.array([1.0, 2.0])
    a = ModrinArray(x, "m", copy=False)
    a += km
    a *= s
    assert a.as_number() is not x and x.tolist() == [1001, 1002]
    same(a, [1001, 1002], "[m.s]")
    with pytest.raises(TypeError):
        a += m
    same(a, [1001, 1002], "[m.s]")


@pytest.mark.parametrize("exponent, units", [
    (2, "[m2]"), (Modrin.empty() * 3, "[m3]"), (np.full(2, 0.5), "[m0.5]"), (ModrinArray([2, 2]), "[m2]"),
])
def test_exponents(exponent, units):
    assert str((ModrinArray([4.0, 9.0], "m") ** exponent).unit) == f"1 {units}"


def test_exponents_must_agree_unless_the_base_has_no_units():
    with pytest.raises(ValueError, match="one exponent for every element"):
        ModrinArray([4.0, 9.0], "m") ** np.array([1, 2])
    same(2 ** ModrinArray([1, 2]), [2, 4], "[]")
    same(ModrinArray([2.0, 3.0]) ** np.array([2, 3]), [4, 27], "[]")


def test_ufuncs_on_modrin_scalars_give_modrins():
    assert str(np.sqrt(Modrin.unit("m2") * 4)) == "2 [m]"
    assert str(np.multiply(km, m)) == str(km * m)
    assert np.less(m, km) is np.True_


def test_sqrt_is_correctly_rounded_while_the_power_matches_modrin():
    x = np.array([2.0, 3.0, 1e-300, 7.0])
    a = ModrinArray(x, "m2")
    np.testing.assert_array_equal(np.sqrt(a).as_number(), np.sqrt(x))
    for i, v in enumerate(x):
        assert (a ** 0.5)[i].as_number() == ((Modrin.unit("m2") * v) ** 0.5).as_number()


def test_reductions():
    a = ModrinArray([[1.0, 2.0], [3.0, 5.0]], "km")
    assert [str(r) for r in (a.sum(), a.min(), a.max(), a.mean(), np.sum(a), np.max(a))] == \
        ["11 [km]", "1 [km]", "5 [km]", "2.75 [km]", "11 [km]", "5 [km]"]
    same(a.sum(axis=0), [4, 7], "[km]")
    same(np.mean(a, axis=1, keepdims=True), [[1.5], [4]], "[km]")
    assert np.shape(a) == (2, 2)
    with pytest.raises(TypeError, match="out="):
        a.sum(out=np.zeros(()))


def test_import_modrin_alone_does_not_import_numpy():
    code = "import sys, modrin; assert 'numpy' not in sys.modules; import modrin_array"
    subprocess.run([sys.executable, "-c", code], check=True)
