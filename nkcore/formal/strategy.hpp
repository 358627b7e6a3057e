#pragma once
// Derivation strategies: named reasoning procedures bound to an instance.
// Registered by name; nothing looks them up yet.

#include <memory>
#include <span>
#include <string_view>
#include <typeinfo>

#include "nkcore/utils/error.hpp"

namespace nkcore {

class InstanceContext;
using InstanceWeak = std::weak_ptr<InstanceContext>;

class DynDerivationStrategyBase {
public:
    virtual ~DynDerivationStrategyBase() = default;
    virtual std::string_view name() const = 0;
};

class DynDerivationStrategy : public DynDerivationStrategyBase {
public:
    virtual const std::type_info& type() const = 0;
    // Runs the strategy over its instance (what it derives is open).
    virtual void derive() = 0;
    // The instance the strategy was made for; it never keeps it alive.
    virtual const InstanceWeak& instance() const = 0;

    template <class T>
    T* as() { return type() == typeid(T) ? static_cast<T*>(this) : nullptr; }
    template <class T>
    const T* as() const { return type() == typeid(T) ? static_cast<const T*>(this) : nullptr; }
};

// The trivial strategy: everything it knows is axiomatic, so it derives nothing.
class AxiomStrategy final : public DynDerivationStrategy {
public:
    explicit AxiomStrategy(InstanceWeak instance) : instance_(std::move(instance)) {}
    std::string_view name() const override { return "AxiomStrategy"; }
    const std::type_info& type() const override { return typeid(AxiomStrategy); }
    void derive() override {}
    const InstanceWeak& instance() const override { return instance_; }

private:
    InstanceWeak instance_;
};

using DerivationStrategyConstructor = NkResult<std::shared_ptr<DynDerivationStrategy>> (*)(InstanceWeak instance);

struct DerivationStrategyRegistration {
    std::string_view name;
    DerivationStrategyConstructor constructor;
};

// Every registered strategy, in a fixed order; read-only.
std::span<const DerivationStrategyRegistration> derivation_strategy_registry();
const DerivationStrategyRegistration* find_derivation_strategy(std::string_view name);

}  // namespace nkcore
