"""Physical quantities with units: a float tied to a product of units, and logarithmic ratios."""

from collections.abc import Callable
from typing import Any, ClassVar, SupportsIndex, final, overload

__all__ = ["Modrin", "LogModrin"]

# What a Modrin operation accepts as its other operand: a quantity, a logarithmic quantity (its
# ratio), a plain number, or a unit expression such as "m/s2" (one of that unit).
_Operand = Modrin | LogModrin | float | str
# What a LogModrin operation accepts: a plain number or another logarithmic quantity.
_LogOperand = LogModrin | float

_UnitState = tuple[str, str, float, float, tuple[float, ...], float]

@final
class Modrin:
    """Unit! yippee"""

    __hash__: ClassVar[None]  # type: ignore[assignment]

    @classmethod
    def unit(cls, unit_name_or_symbol: str) -> Modrin:
        """One of the unit named, or of a unit expression such as "km/hr" or "W/m2.K4"."""
    @classmethod
    def constant(cls, constant_name: str) -> Modrin:
        """The physical constant of that name ("light speed", "planck", ...) in its units."""
    @classmethod
    def empty(cls) -> Modrin:
        """The unitless quantity 1."""
    @classmethod
    def custom(cls, name: str, abbr: str, definition: _Operand) -> Modrin:
        """One of a new unit, defined as the given quantity, unit text or number."""
    def as_unit(self, other: _Operand) -> Modrin:
        """The same amount in the units of `other`; TypeError when they are not compatible."""
    def as_number(self, other: _Operand | None = None, scale: bool = False) -> float:
        """The number, in the units of `other` when given (divided by its number with `scale`)."""
    def as_unitless(self) -> float:
        """The number of a dimensionless quantity with every factor applied."""
    def as_base_units(self) -> Modrin:
        """The same amount in the base units (kg, m, s, A, K, mol, cd, USD)."""
    def round_sfig(self, n_sig_figs: SupportsIndex) -> Modrin:
        """The quantity with its number rounded to that many significant figures."""
    def simplify(self) -> Modrin:
        """The same amount with units that cancel removed ("m2/km" becomes "m")."""
    def simplify_inplace(self) -> None:
        """Simplifies this quantity's own units, as simplify() would."""
    def __div__(self, other: _Operand) -> Modrin:
        """self / other."""
    def __rdiv__(self, other: _Operand) -> Modrin:
        """other / self."""
    @overload
    def __round__(self, ndigits: None = None) -> Modrin:
        """The quantity with its number rounded to an integer."""
    @overload
    def __round__(self, ndigits: SupportsIndex) -> Modrin:
        """The quantity with its number rounded to `ndigits` decimal places."""
    def __exp__(self) -> float:
        """e to the power of a dimensionless quantity."""
    def exp(self) -> float:
        """e to the power of a dimensionless quantity."""
    def __log__(self) -> float:
        """The natural logarithm of a dimensionless quantity."""
    def log(self) -> float:
        """The natural logarithm of a dimensionless quantity."""
    def __log10__(self) -> float:
        """The decimal logarithm of a dimensionless quantity."""
    def log10(self) -> float:
        """The decimal logarithm of a dimensionless quantity."""
    def descriptive(self) -> str:
        """The text form with unit names: "9.80665 [meter/second2]"."""
    def latex(self) -> str:
        """The LaTeX form: "9.80665~\\mathrm{\\frac{m}{s^2}}"."""
    def _repr_latex_(self) -> str:
        """The LaTeX form between dollar signs, for Jupyter."""
    def __format__(self, format_spec: str) -> str:
        """The number str() shows, formatted as a float, then its unit: "9.81 [m/s2]"."""
    def __reduce__(
        self,
    ) -> tuple[
        Callable[..., Modrin],
        tuple[float, tuple[_UnitState, ...], tuple[float, ...], float],
    ]:
        """The state pickle and copy rebuild the quantity from."""
    @classmethod
    def _reconstruct(
        cls,
        value: float,
        units: tuple[_UnitState, ...],
        base_exponents: tuple[float, ...],
        factor: float,
    ) -> Modrin:
        """Rebuilds a quantity from the state __reduce__ gives, checking every field."""
    def __array_ufunc__(self, ufunc: Any, method: str, /, *inputs: Any, **kwargs: Any) -> Any:
        """NumPy ufuncs on Modrins and arrays, through modrin_array."""
    def __add__(self, other: _Operand, /) -> Modrin:
        """The sum, in the units of the left operand."""
    def __radd__(self, other: _Operand, /) -> Modrin:
        """The sum, in the units of the left operand."""
    def __sub__(self, other: _Operand, /) -> Modrin:
        """The difference, in the units of the left operand."""
    def __rsub__(self, other: _Operand, /) -> Modrin:
        """The difference, in the units of the left operand."""
    def __mul__(self, other: _Operand, /) -> Modrin:
        """The product of numbers and units."""
    def __rmul__(self, other: _Operand, /) -> Modrin:
        """The product of numbers and units."""
    def __truediv__(self, other: _Operand, /) -> Modrin:
        """The quotient of numbers and units."""
    def __rtruediv__(self, other: _Operand, /) -> Modrin:
        """The quotient of numbers and units."""
    def __pow__(self, exponent: _Operand, modulus: LogModrin | float | None = None, /) -> Modrin:
        """The power by a dimensionless exponent; a modulus is checked and ignored."""
    def __rpow__(self, other: _Operand, modulus: LogModrin | float | None = None, /) -> Modrin:
        """The power of `other` by this dimensionless quantity."""
    def __neg__(self) -> Modrin:
        """The quantity with its number negated."""
    def __pos__(self) -> Modrin:
        """The quantity itself, as a new object."""
    def __abs__(self) -> Modrin:
        """The quantity with the absolute value of its number."""
    def __float__(self) -> float:
        """The number in the quantity's own units."""
    def __int__(self) -> int:
        """int(float(q))."""
    def __eq__(self, other: object, /) -> bool:
        """Equality of amounts after conversion into this quantity's units."""
    def __ne__(self, other: object, /) -> bool:
        """Inequality of amounts after conversion into this quantity's units."""
    def __lt__(self, other: _Operand, /) -> bool:
        """Comparison after conversion into this quantity's units."""
    def __le__(self, other: _Operand, /) -> bool:
        """Comparison after conversion into this quantity's units."""
    def __gt__(self, other: _Operand, /) -> bool:
        """Comparison after conversion into this quantity's units."""
    def __ge__(self, other: _Operand, /) -> bool:
        """Comparison after conversion into this quantity's units."""

