"""Times the parsing of hostile unit texts from 1 KB to 10 MB; the cost per character should
stay flat as the texts grow (the ratio column is against the 1 KB text of the same kind)."""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "python"))
from hostile_texts import KINDS, SIZES, hostile_text  # noqa: E402

from modrin import Modrin  # noqa: E402


def best_seconds(text, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        try:
            Modrin.unit(text)
        except (LookupError, ValueError):
            pass
        best = min(best, time.perf_counter() - start)
    return best


def main():
    print(f"{'text':16} {'size':>10} {'time/ms':>10} {'ns/char':>8} {'ratio':>6}")
    for kind in KINDS:
        first = None
        for size in SIZES:
            text = hostile_text(kind, size)
            per_char = best_seconds(text, 3 if size >= 1_000_000 else 20) / len(text) * 1e9
            first = first or per_char
            print(f"{kind:16} {len(text):>10} {per_char * len(text) / 1e6:>10.3f} {per_char:>8.2f} {per_char / first:>6.2f}")


if __name__ == "__main__":
    main()
