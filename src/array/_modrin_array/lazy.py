"""ModrinArrays whose numbers are a Dask array.

Every operation is planned at once and run later: its units (and any unit error) come from
running it on small in-memory arrays of the operands' units, and its numbers from running the
very same in-memory operation on each block, so every element is bit for bit what the array in
memory would give. Blocks travel as plain numbers with the units kept beside them in the task,
which pickles them, so the same code runs on a cluster's workers.
"""

import functools as _functools
import operator as _operator

import dask.array as _da
import numpy as _np
from modrin import Modrin
from modrin_array import ModrinArray

_UNITLESS = ModrinArray(_np.empty(0)).unit

# Dask leaves an operand it does not know as a block type to the operand's own operators: a
# Modrin, known, meets a Dask array of ModrinArray blocks block by block. A ModrinArray stays
# unknown, so that Dask hands every operation with one to ModrinArray, which plans its units.
_da.register_chunk_type(Modrin)


def _unitless(unit):
    return str(unit).endswith(" []")


def _make(numbers, unit):
    return ModrinArray._reconstruct(numbers, unit)


def _is_lazy(x):
    return isinstance(x, ModrinArray) and isinstance(x._numbers(), _da.Array)


def _empty(ndim, dtype=_np.float64):
    return _np.empty((0,) * ndim, dtype=dtype)


def _wrap(block, unit):
    return ModrinArray(block, unit, copy=False)


def _numbers_in(block, unit):
    """A block's numbers in `unit` (as they are when the block already is in those units)."""
    if isinstance(block, Modrin):
        return _np.asarray(block.as_number(unit))
    if isinstance(block, ModrinArray):
        return block._numbers(unit)
    raise TypeError(f"a block of {type(block).__name__} where a ModrinArray in {unit} was due")


def _chunked(x):
    """A lazy ModrinArray as a Dask array whose blocks are ModrinArrays."""
    unit = x.unit
    numbers = x._numbers()
    return numbers.map_blocks(_wrap, unit, dtype=_np.float64,
                              meta=ModrinArray(_empty(numbers.ndim), unit))


def _unchunked(d, unit=None):
    """A Dask array whose blocks are ModrinArrays as a lazy ModrinArray in `unit` (by default
    the units of Dask's meta); other arrays as they are."""
    meta = getattr(d, "_meta", None)
    if unit is None and not isinstance(meta, ModrinArray):
        return d
    unit = meta.unit if unit is None else unit
    return _make(d.map_blocks(_numbers_in, unit, dtype=_np.float64, meta=_empty(d.ndim)), unit)


# ---- construction -----------------------------------------------------------------------------

def construct(cls, values, unit, copy):
    """ModrinArray(values, unit) for a Dask array, or a lazy ModrinArray, as `values`."""
    if isinstance(values, ModrinArray):
        return values if unit is None else method("as_unit", values, unit)
    if not isinstance(values, _da.Array):
        raise TypeError(f"ModrinArray takes a Dask array for lazy numbers, not a "
                        f"{type(values).__name__}")
    if isinstance(values._meta, ModrinArray):
        r = _unchunked(values)
        return r if unit is None else method("as_unit", r, unit)
    if values.dtype.kind not in "biuf":
        raise TypeError(f"ModrinArray holds bool, int or float numbers, not {values.dtype}")
    numbers = values.astype(_np.float64)
    if unit is None:
        return _make(numbers, _UNITLESS)
    # The unit read exactly as for numbers in memory, errors included.
    units = ModrinArray(_empty(1), unit).unit
    if isinstance(unit, Modrin) and float(unit) != 1.0:
        numbers = numbers * float(unit)  # as the in-memory constructor scales
    return _make(numbers, units)


# ---- element by element -----------------------------------------------------------------------

def _probe(x):
    """A one-element stand-in of x's units and rank, for planning."""
    return ModrinArray(_np.ones((1,) * x.ndim), x.unit)


