"""LogModrin: logarithmic ratio quantities and their interplay with Modrin."""

import math

import pytest

from modrin import LogModrin, Modrin


def L(text):
    return LogModrin.unit(text)


@pytest.mark.parametrize(
    ("text", "shown", "ratio"),
    [
        ("dB", "1 [dB]", 1.2589254117941673),
        ("decibel", "1 [dB]", 1.2589254117941673),
        ("neper", "1 [Np]", math.e),
        ("Np", "1 [Np]", math.e),
        ("B", "1 [B]", 10.0),
        ("bel", "1 [B]", 10.0),
        ("semitone", "1 [stn]", 1.0594630943592953),
        ("stn", "1 [stn]", 1.0594630943592953),
    ],
)
def test_units_by_name_and_symbol(text, shown, ratio):
    q = L(text)
    assert str(q) == repr(q) == shown
    assert float(q) == q.as_unitless() == ratio


@pytest.mark.parametrize("text", ["db", "DB", "Bel", "mB", "st", "", " dB"])
def test_unknown_log_units(text):
    with pytest.raises(LookupError) as info:
        L(text)
    assert str(info.value) == f"Logarithmic ratio unit {text} not found"


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (lambda: L("dB") + L("dB"), "2 [dB]"),
        (lambda: L("dB") * 3, "3 [dB]"),
        (lambda: 3 * L("dB"), "3 [dB]"),
        (lambda: L("dB") / 4, "0.25 [dB]"),
        (lambda: L("B") - L("dB"), "0.9 [B]"),
        (lambda: -L("B"), "-1 [B]"),
        (lambda: +L("B"), "1 [B]"),
        (lambda: L("B").as_unit(L("dB") * 7), "9.999999999999998 [dB]"),
        (lambda: L("B").__div__(4), "0.25 [B]"),
        (lambda: -(L("B") * 0.0), "-0 [B]"),
    ],
)
def test_results_that_stay_logarithmic(make, expected):
    r = make()
    assert type(r) is LogModrin
    assert str(r) == expected


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (lambda: L("B") + 1, 11.0),
        (lambda: 1 + L("B"), 11.0),
        (lambda: 1 - L("B"), -9.0),
        (lambda: L("B") - 1, 9.0),
        (lambda: L("B") * L("B"), 100.0),
        (lambda: L("B") / L("B"), 1.0),
        (lambda: 1 / L("B"), 0.1),
        (lambda: L("B") ** 2, 100.0),
        (lambda: 2 ** L("B"), 1024.0),
        (lambda: pow(L("B"), 2, 5), 100.0),
        (lambda: abs(-L("B")), 0.1),
        (lambda: L("B").log10(), 1.0),
        (lambda: L("B").__log10__(), 1.0),
        (lambda: L("Np").log(), 1.0),
        (lambda: L("B").exp(), math.exp(10.0)),
        (lambda: L("B").as_number(), 1.0),
        (lambda: L("B").as_number(L("dB")), 9.999999999999998),
        (lambda: round(L("dB")), 1.0),
        (lambda: round(L("dB"), 2), 1.26),
        (lambda: L("dB").round_sfig(3), 1.26),
        # 10^k by repeated multiplication, which leaves the last bit where |k| >= 25
        (lambda: round(L("B") * 27.42199239906258, -26), 2.5999999999999995e27),
        (lambda: (L("B") * 27.42199239906258).round_sfig(2), 2.5999999999999995e27),
        (lambda: round(L("B") * -13.64573421840036, 25), 2.2608189336500003e-14),
        (lambda: L("B").__rdiv__(4), 0.4),
        (lambda: L("B").__div__(L("B")), 1.0),
    ],
)
def test_results_that_are_floats(make, expected):
    r = make()
    assert type(r) is float
    assert r == expected


def test_int_is_exact():
    assert int(L("B")) == 10
    assert int(L("B") * 12) == 10**12  # not saturated at 32 bits
    with pytest.raises(OverflowError):
        int(L("B") * 400)
    with pytest.raises(ValueError):
        int(L("B") * math.nan)


