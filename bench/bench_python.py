"""Times modrin's operations from Python beside pint, astropy, unyt and quantities.

Every number comes from this one process. Each op is timed in rounds; a round alternates short
runs of the op with runs of a yardstick (a decimal.Decimal multiplication; for the list, the
library's own product), yardstick first and last, and gives the op's quickest run over the
yardstick's. The op's ratio is the median of its rounds, printed with their p10-p90 spread, and
its ns its quickest run. Each library computes the same physics through its own fastest
idiomatic scalar path; the answers are compared before anything is timed.

The array ops run the same way on float64 arrays of 10, 1000 and 1e6 elements, each against
the plain NumPy expression that computes the same numbers; every library's answers are checked
against that expression's before it is timed; modrin's column is null while modrin_array
does not import.

    python3 bench/bench_python.py [--json FILE] [--arrays-only]
"""

import argparse
import ctypes
import decimal
import json
import math
import re
import statistics
import sys
import time
import timeit

import numpy as np

from modrin import LogModrin, Modrin

LIBRARIES = ("modrin", "pint", "astropy", "unyt", "quantities")

# The limits, as ratios to one Decimal multiplication.
GOALS = {
    "product": 1.5, "quotient": 1.5, "sum_mixed": 1.5, "compare_mixed": 1.5,
    "compare_eq_mixed": 1.5, "power": 1.5,
    "times_float": 1.5, "parse": 1.5, "constant": 1.5, "as_unit_text": 1.5,
    "as_number_text": 1.5, "str": 2.5, "repr": 2.5, "latex": 2.5, "descriptive": 2.5,
    "simplify": 2.0, "kinetic_energy": 8.0,
}
LIST_GOAL = 2.0         # building a list of products, against the bare product
SIZE_GOAL = {"Modrin": 48, "LogModrin": 48}
LIST_LENGTH = 100_000
ROUNDS = 15             # rounds of each op, each giving one ratio to the yardstick
RUNS = 3                # runs of the op in a round, each between two runs of the yardstick
RUN_S = 0.001           # seconds per run of a single op
LIST_ROUNDS = 7         # a list run builds a whole list, a second or more for some peers
PEER_LIST_ROUNDS = 3    # (whose list ratios the table does not show), so one run a round

# Operation, what it shows, and the unit its answer is checked in (pint's syntax, which the
# peers all read; modrin's own spelling beside it). None: no numeric answer to compare.
OPS = [
    ("product", "a * c  (km/hr times m)", ("m**2/s", "m2/s")),
    ("quotient", "c / a", ("s", "s")),
    ("sum_mixed", "a + b  (km/hr + m/s)", ("m/s", "m/s")),
    ("compare_mixed", "a < b", "bool"),
    ("compare_eq_mixed", "a == b", "bool"),
    ("power", "c ** 2", ("m**2", "m2")),
    ("times_float", "a * 2.0", ("m/s", "m/s")),
    ("parse", "unit from the text km/hr", ("m/s", "m/s")),
    ("constant", "earth gravity by name", ("m/s**2", "m/s2")),
    ("as_unit_text", 'a.as_unit("m/s")', ("m/s", "m/s")),
    ("as_number_text", 'a.as_number("m/s")', "float"),
    ("str", "str(a)", "text"),
    ("repr", "repr(a)", None),
    ("latex", "a.latex()", None),
    ("descriptive", "a.descriptive()", None),
    ("simplify", "kg.J/(N.m) simplified", ("kg", "kg")),
    ("kinetic_energy", '(0.5 * m * v**2).as_unit("J"), g and km/hr', ("J", "J")),
    ("ideal_gas", '(n * R * T / V).as_unit("kPa")', ("kPa", "kPa")),
    ("list_of_products", f"[a * c for _ in range({LIST_LENGTH})], per element",
     ("m**2/s", "m2/s")),
]

R_VALUE = 8.31446261815324  # J/(K mol), built into each peer the same way


