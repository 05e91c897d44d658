"""Matplotlib's unit converter for ModrinArray and Modrin."""

import numpy as np
from matplotlib import units as munits

from modrin import Modrin
from modrin_array import ModrinArray


def units_of(data):
    """A Modrin of 1 in the units of data, or of its first quantity; None when it holds none."""
    if isinstance(data, ModrinArray):
        return data.unit
    if isinstance(data, Modrin):
        return ModrinArray([data]).unit  # never divides by the number, which may be zero
    if np.iterable(data) and not isinstance(data, (str, bytes)):
        for item in data:
            if (unit := units_of(item)) is not None:
                return unit
    return None


class ModrinConverter(munits.ConversionInterface):
    """Axes take the units of their first quantities and show later ones in those units."""

    @staticmethod
    def default_units(x, axis):
        unit = units_of(x)
        held = getattr(axis, "units", None)
        if unit is not None and held is not None:
            # Raised here, Matplotlib passes modrin's TypeError on as it is; the same error
            # from convert() would reach the caller wrapped in a ConversionError.
            unit.as_number(held)
        return unit

    @staticmethod
    def convert(obj, unit, axis):
        if unit is None:
            unit = units_of(obj)
        if isinstance(obj, (ModrinArray, Modrin)):
            return obj.as_number(unit)
        # Pairs of limits, lists and object arrays of Modrins: each converted on its own.
        items = np.asarray(obj, dtype=object)
        return np.array([Modrin.as_number(q, unit) for q in items.flat]).reshape(items.shape)

    @staticmethod
    def axisinfo(unit, axis):
        if not isinstance(unit, Modrin):
            return None
        # The bracketed units of "1 [km/hr]": the text modrin prints and reads back.
        text = str(unit).partition(" ")[2]
        return munits.AxisInfo(label=text if text != "[]" else None)


CONVERTER = ModrinConverter()
TYPES = (Modrin, ModrinArray)
ABSENT = object()


class Registration:
    """Matplotlib's converters for TYPES as they were before; a context manager restoring them."""

    def __init__(self, enable):
        self.before = {cls: munits.registry.get(cls, ABSENT) for cls in TYPES}
        for cls in TYPES:
            if enable:
                munits.registry[cls] = CONVERTER
            else:
                munits.registry.pop(cls, None)

    def __enter__(self):
        return None

    def __exit__(self, *exc_info):
        for cls, before in self.before.items():
            if before is ABSENT:
                munits.registry.pop(cls, None)
            else:
                munits.registry[cls] = before


def matplotlib_support(enable=True):
    return Registration(enable)