@final
class LogModrin:
    """A count of a logarithmic unit (B, dB, Np, stn) standing for the ratio base**count."""

    __hash__: ClassVar[None]  # type: ignore[assignment]

    @classmethod
    def unit(cls, unit_name_or_symbol: str) -> LogModrin:
        """One of the logarithmic unit named: "B", "dB", "Np", "stn" or their names."""
    def as_unit(self, other: LogModrin) -> LogModrin:
        """The same ratio counted in the unit of `other`."""
    def as_number(self, other: LogModrin | None = None) -> float:
        """The count, in the unit of `other` when given."""
    def as_unitless(self) -> float:
        """The ratio the quantity stands for."""
    def round_sfig(self, n_sig_figs: SupportsIndex) -> float:
        """The ratio rounded to that many significant figures."""
    @overload
    def __div__(self, other: LogModrin) -> float:
        """The quotient of the two ratios."""
    @overload
    def __div__(self, other: float) -> LogModrin:
        """The count divided by a number."""
    def __rdiv__(self, other: _LogOperand) -> float:
        """The ratio of `other` divided by this ratio."""
    @overload
    def __round__(self, ndigits: None = None) -> float:
        """The ratio rounded to an integer."""
    @overload
    def __round__(self, ndigits: SupportsIndex) -> float:
        """The ratio rounded to `ndigits` decimal places."""
    def __exp__(self) -> float:
        """e to the power of the ratio."""
    def exp(self) -> float:
        """e to the power of the ratio."""
    def __log__(self) -> float:
        """The natural logarithm of the ratio."""
    def log(self) -> float:
        """The natural logarithm of the ratio."""
    def __log10__(self) -> float:
        """The decimal logarithm of the ratio."""
    def log10(self) -> float:
        """The decimal logarithm of the ratio."""
    def __format__(self, format_spec: str) -> str:
        """The count formatted as a float, then the unit: "3.14 [dB]"."""
    def __reduce__(
        self,
    ) -> tuple[Callable[..., LogModrin], tuple[str, str, float, float]]:
        """The state pickle and copy rebuild the quantity from."""
    @classmethod
    def _reconstruct(cls, name: str, symbol: str, base: float, value: float) -> LogModrin:
        """Rebuilds a quantity from the state __reduce__ gives, checking every field."""
    @overload
    def __add__(self, other: LogModrin, /) -> LogModrin:
        """Counts added: the ratios multiplied, in this unit."""
    @overload
    def __add__(self, other: float, /) -> float:
        """The ratio plus the number."""
    def __radd__(self, other: float, /) -> float:
        """The number plus the ratio."""
    @overload
    def __sub__(self, other: LogModrin, /) -> LogModrin:
        """Counts subtracted: the ratios divided, in this unit."""
    @overload
    def __sub__(self, other: float, /) -> float:
        """The ratio minus the number."""
    def __rsub__(self, other: float, /) -> float:
        """The number minus the ratio."""
    @overload
    def __mul__(self, other: LogModrin, /) -> float:
        """The product of the two ratios."""
    @overload
    def __mul__(self, other: float, /) -> LogModrin:
        """The count multiplied by the number."""
    def __rmul__(self, other: float, /) -> LogModrin:
        """The count multiplied by the number."""
    @overload
    def __truediv__(self, other: LogModrin, /) -> float:
        """The quotient of the two ratios."""
    @overload
    def __truediv__(self, other: float, /) -> LogModrin:
        """The count divided by the number."""
    def __rtruediv__(self, other: float, /) -> float:
        """The number divided by the ratio."""
    def __pow__(self, exponent: _LogOperand, modulus: _LogOperand | None = None, /) -> float:
        """The ratio raised to the exponent (or its ratio); a modulus is checked and ignored."""
    def __rpow__(self, other: float, modulus: _LogOperand | None = None, /) -> float:
        """The number raised to the ratio."""
    def __neg__(self) -> LogModrin:
        """The count negated: the reciprocal ratio."""
    def __pos__(self) -> LogModrin:
        """The quantity itself, as a new object."""
    def __abs__(self) -> float:
        """The absolute value of the ratio."""
    def __float__(self) -> float:
        """The ratio."""
    def __int__(self) -> int:
        """The ratio truncated to a 32-bit integer, saturating; NaN gives 0."""
    def __eq__(self, other: object, /) -> bool:
        """Equality of the ratios."""
    def __ne__(self, other: object, /) -> bool:
        """Inequality of the ratios."""
    def __lt__(self, other: _LogOperand, /) -> bool:
        """Comparison of the ratios."""
    def __le__(self, other: _LogOperand, /) -> bool:
        """Comparison of the ratios."""
    def __gt__(self, other: _LogOperand, /) -> bool:
        """Comparison of the ratios."""
    def __ge__(self, other: _LogOperand, /) -> bool:
        """Comparison of the ratios."""