def modrin_setup():
    unit = Modrin.unit
    env = {
        "Modrin": Modrin,
        "a": unit("km/hr") * 36.0, "b": unit("m/s") * 2.5, "c": unit("m") * 3.0,
        "s": unit("kg.J/N.m"), "m": unit("g") * 500.0, "v": unit("km/hr") * 36.0,
        "n": unit("mol") * 2.0, "T": unit("K") * 300.0, "V": unit("L") * 10.0,
        "R": Modrin.constant("ideal gas constant"),
    }
    ops = {
        "parse": 'Modrin.unit("km/hr")',
        "constant": 'Modrin.constant("earth gravity")',
        "as_unit_text": 'a.as_unit("m/s")',
        "as_number_text": 'a.as_number("m/s")',
        "latex": "a.latex()",
        "descriptive": "a.descriptive()",
        "simplify": "s.simplify()",
        "kinetic_energy": '(0.5 * m * v ** 2).as_unit("J")',
        "ideal_gas": '(n * R * T / V).as_unit("kPa")',
    }
    return env, ops, lambda r, own: (r * 1.0).as_number(own)


def pint_setup():
    import pint

    ureg = pint.UnitRegistry()
    Q_ = ureg.Quantity
    env = {
        "ureg": ureg, "Q_": Q_,
        "a": Q_(36.0, "km/hr"), "b": Q_(2.5, "m/s"), "c": Q_(3.0, "m"),
        "s": Q_(1.0, "kg*J/(N*m)"), "m": Q_(500.0, "g"), "v": Q_(36.0, "km/hr"),
        "n": Q_(2.0, "mol"), "T": Q_(300.0, "K"), "V": Q_(10.0, "L"),
        "R": Q_(R_VALUE, "J/(K*mol)"),
    }
    ops = {
        "parse": 'ureg.parse_units("km/hr")',
        "constant": 'getattr(ureg, "standard_gravity")',
        "as_unit_text": 'a.to("m/s")',
        "as_number_text": 'a.m_as("m/s")',
        "latex": 'format(a, "~L")',
        "descriptive": 'format(a, "D")',
        # to_reduced_units keeps J/(N.m); reduction to base units is what cancels them.
        "simplify": "s.to_base_units()",
        "kinetic_energy": '(0.5 * m * v ** 2).to("J")',
        "ideal_gas": '(n * R * T / V).to("kPa")',
    }
    return env, ops, lambda r, pint_text: (r * 1.0).m_as(pint_text)


def astropy_setup():
    import astropy.constants as const
    import astropy.units as u

    kmh, ms = u.km / u.h, u.m / u.s
    env = {
        "u": u, "const": const,
        "a": u.Quantity(36.0, kmh), "b": u.Quantity(2.5, ms), "c": u.Quantity(3.0, u.m),
        "s": u.Quantity(1.0, u.kg * u.J / (u.N * u.m)), "m": u.Quantity(500.0, u.g),
        "v": u.Quantity(36.0, kmh), "n": u.Quantity(2.0, u.mol), "T": u.Quantity(300.0, u.K),
        "V": u.Quantity(10.0, u.L), "R": u.Quantity(R_VALUE, u.J / (u.K * u.mol)),
    }
    ops = {
        "parse": 'u.Unit("km/h")',
        "constant": 'getattr(const, "g0")',
        "as_unit_text": 'a.to("m/s")',
        "as_number_text": 'a.to_value("m/s")',
        "latex": 'a.to_string(format="latex")',
        "descriptive": None,
        "simplify": "s.decompose()",
        "kinetic_energy": '(0.5 * m * v ** 2).to("J")',
        "ideal_gas": '(n * R * T / V).to("kPa")',
    }
    return env, ops, lambda r, text: float((r * 1.0).to_value(text))


