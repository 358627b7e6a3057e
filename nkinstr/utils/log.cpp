#include "nkinstr/utils/log.hpp"

namespace nkinstr::log {

namespace detail {
std::atomic<int> g_max_level{static_cast<int>(Level::Off)};
}

namespace {
std::atomic<Sink> g_sink{nullptr};
}

void set_max_level(Level level) { detail::g_max_level.store(static_cast<int>(level)); }
Level max_level() { return static_cast<Level>(detail::g_max_level.load()); }
void set_sink(Sink sink) { g_sink.store(sink); }

void write(Level level, std::string_view target, std::string_view message) {
    if (!enabled(level)) return;
    if (Sink sink = g_sink.load()) sink(level, target, message);
}

}  // namespace nkinstr::log
