// Feeds arbitrary bytes to the assembly reader, then (when they read) through
// the type checker, the byte encoding and back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nkinstr/encoding/encoding.hpp"
#include "nkinstr/modules/parser/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nkinstr::Module module;
    nkinstr::TypeRegistry registry;
    std::string_view source(reinterpret_cast<const char*>(data), size);
    if (!nkinstr::extend_module_from_string(module, registry, source).ok()) return 0;
    for (const auto& [uuid, function] : module.functions) (void)function->type_check(registry);
    nkinstr::VectorSink sink;
    nkinstr::encode_module(sink, module);
    nkinstr::SpanSource in(sink.bytes.data(), sink.bytes.size());
    auto decoded = nkinstr::decode_module(in);
    if (!decoded.ok() || !(decoded.value() == module)) __builtin_trap();
    return 0;
}
