#pragma once
// Reading IR assembly text into a module.

#include <string_view>

#include "nkinstr/modules/module.hpp"
#include "nkinstr/types/registry.hpp"
#include "nkinstr/utils/error.hpp"

namespace nkinstr {

// Lexes and parses `source`, resolves function references, normalises and adds
// the new functions to `module`, then verifies the module. A failure before the
// functions are inserted leaves the module unchanged; types interned into
// `registry` stay whatever the outcome.
Status extend_module_from_string(Module& module, TypeRegistry& registry, std::string_view source);

}  // namespace nkinstr
