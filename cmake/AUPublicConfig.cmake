# find_package(AUPublic CONFIG): AUPublic::Framework (headers and static library, linking the
# platform), AUPublic::Platform, AUPublic::Hosting (what hosts of a unit build on), and the
# functions aupublic_add_component and aupublic_add_lv2_bundle.
include(CMakeFindDependencyMacro)
find_dependency(Threads)
include(${CMAKE_CURRENT_LIST_DIR}/AUPublicTargets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/AUPublicComponent.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/AUPublicLv2.cmake)
