# Build rules shared by the deliverables, their test builds and the tests.

# Every source is built for both architectures, each in a tree of its own;
# a test's name ends in the architecture it runs on.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
    set(ORVALIS_ARCH x86)
else()
    set(ORVALIS_ARCH x64)
endif()

# Warnings as errors, no exceptions or RTTI, no build paths in the objects,
# and every frame with an array or an address-taken local guarded. The guard's
# runtime half is ours (orvalis_stack_guard), so the flag stays off the link
# line, where it would pull in the toolchain's libssp.
function(orvalis_product_options target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:C,CXX>:-Os -Wall -Wextra -Werror -fstack-protector-strong
            -ffile-prefix-map=${CMAKE_SOURCE_DIR}=src -ffile-prefix-map=${CMAKE_BINARY_DIR}=build>
        $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/shared)
endfunction()

# A shipped file: standalone (no libgcc, libstdc++ or winpthread DLLs),
# stripped, byte-reproducible (no link timestamp, and no image base derived
# from the output path), and with every header bit a security review asks
# for: on i686 NO_SEH, since nothing in the image registers an exception
# handler (DYNAMIC_BASE, NX_COMPAT and, on x64, HIGH_ENTROPY_VA are the
# linker's defaults); on programs TERMINAL_SERVER_AWARE.
function(orvalis_deliverable target)
    orvalis_product_options(${target})
    target_link_libraries(${target} PRIVATE orvalis_stack_guard)
    target_link_options(${target} PRIVATE -static -s -Wl,--no-insert-timestamp
        -Wl,--disable-auto-image-base)
    if(ORVALIS_ARCH STREQUAL "x86")
        target_link_options(${target} PRIVATE -Wl,--no-seh)
    endif()
    get_target_property(kind ${target} TYPE)
    if(kind STREQUAL "EXECUTABLE")
        target_link_options(${target} PRIVATE -Wl,--tsaware)
    endif()
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        RUNTIME_OUTPUT_DIRECTORY ${ORVALIS_DIST_DIR}
        LIBRARY_OUTPUT_DIRECTORY ${ORVALIS_DIST_DIR})
endfunction()

# A launcher: a deliverable whose C runtime start-up leaves the x87 control
# word at the 0x027F Windows gives a new process (the runtime's own reset sets
# 0x037F, 64-bit precision); the host runs on the launcher's thread and
# inherits it.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=CRT_fp8.o
    OUTPUT_VARIABLE ORVALIS_CRT_FP8 OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT EXISTS "${ORVALIS_CRT_FP8}")
    message(FATAL_ERROR "The compiler has no CRT_fp8.o")
endif()
function(orvalis_launcher target)
    orvalis_deliverable(${target})
    target_link_libraries(${target} PRIVATE ${ORVALIS_CRT_FP8})
endfunction()

# The manifest that TARGET embeds names its own architecture. The committed
# manifest is the shipped i686 one; the x64 tree embeds a copy made for amd64,
# which the resource script takes from X64Manifest.h under _WIN64.
function(orvalis_manifest target manifest)
    set_property(SOURCE ${ARGN} APPEND PROPERTY OBJECT_DEPENDS ${manifest})
    if(NOT ORVALIS_ARCH STREQUAL "x64")
        return()
    endif()
    get_filename_component(name ${manifest} NAME)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/manifest-${target})
    file(READ ${manifest} text)
    string(REGEX REPLACE "processorArchitecture=\"[xX]86\"" "processorArchitecture=\"amd64\"" text "${text}")
    file(CONFIGURE OUTPUT ${dir}/${name} CONTENT "${text}" @ONLY)
    file(CONFIGURE OUTPUT ${dir}/X64Manifest.h
        CONTENT "#define ORVALIS_MANIFEST \"${dir}/${name}\"\n" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest})
    target_include_directories(${target} PRIVATE ${dir})
    set_property(SOURCE ${ARGN} APPEND PROPERTY OBJECT_DEPENDS ${dir}/${name} ${dir}/X64Manifest.h)
endfunction()

