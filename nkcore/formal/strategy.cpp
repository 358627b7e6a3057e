#include "nkcore/formal/strategy.hpp"

#include <vector>

namespace nkcore {

namespace {

NkResult<std::shared_ptr<DynDerivationStrategy>> make_axiom_strategy(InstanceWeak instance) {
    return std::shared_ptr<DynDerivationStrategy>(std::make_shared<AxiomStrategy>(std::move(instance)));
}

}  // namespace

// A table built by hand: self-registering objects in a static library would
// be dropped by the linker when nothing else refers to their file.
std::span<const DerivationStrategyRegistration> derivation_strategy_registry() {
    static const std::vector<DerivationStrategyRegistration> registry = {
        {"AxiomStrategy", &make_axiom_strategy},
    };
    return registry;
}

const DerivationStrategyRegistration* find_derivation_strategy(std::string_view name) {
    for (const DerivationStrategyRegistration& registration : derivation_strategy_registry())
        if (registration.name == name) return &registration;
    return nullptr;
}

}  // namespace nkcore
