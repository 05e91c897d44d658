"""The array API namespace of ModrinArray (``a.__array_namespace__()``), through which xarray
and other array-API code keep an array's units: NumPy's own functions, which hand ModrinArrays
to their units-aware implementations, a number with units (a reduction's) as a 0-d array, as
the array API has it, and the few functions NumPy answers without asking the array."""

import functools as _functools
import types as _types

import numpy as _np
from modrin import Modrin as _Modrin
from modrin_array import ModrinArray as _ModrinArray

__all__: list[str] = []


def _as_array(r):
    return _ModrinArray(r) if isinstance(r, _Modrin) else r


def _wrapped(function):
    @_functools.wraps(function)
    def call(*args, **kwargs):
        r = function(*args, **kwargs)
        if isinstance(r, tuple):
            return tuple(_as_array(x) for x in r)
        return _as_array(r)

    return call


def __getattr__(name):
    attribute = getattr(_np, name)
    if callable(attribute) and not isinstance(attribute, type):
        attribute = _wrapped(attribute)
    globals()[name] = attribute
    return attribute


def asarray(obj, /, *, dtype=None, device=None, copy=None):
    if isinstance(obj, _Modrin):
        obj = _ModrinArray(obj)
    if isinstance(obj, _ModrinArray):
        if dtype is not None and _np.dtype(dtype) != _np.float64:
            return astype(obj, dtype)
        return obj.copy() if copy else obj
    return _np.asarray(obj, dtype=dtype, device=device, copy=copy)


def astype(x, dtype, /, *, copy=True, device=None):
    if not isinstance(x, _ModrinArray):
        if not isinstance(x, _np.ndarray) and hasattr(x, "astype"):  # a Dask array's own
            return x.astype(dtype, copy=copy)
        return _np.astype(x, dtype, copy=copy, device=device)
    if _np.dtype(dtype) == _np.float64:
        return x.copy() if copy else x
    # Other dtypes hold plain numbers only, so the units must go first and on purpose.
    return _np.astype(_np.asarray(x), dtype, copy=False, device=device)


def result_type(*arrays_and_dtypes):
    return _np.result_type(*(
        x.dtype if isinstance(x, _ModrinArray) else _np.float64 if isinstance(x, _Modrin) else x
        for x in arrays_and_dtypes))


concat = _wrapped(_np.concatenate)



def _fill(value, like):
    """A plain zero or NaN beside the ModrinArray `like`, in its units: the fill values xarray
    uses for missing and empty places mean the same in every unit. Anything else as it is."""
    if not isinstance(like, _ModrinArray) or isinstance(value, (_Modrin, _ModrinArray)):
        return value
    if _np.ndim(value) != 0:
        return value
    v = float(_np.asarray(value))
    return _ModrinArray(v, like.unit) if v == 0.0 or v != v else value


@_functools.wraps(_np.where)
def where(condition, x1, x2, /):
    return _as_array(_np.where(condition, _fill(x1, x2), _fill(x2, x1)))


def pad(array, pad_width, mode="constant", **kwargs):
    if not isinstance(array, _ModrinArray):
        return _np.pad(array, pad_width, mode, **kwargs)
    if "constant_values" in kwargs:
        # Each value converted as `+` converts it, a plain zero or NaN taking the array's units.
        values = _np.asarray(kwargs["constant_values"], dtype=object)
        kwargs["constant_values"] = _np.array(
            [float(_ModrinArray(_fill(v, array)).as_number(array.unit)) for v in values.flat]
        ).reshape(values.shape)
    return _ModrinArray(_np.pad(array.as_number(), pad_width, mode, **kwargs), array.unit)


def _sliding_window_view(x, window_shape, axis=None, **kwargs):
    if not isinstance(x, _ModrinArray):
        return _np.lib.stride_tricks.sliding_window_view(x, window_shape, axis, **kwargs)
    return _ModrinArray(
        _np.lib.stride_tricks.sliding_window_view(x.as_number(), window_shape, axis, **kwargs),
        x.unit, copy=False)


# Only what array-API code reaches for under numpy.lib.
lib = _types.SimpleNamespace(
    stride_tricks=_types.SimpleNamespace(sliding_window_view=_sliding_window_view))
