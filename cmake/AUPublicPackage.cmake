# The installed SDK's package: the exported framework and platform targets, the version, and
# aupublic_add_component and aupublic_add_lv2_bundle, which this tree uses too.
include(CMakePackageConfigHelpers)
include(AUPublicComponent)
set(AUPUBLIC_LV2_BRIDGE_DIR ${PROJECT_SOURCE_DIR}/lv2/bridge)
include(AUPublicLv2)

install(EXPORT AUPublicTargets NAMESPACE AUPublic:: FILE AUPublicTargets.cmake
    DESTINATION ${AUPUBLIC_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/AUPublicConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_CURRENT_LIST_DIR}/AUPublicConfig.cmake
    ${CMAKE_CURRENT_LIST_DIR}/AUPublicComponent.cmake
    ${CMAKE_CURRENT_LIST_DIR}/AUPublicLv2.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/AUPublicConfigVersion.cmake
    DESTINATION ${AUPUBLIC_PACKAGE_DIR})
# The LV2 bridge is compiled into each bundle's binary, against the author's build settings.
install(FILES
    ${AUPUBLIC_LV2_BRIDGE_DIR}/Lv2Bridge.cpp
    ${AUPUBLIC_LV2_BRIDGE_DIR}/Lv2PortLayout.h
    ${AUPUBLIC_LV2_BRIDGE_DIR}/exports.map
    DESTINATION ${AUPUBLIC_PACKAGE_DIR}/lv2-bridge)
