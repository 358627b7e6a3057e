// Feeds arbitrary bytes to the container reader and, when they decode, loads
// the module into an instance (merge, remap, verify, type-check, analyse).
#include <cstddef>
#include <cstdint>
#include <span>

#include "nkcore/nkcore.hpp"

namespace {
nkcore::InstanceRef make_instance() {
    nkcore::InstanceCreateInfo info;
    info.application_info.application_name = "fuzz";
    info.application_info.engine_name = "nimbrask";
    auto instance = nkcore::create_instance(std::move(info));
    if (!instance.ok()) __builtin_trap();
    return std::move(instance).value();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static nkcore::InstanceRef instance = make_instance();
    (void)nkcore::load_module(instance, std::span<const std::uint8_t>(data, size));
    return 0;
}
