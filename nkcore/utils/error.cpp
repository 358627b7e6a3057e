#include "nkcore/utils/error.hpp"

#include <fmt/format.h>

#include "nkinstr/utils/overloaded.hpp"

namespace nkcore {

std::string NkError::message() const {
    using namespace nkerrors;
    return std::visit(nkinstr::Overloaded{
                          [](const Io& e) { return "I/O error: " + e.cause; },
                          [](const ManifestParse& e) {
                              return fmt::format("Failed to parse manifest file '{}': {}", e.path, e.error);
                          },
                          [](const Unknown& e) { return "An unknown error occurred: " + e.message; },
                          [](const PluginNotFound& e) { return fmt::format("Plugin with name '{}' not found", e.name); },
                          [](const Utf8& e) { return "UTF-8 conversion error: " + e.error; },
                          [](const Ir& e) { return e.error.message(); },
                          [](const NotFound& e) { return fmt::format("Failed to find {} with key '{}'", e.kind, e.key); },
                          [](const Duplicated& e) { return fmt::format("Duplicated {} with key '{}'", e.kind, e.key); },
                      },
                      v_);
}

}  // namespace nkcore
