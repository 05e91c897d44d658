"""Constructors: unit, constant, empty, custom, with their exact failures."""

import pytest

from modrin import Modrin


@pytest.mark.parametrize(
    ("text", "shown"),
    [
        ("m", "1 [m]"),
        ("km/hr", "1 [km/hr]"),  # prefixed unit over a plain one
        ("m/s2", "1 [m/s2]"),  # exponent written after the symbol
        ("W/m2.K4", "1 [W/K4.m2]"),  # items sorted bytewise
        ("J/K.mol", "1 [J/K.mol]"),
        ("coulomb/mol", "1 [C/mol]"),  # names inside expressions
        ("1/s", "1 [1/s]"),
        (" m/s ", "1 [m/s]"),  # outer white space trimmed
        ("deg C/s", "1 [°C/s]"),  # alias as a factor
        ("metre", "1 [m]"),
        ("cc", "1 [mL]"),
        ("micron", "1 [um]"),
        ("psi", "1 [psi]"),
        ("fluid ounce (imperial)", "1 [fl oz (imp)]"),
        ("Ω", "1 [Ω]"),
    ],
)
def test_unit_parses_text_and_renders_back(text, shown):
    assert str(Modrin.unit(text)) == shown


@pytest.mark.parametrize(
    "text",
    ["flurb", "m/foo", "m/sec", "km/h", "m.2", "m2.5", "m²", "m^2", "J / K", "m/s/s", "1", "", "m0", "m/m", "Meter"],
)
def test_unit_refuses_text_that_does_not_read_as_a_whole(text):
    with pytest.raises(LookupError) as info:
        Modrin.unit(text)
    assert str(info.value) == f"Unit {text} not found"
    assert type(info.value) is LookupError


def test_unit_refuses_non_text_with_note():
    with pytest.raises(TypeError) as info:
        Modrin.unit(5)
    assert str(info.value) == "'int' object is not an instance of 'str'"
    assert info.value.__notes__ == ["while processing 'unit_name_or_symbol'"]


def test_empty_is_one_without_units():
    e = Modrin.empty()
    assert str(e) == "1 []"
    assert float(e) == 1.0
    assert e.as_unitless() == 1.0


@pytest.mark.parametrize(
    ("name", "value", "unit"),
    [
        ("c", 299792458.0, "[m/s]"),
        ("speed of light", 299792458.0, "[m/s]"),
        ("light speed", 299792458.0, "[m/s]"),
        ("N_A", 6.02214076e23, "[1/mol]"),
        ("avogadro's number", 6.02214076e23, "[1/mol]"),
        ("stefan boltzmann", 5.670374419e-08, "[W/K4.m2]"),
        ("gravitational constant", 6.6743e-11, "[N.m2/kg2]"),
        ("earth gravity", 9.80665, "[m/s2]"),
        ("ideal gas constant", 8.31446261815324, "[J/K.mol]"),
        ("faraday", 96485.33212331001, "[C/mol]"),
        ("vacuum permeability", 1.25663706127e-06, "[N/A2]"),
        ("electron mass", 9.1093837015e-31, "[kg]"),
    ],
)
def test_constant_gives_stored_value_in_stored_unit(name, value, unit):
    q = Modrin.constant(name)
    assert float(q) == value
    assert str(q).endswith(" " + unit)


@pytest.mark.parametrize("name", ["Planck", "electron", "G", "planck's constant ", "meter"])
def test_unknown_constant_is_a_lookup_error(name):
    with pytest.raises(LookupError) as info:
        Modrin.constant(name)
    assert str(info.value) == f"Constant {name} not found"


def test_earth_gravity_is_compatible_with_kilogram_force_per_kilogram():
    g = Modrin.constant("earth gravity")
    assert g == Modrin.unit("kgf") / Modrin.unit("kg")


@pytest.mark.parametrize(
    ("definition", "factor_in_base", "unit_text"),
    [
        (Modrin.unit("m") * 1.7018, 1.7018, "m"),
        (12, 12.0, None),
        (2.5, 2.5, None),
        (True, 1.0, None),
        ("km", 1000.0, "m"),
        (Modrin.unit("km") * 2, 2000.0, "m"),
        (Modrin.unit("degree Celsius"), 1.0, "K"),  # the offset is dropped
    ],
)
def test_custom_unit_takes_the_definitions_amount_and_dimension(definition, factor_in_base, unit_text):
    q = Modrin.custom("thing", "thg", definition)
    assert str(q) == "1 [thg]"
    assert q.descriptive() == "1 [thing]"
    if unit_text is None:
        assert q.as_unitless() == factor_in_base
    else:
        assert q.as_number(unit_text) == factor_in_base


def test_custom_unit_is_not_added_to_the_catalogue():
    Modrin.custom("smoot", "smt", Modrin.unit("m") * 1.7018)
    with pytest.raises(LookupError):
        Modrin.unit("smoot")


def test_equal_custom_units_are_one_unit_and_different_ones_are_not():
    a = Modrin.custom("smoot", "smt", Modrin.unit("m") * 1.7018)
    b = Modrin.custom("smoot", "smt", Modrin.unit("m") * 1.7018)
    c = Modrin.custom("smoot", "smt", Modrin.unit("m") * 2)
    assert str(a * b) == "1 [smt2]"
    assert str(a * c) == "1 [smt.smt]"  # same name, other factor: two entries


@pytest.mark.parametrize(
    ("args", "exc", "message", "note"),
    [
        (("x", "x", [1]), TypeError, "[1] cannot be coerced into a unit", "definition"),
        (("x", "x", "flurb"), LookupError, "Unit flurb not found", "definition"),
        ((1, "x", 1), TypeError, "'int' object is not an instance of 'str'", "name"),
        (("x", None, 1), TypeError, "'None' is not an instance of 'str'", "abbr"),
        (("x", "x", 2**31), OverflowError, "out of range integral type conversion attempted", "definition"),
    ],
)
def test_custom_failures_name_their_parameter(args, exc, message, note):
    with pytest.raises(exc) as info:
        Modrin.custom(*args)
    assert str(info.value) == message
    assert info.value.__notes__ == [f"while processing '{note}'"]


def test_custom_missing_arguments():
    with pytest.raises(TypeError) as info:
        Modrin.custom("a")
    assert str(info.value) == "Modrin.custom() missing 2 required positional arguments: 'abbr' and 'definition'"


def test_method_table_order_and_signatures():
    names = [n for n in vars(Modrin) if not n.startswith("__") or n in ("__div__", "__rdiv__", "__round__", "__exp__", "__log__", "__log10__")]
    assert names == [
        "unit", "constant", "empty", "custom", "as_unit", "as_number", "as_unitless", "as_base_units",
        "round_sfig", "simplify", "simplify_inplace", "__div__", "__rdiv__", "__round__", "__exp__", "exp",
        "__log__", "log", "__log10__", "log10", "descriptive", "latex",
        "_repr_latex_", "_reconstruct",  # the format, LaTeX and pickle hooks come last
    ]
    assert Modrin.as_number.__text_signature__ == "($self, other=None, scale=False)"
    assert Modrin.as_number.__doc__ is None
    assert Modrin.unit.__text_signature__ == "($cls, unit_name_or_symbol)"
    assert Modrin.__round__.__text_signature__ == "($self, ndigits=None)"

