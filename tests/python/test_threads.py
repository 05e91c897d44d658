"""Many threads on shared quantities: correct results or documented refusals, never a hang."""

import threading

import pytest

from modrin import Modrin

REFUSALS = {"Already borrowed", "Already mutably borrowed"}


def run_threads(n, body):
    errors, barrier = [], threading.Barrier(n)

    def wrapped(i):
        barrier.wait()
        try:
            body(i)
        except Exception as exc:  # noqa: BLE001 - collected and checked below
            errors.append(exc)

    threads = [threading.Thread(target=wrapped, args=(i,)) for i in range(n)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=60)
        assert not t.is_alive(), "a thread hung"
    return errors


def test_concurrent_readers_and_writers_see_consistent_quantities():
    q = Modrin.unit("m2") / Modrin.unit("km") * 3
    r = Modrin.unit("s")
    results = []

    def body(i):
        for _ in range(300):
            try:
                if i % 3 == 0:
                    results.append(str(q))
                elif i % 3 == 1:
                    results.append(str(q * r))
                else:
                    q.simplify_inplace()
            except RuntimeError as exc:
                assert str(exc) in REFUSALS
            except TypeError as exc:  # an operator whose operand was held gives NotImplemented
                assert "unsupported operand" in str(exc)

    errors = run_threads(6, body)
    assert errors == []
    assert set(results) <= {"0.003 [m]", "0.003 [m.s]"}
    assert str(q) == "0.003 [m]"


@pytest.mark.parametrize("text", ["km/hr", "J/K.mol", "kg.J/N.m"])
def test_parsing_and_simplifying_agree_across_threads(text):
    expected = str(Modrin.unit(text))
    seen = set()

    def body(_):
        for _ in range(200):
            seen.add(str(Modrin.unit(text)))

    assert run_threads(4, body) == []
    assert seen == {expected}


# ---- refusals provoked deterministically -------------------------------------------------
# round() holds exclusive access while it reads its count through __index__; as_unit() holds
# shared access while it writes an operand that cannot be a unit into its message through
# __str__. A callback there meets the flag set, on its own thread or, while it waits, on any.

BORROWED = (RuntimeError, "Already borrowed")
MUTABLY = (RuntimeError, "Already mutably borrowed")
NOT_IMPLEMENTED = (None, NotImplemented)
GRANTED = (None, "granted")

HELD_EXCLUSIVELY = [
    ("str", lambda q: str(q), BORROWED),
    ("simplify_inplace", lambda q: q.simplify_inplace(), BORROWED),
    ("latex", lambda q: q.latex(), BORROWED),
    ("round", lambda q: round(q, 1), BORROWED),
    ("as_number", lambda q: q.as_number(), MUTABLY),
    ("float", lambda q: float(q), MUTABLY),
    ("as_unit", lambda q: q.as_unit("m"), MUTABLY),
    ("compare", lambda q: q < Modrin.unit("m"), MUTABLY),
    ("add", lambda q: q.__add__(Modrin.unit("m")), NOT_IMPLEMENTED),
    ("mul", lambda q: q.__mul__(2), NOT_IMPLEMENTED),
    ("reflected_sub", lambda q: Modrin.unit("m").__sub__(q), NOT_IMPLEMENTED),
    ("reflected_div", lambda q: q.__rtruediv__(2), NOT_IMPLEMENTED),
    ("pow", lambda q: q.__pow__(2), NOT_IMPLEMENTED),
    ("operator", lambda q: q * 2, (TypeError, "unsupported operand")),
]
HELD_SHARED = [
    ("str", lambda q: str(q), BORROWED),
    ("simplify_inplace", lambda q: q.simplify_inplace(), BORROWED),
    ("round", lambda q: q.round_sfig(2), BORROWED),
    ("as_number", lambda q: q.as_number("m"), GRANTED),
    ("mul", lambda q: q * 2, GRANTED),
    ("compare", lambda q: q > Modrin.unit("m"), GRANTED),
]


def outcome(action, q):
    try:
        result = action(q)
    except Exception as exc:  # noqa: BLE001 - the outcome is what is checked
        return type(exc), str(exc)
    return None, (NotImplemented if result is NotImplemented else "granted")


def matches(got, expected):
    kind, text = expected
    return got[0] is kind and (got[1] is text if text is NotImplemented else text in str(got[1]))


