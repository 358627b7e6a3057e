#pragma once
// The registry of loaders that turn Python extension create-info objects into
// opaque engine objects, selected by the object's qualified type name. Entries
// are added by static registration while the module is loaded and only read
// afterwards.

#include "nkpi_sys/pyref.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "nkcore/utils/opaque.hpp"

namespace nkpi_sys {

// Reads one Python object; nullptr with a Python exception set on failure.
using OpaqueLoader = std::unique_ptr<nkcore::OpaqueObject> (*)(PyObject* object);

struct OpaqueLoaderEntry {
    std::string type_name;
    OpaqueLoader loader;
};

class PyOpaqueObjectLoadersRegistry {
public:
    static PyOpaqueObjectLoadersRegistry& instance();

    void add(std::string type_name, OpaqueLoader loader);
    const std::vector<OpaqueLoaderEntry>& entries() const { return entries_; }

private:
    std::vector<OpaqueLoaderEntry> entries_;
};

// Static registration: `const OpaqueLoaderRegistration reg{"pkg.Type", &load};`
struct OpaqueLoaderRegistration {
    OpaqueLoaderRegistration(const char* type_name, OpaqueLoader loader) {
        PyOpaqueObjectLoadersRegistry::instance().add(type_name, loader);
    }
};

// "module.QualName" of the object's type ("QualName" alone for builtins and
// __main__); empty with a Python exception set on failure.
std::optional<std::string> qualified_type_name(PyObject* object);

// Reads one element of an `ext` list with the loader registered for its type.
// No loader: prints "No loader registered for type '{}'. Possible types are: [...]"
// to standard output and raises TypeError with the same text.
std::unique_ptr<nkcore::OpaqueObject> load_opaque_object(PyObject* object);

}  // namespace nkpi_sys