def unyt_setup():
    import unyt

    Q = unyt.unyt_quantity
    env = {
        "unyt": unyt, "pc": unyt.physical_constants,
        "a": Q(36.0, "km/hr"), "b": Q(2.5, "m/s"), "c": Q(3.0, "m"),
        "s": Q(1.0, "kg*J/(N*m)"), "m": Q(500.0, "g"), "v": Q(36.0, "km/hr"),
        "n": Q(2.0, "mol"), "T": Q(300.0, "K"), "V": Q(10.0, "L"),
        "R": Q(R_VALUE, "J/(K*mol)"),
    }
    ops = {
        "parse": 'unyt.Unit("km/hr")',
        "constant": 'getattr(pc, "standard_gravity")',
        "as_unit_text": 'a.to("m/s")',
        "as_number_text": 'a.to_value("m/s")',
        "latex": None,          # only the unit has a LaTeX form
        "descriptive": None,
        "simplify": 's.in_base("mks")',
        "kinetic_energy": '(0.5 * m * v ** 2).to("J")',
        "ideal_gas": '(n * R * T / V).to("kPa")',
    }
    return env, ops, lambda r, text: float((r * 1.0).to_value(text))


def quantities_setup():
    import quantities as pq

    Q = pq.Quantity
    env = {
        "pq": pq,
        "a": Q(36.0, "km/h"), "b": Q(2.5, "m/s"), "c": Q(3.0, "m"),
        "s": Q(1.0, "kg*J/(N*m)"), "m": Q(500.0, "g"), "v": Q(36.0, "km/h"),
        "n": Q(2.0, "mol"), "T": Q(300.0, "K"), "V": Q(10.0, "L"),
        "R": Q(R_VALUE, "J/(K*mol)"),
    }
    ops = {
        "parse": 'pq.unit_registry["km/h"]',
        "constant": 'getattr(pq, "standard_gravity")',
        "as_unit_text": 'a.rescale("m/s")',
        "as_number_text": 'float(a.rescale("m/s"))',
        "latex": None,
        "descriptive": None,
        "simplify": "s.simplified",
        "kinetic_energy": '(0.5 * m * v ** 2).rescale("J")',
        "ideal_gas": '(n * R * T / V).rescale("kPa")',
    }
    return env, ops, lambda r, text: float((r * 1.0).rescale(text))


SETUPS = {
    "modrin": modrin_setup, "pint": pint_setup, "astropy": astropy_setup,
    "unyt": unyt_setup, "quantities": quantities_setup,
}

COMMON = {
    "product": "a * c", "quotient": "c / a", "sum_mixed": "a + b", "compare_mixed": "a < b",
    "compare_eq_mixed": "a == b", "power": "c ** 2", "times_float": "a * 2.0",
    "str": "str(a)", "repr": "repr(a)",
    "list_of_products": f"[a * c for _ in range_{LIST_LENGTH}]",
}


def statements(ops):
    out = dict(COMMON)
    out.update(ops)
    return out


def leading_number(text):
    match = re.match(r"\s*(-?[0-9.]+(?:e[-+]?[0-9]+)?)", text)
    return float(match.group(1)) if match else None


def answer(lib, stmt, env, to_unit, check):
    """The op's answer as a float (or bool) that every library must agree on, or None."""
    result = eval(stmt, env)
    if check is None:
        return None
    if check == "bool":
        return bool(result)
    if check == "float":
        return float(result)
    if check == "text":
        return leading_number(result)
    if isinstance(result, list):
        result = result[-1]
    pint_text, own = check
    return float(to_unit(result, own if lib == "modrin" else pint_text))


def agree(x, y):
    if isinstance(x, bool) or isinstance(y, bool):
        return x == y
    return math.isclose(x, y, rel_tol=1e-9, abs_tol=0.0)


def loops_for(timer, run_s=RUN_S):
    """How many loops of the timer take about run_s."""
    number = 1
    while True:
        # The quickest of three, as one slow call (a page fault, a preemption) would leave
        # the loops far too few.
        elapsed = min(timer.repeat(3, number))
        if elapsed >= run_s / 4 or number >= 1 << 24:
            break
        number *= 4 if elapsed < run_s / 40 else 2
    return max(1, int(number * run_s / max(elapsed, 1e-9)))


