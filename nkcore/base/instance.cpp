#include "nkcore/base/instance.hpp"

#include <cstdint>
#include <mutex>

#include <fmt/format.h>

namespace nkcore {

namespace {

constexpr std::string_view kLogModule = "nkcore::base";

semver::Version to_semver(const VersionInfo& v) {
    semver::Version version;
    version.major = v.major;
    version.minor = v.minor;
    version.patch = v.patch;
    return version;
}

std::string version_text(const semver::Version& v) { return fmt::format("{}.{}.{}", v.major, v.minor, v.patch); }

void discard_record(const InstanceContext&, LogMessageEXT) {}

}  // namespace

std::string engine_display_name(const nkinstr::Function& function) {
    return function.name ? *function.name : "@" + function.uuid.to_string();
}

InstanceContext::InstanceContext(const ApplicationInfo& app, std::uint32_t node_id, semver::Version engine_version)
    : sink_(&discard_record),
      type_registry_(nkinstr::TypeRegistry::for_node(node_id)),
      engine_version_(std::move(engine_version)),
      application_name_(app.application_name),
      application_version_(to_semver(app.application_version)),
      engine_name_(app.engine_name),
      application_engine_version_(to_semver(app.engine_version)),
      node_id_(node_id),
      module_uuid_clock_(static_cast<std::uint16_t>(nkinstr::random_u64())),
      module_uuid_node_(nkinstr::node_bytes_from_id(node_id)) {}

NkResult<InstanceRef> InstanceContext::create(InstanceCreateInfo info) {
    auto build = build_info();
    if (!build.ok()) return nkinstr::fail(std::move(build).error());
    const BuildInfo& build_record = *build.value();

    // Every failure below releases `instance`, whose destructor tears down
    // whatever extensions were constructed so far.
    InstanceRef instance(new InstanceContext(info.application_info, info.node_id, build_record.package.version));
    NK_TRY(instance->construct_extensions(info.enabled_extensions, info.ext));
    NK_TRY(instance->attach_and_initialize(instance));
    instance->log_creation(info.enabled_extensions, build_record);
    // Records in `ext` that no extension took are dropped with `info`.
    return instance;
}

NkStatus InstanceContext::construct_extensions(const std::vector<std::string>& names, OpaqueList& ext) {
    for (const std::string& name : names) {
        const PluginRegistration* registration = find_plugin(name);
        if (!registration) return nkinstr::fail(NkError(nkerrors::PluginNotFound{name}));
        auto plugin = registration->constructor(ext);
        if (!plugin.ok()) return nkinstr::fail(std::move(plugin).error());
        nkinstr::Uuid uuid = plugin.value()->uuid();
        // The same extension named twice: the later one replaces the earlier,
        // which is destroyed without teardown (it was never attached).
        extensions_[uuid] = std::move(plugin).value();
    }
    return {};
}

NkStatus InstanceContext::attach_and_initialize(const InstanceRef& self) {
    for (auto& [uuid, plugin] : extensions_) plugin->attach_to(InstanceWeak(self));
    for (auto& [uuid, plugin] : extensions_) NK_TRY(plugin->initialize());
    return {};
}

void InstanceContext::log_creation(const std::vector<std::string>& enabled_extensions, const BuildInfo& build) const {
    NK_LOG(*this, Trace, kLogModule, "Instance created successfully at {}", address_text());
    NK_LOG(*this, Info, kLogModule, "Application '{}' v{} using engine '{}' v{} (node ID: {})", application_name_,
           version_text(application_version_), engine_name_, version_text(application_engine_version_), node_id_);
    NK_LOG(*this, Info, kLogModule, "Loaded {} extensions: {}", extensions_.size(), quoted_list(enabled_extensions));
    NK_LOG(*this, Info, kLogModule, "{}", build_version_line(build));
    NK_LOG(*this, Info, kLogModule, "{}", build_commit_line(build));
}

InstanceContext::~InstanceContext() {
    NK_LOG(*this, Trace, kLogModule, "Tearing down InstanceContext at {}", address_text());
    // Greatest UUID first: the reverse of attaching and initialising. Each
    // extension leaves the map before its teardown, so a sink looking it up
    // from then on finds nothing.
    while (!extensions_.empty()) {
        auto last = std::prev(extensions_.end());
        std::unique_ptr<DynPluginEXT> plugin = std::move(last->second);
        extensions_.erase(last);
        plugin->teardown();
    }
}

void InstanceContext::emit(LogMessageEXT record) const {
    std::shared_lock guard(sink_lock_);
    sink_(*this, std::move(record));
}

void InstanceContext::install_log_sink(LogSinkFn sink) {
    std::unique_lock guard(sink_lock_);
    sink_ = sink ? sink : &discard_record;
}

nkinstr::Uuid InstanceContext::next_module_uuid() {
    return nkinstr::Uuid::new_v6(module_uuid_clock_.next(), module_uuid_node_);
}

std::string InstanceContext::address_text() const {
    return fmt::format("{:#x}", reinterpret_cast<std::uintptr_t>(this));
}

std::shared_ptr<const ModuleContext> InstanceContext::module(ModuleKey key) const {
    std::shared_lock guard(modules_lock_);
    const auto* found = modules_.get(SlotKey{key.index, key.version});
    return found ? *found : nullptr;
}

std::size_t InstanceContext::module_count() const {
    std::shared_lock guard(modules_lock_);
    return modules_.size();
}

ModuleKey InstanceContext::insert_module(std::shared_ptr<ModuleContext> module) {
    ModuleContext& context = *module;
    std::unique_lock guard(modules_lock_);
    SlotKey key = modules_.insert(std::move(module));
    // Set before the lock is released: nobody can see the module before that.
    context.key_ = ModuleKey{key.index, key.version};
    return context.key_;
}

}  // namespace nkcore

namespace nkcore {

NkResult<InstanceRef> create_instance(InstanceCreateInfo info) { return InstanceContext::create(std::move(info)); }

}  // namespace nkcore