def _elementwise(f, operands, name):
    """f (an in-memory operation, element by element) over operands of which at least one is
    lazy; the others may be arrays in memory, Dask arrays, Modrins or numbers."""
    arrays, units, probes, places = [], [], [], []
    # A Dask array of ModrinArray blocks takes part as lazy numbers in the blocks' units.
    operands = [_unchunked(x) if isinstance(x, _da.Array) else x for x in operands]
    for x in operands:
        if _is_lazy(x) or isinstance(x, ModrinArray) and x.ndim > 0:
            numbers = x._numbers()
            arrays.append(numbers if isinstance(numbers, _da.Array) else _da.asarray(numbers))
            units.append(x.unit)
            probes.append(_probe(x))
            places.append(True)
        elif isinstance(x, (_da.Array, _np.ndarray)) and x.ndim > 0:
            if x.dtype.kind not in "biuf":
                raise TypeError(f"{name} takes numbers, not {x.dtype}")
            arrays.append(_da.asarray(x))
            units.append(None)
            probes.append(_np.ones((1,) * x.ndim))
            places.append(True)
        else:
            probes.append(x)
            places.append(False)
    if name in ("pow", "power", "float_power") and places[1]:
        raise TypeError(f"{name} of lazy numbers takes a number as its exponent: an array of "
                        f"exponents would give each element its own units")
    planned = f(*probes)  # the units, and any unit error, now
    if isinstance(planned, tuple):
        raise TypeError(f"{name} gives several results, which lazy numbers do not take")
    if isinstance(planned, ModrinArray):
        unit, dtype = planned.unit, _np.dtype(_np.float64)
    else:
        unit, dtype = None, _np.asarray(planned).dtype
    constants = tuple(None if p else x for x, p in zip(operands, places))
    blocks = _functools.partial(_blocks, f, constants, tuple(places), tuple(units), unit)
    # Broadcast and aligned as NumPy's element-wise functions are under Dask (its elemwise).
    ndim = max(a.ndim for a in arrays)
    pairs = [p for a in arrays for p in (a, tuple(range(a.ndim))[::-1])]
    out = _da.blockwise(blocks, tuple(range(ndim))[::-1], *pairs, dtype=dtype,
                        meta=_empty(ndim, dtype))
    return out if unit is None else _make(out, unit)


def _blocks(f, constants, places, units, unit, *numbers):
    """f on one block of each lazy operand: the task Dask runs, pickled with the units."""
    it = iter(zip(numbers, units))
    args = []
    for c, p in zip(constants, places):
        if not p:
            args.append(c)
            continue
        block, u = next(it)
        args.append(block if u is None else _wrap(block, u))
    r = f(*args)
    return _np.asarray(r) if unit is None else _numbers_in(r, unit)


_OPERATORS = {
    "add": _operator.add, "sub": _operator.sub, "mul": _operator.mul,
    "truediv": _operator.truediv, "pow": _operator.pow, "neg": _operator.neg,
    "pos": _operator.pos, "abs": _operator.abs, "lt": _operator.lt, "le": _operator.le,
    "eq": _operator.eq, "ne": _operator.ne, "gt": _operator.gt, "ge": _operator.ge,
}


def operator(name, *operands):
    return _elementwise(_OPERATORS[name], operands, name)


def ufunc(_, function, method_name, *inputs, **kwargs):
    if method_name != "__call__":
        raise TypeError(f"ufunc '{function.__name__}' has no method '{method_name}' for lazy "
                        f"numbers: use the NumPy function (np.sum for np.add.reduce)")
    if "out" in kwargs:
        raise TypeError(f"ufunc '{function.__name__}' writes no out= into lazy numbers, which "
                        f"never change")
    if not isinstance(kwargs.get("where", True), bool):
        raise TypeError(f"ufunc '{function.__name__}' takes no where= array for lazy numbers: "
                        f"each block would meet the whole mask")
    if function.nout != 1:
        raise TypeError(f"ufunc '{function.__name__}' gives several results, which lazy numbers "
                        f"do not take")
    return _elementwise(_functools.partial(_called, function, kwargs), inputs,
                        function.__name__)


def _called(function, kwargs, *args):
    return function(*args, **kwargs)


# ---- reductions and other functions -----------------------------------------------------------

_REDUCTIONS = {
    _np.sum, _np.mean, _np.std, _np.var, _np.min, _np.max, _np.amin, _np.amax, _np.nansum,
    _np.nanmean, _np.nanstd, _np.nanvar, _np.nanmin, _np.nanmax,
}
_PRODUCTS = {_np.prod, _np.nanprod, _np.cumprod, _np.nancumprod}
_CUMULATIVE = {_np.cumsum, _np.nancumsum}


def _in_sum_units(m):
    # Each element as a sum of one, in the units sums take: the conversion they make.
    return _np.sum(m[..., None], axis=-1)


def _cumulative(function, x, axis=None, **kwargs):
    # Dask starts its running sums from a plain zero, so they run on the numbers, each first
    # in the units that sums take.
    terms = _elementwise(_in_sum_units, (x,), function.__name__)
    return _make(function(terms._numbers(), axis=axis, **kwargs), terms.unit)


