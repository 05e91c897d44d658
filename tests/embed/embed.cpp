// An application that embeds the interpreter twice in one process, using modrin each time:
// the classes must belong to the interpreter that made them, not outlive it.
#include <Python.h>

#include <cstdio>

namespace {

const char *const USE = R"(
from modrin import Modrin, LogModrin
q = (Modrin.unit("km") * 3).as_unit("m")
assert str(q) == "3000 [m]", str(q)
assert str(LogModrin.unit("dB") * 2) == "2 [dB]"
try:
    Modrin.unit("m") + Modrin.unit("s")
except TypeError as e:
    assert str(e) == "[m] and [s] are not compatible"
import gc
gc.collect()
)";

}  // namespace

int main() {
    for (int round = 1; round <= 2; ++round) {
        Py_Initialize();
        if (PyRun_SimpleString(USE) != 0) {
            std::fprintf(stderr, "embedding round %d failed\n", round);
            return 1;
        }
        if (Py_FinalizeEx() < 0) return 2;
    }
    std::puts("embedded twice");
    return 0;
}
