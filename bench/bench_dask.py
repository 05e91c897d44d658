"""A unit-converting map over 1e8 numbers on a Dask cluster of two worker processes on this
machine, against the same Dask computation on bare floats. Each run converts metres to
millimetres block by block and sums the blocks, so only one number comes back; the two runs
alternate, and the ratio of their medians is printed.

    python3 bench/bench_dask.py [--numbers N] [--chunk C] [--repeat R] [--scheduler ADDRESS]

With --scheduler the same code runs on an existing cluster instead of a local one.
"""

import argparse
import statistics
import time

import dask.array as da
import distributed
from modrin_array import ModrinArray


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--numbers", type=float, default=1e8)
    parser.add_argument("--chunk", type=float, default=1e7)
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--scheduler", help="a running scheduler's address")
    args = parser.parse_args()

    if args.scheduler:
        client = distributed.Client(args.scheduler)
    else:
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                           host="127.0.0.1", dashboard_address=None)
        client = distributed.Client(cluster)
    with client:
        x = da.arange(float(int(args.numbers)), chunks=int(args.chunk))
        runs = {
            "bare floats (x * 1000.0)": lambda: (x * 1000.0).sum().compute(),
            "ModrinArray (as_unit mm)": lambda: ModrinArray(x, "m").as_unit("mm").sum().compute(),
        }
        for run in runs.values():  # workers warmed up: imports, first allocations
            run()
        times = {name: [] for name in runs}
        for _ in range(args.repeat):
            for name, run in runs.items():
                start = time.perf_counter()
                run()
                times[name].append(time.perf_counter() - start)
        n = int(args.numbers)
        medians = {name: statistics.median(t) for name, t in times.items()}
        where = args.scheduler or "a local cluster of 2 worker processes"
        print(f"== Dask: convert and sum {n:.0e} numbers in blocks of {int(args.chunk):.0e} on {where}")
        for name, m in medians.items():
            print(f"{name:28s} {m * 1e3:9.1f} ms  {n / m / 1e6:8.1f} M numbers/s")
        base, ours = medians.values()
        print(f"{'ratio (goal <= 1.1)':28s} {ours / base:9.2f}")
    if not args.scheduler:
        cluster.close()


if __name__ == "__main__":
    main()
