#pragma once
// What an instance keeps for every loaded module and each of its functions.

#include <memory>
#include <shared_mutex>
#include <vector>

#include "nkcore/nkcore.hpp"
#include "nkcore/theorems/library.hpp"
#include "nkcore/utils/sharded_map.hpp"
#include "nkcore/utils/slot_map.hpp"
#include "nkinstr/modules/flow.hpp"
#include "nkinstr/modules/module.hpp"

namespace nkcore {

// A function attached to a loaded one by later reasoning passes. Nothing
// creates one yet; the containers are reserved for those passes.
struct AttachedFunction {
    std::shared_ptr<nkinstr::Function> function;
    SlotMap<nkinstr::Uuid> bound_functions;
    SlotMap<nkinstr::Typeref> bound_types;
    std::map<nkinstr::Name, nkinstr::Name> register_map;
    std::map<nkinstr::Label, nkinstr::Label> label_map;
    std::map<nkinstr::Uuid, nkinstr::Uuid> function_map;
};

class FunctionContext {
public:
    FunctionContext(std::shared_ptr<nkinstr::Function> function, nkinstr::FunctionAnalysis analysis)
        : function_(std::move(function)), analysis_(std::move(analysis)) {}

    const std::shared_ptr<nkinstr::Function>& function() const { return function_; }
    const nkinstr::FunctionAnalysis& analysis() const { return analysis_; }

    std::size_t attached_count() const {
        std::shared_lock guard(attached_lock_);
        return attached_.size();
    }

private:
    std::shared_ptr<nkinstr::Function> function_;
    nkinstr::FunctionAnalysis analysis_;
    mutable std::shared_mutex attached_lock_;
    std::vector<AttachedFunction> attached_;
};

using FunctionMap = ShardedMap<nkinstr::Uuid, std::shared_ptr<const FunctionContext>, nkinstr::UuidHash>;

class ModuleContext {
public:
    ModuleContext(InstanceWeak instance, nkinstr::Uuid uuid, nkinstr::Module module,
                  std::unique_ptr<TheoremLibrary> theorems, std::unique_ptr<FunctionMap> functions)
        : instance_(std::move(instance)),
          uuid_(uuid),
          module_(std::move(module)),
          theorems_(std::move(theorems)),
          functions_(std::move(functions)) {}

    ModuleKey key() const { return key_; }
    const InstanceWeak& instance() const { return instance_; }
    const nkinstr::Uuid& uuid() const { return uuid_; }
    const nkinstr::Module& module() const { return module_; }
    const TheoremLibrary& theorems() const { return *theorems_; }
    TheoremLibrary& theorems() { return *theorems_; }
    const FunctionMap& functions() const { return *functions_; }

private:
    friend class InstanceContext;  // sets the key once, while inserting under the table lock

    ModuleKey key_;
    InstanceWeak instance_;
    nkinstr::Uuid uuid_;
    nkinstr::Module module_;
    std::unique_ptr<TheoremLibrary> theorems_;
    std::unique_ptr<FunctionMap> functions_;
};

}  // namespace nkcore
