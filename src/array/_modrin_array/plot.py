"""Matplotlib's unit converter for ModrinArray and Modrin."""


def matplotlib_support(enable=True):
    raise NotImplementedError("matplotlib_support is being built")
