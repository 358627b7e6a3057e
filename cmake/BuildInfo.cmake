# Records what this build is (version, features, target, profile, version control)
# as a blob compiled into nkcore; the engine decodes it once per process.

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
  OUTPUT_VARIABLE NK_TARGET_TRIPLE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT NK_TARGET_TRIPLE)
  set(NK_TARGET_TRIPLE "${CMAKE_SYSTEM_PROCESSOR}-unknown-${CMAKE_SYSTEM_NAME}")
endif()
string(TOLOWER "${CMAKE_BUILD_TYPE}" NK_PROFILE)
if(NK_PROFILE STREQUAL "relwithdebinfo" OR NK_PROFILE STREQUAL "minsizerel")
  set(NK_PROFILE "release")
endif()
if(NOT NK_PROFILE)
  set(NK_PROFILE "debug")
endif()
if(NK_PROFILE STREQUAL "release")
  set(NK_OPT_LEVEL 3)
else()
  set(NK_OPT_LEVEL 0)
endif()
math(EXPR NK_POINTER_WIDTH "${CMAKE_SIZEOF_VOID_P} * 8")
string(TIMESTAMP NK_BUILD_TIMESTAMP "%Y-%m-%dT%H:%M:%SZ" UTC)

set(NK_VCS_LINES "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${PROJECT_SOURCE_DIR}/.git")
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse HEAD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE NK_GIT_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE NK_GIT_RC)
  if(NK_GIT_RC EQUAL 0 AND NK_GIT_COMMIT)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE NK_GIT_SHORT OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%cI WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE NK_GIT_TIME OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} status --porcelain --untracked-files=no WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE NK_GIT_STATUS OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} symbolic-ref --short -q HEAD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE NK_GIT_BRANCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} tag --points-at HEAD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE NK_GIT_TAGS OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(REPLACE "\n" "," NK_GIT_TAGS "${NK_GIT_TAGS}")
    if(NK_GIT_STATUS)
      set(NK_GIT_DIRTY 1)
    else()
      set(NK_GIT_DIRTY 0)
    endif()
    set(NK_VCS_LINES "vcs.commit=${NK_GIT_COMMIT}\nvcs.short=${NK_GIT_SHORT}\nvcs.timestamp=${NK_GIT_TIME}\nvcs.dirty=${NK_GIT_DIRTY}\nvcs.branch=${NK_GIT_BRANCH}\nvcs.tags=${NK_GIT_TAGS}\n")
  endif()
endif()

set(NK_FEATURES "default,ext_all,ext_nklog")
if(NK_BUILD_PYTHON)
  set(NK_FEATURES "${NK_FEATURES},python")
endif()
if(CMAKE_CXX_BYTE_ORDER STREQUAL "BIG_ENDIAN")
  set(NK_ENDIAN "big")
else()
  set(NK_ENDIAN "little")
endif()

set(NK_BUILD_INFO_TEXT
"timestamp=${NK_BUILD_TIMESTAMP}
profile=${NK_PROFILE}
opt_level=${NK_OPT_LEVEL}
package.name=nkcore
package.version=${PROJECT_VERSION}
package.authors=The Nimbrask developers
package.license=
package.features=${NK_FEATURES}
package.available_features=default,ext_all,ext_nklog,python
package.dependencies=zstd
target.triple=${NK_TARGET_TRIPLE}
target.family=unix
target.os=${CMAKE_SYSTEM_NAME}
target.arch=${CMAKE_SYSTEM_PROCESSOR}
target.pointer_width=${NK_POINTER_WIDTH}
target.endian=${NK_ENDIAN}
target.features=
compiler.version=${CMAKE_CXX_COMPILER_VERSION}
compiler.id=${CMAKE_CXX_COMPILER_ID}
compiler.host=${NK_TARGET_TRIPLE}
${NK_VCS_LINES}")

# Emit the text as a byte array so no escaping of its content is needed.
string(HEX "${NK_BUILD_INFO_TEXT}" NK_BUILD_INFO_HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," NK_BUILD_INFO_BYTES "${NK_BUILD_INFO_HEX}")
string(LENGTH "${NK_BUILD_INFO_TEXT}" NK_BUILD_INFO_SIZE)
set(NK_BUILD_INFO_SOURCE ${CMAKE_BINARY_DIR}/generated/build_info_blob.cpp)
file(CONFIGURE OUTPUT ${NK_BUILD_INFO_SOURCE} CONTENT
"// Generated at configure time: the stored build description.
#include <cstddef>
namespace nkcore::build_blob {
extern const unsigned char data[] = {${NK_BUILD_INFO_BYTES}};
extern const std::size_t size = ${NK_BUILD_INFO_SIZE};
}
")
