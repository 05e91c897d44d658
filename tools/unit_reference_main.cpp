// Writes the unit reference to standard output; `./dev docs` stores it as docs/units.md.
#include <cstdio>
#include <string>

#include "unit_reference.hpp"

int main() {
    const std::string text = modrin::unit_reference();
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
}
