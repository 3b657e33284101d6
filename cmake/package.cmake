# The release. `cmake --install` lays out the product: the exe and its icon side
# by side in bin/, the licences at the top. `--target package` zips that layout
# as Pellox-Desktop-Tray-<version>-win64.zip in the build folder.
install(TARGETS Pellox-Desktop-Tray RUNTIME DESTINATION bin)
install(FILES assets/icon.ico DESTINATION bin)
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES THIRD-PARTY-NOTICES.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Pellox-Desktop-Tray)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
# The archive holds the install layout itself, with no versioned folder around
# it, so that an installer finds the same paths in every release.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Same commit, same bytes: CPack's ZIP generator keeps each staged file's own
# times and owner and the file system's order, so the archive is written again.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/reproducible_zip.cmake)
set(CPACK_PELLOX_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
