# The installed SDK's package: the exported framework and platform targets, the version, and
# aupublic_add_component, which this tree uses too.
include(CMakePackageConfigHelpers)
include(AUPublicComponent)

install(EXPORT AUPublicTargets NAMESPACE AUPublic:: FILE AUPublicTargets.cmake
    DESTINATION ${AUPUBLIC_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/AUPublicConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_CURRENT_LIST_DIR}/AUPublicConfig.cmake
    ${CMAKE_CURRENT_LIST_DIR}/AUPublicComponent.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/AUPublicConfigVersion.cmake
    DESTINATION ${AUPUBLIC_PACKAGE_DIR})
