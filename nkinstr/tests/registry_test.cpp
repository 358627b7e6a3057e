#include <gtest/gtest.h>

#include "nkinstr/types/registry.hpp"

using namespace nkinstr;

TEST(Registry, InternsEqualTypesOnce) {
    TypeRegistry reg;
    Typeref i32 = reg.intern(IType{32});
    AnyType s = StructType{{i32, i32}, false};
    Typeref a = reg.search_or_insert(s);
    Typeref b = reg.search_or_insert(s);
    EXPECT_EQ(a, b);
    EXPECT_EQ(reg.len(), 2u);
    EXPECT_NE(reg.search_or_insert(StructType{{i32, i32}, true}), a);
    EXPECT_EQ(reg.type_text(a), "{i32, i32}");
}
