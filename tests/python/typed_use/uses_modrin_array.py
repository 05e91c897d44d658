"""A typed user script of arrays: mypy --strict must accept it, and every assert_type holds at run time."""

import pickle
from typing import assert_type

import numpy as np
from numpy.typing import NDArray

from modrin import Modrin
from modrin_array import ModrinArray, assert_allclose, assert_array_equal

d = ModrinArray([1.0, 2.5, 3.0], "km")
t = ModrinArray(np.array([2.0, 4.0, 5.0]), Modrin.unit("hr"))
assert_type(d / t, ModrinArray)
assert_type(d + ModrinArray([10.0, 20.0, 30.0], "m"), ModrinArray)
assert_type(2.0 * d, ModrinArray)
assert_type(d * np.arange(3.0), ModrinArray)
assert_type(d**2, ModrinArray)
assert_type(-d, ModrinArray)
assert_type(d.as_unit("mi"), ModrinArray)
assert_type(d.simplify(), ModrinArray)
less: NDArray[np.bool_] = d < Modrin.unit("km") * 2
numbers: NDArray[np.float64] = d.as_number("m")
total = d.sum()
assert isinstance(total, Modrin)
first = d[0]
assert isinstance(first, Modrin)
assert_type(d.unit, Modrin)
shape: tuple[int, ...] = d.shape
assert isinstance(pickle.loads(pickle.dumps(d)), ModrinArray)
assert_type(f"{d:.2f}" + d.latex() + d.descriptive() + d._repr_latex_(), str)
assert_allclose(d.as_unit("m"), d, atol=Modrin.unit("mm"))
assert_array_equal(d, d.copy())
d *= 2
print(less, numbers, total, first, shape, d)