def _reduce(function, x, axis=None, keepdims=False, **kwargs):
    # The units from the same reduction in memory: Dask plans some (var) on its input's.
    unit = function(_probe(x), axis=axis, keepdims=True, **kwargs).unit
    # Dask drops a reduction's units when it ends in a number, so every reduction keeps its
    # dimensions until the blocks are numbers again.
    r = _unchunked(function(_chunked(x), axis=axis, keepdims=True, **kwargs), unit)
    if keepdims:
        return r
    axes = tuple(range(x.ndim)) if axis is None else axis
    return r.squeeze(axis=axes)


def _swap(obj, f):
    """obj with f applied to every quantity and Dask array in it, lists and tuples entered."""
    if isinstance(obj, (ModrinArray, Modrin, _da.Array)):
        return f(obj)
    if isinstance(obj, (list, tuple)):
        return type(obj)(_swap(o, f) for o in obj)
    return obj


def _stand_in(x):
    """An empty stand-in of x's units (or dtype) and rank, for planning."""
    if isinstance(x, Modrin):
        return x
    if isinstance(x, _da.Array) and not isinstance(x._meta, ModrinArray):
        return _empty(x.ndim, x.dtype)
    unit = x._meta.unit if isinstance(x, _da.Array) else x.unit
    return ModrinArray(_empty(x.ndim), unit)


def _as_blocks(x):
    """x as a Dask array of ModrinArray blocks: an array or quantity in memory as one block."""
    if isinstance(x, _da.Array):
        return x
    if isinstance(x, Modrin):
        x = ModrinArray(x)
    numbers = x._numbers()
    return _chunked(_make(numbers if isinstance(numbers, _da.Array) else _da.asarray(numbers),
                          x.unit))


def _lazy_in(obj):
    """The lazy arrays in obj, lists and tuples entered."""
    if _is_lazy(obj):
        yield obj
    elif isinstance(obj, (list, tuple)):
        for o in obj:
            yield from _lazy_in(o)


def function(_, func, types, args, kwargs):
    lazy = next(_lazy_in((*args, *kwargs.values())))
    if func in _PRODUCTS and not _unitless(lazy.unit):
        raise TypeError(f"{func.__name__} of lazy numbers with units: each block's product "
                        f"would be in its own power of the units")
    if func in _REDUCTIONS and len(args) <= 2 and _is_lazy(args[0]):  # the array, the axis
        return _reduce(func, *args, **kwargs)
    if func in _CUMULATIVE and len(args) <= 2 and _is_lazy(args[0]):
        return _cumulative(func, *args, **kwargs)
    # The units, and any unit error, now: from the same function on empty stand-ins.
    try:
        planned = func(*_swap(args, _stand_in),
                       **{k: _swap(v, _stand_in) for k, v in kwargs.items()})
    except TypeError:
        raise
    except Exception:
        planned = None  # a shape the stand-ins lack: Dask checks it, and plans the units
    # Dask runs the function block by block when every array in it is a Dask array.
    r = func(*_swap(args, _as_blocks), **{k: _swap(v, _as_blocks) for k, v in kwargs.items()})
    if isinstance(r, tuple):
        return tuple(_unchunked(x) for x in r)
    return _unchunked(r, planned.unit if isinstance(planned, ModrinArray) else None)


# ---- methods ---------------------------------------------------------------------------------

def _text(form, x):
    # The in-memory form of an empty array in x's units, with the Dask array's text as numbers.
    return form(ModrinArray(_empty(1), x.unit)).replace("[]", repr(x._numbers()), 1)


def method(name, self, *args, **kwargs):
    if name in ("sum", "mean", "min", "max"):
        return _reduce(getattr(_np, name), self, *args, **kwargs)
    if name == "as_number" and not args and not kwargs:
        return self._numbers()
    if name in ("as_unit", "as_number", "as_unitless", "as_base_units", "simplify"):
        return _elementwise(_operator.methodcaller(name, *args, **kwargs), (self,), name)
    if name == "compute":
        return ModrinArray(self._numbers().compute(**kwargs), self.unit, copy=False)
    if name == "persist":
        return _make(self._numbers().persist(**kwargs), self.unit)
    if name == "__array__":
        if _unitless(self.unit):
            return _np.asarray(self._numbers().compute(), *args, **kwargs)
        return ModrinArray(_empty(1), self.unit).__array__()  # refuses as in memory
    if name == "__iter__":
        if self.ndim == 0:
            raise TypeError("iteration over a 0-d array")
        return (self[i] for i in range(len(self)))
    if name in ("__repr__", "__str__"):
        return _text(repr if name == "__repr__" else str, self)
    # What shows every number (tolist, latex, format) shows the numbers computed.
    return getattr(method("compute", self), name)(*args, **kwargs)