def test_rounding_never_makes_nan_of_a_number():
    assert (L("B") * -400).round_sfig(3) == 0.0  # ratio 0 kept
    assert (L("B") * 400).round_sfig(3) == math.inf
    assert round(L("B") * 3, 400) == 1000.0
    assert round(L("B") * 3, -400) == 0.0


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (lambda: L("B") < 11, True),
        (lambda: L("B") == 10, True),
        (lambda: L("B") == "x", False),
        (lambda: L("B") != "x", True),
        (lambda: L("B") > L("dB"), True),
        (lambda: 11 > L("B"), True),
        (lambda: L("B") * math.nan != L("B") * math.nan, True),
    ],
)
def test_comparisons_use_ratios(make, expected):
    assert make() is expected


@pytest.mark.parametrize(
    ("call", "exc", "note"),
    [
        (lambda: L("B").as_unit("dB"), TypeError, "other"),
        (lambda: L("B").as_number("dB"), TypeError, "other"),
        (lambda: L("B").__div__("x"), TypeError, "other"),
        (lambda: L("B").__rdiv__(2**31), OverflowError, "other"),
        (lambda: round(L("B"), 1.5), TypeError, "ndigits"),
        (lambda: L("B").round_sfig(2**40), OverflowError, "n_sig_figs"),
        (lambda: LogModrin.unit(3), TypeError, "unit_name_or_symbol"),
    ],
)
def test_argument_errors_name_their_parameter(call, exc, note):
    with pytest.raises(exc) as info:
        call()
    assert info.value.__notes__ == [f"while processing '{note}'"]


def test_unsupported_operands():
    for make in (lambda: L("B") + "x", lambda: L("B") * 2**31, lambda: L("B") // 2, lambda: L("B") < None):
        with pytest.raises(TypeError):
            make()
    with pytest.raises(TypeError) as info:
        L("B").__div__([1])
    assert str(info.value) == "[1] cannot be coerced into a number"


@pytest.mark.parametrize(
    ("make", "number", "shown"),
    [
        (lambda: Modrin.empty() * L("dB"), 1.2589254117941673, "1.2589254117941673 []"),
        (lambda: L("dB") * Modrin.empty(), 1.2589254117941673, "1.2589254117941673 []"),  # Modrin's reflected slot
        (lambda: Modrin.unit("W") * L("B"), 10.0, "10 [W]"),
        (lambda: L("B") + Modrin.empty(), 11.0, "11 []"),
        (lambda: Modrin.unit("m").as_unit("km") * L("B"), 0.01, "0.01 [km]"),
        (lambda: Modrin.custom("gain", "g", L("B")), 1.0, "1 [g]"),
    ],
)
def test_log_modrin_is_its_ratio_in_modrin_operations(make, number, shown):
    q = make()
    assert type(q) is Modrin
    assert float(q) == pytest.approx(number, rel=1e-15)
    assert str(q) == shown


def test_log_modrin_compares_with_unitless_quantities():
    assert (Modrin.empty() * 10 == L("B")) is True
    assert (L("B") == Modrin.empty() * 10) is True  # LogModrin declines, Modrin answers mirrored
    with pytest.raises(TypeError):
        L("B") == Modrin.unit("m")  # noqa: B015


def test_class_shape():
    assert LogModrin.__doc__ is None
    names = [n for n in vars(LogModrin) if n in {
        "unit", "as_unit", "as_number", "as_unitless", "round_sfig", "__div__", "__rdiv__", "__round__",
        "__exp__", "exp", "__log__", "log", "__log10__", "log10"}]
    assert names == ["unit", "as_unit", "as_number", "as_unitless", "round_sfig", "__div__", "__rdiv__",
                     "__round__", "__exp__", "exp", "__log__", "log", "__log10__", "log10"]
    assert LogModrin.as_number.__text_signature__ == "($self, other=None)"
    with pytest.raises(TypeError):
        hash(L("dB"))