class Timed:
    """A statement, the loops of it that make one timed run, and the runs made so far."""

    def __init__(self, stmt, env, per_loop=1, run_s=RUN_S):
        self.timer = timeit.Timer(stmt, globals=env)
        self.per_loop = per_loop    # ops one loop does: a list builds LIST_LENGTH products
        self.loops = 1 if per_loop > 1 else loops_for(self.timer, run_s)
        self.seen = []              # ns per op of every run, for the yardstick's own figure

    def run_ns(self):
        ns = self.timer.timeit(self.loops) / self.loops / self.per_loop * 1e9
        self.seen.append(ns)
        return ns


def interleaved(op, yardstick, rounds, runs):
    """op's quickest ns per op, and its ratio to the yardstick in each round.

    A round alternates runs of the yardstick and of the op, yardstick first and last, and sets
    the op's quickest run against the yardstick's: load only ever slows a run down, and the two
    share whatever load the moment has.
    """
    quickest, ratios = [], []
    for _ in range(rounds):
        base = [yardstick.run_ns()]
        own = []
        for _ in range(runs):
            own.append(op.run_ns())
            base.append(yardstick.run_ns())
        quickest.append(min(own))
        ratios.append(min(own) / min(base))
    return min(quickest), ratios


def summary(ratios):
    p10, *_, p90 = statistics.quantiles(ratios, n=10, method="inclusive")
    return {"median": statistics.median(ratios), "p10": p10, "p90": p90}


def per_call_ns(stmt, env, runs=ROUNDS * RUNS):
    timed = Timed(stmt, env)
    return min(timed.run_ns() for _ in range(runs))


def measure_library(lib, decimal_mul, notes):
    """ns per op and ratio summaries of every op the library can do, and its answers."""
    try:
        env, ops, to_unit = SETUPS[lib]()
    except ImportError as exc:
        notes.append(f"{lib}: not installed ({exc}); its column is null")
        return None, None, None
    env[f"range_{LIST_LENGTH}"] = range(LIST_LENGTH)
    stmts = statements(ops)
    answers, timed = {}, {}
    for op, _, check in OPS:
        stmt = stmts.get(op)
        if stmt is None:
            continue
        try:
            answers[op] = answer(lib, stmt, env, to_unit, check)
        except Exception as exc:   # a peer that cannot do the op gets null, not a number
            notes.append(f"{lib}: {op} failed ({type(exc).__name__}: {exc}); null")
            continue
        timed[op] = stmt
    results, ratios = {}, {}
    for op, stmt in timed.items():
        if op == "list_of_products":
            results[op], r = interleaved(Timed(stmt, env, per_loop=LIST_LENGTH),
                                         Timed(stmts["product"], env),
                                         LIST_ROUNDS if lib == "modrin" else PEER_LIST_ROUNDS, 1)
        else:
            results[op], r = interleaved(Timed(stmt, env), decimal_mul, ROUNDS, RUNS)
        ratios[op] = summary(r)
    return results, ratios, answers


def check_agreement(answers, notes):
    reference = answers.get("modrin") or {}
    for lib, got in answers.items():
        if lib == "modrin" or got is None:
            continue
        for op, value in got.items():
            want = reference.get(op)
            if value is None or want is None:
                continue
            if not agree(value, want):
                notes.append(f"WARNING {lib}: {op} answers {value!r}, modrin {want!r}")


def sizes():
    return {"Modrin": sys.getsizeof(Modrin.unit("m")), "LogModrin": sys.getsizeof(LogModrin.unit("dB"))}


def fmt_ns(ns):
    if ns is None:
        return "-"
    return f"{ns:.0f}" if ns >= 10 else f"{ns:.1f}"


def print_table(head, rows):
    widths = [max(len(str(r[i])) for r in [head, *rows]) for i in range(len(head))]
    line = lambda cells: "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
    print(line(head))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        print(line(row))


