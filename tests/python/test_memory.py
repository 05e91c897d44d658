"""Shared unit records and memo caches stay bounded: work on ever-new units does not grow."""

import random
import resource


def _rss_kb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() // 1024


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