# A component: one unit of product code, compiled once as an object library.
# The deliverables and OrvalisCheck link components by name, and a file's
# objects follow the order of its link list. With the tests on, each
# component has a seamed twin, NAME_seamed: the same sources compiled with the
# seam's hooks forced in, as a static library that brings the twins of the
# components it USES. A NO_SEAM component makes no hooked call and has no
# twin: tests link it as it ships.
#   orvalis_component(NAME [NO_SEAM] SOURCES ... [USES COMPONENT ...] [LIBS ...])
function(orvalis_component name)
    cmake_parse_arguments(C "NO_SEAM" "" "SOURCES;USES;LIBS" ${ARGN})
    add_library(${name} OBJECT ${C_SOURCES})
    orvalis_product_options(${name})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/shared ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${C_LIBS})
    if(NOT ORVALIS_TESTS OR C_NO_SEAM)
        return()
    endif()
    add_library(${name}_seamed STATIC ${C_SOURCES})
    orvalis_product_options(${name}_seamed)
    target_compile_options(${name}_seamed PRIVATE -include ${CMAKE_SOURCE_DIR}/tests/seam/SeamHooks.h)
    target_include_directories(${name}_seamed PUBLIC ${CMAKE_SOURCE_DIR}/shared ${CMAKE_CURRENT_SOURCE_DIR})
    list(TRANSFORM C_USES APPEND _seamed)
    target_link_libraries(${name}_seamed PUBLIC ${C_USES} ${C_LIBS} orvalis_seam orvalis_stack_guard)
endfunction()

# A test of this tree's architecture: NAME.x86 or NAME.x64, where NAME names
# the subject and the layer. Everything run under Wine shares the run's one
# prefix and display, so such tests hold one lock and `ctest -j` never runs
# two of them at once.
function(orvalis_add_test name)
    cmake_parse_arguments(T "HOST" "" "COMMAND;PROPERTIES" ${ARGN})
    if(NOT name MATCHES "^[a-z0-9_]+_(unit|end_to_end|release)_test$")
        message(FATAL_ERROR "Test ${name}: a test is named SUBJECT_unit_test, "
            "SUBJECT_end_to_end_test or SUBJECT_release_test")
    endif()
    add_test(NAME ${name}.${ORVALIS_ARCH} COMMAND ${T_COMMAND})
    if(NOT T_HOST)
        set_tests_properties(${name}.${ORVALIS_ARCH} PROPERTIES RESOURCE_LOCK wine_prefix)
    endif()
    if(T_PROPERTIES)
        set_tests_properties(${name}.${ORVALIS_ARCH} PROPERTIES ${T_PROPERTIES})
    endif()
endfunction()

# A GoogleTest program run under Wine by CTest. Unit tests (the default)
# get the seam's main, which checks for leaks after every test; pass PLAIN
# for programs that drive the real binaries from outside.
function(orvalis_test name)
    cmake_parse_arguments(T "PLAIN" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/shared ${CMAKE_SOURCE_DIR}/tests/support)
    if(T_PLAIN)
        target_link_libraries(${name} PRIVATE ${T_LIBS} orvalis_test_support gtest_main gtest)
    else()
        target_link_libraries(${name} PRIVATE ${T_LIBS} orvalis_seam_main orvalis_test_support gtest)
    endif()
    target_compile_options(${name} PRIVATE -Wall -Wextra -Werror)
    target_link_options(${name} PRIVATE -static)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    orvalis_add_test(${name} COMMAND ${name} PROPERTIES ${T_PROPERTIES})
endfunction()

# Each product source is named in one target's list (seamed twins aside, which
# the component makes from the same list): a file listed twice would be
# compiled twice, and the copies could drift apart. Called once, after every
# folder is read.
function(orvalis_check_sources_named_once)
    set(owned "")
    set(dirs ${CMAKE_SOURCE_DIR})
    while(dirs)
        list(POP_FRONT dirs dir)
        get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
        list(APPEND dirs ${subdirs})
        get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target ${targets})
            get_target_property(sources ${target} SOURCES)
            if(target MATCHES "_seamed$" OR NOT sources)
                continue()
            endif()
            foreach(source ${sources})
                get_filename_component(path ${source} ABSOLUTE BASE_DIR ${dir})
                file(RELATIVE_PATH path ${CMAKE_SOURCE_DIR} ${path})
                if(NOT path MATCHES "^(shared|OrvalisOpen|Tidewell|OrvalisCheck)/")
                    continue()
                endif()
                list(FIND owned ${path} at)
                if(NOT at EQUAL -1)
                    math(EXPR at "${at} + 1")
                    list(GET owned ${at} first)
                    message(FATAL_ERROR "${path} is listed by ${first} and by ${target}: "
                        "link the component that builds it instead")
                endif()
                list(APPEND owned ${path} ${target})
            endforeach()
        endforeach()
    endwhile()
endfunction()