def report(data, notes):
    ops = data["ops_ns"]
    peers = LIBRARIES[1:]
    print(f"Decimal multiplication {data['baselines_ns']['decimal_mul']:.1f} ns, float "
          f"multiplication {data['baselines_ns']['float_mul']:.1f} ns (ns per op, quickest run)")
    print(f"x Decimal: the median over {ROUNDS} rounds of the op's quickest run over the quickest "
          f"Decimal run between its own; p10-p90: the spread of those per-round ratios\n")
    head = ["op", "modrin ns", "x Decimal", "p10-p90", "goal", "",
            *[f"{p} ns" for p in peers], "fastest peer", "x fastest peer"]
    rows = []
    for op, _, _ in OPS:
        own = ops[op]["modrin"]
        ratio = spread = goal = mark = "-"
        if op == "list_of_products":
            own_ratio, limit = data["ratios_to_product"][op]["modrin"], LIST_GOAL
            against = " product"
        else:
            own_ratio, limit = data["ratios_to_decimal_mul"][op]["modrin"], GOALS.get(op)
            against = ""
        if own_ratio is not None:
            ratio = f"{own_ratio['median']:.2f}" + (f" x{against}" if against else "")
            spread = f"{own_ratio['p10']:.2f}-{own_ratio['p90']:.2f}"
            if limit is not None:
                goal = f"<= {limit}x{against}"
                mark = "pass" if own_ratio["median"] <= limit else "FAIL"
        timed_peers = [(ops[op][p], p) for p in peers if ops[op][p] is not None]
        fastest, versus = "-", "-"
        if timed_peers:
            best_ns, best = min(timed_peers)
            fastest = best
            if own is not None:
                versus = f"{own / best_ns:.3f}"
        rows.append([op, fmt_ns(own), ratio, spread, goal, mark,
                     *[fmt_ns(ops[op][p]) for p in peers], fastest, versus])
    for name, size in data["sizes_bytes"].items():
        limit = SIZE_GOAL[name]
        rows.append([f"sizeof {name}", f"{size} B", "", "", f"<= {limit} B",
                     "pass" if size <= limit else "FAIL", *["" for _ in peers], "", ""])
    print_table(head, rows)
    print("\nops:")
    for op, shown, _ in OPS:
        print(f"  {op:<17} {shown}")
    if notes:
        print()
        for note in notes:
            print(note)


# Arrays: a in metres, b in kilometres, n random positive doubles each, so that about half of
# a < b holds. Each op, the NumPy expression it is timed against, and the libraries' statement
# (None: each library's own conversion).
ARRAY_LIBRARIES = ("modrin", "numpy", "pint", "astropy", "unyt", "quantities")
ARRAY_SIZES = (10, 1000, 1_000_000)
ARRAY_OPS = [
    ("product", "a * b  (m times km)", "x * y", "a * b"),
    ("sum_mixed", "a + b  (m + km, in m)", "x + y * 1000.0", "a + b"),
    ("times_float", "a * 2.0", "x * 2.0", "a * 2.0"),
    ("compare_mixed", "a < b  (a bool array)", "x < y * 1000.0", "a < b"),
    ("convert", "a in mm, each library's own conversion", "x * 1000.0", None),
    ("sqrt", "np.sqrt(a)", "np.sqrt(x)", "np.sqrt(a)"),
    ("sum_reduce", "a.sum()", "x.sum()", "a.sum()"),
    ("mean", "np.mean(a)", "np.mean(x)", "np.mean(a)"),
    ("std", "np.std(a)", "np.std(x)", "np.std(a)"),
    ("concatenate", "np.concatenate([a, b])  (m and km, in m)", "np.concatenate([x, y * 1000.0])",
     "np.concatenate([a, b])"),
]
_OPERATORS = ("product", "sum_mixed", "times_float", "compare_mixed", "convert")
# The limits, as ratios to the NumPy expression, by array length.
ARRAY_GOALS = {
    "10": {**{op: 1.5 for op in _OPERATORS}, "sqrt": 2.5, "sum_reduce": 2.5},
    "1000": {op: 1.5 for op, *_ in ARRAY_OPS},
    "1000000": {**{op: 1.1 for op, *_ in ARRAY_OPS}, "sum_mixed": 1.0, "compare_mixed": 1.0},
}
# (modrin's rounds, a peer's rounds, runs per round, seconds per run): a call on 1e6 elements
# takes a millisecond or so, so fewer runs, each of several calls, and fewer rounds for the peers,
# which have no goals.
ARRAY_TIMING = {10: (ROUNDS, ROUNDS, RUNS, RUN_S), 1000: (ROUNDS, ROUNDS, RUNS, RUN_S),
                1_000_000: (15, 7, 2, 0.02)}
