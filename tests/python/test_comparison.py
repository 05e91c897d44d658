"""Comparison across compatible units, with exact IEEE results."""

import pytest

from modrin import Modrin


def U(text):
    return Modrin.unit(text)


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (lambda: U("km") == U("m") * 1000, True),
        (lambda: U("m") < "km", True),
        (lambda: U("m") == None, False),  # noqa: E711 - identity fallback
        (lambda: U("m") != None, True),  # noqa: E711
        (lambda: U("m") == "flurb", False),
        (lambda: Modrin.empty() == 1, True),
        (lambda: Modrin.empty() * 5 > 3, True),
        (lambda: 5 > Modrin.empty() * 3, True),  # mirrored operator
        (lambda: U("degree Celsius") * 0 == U("K") * 273.15, True),  # offsets apply
        (lambda: U("degree Celsius") > U("K"), True),
        (lambda: U("m") <= U("m"), True),
        (lambda: U("m") >= U("km"), False),
        (lambda: U("m") * 0.0 == U("m") * -0.0, True),
        (lambda: U("m") != U("m") * 2, True),
        (lambda: U("psi") == U("Pa") * 6894.757293168361, True),
    ],
)
def test_comparisons(make, expected):
    assert make() is expected


def test_nan_is_unequal_to_itself():
    q = U("m") * float("nan")
    assert (q == q) is False
    assert (q != q) is True
    assert (q < q) is False and (q >= q) is False


@pytest.mark.parametrize(
    ("make", "message"),
    [
        (lambda: U("m") == U("s"), "[s] and [m] are not compatible"),
        (lambda: U("m") != U("s"), "[s] and [m] are not compatible"),
        (lambda: U("m") == 1, "[] and [m] are not compatible"),
        (lambda: U("m") in [U("s")], "[m] and [s] are not compatible"),  # the item's slot runs
    ],
)
def test_incompatible_comparison_raises(make, message):
    with pytest.raises(TypeError) as info:
        make()
    assert str(info.value) == message


def test_ordering_with_an_uncoercible_operand_is_pythons_type_error():
    with pytest.raises(TypeError) as info:
        U("m") < None  # noqa: B015
    assert "not supported" in str(info.value)


def test_quantities_are_unhashable_and_always_true():
    with pytest.raises(TypeError):
        hash(U("m"))
    with pytest.raises(TypeError):
        {U("m")}
    assert bool(U("m") * 0.0)
    assert bool(Modrin.empty())
