"""A typed user script: mypy --strict must accept it, and every assert_type holds at run time too."""

import copy
from typing import assert_type

from modrin import LogModrin, Modrin

g = Modrin.constant("earth gravity")
t = Modrin.unit("s") * 2
assert_type(g * t, Modrin)
assert_type(g * 2, Modrin)
assert_type(2.5 * g, Modrin)
assert_type(g * "kg", Modrin)          # a unit text is one of that unit
assert_type(g * t - "m/s", Modrin)      # the sum is in the left operand's units
assert_type("m" / t, Modrin)
assert_type(1 / t, Modrin)
assert_type(t**2, Modrin)
assert_type(2**Modrin.empty(), Modrin)
assert_type(-g, Modrin)
assert_type(abs(g), Modrin)
assert_type(g < "km/s2", bool)
assert_type(g == g, bool)
assert_type(round(g), Modrin)
assert_type(round(g, 2), Modrin)
assert_type(g.round_sfig(3), Modrin)
assert_type(g.as_unit("ft/s2"), Modrin)
assert_type(g.as_number(), float)
assert_type(g.as_number("ft/s2", scale=True), float)
assert_type(float(g), float)
assert_type(int(g), int)
assert_type((g / g).as_unitless(), float)
assert_type((g / g).exp(), float)
assert_type(g.simplify().as_base_units(), Modrin)
assert_type(g.simplify_inplace(), None)
assert_type(g.latex(), str)
assert_type(g.descriptive(), str)
assert_type(g._repr_latex_(), str)
assert_type(f"{g:.2f}", str)
assert_type(Modrin.custom("smoot", "smt", Modrin.unit("m") * 1.7018), Modrin)
assert_type(copy.deepcopy(g), Modrin)
assert_type(copy.copy(LogModrin.unit("B")), LogModrin)

db = LogModrin.unit("dB")
assert_type(db + db, LogModrin)
assert_type(db + 1, float)
assert_type(1 + db, float)
assert_type(db - db, LogModrin)
assert_type(db * 3, LogModrin)
assert_type(3 * db, LogModrin)
assert_type(db * db, float)
assert_type(db / 2, LogModrin)
assert_type(db / db, float)
assert_type(2 / db, float)
assert_type(db**2, float)
assert_type(-db, LogModrin)
assert_type(abs(db), float)
assert_type(round(db), float)
assert_type(round(db, 2), float)
assert_type(db.round_sfig(2), float)
assert_type(db.as_unit(LogModrin.unit("B")), LogModrin)
assert_type(db.as_number(LogModrin.unit("Np")), float)
assert_type(db < 2, bool)
assert_type(Modrin.unit("W") * db, Modrin)  # a LogModrin operand is its ratio
assert_type(db * Modrin.unit("W"), Modrin)
