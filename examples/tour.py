"""A tour of modrin: a small engineering calculation, start to finish, with units checked.

A hobby rocket: how fast does it leave the rail, how much energy does that take, how hot
does its motor casing get, and how loud is it? Every number carries its unit, conversions happen
on their own, and mixing up units is an error rather than a wrong answer.

    python3 examples/tour.py [PNG]     (with PNG, the chart of step 10 is saved there)
"""

import sys

from modrin import LogModrin, Modrin

U = Modrin.unit


def show(label, value):
    print(f"  {label:<38} {value}")


print("modrin:", ", ".join(__import__("modrin").__all__))

print("\n1. Quantities from unit expressions, constants and custom units")
thrust = U("lbf") * 9.5  # a motor rated in pound-force
mass = U("g") * 410
rail = U("ft") * 6
g = Modrin.constant("earth gravity")
smoot = Modrin.custom("smoot", "smt", U("m") * 1.7018)
show("thrust", thrust)
show("mass", mass)
show("launch rail", rail)
show("earth gravity (a constant)", g)
show("a custom unit: 1 smoot in metres", smoot.as_unit("m"))

print("\n2. Arithmetic across units, converted as needed")
weight = mass * g
net_force = thrust - weight  # pound-force minus gram-metre-per-second-squared: converted
show("weight", weight.as_unit("N"))
show("net force (in the left operand's unit)", net_force)
accel = net_force / mass
show("acceleration, as computed", accel)
show("acceleration in m/s2", accel.as_unit("m/s2"))
show("acceleration in g", accel.as_number(g, scale=True))
speed = (2 * accel * rail) ** 0.5
show("speed off the rail", speed.as_unit("m/s"))
show("speed off the rail, in km/hr", speed.as_unit("km/hr"))
energy = mass * speed**2 / 2
show("kinetic energy", energy.as_unit("J"))
show("in base units", energy.as_base_units())

print("\n3. Simplification cancels what only cancels itself")
show("kg * J / (N * m)", U("kg") * U("J") / (U("N") * U("m")))
show("m2 / km", U("m2") / U("km"))
show("hr / s", U("hr") / U("s"))

print("\n4. Temperatures keep their zero points")
casing = U("degree Celsius") * 85
show("casing temperature", casing)
show("in kelvin", casing.as_unit("K"))
show("in degrees Fahrenheit", casing.as_unit("degree Fahrenheit"))

print("\n5. Rounding, to places and to significant figures")
show("speed, 3 significant figures", speed.as_unit("m/s").round_sfig(3))
show("energy, 1 decimal place", round(energy.as_unit("J"), 1))

print("\n6. Three renderings")
k = Modrin.constant("stefan-boltzmann")
show("plain", k)
show("descriptive", k.descriptive())
show("LaTeX", k.latex())

print("\n7. Logarithmic ratios")
loudness = LogModrin.unit("dB") * 120  # 120 decibels above the reference
show("sound level", loudness)
show("as a power ratio", f"{float(loudness):.6g}")
show("in bels", loudness.as_unit(LogModrin.unit("B")))
show("a reference power times the ratio", (U("pW") * loudness).as_unit("W"))

print("\n8. Mistakes are errors, not wrong answers")
for attempt in (lambda: rail + mass, lambda: U("m/sec"), lambda: speed.as_unit("N")):
    try:
        attempt()
    except (TypeError, LookupError) as exc:
        show(type(exc).__name__, exc)

print("\n9. Arrays: a flight profile, at NumPy's speed")
import numpy as np  # noqa: E402  (only the array part needs NumPy)

from modrin_array import ModrinArray  # noqa: E402

t = ModrinArray(np.linspace(0.0, 2.0, 5), "s")
v = t * accel  # a Modrin times an array: every element in the units the scalar algebra gives
altitude = 0.5 * accel * t**2
show("times", t)
show("speed, as computed", v)
show("speed in km/hr", v.as_unit("km/hr"))
show("altitude in ft", altitude.as_unit("ft"))
show("above the rail?", altitude > rail)
show("mean speed", v.mean().as_unit("m/s"))
show("one element is a Modrin", altitude[-1])
try:
    np.asarray(altitude)
except TypeError as exc:
    show("a unit is never dropped", exc)

print("\n10. Plotting: Matplotlib labels each axis with its units")
import matplotlib  # noqa: E402

matplotlib.use("Agg")  # draws into memory or a file, no window
import matplotlib.pyplot as plt  # noqa: E402

from modrin_array import matplotlib_support  # noqa: E402

loaded = mass + U("g") * 150  # the same motor lifting a 150 g payload
loaded_accel = (thrust - loaded * g) / loaded
times = ModrinArray(np.linspace(0.0, 2.0, 41), "s")
with matplotlib_support():
    fig, ax = plt.subplots(figsize=(6.4, 4.0), dpi=100)
    ax.plot(times, (0.5 * accel * times**2).as_unit("ft"), label="as built, in s and ft")
    ax.plot(times.as_unit("ms"), (0.5 * loaded_accel * times**2).as_unit("m"),
            label="with a 150 g payload, in ms and m")
    ax.axhline(rail, color="grey", linestyle=":", label="top of the launch rail")
    ax.set_xlim(U("ms") * 0, U("s") * 2)
    ax.set_title("Altitude in the first two seconds")
    ax.legend()
    fig.canvas.draw()
    show("axis labels", (ax.xaxis.get_label().get_text(), ax.yaxis.get_label().get_text()))
    show("payload's last point, in s and ft", ax.lines[1].get_xydata()[-1])
    try:
        ax.plot(times, v.as_unit("m/s"))
    except TypeError as exc:
        show("a speed on an axis of heights", exc)
    if len(sys.argv) > 1:
        fig.savefig(sys.argv[1])
        show("chart saved to", sys.argv[1])
    plt.close(fig)

print("\n11. Labelled and lazy: xarray keeps the units, Dask computes them block by block")
import dask.array as da  # noqa: E402
import xarray as xr  # noqa: E402

heights = xr.DataArray(
    ModrinArray(np.stack([(0.5 * accel * times**2).as_number("m"),
                          (0.5 * loaded_accel * times**2).as_number("m")]), "m"),
    dims=("payload", "t"), coords={"payload": ["none", "150 g"], "t": times.as_number("s")})
show("highest in two seconds, in ft", heights.max("t").data.as_unit("ft"))
show("mean height in the first second", heights.sel(t=slice(0.0, 1.0)).mean("t").data)
# A million motors whose thrust scatters by 5%: planned at once, computed when asked.
scatter = ModrinArray(da.random.default_rng(7).normal(1.0, 0.05, 10**6, chunks=10**5))
speeds = ((thrust * scatter - mass * g) / mass * U("s") * 2).as_unit("km/hr")
show("speeds after 2 s, not yet computed", speeds.unit)
show("their mean and spread", (speeds.mean().compute(), np.std(speeds).compute()))
