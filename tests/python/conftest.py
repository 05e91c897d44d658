import modrin  # noqa: F401  - a broken build fails here, once, with the import error

try:
    from hypothesis import settings
except ImportError:  # the property tests skip themselves
    pass
else:
    # Fixed, derandomised runs: the same examples on every machine, nothing written to disk.
    settings.register_profile("modrin", database=None, derandomize=True)
    settings.load_profile("modrin")
