"""format() and Jupyter's LaTeX hook: the number str() shows, formatted as a float."""

import pytest

from modrin import LogModrin, Modrin

g = Modrin.constant("earth gravity")


@pytest.mark.parametrize(
    ("q", "format_spec", "text"),
    [
        (g, ".3f", "9.807 [m/s2]"),
        (g, ".2e", "9.81e+00 [m/s2]"),
        (g, "10.2f", "      9.81 [m/s2]"),
        (g, "", "9.80665 [m/s2]"),  # an empty format_spec is str()
        (Modrin.constant("planck") * Modrin.unit("Hz") * 6e14, ".4e", "3.9756e-19 [J]"),
        (Modrin.unit("km") * 1234.5, ",.1f", "1,234.5 [km]"),
        (Modrin.unit("hr/s"), ".0f", "3600 []"),  # formats the simplified form str() shows
        (Modrin.unit("m") * float("nan"), ".2f", "nan [m]"),
        (-Modrin.unit("°F") * 0.0, "+.1f", "-0.0 [°F]"),
        (LogModrin.unit("dB") * 3.14159, ".2f", "3.14 [dB]"),
        (LogModrin.unit("Np"), "", "1 [Np]"),
    ],
)
def test_format_spec_applies_to_the_number_str_shows(q, format_spec, text):
    assert format(q, format_spec) == text
    assert f"{q:{format_spec}}" == text


@pytest.mark.parametrize("q", [g, LogModrin.unit("dB")])
@pytest.mark.parametrize("format_spec", ["q", ".2.3f", "d", "=^^10s"])
def test_invalid_format_spec_fails_as_a_float_would(q, format_spec):
    with pytest.raises(ValueError) as expected:
        format(1.0, format_spec)
    with pytest.raises(ValueError) as info:
        format(q, format_spec)
    assert str(info.value) == str(expected.value)


def test_format_spec_must_be_a_string():
    with pytest.raises(TypeError) as info:
        g.__format__(3)
    assert info.value.__notes__ == ["while processing 'format_spec'"]


@pytest.mark.parametrize("text", ["m/s2", "J/K.mol", "degree Celsius", "km/hr"])
def test_repr_latex_wraps_latex_in_dollars(text):
    q = Modrin.unit(text) * 2.5
    assert q._repr_latex_() == "$" + q.latex() + "$"
