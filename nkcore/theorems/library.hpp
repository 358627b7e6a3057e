#pragma once
// The theorem library every loaded module carries. Nothing fills or reads it
// yet; its shape is fixed so that reasoning passes can be added later.

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "nkcore/utils/sharded_map.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkcore {

// Indexes that speed up applying a theorem: the functions it depends on, the
// theorems that build on it, and where each function sits in the first list.
struct TheoremAccelerationStructures {
    std::vector<nkinstr::Uuid> dependencies;
    std::vector<nkinstr::Uuid> dependents;
    std::map<nkinstr::Uuid, std::size_t> dependency_index;
};

struct Theorem {
    std::optional<std::string> name;
    std::vector<nkinstr::Uuid> functions;             // the functions the theorem speaks about
    std::map<std::string, std::string> assumptions;  // keyed by assumption name
    std::map<std::string, std::string> conclusions;  // keyed by conclusion name
    std::optional<TheoremAccelerationStructures> acceleration;
};

using TheoremKey = nkinstr::Uuid;

// A concurrent map of theorems; usable from several threads without an outer lock.
class TheoremLibrary {
public:
    // An empty library (the constructor spelled as an operation).
    static std::unique_ptr<TheoremLibrary> create() { return std::make_unique<TheoremLibrary>(); }

    bool insert(TheoremKey key, std::shared_ptr<const Theorem> theorem) {
        return theorems_.insert(key, std::move(theorem));
    }
    std::shared_ptr<const Theorem> find(const TheoremKey& key) const {
        return theorems_.find(key).value_or(nullptr);
    }
    std::size_t size() const { return theorems_.size(); }
    bool empty() const { return theorems_.empty(); }

private:
    ShardedMap<TheoremKey, std::shared_ptr<const Theorem>, nkinstr::UuidHash> theorems_;
};

}  // namespace nkcore
