"""The one-line form xarray shows for a ModrinArray among a Dataset's variables."""


def inline(array, max_width):
    """The units first, so that no width cuts them off, then as many numbers as fit."""
    units = str(array.unit).split(" ", 1)[1]
    width = max(max_width - len(units) - 1, 0)
    numbers = array._numbers()
    from xarray.core import formatting

    if hasattr(numbers, "__dask_graph__"):  # lazy numbers show their blocks, never computed
        return f"{units} {formatting.inline_dask_repr(numbers)}"
    return f"{units} {formatting.format_array_flat(numbers, width)}"
