#pragma once
// The IR library's diagnostic logging facade: levels, targets and one global
// maximum level. Nothing is emitted unless a host installs a sink and raises
// the level (the default is Off).

#include <atomic>
#include <string_view>

namespace nkinstr::log {

enum class Level : int { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

using Sink = void (*)(Level level, std::string_view target, std::string_view message);

void set_max_level(Level level);
Level max_level();
void set_sink(Sink sink);

inline bool enabled(Level level);
void write(Level level, std::string_view target, std::string_view message);

namespace detail {
extern std::atomic<int> g_max_level;
}
inline bool enabled(Level level) {
    return static_cast<int>(level) <= detail::g_max_level.load(std::memory_order_relaxed);
}

}  // namespace nkinstr::log
