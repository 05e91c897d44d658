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
