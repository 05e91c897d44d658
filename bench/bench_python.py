"""Times modrin's common operations from Python beside a decimal.Decimal multiplication."""

import decimal
import timeit

from modrin import LogModrin, Modrin


def per_call_ns(stmt, setup_globals, number=200_000, repeat=5):
    timer = timeit.Timer(stmt, globals=setup_globals)
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e9


def main():
    env = {
        "Modrin": Modrin,
        "LogModrin": LogModrin,
        "q": Modrin.unit("km/hr") * 36.0,
        "r": Modrin.unit("m/s") * 2.5,
        "a": decimal.Decimal("1.2345"),
        "b": decimal.Decimal("6.789"),
        "x": 1.2345,
        "y": 6.789,
    }
    cases = [
        ("decimal.Decimal a * b", "a * b"),
        ("float x * y", "x * y"),
        ("q * r", "q * r"),
        ("q + r (km/hr + m/s)", "q + r"),
        ("q * 2.0", "q * 2.0"),
        ("q == r", "q == r"),
        ("abs(q)", "abs(q)"),
        ("Modrin.empty()", "Modrin.empty()"),
        ('Modrin.unit("km/hr")', 'Modrin.unit("km/hr")'),
        ('q.as_unit("m/s")', 'q.as_unit("m/s")'),
        ("str(q)", "str(q)"),
        ("q.simplify()", "q.simplify()"),
    ]
    print(f"{'operation':<28} {'ns per call':>12}")
    for label, stmt in cases:
        print(f"{label:<28} {per_call_ns(stmt, env):>12.0f}")


if __name__ == "__main__":
    main()
