import modrin  # noqa: F401  - a broken build fails here, once, with the import error
