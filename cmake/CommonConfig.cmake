# One interface target carries the language level, the warnings and the
# sanitizer flags, so every library and test is built the same way.
add_library(tw_common INTERFACE)
target_compile_features(tw_common INTERFACE cxx_std_20)
target_compile_options(tw_common INTERFACE -Wall -Wextra -Wpedantic -Wshadow=local
                                           -Wnon-virtual-dtor)
target_compile_definitions(tw_common INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII
                                               QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
target_include_directories(tw_common INTERFACE ${PROJECT_SOURCE_DIR}/src)

option(TW_WERROR "Treat warnings as errors (CI)" OFF)
if(TW_WERROR)
    target_compile_options(tw_common INTERFACE -Werror)
endif()

option(TW_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(TW_SANITIZE)
    target_compile_options(tw_common INTERFACE -fsanitize=address,undefined
                                               -fno-sanitize-recover=undefined
                                               -fno-omit-frame-pointer)
    target_link_options(tw_common INTERFACE -fsanitize=address,undefined)
endif()

option(AdminPasswordEnabled "Build with the administrator password" OFF)
if(AdminPasswordEnabled)
    target_compile_definitions(tw_common INTERFACE TW_ADMIN_PASSWORD_ENABLED=1)
else()
    target_compile_definitions(tw_common INTERFACE TW_ADMIN_PASSWORD_ENABLED=0)
endif()

# Seconds a unit test program may run, with room for a machine under full load.
set(TW_UNIT_TEST_TIMEOUT 120)

# Registers one GoogleTest program with CTest. Tests never see the real home
# folder: each gets a temporary HOME and XDG folders from the test runner.
function(tw_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} tw_testsupport GTest::gtest_main tw_common)
    # Where the build puts the template databases and skins, for tests that seed a data folder.
    target_compile_definitions(${name} PRIVATE TW_BUILD_BIN_DIR="${CMAKE_BINARY_DIR}/bin/")
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-temp-home.sh $<TARGET_FILE:${name}>)
    # A unit test that hangs ends long before the runner's default of 600 s.
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=disabled:"
        LABELS "${ARG_LABELS}" TIMEOUT ${TW_UNIT_TEST_TIMEOUT})
endfunction()
