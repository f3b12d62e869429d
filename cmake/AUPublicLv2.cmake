# aupublic_add_lv2_bundle(<component target> URI <prefix>
#     [BUNDLE <name>] [CLASS <lv2 class>] [LICENSE <uri>])
#
# Wraps a component made by aupublic_add_component as an LV2 bundle holding a mono and a stereo
# plug-in, <prefix>:mono and <prefix>:stereo. The bundle carries the bridge binary, the component
# with its registration file and the platform library, so it works wherever it is copied. Its
# manifest and description are generated at build time from the unit's own parameter info; a unit
# a host could not trust fails the build there. BUNDLE names the folder and the binary (default:
# the target in lower case, '_' as '-'); CLASS defaults from the component type (none for an effect:
# name its kind, lv2:ModulatorPlugin, lv2:FilterPlugin…); LICENSE is the
# doap:license URI (default <prefix>:license, the author's own terms).
#
# Targets: <target>_lv2 (the bridge binary) and <target>_lv2_bundle (everything). In the build
# tree the bundle is <binary dir>/lib/lv2/<bundle>.lv2; installed, lib/lv2/<bundle>.lv2 under the
# prefix, as the install component "lv2".
include_guard(GLOBAL)

# Where the bridge's sources are: beside this file once installed; the source tree sets it first.
if(NOT DEFINED AUPUBLIC_LV2_BRIDGE_DIR)
    set(AUPUBLIC_LV2_BRIDGE_DIR ${CMAKE_CURRENT_LIST_DIR}/lv2-bridge)
endif()
set(AUPUBLIC_LV2_BRIDGE_DIR ${AUPUBLIC_LV2_BRIDGE_DIR} CACHE INTERNAL "")

function(_aupublic_lv2_class type out)
    # LV2 has no class for effects in general: an effect is a plain plug-in unless CLASS says
    # what kind it is.
    set(class "")
    if(type STREQUAL "aumx")
        set(class lv2:MixerPlugin)
    elseif(type STREQUAL "augn")
        set(class lv2:GeneratorPlugin)
    elseif(type STREQUAL "aumu")
        set(class lv2:InstrumentPlugin)
    endif()
    set(${out} "${class}" PARENT_SCOPE)
endfunction()

function(_aupublic_lv2_headers)
    if(NOT TARGET PkgConfig::AUPUBLIC_LV2)
        find_package(PkgConfig REQUIRED)
        pkg_check_modules(AUPUBLIC_LV2 REQUIRED IMPORTED_TARGET GLOBAL lv2)
    endif()
endfunction()

function(aupublic_add_lv2_bundle target)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "" "URI;BUNDLE;CLASS;LICENSE" "")
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR
            "aupublic_add_lv2_bundle(${target}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT ARG_URI MATCHES "^[A-Za-z][A-Za-z0-9+.-]*:[^ <>\"{}|\\^`]+$")
        message(FATAL_ERROR "aupublic_add_lv2_bundle(${target}): URI '${ARG_URI}' is not a URI")
    endif()
    if(TARGET ${target})
        get_target_property(name ${target} AUPUBLIC_COMPONENT_NAME)
    endif()
    if(NOT TARGET ${target} OR NOT name)
        message(FATAL_ERROR "aupublic_add_lv2_bundle(${target}): ${target} is not a component "
            "made by aupublic_add_component")
    endif()
    get_target_property(type ${target} AUPUBLIC_COMPONENT_TYPE)
    get_target_property(version ${target} AUPUBLIC_COMPONENT_VERSION)
    if(NOT ARG_BUNDLE)
        string(TOLOWER "${target}" ARG_BUNDLE)
        string(REPLACE "_" "-" ARG_BUNDLE "${ARG_BUNDLE}")
    endif()
    if(NOT DEFINED ARG_CLASS)
        _aupublic_lv2_class("${type}" ARG_CLASS)
    endif()
    if(NOT ARG_LICENSE)
        set(ARG_LICENSE "${ARG_URI}:license")
    endif()
    _aupublic_lv2_headers()

    set(install_dir lib/lv2/${ARG_BUNDLE}.lv2)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${install_dir})
    set(bridge ${target}_lv2)
    set(map ${AUPUBLIC_LV2_BRIDGE_DIR}/exports.map)
    add_library(${bridge} MODULE ${AUPUBLIC_LV2_BRIDGE_DIR}/Lv2Bridge.cpp)
    # The bundle's libraries find each other beside themselves, wherever the bundle lies.
    set_target_properties(${bridge} PROPERTIES PREFIX "" OUTPUT_NAME ${ARG_BUNDLE}
        LIBRARY_OUTPUT_DIRECTORY ${dir} BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN"
        LINK_DEPENDS ${map} CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_compile_definitions(${bridge} PRIVATE
        AUPUBLIC_LV2_COMPONENT_FILE="$<TARGET_FILE_NAME:${target}>"
        AUPUBLIC_LV2_URI_PREFIX="${ARG_URI}")
    target_include_directories(${bridge} PRIVATE ${AUPUBLIC_LV2_BRIDGE_DIR})
    target_link_libraries(${bridge} PRIVATE AUPublic::Hosting PkgConfig::AUPUBLIC_LV2)
    # Only lv2_descriptor leaves the binary; nothing is left for the loader to resolve.
    target_link_options(${bridge} PRIVATE -Wl,--version-script=${map} -Wl,-z,defs)

    # A stamp stands for the copies: their names are known only when the build is generated.
    set(registration $<TARGET_FILE_DIR:${target}>/${target}.plist)
    set(component_copy ${dir}/$<TARGET_FILE_NAME:${target}>)
    set(registration_copy ${dir}/${target}.plist)
    set(platform_copy ${dir}/$<TARGET_FILE_NAME:AUPublic::Platform>)
    set(copied ${CMAKE_CURRENT_BINARY_DIR}/${target}_lv2_copied.stamp)
    add_custom_command(OUTPUT ${copied}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:AUPublic::Platform>
                $<TARGET_FILE:${target}> ${registration} ${dir}
        COMMAND ${CMAKE_COMMAND} -E touch ${copied}
        DEPENDS ${target} $<TARGET_FILE:${target}> $<TARGET_FILE:AUPublic::Platform>
        COMMENT "Copying ${target} and the platform library into ${ARG_BUNDLE}.lv2")

    set(manifest ${dir}/manifest.ttl)
    set(description ${dir}/${ARG_BUNDLE}.ttl)
    add_custom_command(OUTPUT ${manifest} ${description}
        COMMAND AUPublic::DescribeLv2 ${target} ${component_copy} ${registration_copy}
                ${ARG_URI} $<TARGET_FILE_NAME:${bridge}> ${name} ${version} "${ARG_CLASS}"
                ${ARG_LICENSE} ${dir}
        DEPENDS AUPublic::DescribeLv2 ${copied}
        COMMENT "Describing ${ARG_BUNDLE}.lv2 from the unit's parameter info" VERBATIM)
    add_custom_target(${target}_lv2_bundle ALL DEPENDS ${bridge} ${manifest} ${description})

    install(TARGETS ${bridge} ${target} LIBRARY DESTINATION ${install_dir} COMPONENT lv2)
    install(FILES ${manifest} ${description} ${registration_copy} ${platform_copy}
        DESTINATION ${install_dir} COMPONENT lv2)
    # The platform library travels as a copied file, which a stripping install leaves alone.
    get_filename_component(platform_name ${platform_copy} NAME)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${install_dir}/${platform_name}\")
    endif()" COMPONENT lv2)
endfunction()
