#include "nkinstr/modules/module.hpp"

namespace nkinstr {

std::optional<FunctionPointer> Module::find_function_uuid_by_name(std::string_view name, bool external) const {
    if (external) {
        for (const auto& [uuid, f] : external_functions)
            if (f.name == name) return FunctionPointer{FunctionPointer::Kind::External, uuid};
    } else {
        for (const auto& [uuid, f] : functions)
            if (f->name && *f->name == name) return FunctionPointer{FunctionPointer::Kind::Internal, uuid};
    }
    return std::nullopt;
}

bool operator==(const Module& a, const Module& b) {
    if (a.external_functions != b.external_functions || a.functions.size() != b.functions.size()) return false;
    auto it = b.functions.begin();
    for (const auto& [uuid, f] : a.functions) {
        if (uuid != it->first || !f != !it->second) return false;
        if (f && !(*f == *it->second)) return false;
        ++it;
    }
    return true;
}

}  // namespace nkinstr
