"""Pickle and copy: exact round trips of number and units, and a reconstructor that distrusts its input."""

import copy
import math
import pickle

import pytest

from modrin import LogModrin, Modrin

U = Modrin.unit
smoot = Modrin.custom("smoot", "smt", U("m") * 1.7018)

QUANTITIES = [
    U("m/s2") * 9.80665,
    U("km/hr") + U("m/s"),                      # a factor built by a chain of operations
    U("degree Fahrenheit") * 451,               # an offset unit
    smoot * U("km/hr") ** 2,                    # a custom unit among prefixed ones
    Modrin.custom("dozen", "dz", 12) ** 0.5,    # dimensionless custom unit, fractional exponent
    Modrin.custom("x", "ξ", U("kg.m2/s3")) / 3,  # non-ASCII symbol
    U("m") * float("nan"),
    U("s") * -0.0,
    Modrin.empty(),
    U("m/s") ** float("inf"),                   # non-finite exponents of units and of none
    Modrin.empty() ** float("nan"),
    LogModrin.unit("dB") * 3.5,
    -LogModrin.unit("semitone"),
]
COPIERS = {
    **{f"pickle{p}": (lambda q, p=p: pickle.loads(pickle.dumps(q, p))) for p in range(pickle.HIGHEST_PROTOCOL + 1)},
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
}


def forms(q):
    texts = [str(q), repr(q), f"{q:.17e}"]
    if isinstance(q, Modrin):
        texts += [q.latex(), q.descriptive(), str(q.as_base_units()), str(q.simplify()), repr(q.as_number())]
    return texts


@pytest.mark.parametrize("copier", COPIERS.values(), ids=COPIERS.keys())
@pytest.mark.parametrize("q", QUANTITIES, ids=str)
def test_copies_round_trip_every_field_and_text_form(q, copier):
    c = copier(q)
    assert type(c) is type(q) and c is not q
    # The state holds the number's bits and every unit field; binary pickles compare them exactly.
    assert pickle.dumps(c, 5) == pickle.dumps(q, 5)
    assert forms(c) == forms(q)


def test_a_copy_is_independent_of_the_original():
    q = U("W.s/J") * 3
    before = pickle.dumps(q)
    c = copy.copy(q)
    c.simplify_inplace()  # changes the copy's units in place
    assert pickle.dumps(q) == before and pickle.dumps(c) != before


m_unit = ("meter", "m", 1.0, 0.0, (0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0), 1.0)
M_BASE = (0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0)


@pytest.mark.parametrize(
    ("args", "exc"),
    [
        ((1, (m_unit,), M_BASE, 1.0), TypeError),                      # value not a float
        ((1.0, [m_unit], M_BASE, 1.0), TypeError),                     # units not a tuple
        ((1.0, (m_unit[:5],), M_BASE, 1.0), TypeError),                # a unit too short
        ((1.0, ((b"m",) + m_unit[1:],), M_BASE, 1.0), TypeError),     # name not a str
        ((1.0, (m_unit[:4] + ((0.0,) * 7, 1.0),), M_BASE, 1.0), TypeError),  # seven dimensions
        ((1.0, (m_unit[:2] + ("1",) + m_unit[3:],), M_BASE, 1.0), TypeError),  # factor a str
        ((1.0, (m_unit,), M_BASE[:7], 1.0), TypeError),                # seven base exponents
        ((1.0, (m_unit,), M_BASE, None), TypeError),
        ((1.0, (m_unit[:3] + (math.inf,) + m_unit[4:],), M_BASE, 1.0), ValueError),  # infinite offset
        ((1.0, (m_unit[:3] + (math.nan,) + m_unit[4:],), M_BASE, 1.0), ValueError),
        ((1.0, (m_unit, m_unit), (0.0,) * 5 + (2.0, 0.0, 0.0), 1.0), ValueError),  # a unit twice
        ((1.0, (m_unit,), (0.0,) * 8, 1.0), ValueError),               # base exponents disagree
        ((1.0, (m_unit,), M_BASE, 2.0), ValueError),                   # factor disagrees
        ((1.0, (m_unit,), M_BASE, math.nan), ValueError),
        ((1.0, (("\ud800",) + m_unit[1:],), M_BASE, 1.0), ValueError),  # unencodable name
    ],
)
def test_modrin_reconstructor_refuses_malformed_state(args, exc):
    with pytest.raises(exc):
        Modrin._reconstruct(*args)


@pytest.mark.parametrize(
    ("args", "exc"),
    [
        (("decibel", "dB", 1.2589254117941673, 1), TypeError),
        ((b"decibel", "dB", 1.2589254117941673, 1.0), TypeError),
        (("decibel", "dB", 10.0, 1.0), ValueError),                 # base of another unit
        (("decibel", "B", 1.2589254117941673, 1.0), ValueError),
        (("dB", "dB", 1.2589254117941673, 1.0), ValueError),        # a symbol is not a name
        (("kilobel", "kB", 10000.0, 1.0), ValueError),
    ],
)
def test_log_modrin_reconstructor_refuses_malformed_state(args, exc):
    with pytest.raises(exc):
        LogModrin._reconstruct(*args)


def test_reconstructor_accepts_what_reduce_gives_and_nothing_is_added_to_the_module():
    import modrin

    q = U("N.m")
    rebuild, args = q.__reduce__()
    assert rebuild == Modrin._reconstruct and str(rebuild(*args)) == str(q)
    assert "_reconstruct" not in vars(modrin)


hypothesis = pytest.importorskip("hypothesis")
st = hypothesis.strategies
junk = st.recursive(
    st.none() | st.floats() | st.integers() | st.text(max_size=4),
    lambda inner: st.tuples(inner, inner) | st.tuples(*[inner] * 6) | st.tuples(*[inner] * 8) | st.lists(inner, max_size=3),
    max_leaves=20,
)


# Drawing nested junk is slow on a loaded machine, which says nothing about the reconstructor.
@hypothesis.settings(suppress_health_check=[hypothesis.HealthCheck.too_slow])
@hypothesis.given(st.tuples(st.floats() | junk, st.tuples(st.tuples(st.text(max_size=3), st.text(max_size=3), st.floats(), st.floats(), st.tuples(*[st.floats()] * 8), st.floats()) | junk) | junk, st.tuples(*[st.floats()] * 8) | junk, st.floats() | junk))
def test_reconstructor_fails_only_with_type_or_value_errors(args):
    try:
        q = Modrin._reconstruct(*args)
    except (TypeError, ValueError):
        return
    assert pickle.dumps(copy.copy(q)) == pickle.dumps(q)  # what it accepts is a whole quantity
