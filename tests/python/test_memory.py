"""Memory stays bounded: a million mixed operations, run in a fresh interpreter after a
warm-up, grow resident memory by less than 2 MB and leave no objects or traced blocks behind."""

import os
import random
import resource
import subprocess
import sys
import textwrap

import pytest

LOOP = textwrap.dedent(
    """
    import gc, sys, tracemalloc
    from modrin import LogModrin, Modrin

    q, r = Modrin.unit("km/hr") * 36, Modrin.unit("m/s") * 2.5
    smoot = Modrin.custom("smoot", "smt", Modrin.unit("m") * 1.7018)
    db = LogModrin.unit("dB") * 3
    texts = ["m/s2", "km/hr", "J/K.mol", "W/m2.K4", "kg.J/N.m", "deg C/s", "ft.lbf", "MJ/kg"]

    def caught(call, exc):
        try:
            call()
        except exc:
            return
        raise AssertionError("no error")

    OPS = [
        lambda: q * r, lambda: q + r, lambda: q / r, lambda: q ** 2, lambda: -q, lambda: 2.0 / q,
        lambda: q.as_unit("m/s"), lambda: q.as_number("mi/hr"), lambda: float(q), lambda: int(q),
        lambda: q.as_base_units(), lambda: (q * r).simplify(), lambda: q < r,
        lambda: str(q * r), lambda: repr(q), lambda: q.latex(), lambda: q.descriptive(),
        lambda: round(q, 2), lambda: q.round_sfig(3),
        lambda: Modrin.custom("smoot", "smt", Modrin.unit("m") * 1.7018) * smoot,
        lambda: str(smoot / Modrin.unit("ft")),
        lambda: caught(lambda: Modrin.unit("flurb"), LookupError),
        lambda: caught(lambda: q.as_unit("s"), TypeError),
        lambda: caught(lambda: q + object(), TypeError),
        lambda: caught(lambda: Modrin.constant("flurb"), LookupError),
        lambda: Modrin.constant("c") * q, lambda: db + db, lambda: str(db * 2), lambda: q * db,
    ]

    def run(n):
        for i in range(n):
            OPS[i % len(OPS)]()
            if i % 97 == 0:
                Modrin.unit(texts[i % len(texts)])

    def rss_kb():
        with open("/proc/self/status") as f:
            return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))

    def modrin_objects():
        return sum(isinstance(o, (Modrin, LogModrin)) for o in gc.get_objects())

    run(200_000)
    gc.collect()
    before, objects = rss_kb(), modrin_objects()
    run(int(sys.argv[1]))
    gc.collect()
    print("rss_growth_kb", rss_kb() - before)
    print("object_growth", modrin_objects() - objects)

    tracemalloc.start()
    run(20_000)
    gc.collect()
    start = tracemalloc.take_snapshot()
    run(100_000)
    gc.collect()
    grown = sum(s.size_diff for s in tracemalloc.take_snapshot().compare_to(start, "filename"))
    print("traced_growth_bytes", grown)
    """
)


@pytest.mark.skipif(
    "libasan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer's quarantine holds freed memory"
)
def test_a_million_mixed_operations_hold_memory_steady():
    out = subprocess.run(
        [sys.executable, "-c", LOOP, "1000000"], capture_output=True, text=True, check=True, env=os.environ, timeout=600
    ).stdout
    got = dict(line.split() for line in out.splitlines())
    assert int(got["rss_growth_kb"]) < 2048
    assert int(got["object_growth"]) == 0
    assert int(got["traced_growth_bytes"]) < 16 * 1024



def _rss_kb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() // 1024


@pytest.mark.skipif(
    "libasan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer's quarantine holds freed memory"
)
def test_distinct_custom_units_and_exponents_do_not_grow_the_process():
    from modrin import Modrin

    rng = random.Random(7)
    m = Modrin.unit("m")

    def burst(n):
        for i in range(n):
            u = Modrin.custom(f"u{rng.random()}", "u", m * (1 + rng.random()))
            q = (u * m) ** rng.uniform(-3, 3) / m
            q.as_base_units()
            str(q)

    burst(20_000)  # warm-up: caches fill to their capacity
    before = _rss_kb()
    burst(200_000)  # 1e6 operations on units never seen before
    assert _rss_kb() - before < 4096
