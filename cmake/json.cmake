# nlohmann/json from Debian's nlohmann-json3-dev. The cross build must not see
# /usr/include (glibc's headers would shadow MinGW's), so it gets a copy of just
# the nlohmann headers inside the build tree.
find_path(PELLOX_JSON_INCLUDE nlohmann/json.hpp
    PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)

add_library(pellox_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
    set(staged ${CMAKE_BINARY_DIR}/staged-include)
    file(COPY ${PELLOX_JSON_INCLUDE}/nlohmann DESTINATION ${staged})
    target_include_directories(pellox_json SYSTEM INTERFACE ${staged})
else()
    target_include_directories(pellox_json SYSTEM INTERFACE ${PELLOX_JSON_INCLUDE})
endif()
