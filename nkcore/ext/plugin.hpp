#pragma once
// Extensions: optional engine features an instance enables by name. Each
// extension type has a registration (name, description, UUID, constructor);
// the registry is a fixed table, complete before the first instance exists.

#include <memory>
#include <span>
#include <string_view>
#include <typeinfo>

#include "nkcore/utils/error.hpp"
#include "nkcore/utils/opaque.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkcore {

class InstanceContext;
using InstanceWeak = std::weak_ptr<InstanceContext>;

// The behaviour of an extension over its instance's life.
class PluginEXT {
public:
    virtual ~PluginEXT() = default;
    // Once, before `initialize`; the reference can be upgraded from `initialize` on.
    virtual void attach_to(InstanceWeak instance) = 0;
    // Once, after every extension of the instance is attached.
    virtual NkStatus initialize() = 0;
    // Once, when the instance goes (or a creation fails after construction).
    virtual void teardown() = 0;
};

// The object form through which an instance holds any extension.
class DynPluginEXT : public PluginEXT {
public:
    virtual const std::type_info& type() const = 0;
    virtual nkinstr::Uuid uuid() const = 0;
    virtual std::string_view name() const = 0;
    virtual std::string_view description() const = 0;

    // The object as its concrete type, or null when it is another type.
    template <class T>
    T* as() { return type() == typeid(T) ? static_cast<T*>(this) : nullptr; }
    template <class T>
    const T* as() const { return type() == typeid(T) ? static_cast<const T*>(this) : nullptr; }
};

// An extension type with constant identity. `Derived` provides
//   static constexpr std::string_view kName, kDescription;
//   static nkinstr::Uuid static_uuid();
//   static std::unique_ptr<Derived> create(OpaqueList& ext);   // the `new` step, cannot fail
template <class Derived>
class StaticPluginEXT : public DynPluginEXT {
public:
    const std::type_info& type() const final { return typeid(Derived); }
    nkinstr::Uuid uuid() const final { return Derived::static_uuid(); }
    std::string_view name() const final { return Derived::kName; }
    std::string_view description() const final { return Derived::kDescription; }
};

using PluginConstructor = NkResult<std::unique_ptr<DynPluginEXT>> (*)(OpaqueList& ext);

struct PluginRegistration {
    std::string_view name;
    std::string_view description;
    PluginConstructor constructor;
    nkinstr::Uuid uuid;
};

// The registration of a StaticPluginEXT type.
template <class T>
PluginRegistration static_plugin_registration() {
    return PluginRegistration{
        T::kName,
        T::kDescription,
        [](OpaqueList& ext) -> NkResult<std::unique_ptr<DynPluginEXT>> { return std::unique_ptr<DynPluginEXT>(T::create(ext)); },
        T::static_uuid(),
    };
}

// Every registered extension, in a fixed order.
std::span<const PluginRegistration> plugin_registry();

// The first registration whose name equals `name` byte for byte.
const PluginRegistration* find_plugin(std::string_view name);

}  // namespace nkcore
