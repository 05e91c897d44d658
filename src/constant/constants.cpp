#include "constant/constants.hpp"

namespace modrin {

const ConstantDef *search_for_constant_name(std::string_view text) {
    for (const ConstantAlias &a : CONSTANT_ALIASES) {
        if (a.alias == text) {
            text = a.canonical;
            break;
        }
    }
    for (const ConstantDef &row : CONSTANTS)
        if (row.name == text) return &row;
    return nullptr;
}

}  // namespace modrin