ARRAY_SEED = 20260101


def modrin_array_setup(a, b):
    from modrin_array import ModrinArray

    # pint's spelling of powers, which the other peers read too, is m**2; modrin's is m2.
    return ({"a": ModrinArray(a, "m", copy=False), "b": ModrinArray(b, "km", copy=False)},
            'a.as_unit("mm")',
            lambda r, text: r.as_number(text.replace("**", "")), lambda r: r.as_number())


def pint_array_setup(a, b):
    import pint

    Q_ = pint.UnitRegistry().Quantity
    return ({"a": Q_(a, "m"), "b": Q_(b, "km")}, 'a.to("mm")',
            lambda r, text: r.m_as(text), lambda r: r.magnitude)


def astropy_array_setup(a, b):
    import astropy.units as u

    return ({"a": u.Quantity(a, u.m, copy=False), "b": u.Quantity(b, u.km, copy=False), "u": u},
            "a.to(u.mm)",
            lambda r, text: r.to_value(text), lambda r: r.value)


def unyt_array_setup(a, b):
    import unyt

    return ({"a": unyt.unyt_array(a, "m"), "b": unyt.unyt_array(b, "km")}, 'a.to("mm")',
            lambda r, text: r.to_value(text), lambda r: r.to_value())


def quantities_array_setup(a, b):
    import quantities as pq

    return ({"a": pq.Quantity(a, "m"), "b": pq.Quantity(b, "km")}, 'a.rescale("mm")',
            lambda r, text: r.rescale(text).magnitude, lambda r: r.magnitude)


ARRAY_SETUPS = {
    "modrin": modrin_array_setup, "pint": pint_array_setup, "astropy": astropy_array_setup,
    "unyt": unyt_array_setup, "quantities": quantities_array_setup,
}


def close(got, want, rtol=1e-12):
    got = np.asarray(got, dtype=float)
    return got.shape == np.shape(want) and bool(np.allclose(got, want, rtol=rtol, atol=0.0))


def array_fault(op, r, x, y, in_unit, magnitude):
    """Why the library's answer is not the NumPy expression's, or None when it is.

    Values are compared in a unit the op fixes, and where the op's answer has a unit of its
    own (a's, or mm) also as they stand, so that no library is timed doing other work.
    """
    own = {"sum_mixed": x + y * 1000.0, "times_float": x * 2.0, "convert": x * 1000.0,
           "concatenate": np.concatenate([x, y * 1000.0])}
    in_metres = {**own, "convert": x}
    statistics_of = {"mean": np.mean, "std": np.std, "sum_reduce": np.sum}
    if op == "product":
        ok = close(in_unit(r, "m**2"), x * y * 1000.0)
    elif op in own:
        ok = close(magnitude(r), own[op]) and close(in_unit(r, "m"), in_metres[op])
    elif op == "compare_mixed":
        got, want = np.asarray(r), x < y * 1000.0
        # A library may compare in km instead; only near-ties may then come out otherwise.
        ok = (got.dtype == np.bool_ and got.shape == want.shape
              and bool(np.all((got == want) | np.isclose(x, y * 1000.0, rtol=1e-12, atol=0.0))))
    elif op == "sqrt":
        ok = close(magnitude(r), np.sqrt(x)) and close(in_unit(r * r, "m"), x)
    else:
        # Pairwise and running sums of 1e6 doubles part in the last digits.
        ok = close(in_unit(r, "m"), statistics_of[op](x), rtol=1e-9)
    return None if ok else f"answers {' '.join(repr(r).split())[:80]}"


