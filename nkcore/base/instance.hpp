#pragma once
// One running engine instance: its loaded modules, the type registry they
// share, its extensions, the application that created it and its log sink.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>

#include "nkcore/base/api.hpp"
#include "nkcore/base/build_info.hpp"
#include "nkcore/base/module_context.hpp"
#include "nkcore/ext/log_record.hpp"
#include "nkcore/ext/plugin.hpp"
#include "nkcore/nkcore.hpp"
#include "nkcore/utils/semver.hpp"
#include "nkcore/utils/slot_map.hpp"
#include "nkinstr/types/registry.hpp"
#include "nkinstr/utils/uuid.hpp"

namespace nkcore {

// Where an instance's records go. A plain function: the sink finds whatever
// state it needs through the instance it is given.
using LogSinkFn = void (*)(const InstanceContext& instance, LogMessageEXT record);

class InstanceContext final : public LogTarget {
public:
    static NkResult<InstanceRef> create(InstanceCreateInfo info);

    // Teardown: the "Tearing down" record, then the extensions in descending UUID order.
    ~InstanceContext() override;
    InstanceContext(const InstanceContext&) = delete;
    InstanceContext& operator=(const InstanceContext&) = delete;

    // Delivers through the sink, holding the sink lock shared for the delivery.
    // Callers must hold no other engine lock: a sink may run foreign code.
    void emit(LogMessageEXT record) const override;
    // Replaces the sink; waits for running deliveries.
    void install_log_sink(LogSinkFn sink);

    // Verifies, type-checks and analyses `module`, then stores it under a new key.
    static NkResult<ModuleKey> add_module(const InstanceRef& instance, nkinstr::Module module);

    // The loaded module under `key`, or null.
    std::shared_ptr<const ModuleContext> module(ModuleKey key) const;
    std::size_t module_count() const;

    // The extension stored under `uuid` when it is a T. Extensions change only
    // in creation and teardown, when nobody else holds the instance.
    template <class T>
    const T* find_extension(const nkinstr::Uuid& uuid) const {
        auto it = extensions_.find(uuid);
        return it == extensions_.end() ? nullptr : it->second->as<T>();
    }
    std::size_t extension_count() const { return extensions_.size(); }

    nkinstr::TypeRegistry& type_registry() { return type_registry_; }
    const nkinstr::TypeRegistry& type_registry() const { return type_registry_; }
    const semver::Version& engine_version() const { return engine_version_; }
    const std::string& application_name() const { return application_name_; }
    const semver::Version& application_version() const { return application_version_; }
    const std::string& engine_name() const { return engine_name_; }
    const semver::Version& application_engine_version() const { return application_engine_version_; }
    std::uint32_t node_id() const { return node_id_; }

    // A version-6 UUID from this instance's own clock sequence and node.
    nkinstr::Uuid next_module_uuid();

    // "0x" and the object's address in lowercase hexadecimal.
    std::string address_text() const;

private:
    InstanceContext(const ApplicationInfo& app, std::uint32_t node_id, semver::Version engine_version);

    NkStatus construct_extensions(const std::vector<std::string>& names, OpaqueList& ext);
    NkStatus attach_and_initialize(const InstanceRef& self);
    void log_creation(const std::vector<std::string>& enabled_extensions, const BuildInfo& build) const;
    ModuleKey insert_module(std::shared_ptr<ModuleContext> module);

    mutable std::shared_mutex modules_lock_;
    SlotMap<std::shared_ptr<ModuleContext>> modules_;

    mutable std::shared_mutex sink_lock_;
    LogSinkFn sink_;

    nkinstr::TypeRegistry type_registry_;
    semver::Version engine_version_;
    std::string application_name_;
    semver::Version application_version_;
    std::string engine_name_;
    semver::Version application_engine_version_;
    std::uint32_t node_id_;
    std::map<nkinstr::Uuid, std::unique_ptr<DynPluginEXT>> extensions_;
    nkinstr::UuidClock module_uuid_clock_;
    std::array<std::uint8_t, 6> module_uuid_node_;
};

// The name of a function in engine messages: its name, or "@" and its UUID.
std::string engine_display_name(const nkinstr::Function& function);

}  // namespace nkcore
