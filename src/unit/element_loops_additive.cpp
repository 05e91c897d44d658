// Sums and differences of elements, in a file of their own: the operators' instantiations take most
// of the loops' compile time, and apart they build in parallel.
#include "unit/element_kernels.hpp"

namespace modrin::loops {

template void operate_as<Op::add, false>(const OperationPlan &, std::size_t, Input, Input, Output);
template void operate_as<Op::sub, false>(const OperationPlan &, std::size_t, Input, Input, Output);
template void operate_as<Op::sub, true>(const OperationPlan &, std::size_t, Input, Input, Output);

}  // namespace modrin::loops
