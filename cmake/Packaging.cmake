# Two Debian packages from one install tree: harwendel-quenzal (the host, the component and the LV2
# bundle) and harwendel-aupublic-dev (the framework for plug-in authors). Install rules name the
# component "runtime" or "sdk"; rules that name none take the default their folder sets.
include(GNUInstallDirs)

set(QUENZAL_PACKAGE_CONTACT "Harwendel_Quenzal developers <developers@harwendel.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")

# Each package carries its own copyright and changelog, as Debian asks of every package.
set(packaging ${CMAKE_CURRENT_LIST_DIR}/../packaging)
set(staged ${CMAKE_CURRENT_BINARY_DIR}/packaging)
configure_file(${packaging}/changelog.in ${staged}/changelog @ONLY)
# -n keeps the build time out of the archive, so that rebuilds are byte-identical.
add_custom_command(OUTPUT ${staged}/changelog.gz ${staged}/quenzal.1.gz
                          ${staged}/aupublic-describe-lv2.1.gz
    COMMAND gzip -9nc ${staged}/changelog > ${staged}/changelog.gz
    COMMAND gzip -9nc ${packaging}/quenzal.1 > ${staged}/quenzal.1.gz
    COMMAND gzip -9nc ${packaging}/aupublic-describe-lv2.1 > ${staged}/aupublic-describe-lv2.1.gz
    DEPENDS ${staged}/changelog ${packaging}/quenzal.1 ${packaging}/aupublic-describe-lv2.1)
add_custom_target(package_docs ALL DEPENDS ${staged}/changelog.gz ${staged}/quenzal.1.gz
                                           ${staged}/aupublic-describe-lv2.1.gz)

function(quenzal_install_package_docs component package)
    install(FILES ${packaging}/copyright ${staged}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endfunction()
quenzal_install_package_docs(runtime harwendel-quenzal)
quenzal_install_package_docs(sdk harwendel-aupublic-dev)
install(FILES ${staged}/quenzal.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
install(FILES ${staged}/aupublic-describe-lv2.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT sdk)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUENZAL_PACKAGE_CONTACT}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime lv2 sdk)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_QUENZAL_PACKAGE_NAME harwendel-quenzal)
# The first line of a description is the package's synopsis.
set(CPACK_DEBIAN_QUENZAL_DESCRIPTION [[loudspeaker-cabinet voicing plug-in
Voices audio as if it were played through one of five loudspeaker cabinets,
with a volume trim. Ships the plug-in component, an LV2 bundle with a mono
and a stereo plug-in for any LV2 host, and quenzal, a command-line host that
voices audio files, measures the models and validates components.]])
# The platform library lies in a folder the loader caches, so the cache is renewed on install.
set(CPACK_DEBIAN_QUENZAL_PACKAGE_CONTROL_EXTRA ${packaging}/triggers)

set(CPACK_DEBIAN_SDK_PACKAGE_NAME harwendel-aupublic-dev)
set(CPACK_DEBIAN_SDK_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_SDK_DESCRIPTION [[plug-in framework for building audio-unit components
Headers, static libraries and the CMake package (find_package(AUPublic)) for
writing audio-unit plug-in components and LV2 bundles against the framework
and the platform layer that harwendel-quenzal ships.]])
# The headers and the exported targets refer to the platform library, which the runtime owns.
set(CPACK_DEBIAN_SDK_PACKAGE_DEPENDS "harwendel-quenzal (= ${PROJECT_VERSION})")

include(CPack)
cpack_add_component_group(quenzal)
cpack_add_component_group(sdk)
cpack_add_component(runtime GROUP quenzal)
cpack_add_component(lv2 GROUP quenzal)
cpack_add_component(sdk GROUP sdk)
