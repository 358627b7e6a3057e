#include "nkinstr/modules/operand.hpp"

#include "nkinstr/types/registry.hpp"
#include "nkinstr/utils/overloaded.hpp"

namespace nkinstr {

Typeref const_typeref(const AnyConst& c, TypeRegistry& registry) {
    return std::visit(Overloaded{
                          [&](const IConst& v) { return registry.intern(PrimaryType{v.ty}); },
                          [&](const FConst& v) { return registry.intern(PrimaryType{v.ty}); },
                          [&](const FunctionPointer&) { return registry.intern(PrimaryType{PtrType{}}); },
                      },
                      c);
}

}  // namespace nkinstr
