# Client code for the Wayland protocols Sayvo speaks on its own connection,
# generated from the vendored XML at build time. wayland-scanner's output is
# C; it is third-party code, so it is built without our warning flags and its
# header comes in as a system include.
enable_language(C)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(_sayvo_scanner_from_pc wayland-scanner wayland_scanner)
if(_sayvo_scanner_from_pc)
    get_filename_component(_sayvo_scanner_dir "${_sayvo_scanner_from_pc}" DIRECTORY)
endif()
find_program(WAYLAND_SCANNER wayland-scanner HINTS "${_sayvo_scanner_dir}" REQUIRED)

set(_sayvo_protocols_dir ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
set(_sayvo_protocol_sources)
foreach(_protocol wlr-data-control-unstable-v1)
    set(_xml ${CMAKE_CURRENT_SOURCE_DIR}/third_party/wlr-protocols/${_protocol}.xml)
    set(_header ${_sayvo_protocols_dir}/${_protocol}-client-protocol.h)
    set(_code ${_sayvo_protocols_dir}/${_protocol}-protocol.c)
    add_custom_command(OUTPUT ${_header} ${_code}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_sayvo_protocols_dir}
        COMMAND ${WAYLAND_SCANNER} client-header ${_xml} ${_header}
        COMMAND ${WAYLAND_SCANNER} private-code ${_xml} ${_code}
        DEPENDS ${_xml}
        COMMENT "Generating the Wayland client code of ${_protocol}"
        VERBATIM)
    list(APPEND _sayvo_protocol_sources ${_header} ${_code})
endforeach()

add_library(sayvo_wlr_protocols STATIC ${_sayvo_protocol_sources})
target_include_directories(sayvo_wlr_protocols SYSTEM PUBLIC ${_sayvo_protocols_dir})
target_link_libraries(sayvo_wlr_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)
