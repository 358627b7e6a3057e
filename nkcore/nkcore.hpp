#pragma once
// The engine's entry points, as the Python binding uses them.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "nkcore/base/api.hpp"
#include "nkcore/utils/error.hpp"

namespace nkcore {

class InstanceContext;
using InstanceRef = std::shared_ptr<InstanceContext>;
using InstanceWeak = std::weak_ptr<InstanceContext>;

// Key of a loaded module in its instance's module table; debug text "ModuleKey(1v1)".
struct ModuleKey {
    std::uint32_t index = 0;
    std::uint32_t version = 0;
    std::string debug_string() const { return "ModuleKey(" + std::to_string(index) + "v" + std::to_string(version) + ")"; }
    friend bool operator==(const ModuleKey&, const ModuleKey&) = default;
};

NkResult<InstanceRef> create_instance(InstanceCreateInfo info);
NkResult<std::vector<std::uint8_t>> compile_sources(const InstanceContext& instance, ModuleCompileInfo info);
NkResult<ModuleKey> load_module(const InstanceRef& instance, std::span<const std::uint8_t> bytes);

// Tools: the module of a container (checked against this engine's version)
// printed back as assembly text.
NkResult<std::string> disassemble_module(std::span<const std::uint8_t> bytes);

}  // namespace nkcore
