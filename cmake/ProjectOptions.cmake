# Build-wide options: warnings, sanitizers, ccache, and the helpers every
# module uses to declare its libraries and tests.

option(ORVELLA_BUILD_BENCHMARKS "Build the benchmarks in bench/" ON)
set(ORVELLA_SANITIZE "" CACHE STRING
    "Sanitizers to build with: empty, 'address,undefined' or 'thread'")

find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
    set(CMAKE_C_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
endif()

add_compile_options(-Wall -Wextra -Wpedantic)

# lld links the big test programs three to four times faster than the default
# linker, and those links are what the end of every build waits for.
find_program(ORVELLA_LLD ld.lld)
if(ORVELLA_LLD)
    add_link_options(-fuse-ld=lld)
endif()

# The dynamic loader looks every exported symbol up by its name as a program
# starts, reading the symbol and string tables of each library it searches;
# with C++ those tables are mostly inline members and template instances that
# no other library calls. Hidden inlines take them out of the tables, and
# binding a library's calls to its own functions when it is linked saves the
# lookups for the rest: together about 5 MiB less resident as the client starts.
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
add_link_options("$<$<IN_LIST:$<TARGET_PROPERTY:TYPE>,SHARED_LIBRARY;MODULE_LIBRARY>:LINKER:-Bsymbolic-functions>")

# Debug sections are most of a sanitizer build's size on disk; compressed, the
# two test builds fit on a small CI disk, and the symbolizers read them as is.
add_compile_options(-gz)
add_link_options(-gz)

# g++ 12's optimiser reports std::string concatenation (-Wrestrict, GCC bug
# 105329) and moves through std::variant (-Wmaybe-uninitialized) where the code
# is correct; both flood optimised builds with noise that hides real warnings.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>
                        $<$<NOT:$<CONFIG:Debug>>:-Wno-maybe-uninitialized>)
endif()

if(ORVELLA_SANITIZE)
    add_compile_options(-fsanitize=${ORVELLA_SANITIZE} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${ORVELLA_SANITIZE})
    if(ORVELLA_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
        # The null and alignment checks instrument every member access and
        # together nearly double the build on disk; a null dereference still
        # ends with a stack under AddressSanitizer, and x86 forgives alignment.
        add_compile_options(-fno-sanitize=alignment,null)
        add_link_options(-fno-sanitize=alignment,null)
    endif()
endif()

# orvella_add_tests(<Module> SOURCES ... LIBRARIES ...)
# One GoogleTest executable per module, registered with CTest one case at a
# time and labelled with the module name so CI can pick modules by label.
include(GoogleTest)
function(orvella_add_tests module)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
    set(target ${module}Tests)
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    gtest_discover_tests(${target}
        PROPERTIES LABELS ${module} TIMEOUT ${ARG_TIMEOUT}
        DISCOVERY_TIMEOUT 60)
endfunction()

# orvella_embed_sql(<variable> <folder> <name.inc> <what>)
# Compiles every .sql file of <folder> into <name.inc> below the current
# binary folder (one raw string per file, in file-name order: the run order)
# and sets <variable> to its path, for a source to #include.
function(orvella_embed_sql variable folder name what)
    file(GLOB sql CONFIGURE_DEPENDS ${folder}/*.sql)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/Generated/${name})
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} "-DOUTPUT=${output}" "-DSOURCES=${sql}"
                -P ${PROJECT_SOURCE_DIR}/Platform/Database/EmbedSql.cmake
        DEPENDS ${sql} ${PROJECT_SOURCE_DIR}/Platform/Database/EmbedSql.cmake
        COMMENT "Embedding ${what}"
        VERBATIM)
    set(${variable} ${output} PARENT_SCOPE)
endfunction()
