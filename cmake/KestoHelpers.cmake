include(GoogleTest)

# Precompiled headers: the headers most files of a kind include are parsed once per build into a
# precompiled header, which the compiler loads instead of parsing them again for every file.
# Every file still includes what it uses; CMAKE_DISABLE_PRECOMPILE_HEADERS=ON builds without them
# (the asan preset does, which keeps the includes complete).
set(KESTO_PCH_STD <algorithm> <functional> <memory> <optional> <string> <string_view> <vector>)
# Qt Widgets code: the QtCore, QtGui and QtWidgets headers the windows and controls use most.
set(KESTO_PCH_QT ${KESTO_PCH_STD}
    <QApplication> <QCloseEvent> <QFile> <QFileDialog> <QFontMetrics> <QGridLayout> <QGroupBox>
    <QHBoxLayout> <QHeaderView> <QImage> <QLabel> <QLineEdit> <QMenu> <QPainter> <QPainterPath>
    <QPixmap> <QPlainTextEdit> <QPointer> <QString> <QTimer> <QTreeWidget> <QVBoxLayout> <QWidget>)
# GoogleTest tests.
set(KESTO_PCH_GTEST ${KESTO_PCH_STD} <filesystem> <sstream> <stdexcept> <gtest/gtest.h>)

# kesto_precompile(TARGET KIND)
# Compiles TARGET's files with the precompiled header of KIND: QT (Qt Widgets code and its
# tests) or GTEST (GoogleTest tests). Each header is built once, by a small object library, and
# shared by every target of its kind: gcc uses a precompiled header only with the flags it was
# built with, and those differ only where Qt comes in (it adds -fPIC), so a GoogleTest test that
# uses Qt gets the QT header. gcc says when it cannot use the header (-Winvalid-pch, an error
# with KESTO_WERROR), so a target whose flags differ in some other way never goes unnoticed.
# The Qt tests have no header of their own: one with QtTest costs as much to build as it saves.
# gcc 12 with a precompiled <string> (both kinds have it) warns about std::string(N, c) + "text"
# for a large constant N (-Warray-bounds in char_traits.h), which it does not without the
# header; + 'c' or .append("text") build the same string without the false warning.
function(kesto_precompile target kind)
    if(CMAKE_DISABLE_PRECOMPILE_HEADERS)
        return()
    endif()
    if(kind STREQUAL "GTEST")
        get_target_property(libraries ${target} LINK_LIBRARIES)
        kesto_uses_qt(qt ${libraries})
        if(qt)
            set(kind QT)
        endif()
    endif()
    if(kind STREQUAL "QT")
        set(using Qt6::Widgets)
    elseif(kind STREQUAL "GTEST")
        set(using GTest::gtest)
    else()
        message(FATAL_ERROR "kesto_precompile: unknown kind '${kind}' (QT or GTEST)")
    endif()
    string(TOLOWER kesto_pch_${kind} host)
    if(NOT TARGET ${host})
        set(source ${CMAKE_BINARY_DIR}/pch/kesto_pch_host.cpp)
        file(CONFIGURE OUTPUT ${source}
             CONTENT "// Compiled only for the precompiled header it carries.\n")
        add_library(${host} OBJECT EXCLUDE_FROM_ALL ${source})
        target_link_libraries(${host} PRIVATE ${using} kesto_warnings)
        target_precompile_headers(${host} PRIVATE ${KESTO_PCH_${kind}})
    endif()
    target_precompile_headers(${target} REUSE_FROM ${host})
endfunction()

# kesto_uses_qt(OUT LIBRARIES...)
# Sets OUT to TRUE when linking LIBRARIES passes Qt's compile flags on: one of them is a Qt
# library or passes one on through its public links.
function(kesto_uses_qt out)
    set(pending ${ARGN})
    set(seen)
    while(pending)
        list(POP_FRONT pending library)
        if(library MATCHES "^Qt6?::")
            set(${out} TRUE PARENT_SCOPE)
            return()
        endif()
        # Private links ($<LINK_ONLY:...>) pass no compile flags on and are not targets here.
        if(NOT TARGET "${library}" OR library IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${library})
        get_target_property(public ${library} INTERFACE_LINK_LIBRARIES)
        if(public)
            list(APPEND pending ${public})
        endif()
    endwhile()
    set(${out} FALSE PARENT_SCOPE)
endfunction()

# kesto_import_qt_plugins(TARGET)
# A static Qt (the Windows build's) links into a program only the plugins it names, besides the
# system's own platform: TARGET gets the offscreen platform (the tests, QT_QPA_PLATFORM=offscreen)
# and the minimal one. A shared Qt loads its plugins at run time and needs nothing.
function(kesto_import_qt_plugins target)
    if(NOT TARGET Qt6::Core)
        return()
    endif()
    get_target_property(qtType Qt6::Core TYPE)
    if(qtType STREQUAL "STATIC_LIBRARY")
        qt_import_plugins(${target}
            INCLUDE Qt6::QOffscreenIntegrationPlugin Qt6::QMinimalIntegrationPlugin)
    endif()
endfunction()

# kesto_add_qt_test(NAME SOURCES... [LIBS libs...])
# One Qt Test executable, run headless with the offscreen platform.
function(kesto_add_qt_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON
                                             RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kesto_testsupport Qt6::Test kesto_warnings)
    target_compile_definitions(${name} PRIVATE KESTO_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    kesto_precompile(${name} QT)
    kesto_import_qt_plugins(${name})
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        add_test(NAME ${name}
                 COMMAND ${CMAKE_SOURCE_DIR}/cmake/toolchains/wine-qttest $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# kesto_add_test(NAME SOURCES... [LIBS libs...])
# One GoogleTest executable per test folder, with its cases registered one by one in CTest.
function(kesto_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} kesto_testsupport GTest::gtest_main
                                          kesto_warnings)
    # Tests that run the programs find them here.
    target_compile_definitions(${name} PRIVATE KESTO_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    kesto_precompile(${name} GTEST)
    kesto_uses_qt(qt ${ARG_LIBS})
    if(qt)
        kesto_import_qt_plugins(${name})
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
