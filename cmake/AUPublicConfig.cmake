# find_package(AUPublic CONFIG): AUPublic::Framework (headers and static library, linking the
# platform), AUPublic::Platform, and aupublic_add_component.
include(CMakeFindDependencyMacro)
find_dependency(Threads)
include(${CMAKE_CURRENT_LIST_DIR}/AUPublicTargets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/AUPublicComponent.cmake)