def steady_allocator():
    """Pins glibc's malloc thresholds for the array ops; None where they cannot be pinned.

    glibc raises its mmap threshold to the largest block freed so far and hands a free heap top
    beyond twice that back to the system, so whether an op's megabyte results fault in fresh
    pages on every call depends on what ran before: NumPy's x + y * 1000.0 at 1e6 took 0.7 ms
    or 17 ms by that history alone. Pinned, no op pays faults after its first calls.
    """
    try:
        mallopt = ctypes.CDLL(None).mallopt
    except (OSError, AttributeError):
        return None
    m_trim_threshold, m_mmap_threshold = -1, -3
    mmap_bytes, trim_bytes = 32 << 20, 256 << 20   # 32 MiB is glibc's largest mmap threshold
    if mallopt(m_mmap_threshold, mmap_bytes) != 1 or mallopt(m_trim_threshold, trim_bytes) != 1:
        return None
    return {"mmap_threshold_bytes": mmap_bytes, "trim_threshold_bytes": trim_bytes}


def measure_arrays(notes):
    """ns per call and ratios to NumPy of every array op, by length and library."""
    sizes = [str(n) for n in ARRAY_SIZES]
    ns = {s: {op: dict.fromkeys(ARRAY_LIBRARIES) for op, *_ in ARRAY_OPS} for s in sizes}
    ratios = {s: {op: dict.fromkeys(ARRAY_LIBRARIES) for op, *_ in ARRAY_OPS} for s in sizes}
    rng = np.random.default_rng(ARRAY_SEED)
    missing = set()
    for n in ARRAY_SIZES:
        size = str(n)
        own_rounds, peer_rounds, runs, run_s = ARRAY_TIMING[n]
        x, y = rng.uniform(1.0, 1000.0, n), rng.uniform(0.001, 1.0, n)
        numpy_ns = []
        for lib, setup in ARRAY_SETUPS.items():
            if lib in missing:
                continue
            # Each library wraps its own copies of x and y, and NumPy is timed on those very
            # copies: where an array of a million numbers lies moves an op on it by several
            # percent (NumPy's x * y on copies of x and y took 1.01-1.08x its time on x and y),
            # a cost that is not the library's.
            own_x, own_y = x.copy(), y.copy()
            try:
                env, convert, in_unit, magnitude = setup(own_x, own_y)
            except ImportError as exc:
                notes.append(f"{lib}: arrays not available ({exc}); its array column is null")
                missing.add(lib)
                continue
            env["np"] = np
            numpy_env = {"np": np, "x": own_x, "y": own_y}
            yardsticks = {op: Timed(stmt, numpy_env, run_s=run_s) for op, _, stmt, _ in ARRAY_OPS}
            for op, _, _, stmt in ARRAY_OPS:
                stmt = stmt or convert
                try:
                    fault = array_fault(op, eval(stmt, env), x, y, in_unit, magnitude)
                except Exception as exc:
                    fault = f"failed ({type(exc).__name__}: {exc})"
                if fault:
                    notes.append(f"{lib}: array {op} at n={n} {fault}; null")
                    continue
                rounds = own_rounds if lib == "modrin" else peer_rounds
                ns[size][op][lib], r = interleaved(Timed(stmt, env, run_s=run_s),
                                                   yardsticks[op], rounds, runs)
                ratios[size][op][lib] = summary(r)
            numpy_ns.append({op: min(t.seen) for op, t in yardsticks.items() if t.seen})
        for op, _, stmt, _ in ARRAY_OPS:
            seen = [m[op] for m in numpy_ns if op in m]
            if not seen:  # no library timed: NumPy on its own
                seen = [per_call_ns(stmt, {"np": np, "x": x, "y": y})]
            ns[size][op]["numpy"] = min(seen)
    return ns, ratios


def fmt_ratio(r):
    return "-" if r is None else f"{r['median']:.2f}"


