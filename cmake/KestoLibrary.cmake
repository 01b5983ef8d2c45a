# One static library per source folder, each exposing only its own folder's headers.
#
# A library's headers are linked into ${KESTO_INCLUDE_ROOT}/<library>/<folder>/, and that folder
# is the library's only include directory. A source file therefore finds another folder's headers
# only through a library it links, and only when that library passes its headers on (PUBLIC): an
# include that runs up the layers, or past a PRIVATE dependency, does not compile. A folder's ui/
# subfolder is a library of its own and is left out of its parent's headers.

set(KESTO_SOURCE_ROOT ${CMAKE_SOURCE_DIR}/src)
set(KESTO_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/include)

# kesto_expose_headers(TARGET): links the current folder's headers (without ui/) under the
# target's include root, as the sources name them (folder/Header.h).
function(kesto_expose_headers target)
    file(RELATIVE_PATH folder ${KESTO_SOURCE_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *.h)
    list(FILTER headers EXCLUDE REGEX "^ui/")
    set(root ${KESTO_INCLUDE_ROOT}/${target})
    file(REMOVE_RECURSE ${root})
    foreach(header ${headers})
        set(link ${root}/${folder}/${header})
        get_filename_component(linkFolder ${link} DIRECTORY)
        file(MAKE_DIRECTORY ${linkFolder})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${link} SYMBOLIC COPY_ON_ERROR)
    endforeach()
endfunction()

# kesto_add_library(NAME [QT] [SOURCES...]): the current folder's static library. QT runs moc
# and compiles with the precompiled Qt headers.
function(kesto_add_library name)
    cmake_parse_arguments(ARG "QT" "" "SOURCES" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES} ${ARG_UNPARSED_ARGUMENTS})
    kesto_expose_headers(${name})
    target_include_directories(${name} PUBLIC ${KESTO_INCLUDE_ROOT}/${name})
    target_link_libraries(${name} PRIVATE kesto_warnings)
    if(ARG_QT)
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
        kesto_precompile(${name} QT)
    endif()
endfunction()
