# aupublic_add_component(<target> SOURCES <file>... ENTRY <symbol>
#     TYPE <code> SUBTYPE <code> MANUFACTURER <code> NAME <text> VERSION <number>
#     [DESTINATION <dir>])
#
# Builds a component library that exports its entry and nothing else, writes its registration
# file beside it, and generates <target>Component.h, which holds the same identity for the
# sources and for hosts. The unit reports VERSION unless it overrides Version(). With
# DESTINATION, the library and its registration file are installed there together.
include_guard(GLOBAL)

# A four-character code, the way the registry stores it.
function(_aupublic_check_code target key value)
    string(LENGTH "${value}" length)
    if(NOT length EQUAL 4 OR NOT value MATCHES "^[ -~]+$")
        message(FATAL_ERROR
            "aupublic_add_component(${target}): ${key} must be four printable ASCII characters, "
            "not '${value}'")
    endif()
endfunction()

# The version as a number the registration file and the header both take: decimal and 0x-hex.
function(_aupublic_version target version out_decimal out_hex)
    if(NOT version MATCHES "^(0[xX][0-9a-fA-F]+|[0-9]+)$")
        message(FATAL_ERROR "aupublic_add_component(${target}): VERSION '${version}' is not a number")
    endif()
    math(EXPR decimal "${version}" OUTPUT_FORMAT DECIMAL)
    if(decimal GREATER 4294967295)
        message(FATAL_ERROR "aupublic_add_component(${target}): VERSION ${version} exceeds 32 bits")
    endif()
    math(EXPR hex "${decimal}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${hex}" 2 -1 digits)
    string(LENGTH "${digits}" length)
    math(EXPR padding "8 - ${length}")
    string(REPEAT "0" ${padding} zeros)
    set(${out_decimal} ${decimal} PARENT_SCOPE)
    set(${out_hex} "0x${zeros}${digits}u" PARENT_SCOPE)
endfunction()

function(_aupublic_escape_xml text out)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(REPLACE ">" "&gt;" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(_aupublic_escape_cxx text out)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(aupublic_add_component target)
    set(one_value ENTRY TYPE SUBTYPE MANUFACTURER NAME VERSION DESTINATION)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "${one_value}" "SOURCES")
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR
            "aupublic_add_component(${target}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    foreach(key SOURCES ENTRY TYPE SUBTYPE MANUFACTURER NAME VERSION)
        if("${ARG_${key}}" STREQUAL "")
            message(FATAL_ERROR "aupublic_add_component(${target}): ${key} is required")
        endif()
    endforeach()
    if(NOT ARG_ENTRY MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
        message(FATAL_ERROR
            "aupublic_add_component(${target}): ENTRY '${ARG_ENTRY}' is not a C identifier")
    endif()
    foreach(key TYPE SUBTYPE MANUFACTURER)
        _aupublic_check_code(${target} ${key} "${ARG_${key}}")
    endforeach()
    _aupublic_version(${target} "${ARG_VERSION}" version_decimal version_hex)

    set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}-component)
    _aupublic_write_identity(${target} ${generated} ${version_hex})
    _aupublic_write_registration(${target} ${generated} ${version_decimal})

    # Hidden visibility keeps the unit's own symbols in; the version script does the same for
    # what the static framework brings; -z defs leaves nothing for the loader to resolve.
    set(map ${generated}/${target}.map)
    file(CONFIGURE OUTPUT ${map} CONTENT "{\n    global: ${ARG_ENTRY};\n    local: *;\n};\n")
    add_library(${target} MODULE ${ARG_SOURCES})
    set_target_properties(${target} PROPERTIES PREFIX "" LINK_DEPENDS ${map}
        CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${target} PUBLIC ${generated})
    target_compile_definitions(${target} PRIVATE AUPUBLIC_COMPONENT_VERSION=${version_hex})
    target_link_libraries(${target} PRIVATE AUPublic::Framework)
    target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,-z,defs)
    # What aupublic_add_lv2_bundle describes the component with.
    set_target_properties(${target} PROPERTIES AUPUBLIC_COMPONENT_NAME "${ARG_NAME}"
        AUPUBLIC_COMPONENT_TYPE "${ARG_TYPE}" AUPUBLIC_COMPONENT_VERSION ${version_decimal})

    # Beside the library, in the build tree as once installed: a host finds the pair by the
    # library's path.
    file(GENERATE OUTPUT $<TARGET_FILE_DIR:${target}>/${target}.plist
        INPUT ${generated}/${target}.plist)
    if(ARG_DESTINATION)
        install(TARGETS ${target} LIBRARY DESTINATION ${ARG_DESTINATION})
        install(FILES ${generated}/${target}.plist DESTINATION ${ARG_DESTINATION})
    endif()
endfunction()

function(_aupublic_write_identity target dir version_hex)
    foreach(key TYPE SUBTYPE MANUFACTURER NAME ENTRY)
        _aupublic_escape_cxx("${ARG_${key}}" cxx_${key})
    endforeach()
    file(CONFIGURE OUTPUT ${dir}/${target}Component.h @ONLY CONTENT [[
// Generated by aupublic_add_component: the identity the component is registered with.
#pragma once

#include <cstdint>

namespace @target@Component {
inline constexpr char kType[] = "@cxx_TYPE@";
inline constexpr char kSubtype[] = "@cxx_SUBTYPE@";
inline constexpr char kManufacturer[] = "@cxx_MANUFACTURER@";
inline constexpr char kName[] = "@cxx_NAME@";
inline constexpr char kEntry[] = "@cxx_ENTRY@";
inline constexpr std::uint32_t kVersion = @version_hex@;
} // namespace @target@Component
]])
endfunction()

function(_aupublic_write_registration target dir version_decimal)
    foreach(key TYPE SUBTYPE MANUFACTURER NAME)
        _aupublic_escape_xml("${ARG_${key}}" xml_${key})
    endforeach()
    file(CONFIGURE OUTPUT ${dir}/${target}.plist @ONLY CONTENT [[
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>name</key>
	<string>@xml_NAME@</string>
	<key>type</key>
	<string>@xml_TYPE@</string>
	<key>subtype</key>
	<string>@xml_SUBTYPE@</string>
	<key>manufacturer</key>
	<string>@xml_MANUFACTURER@</string>
	<key>version</key>
	<integer>@version_decimal@</integer>
	<key>entry</key>
	<string>@ARG_ENTRY@</string>
</dict>
</plist>
]])
endfunction()
