# GoogleTest compiled inside this build, with its flags, for a target the packaged libraries
# were not built for (the 32-bit build). Defines the same GTest:: targets as find_package(GTest).
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${QUENZAL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