def report_arrays(data, seconds, notes):
    peers = [lib for lib in ARRAY_LIBRARIES if lib not in ("modrin", "numpy")]
    print(f"\nArrays of float64, a in m and b in km ({seconds:.0f} s). x numpy: the median over "
          "the rounds of the op's quickest run\nover the quickest run of the NumPy expression "
          "between its own; p10-p90: the spread of those per-round ratios; peers as x numpy")
    for size, table in data["array_ops_ns"].items():
        own, peer, runs, _ = ARRAY_TIMING[int(size)]
        rounds = f"{own} rounds" if own == peer else f"{own} rounds, peers {peer},"
        print(f"\nn = {int(size):,} ({rounds} of {runs} runs)")
        head = ["op", "numpy ns", "modrin ns", "x numpy", "p10-p90", "goal", "",
                *[f"{p} x numpy" for p in peers]]
        rows = []
        for op, *_ in ARRAY_OPS:
            own = data["array_ratios_to_numpy"][size][op]["modrin"]
            limit = data["array_goals"]["ratio_to_numpy"][size].get(op)
            ratio = spread = mark = "-"
            if own is not None:
                ratio = f"{own['median']:.2f}"
                spread = f"{own['p10']:.2f}-{own['p90']:.2f}"
                if limit is not None:
                    mark = "pass" if own["median"] <= limit else "FAIL"
            rows.append([op, fmt_ns(table[op]["numpy"]), fmt_ns(table[op]["modrin"]), ratio,
                         spread, "-" if limit is None else f"<= {limit}x", mark,
                         *[fmt_ratio(data["array_ratios_to_numpy"][size][op][p]) for p in peers]])
        print_table(head, rows)
    print("\narray ops (numpy: the expression each is timed against):")
    for op, shown, numpy_stmt, _ in ARRAY_OPS:
        print(f"  {op:<14} {shown:<40} numpy: {numpy_stmt}")
    if notes:
        print()
        for note in notes:
            print(note)


def measure_scalars(data, notes):
    baseline_env = {"x": decimal.Decimal("1.2345"), "y": decimal.Decimal("6.789"),
                    "fx": 1.2345, "fy": 6.789}
    decimal_mul = Timed("x * y", baseline_env)
    empty = lambda: {op: {lib: None for lib in LIBRARIES} for op, _, _ in OPS}
    data["ops_ns"] = empty()
    ratios, answers = empty(), {}
    for lib in LIBRARIES:
        results, lib_ratios, answers[lib] = measure_library(lib, decimal_mul, notes)
        for op, ns in (results or {}).items():
            data["ops_ns"][op][lib] = ns
            ratios[op][lib] = lib_ratios[op]
    check_agreement(answers, notes)
    data["baselines_ns"] = {
        "decimal_mul": min(decimal_mul.seen),
        "float_mul": per_call_ns("fx * fy", baseline_env),
    }
    data["ratios_to_decimal_mul"] = {op: r for op, r in ratios.items() if op != "list_of_products"}
    data["ratios_to_product"] = {"list_of_products": ratios["list_of_products"]}
    data["rounds"] = {"op": ROUNDS, "runs_per_round": RUNS, "list": LIST_ROUNDS,
                      "peer_list": PEER_LIST_ROUNDS}
    data["sizes_bytes"] = sizes()
    data["goals"] = {
        "ratio_to_decimal_mul": GOALS,
        "ratio_to_product": {"list_of_products": LIST_GOAL},
        "max_bytes": SIZE_GOAL,
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--json", metavar="FILE", help="also write the results as JSON")
    parser.add_argument("--arrays-only", action="store_true", help="time only the array ops")
    args = parser.parse_args()

    data, notes, array_notes = {}, [], []
    if not args.arrays_only:
        measure_scalars(data, notes)
    data["array_allocator"] = steady_allocator()
    if data["array_allocator"] is None:
        array_notes.append("could not pin malloc's thresholds: 1e6 figures depend on history")
    started = time.perf_counter()
    data["array_ops_ns"], data["array_ratios_to_numpy"] = measure_arrays(array_notes)
    array_seconds = time.perf_counter() - started
    data["array_rounds"] = {
        str(size): {"rounds": r, "peer_rounds": p, "runs_per_round": k, "seconds_per_run": s}
        for size, (r, p, k, s) in ARRAY_TIMING.items()}
    data["array_goals"] = {"ratio_to_numpy": ARRAY_GOALS}
    if not args.arrays_only:
        report(data, notes)
    report_arrays(data, array_seconds, array_notes)
    if args.json:
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump(data, out, indent=1)
            out.write("\n")


if __name__ == "__main__":
    main()