def while_held(hold, action, across_threads):
    """Outcome of `action(q)` while `hold` keeps q's flag set inside a callback."""
    q = Modrin.unit("km") * 3
    seen, holding, done = [], threading.Event(), threading.Event()

    def callback():
        if across_threads:
            holding.set()
            assert done.wait(30), "the other thread never finished"
        else:
            seen.append(outcome(action, q))

    def other():
        assert holding.wait(30), "the flag was never held"
        seen.append(outcome(action, q))
        done.set()

    helper = threading.Thread(target=other) if across_threads else None
    if helper:
        helper.start()
    hold(q, callback)
    if helper:
        helper.join(30)
        assert not helper.is_alive(), "a thread hung"
    assert float(q) == 3 and str(q) == "3 [km]"  # the holder's own call completed
    return seen[0]


class Counts:
    def __init__(self, callback):
        self.callback = callback

    def __index__(self):
        self.callback()
        return 1

    def __str__(self):
        self.callback()
        return "gate"


def hold_exclusive(q, callback):
    assert float(round(q, Counts(callback))) == 3


def hold_shared(q, callback):
    with pytest.raises(TypeError, match="gate cannot be coerced into a unit"):
        q.as_unit(Counts(callback))


@pytest.mark.parametrize("across_threads", [False, True], ids=["reentrant", "threads"])
@pytest.mark.parametrize(("name", "action", "expected"), HELD_EXCLUSIVELY, ids=[r[0] for r in HELD_EXCLUSIVELY])
def test_exclusive_access_refuses_every_other_use(name, action, expected, across_threads):
    assert matches(while_held(hold_exclusive, action, across_threads), expected)


@pytest.mark.parametrize("across_threads", [False, True], ids=["reentrant", "threads"])
@pytest.mark.parametrize(("name", "action", "expected"), HELD_SHARED, ids=[r[0] for r in HELD_SHARED])
def test_shared_access_admits_readers_and_refuses_writers(name, action, expected, across_threads):
    assert matches(while_held(hold_shared, action, across_threads), expected)


# ---- many threads against a single-threaded reference ------------------------------------

SHARED = {"speed": Modrin.unit("km/hr") * 36, "force": Modrin.unit("kg.m/s2") * 2.5, "energy": Modrin.unit("J") * 4.184}
READS = [
    lambda s: str(s["speed"] + Modrin.unit("m/s")),
    lambda s: s["speed"].as_number("m/s"),
    lambda s: str(s["force"] * s["speed"]),
    lambda s: (s["energy"] / s["force"]).as_unit("m").latex(),
    lambda s: str((s["energy"] ** 2).simplify()),
    lambda s: s["force"] < Modrin.unit("N") * 3,
    lambda s: round(s["energy"].as_unit("cal"), 3).descriptive(),
    lambda s: str(s["speed"].as_base_units()),
]


def test_many_threads_reading_shared_quantities_match_one_thread():
    reference = [read(SHARED) for read in READS]
    mismatches = []

    def body(i):
        for k in range(400):
            j = (i + k) % len(READS)
            got = READS[j](SHARED)
            if got != reference[j]:
                mismatches.append((j, got))

    assert run_threads(8, body) == []
    assert mismatches == []


def test_arrays_shared_between_threads_never_pair_numbers_with_other_units():
    np = pytest.importorskip("numpy")
    from modrin_array import ModrinArray

    x = np.arange(1 << 15, dtype=float)  # long enough that the loops release the GIL
    a = ModrinArray(x, "m")
    twice = Modrin.unit("s") * 2

    def until_done(step):
        while True:
            try:
                return step()
            except RuntimeError as exc:
                assert str(exc) in REFUSALS

    def body(i):
        for _ in range(200):
            if i == 0:  # in place: numbers doubled with units m.s, then back
                until_done(lambda: a.__imul__(twice))
                until_done(lambda: a.__itruediv__(twice))
                continue
            try:
                r = a * 1.0
            except RuntimeError as exc:
                assert str(exc) in REFUSALS
                continue
            doubled = str(r.unit) == "1 [m.s]"
            assert doubled or str(r.unit) == "1 [m]"
            assert np.array_equal(r.as_number(), x * 2 if doubled else x)

    assert run_threads(4, body) == []
    assert str(a.unit) == "1 [m]" and np.array_equal(a.as_number(), x)
