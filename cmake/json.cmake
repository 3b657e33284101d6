# nlohmann/json, header-only. A toolchain that carries its own package (MSYS2 on
# Windows, a cross sysroot) provides it through find_package; the cross
# toolchain file limits that search to the MinGW-w64 root, so the host's copy
# can never be picked up there by mistake.
find_package(nlohmann_json 3 CONFIG QUIET)
add_library(pellox_json INTERFACE)
if(nlohmann_json_FOUND)
    target_link_libraries(pellox_json INTERFACE nlohmann_json::nlohmann_json)
    return()
endif()

# Otherwise Debian's nlohmann-json3-dev. The cross build must not see
# /usr/include (glibc's headers would shadow MinGW's), so it gets a copy of just
# the nlohmann headers inside the build tree.
find_path(PELLOX_JSON_INCLUDE nlohmann/json.hpp
    PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)

if(CMAKE_CROSSCOMPILING)
    set(staged ${CMAKE_BINARY_DIR}/staged-include)
    file(COPY ${PELLOX_JSON_INCLUDE}/nlohmann DESTINATION ${staged})
    target_include_directories(pellox_json SYSTEM INTERFACE ${staged})
else()
    target_include_directories(pellox_json SYSTEM INTERFACE ${PELLOX_JSON_INCLUDE})
endif()
