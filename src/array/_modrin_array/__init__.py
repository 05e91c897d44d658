"""The parts of modrin_array written in Python, each imported on first use: the array API
namespace (namespace), the Matplotlib converter (plot) and arrays whose numbers are a Dask
array (lazy). Not a public interface: use modrin_array."""
