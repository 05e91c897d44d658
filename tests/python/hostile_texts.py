"""Hostile unit texts shared by the hostile-input tests and their benchmark."""

import random

SIZES = [1_000, 100_000, 1_000_000, 10_000_000]


def hostile_text(kind, size):
    """A text of about `size` characters of one hostile kind, the same on every run."""
    rng = random.Random(size)
    if kind == "random bytes":  # undecodable bytes become lone surrogates
        return rng.randbytes(size).decode("utf-8", "surrogateescape")
    if kind == "random ascii":
        alphabet = b"m/.s2 kg(1)"
        table = bytes(alphabet[b % len(alphabet)] for b in range(256))
        return rng.randbytes(size).translate(table).decode()
    if kind == "m.m.m":
        return "m" + ".m" * ((size - 1) // 2)
    if kind == "slashes":
        return "/" * size
    if kind == "dots":
        return "." * size
    if kind == "nested nothing":
        return "(" * (size // 2) + ")" * (size // 2)
    if kind == "ones":
        return "1" + ".1" * ((size - 1) // 2)
    raise ValueError(kind)


KINDS = ["random bytes", "random ascii", "m.m.m", "slashes", "dots", "nested nothing", "ones"]
