#pragma once
// A module: the functions it defines and the external functions it declares.

#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "nkinstr/modules/function.hpp"

namespace nkinstr {

struct Module {
    std::map<Uuid, std::shared_ptr<Function>> functions;
    std::map<Uuid, ExternalFunction> external_functions;

    // The first function (external: external function) in UUID order with that name.
    std::optional<FunctionPointer> find_function_uuid_by_name(std::string_view name, bool external) const;

    // Function::verify then verify_func for each function in UUID order.
    Status verify() const;
    // Internal/External function pointers in instruction operands must resolve.
    Status verify_func(const Function& function) const;
    // Rewrites every type reference; each function must be held only by this module.
    void remap_types(const TypeMap& map);

    // Structural equality (functions compared by value).
    friend bool operator==(const Module& a, const Module& b);
};

}  // namespace nkinstr
