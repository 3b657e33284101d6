# Windows resources of the tray program: its icon, application manifest and
# version information, plus a test that they made it into the linked exe.
# Every version in them is the CMake project version.
#
# enable_language() is only allowed at directory scope, so it runs when this
# file is included (from the top-level CMakeLists.txt) rather than in the
# function.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    enable_language(RC)
endif()

function(pellox_add_tray_resources target)
    cmake_path(GET CMAKE_CURRENT_FUNCTION_LIST_DIR PARENT_PATH root)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/tray_resources)
    # Read by configure_file below.
    set(PELLOX_TRAY_ICON ${root}/assets/icon.ico)
    set(PELLOX_TRAY_MANIFEST ${out}/tray.manifest)
    set(PELLOX_TRAY_STRINGS ${pellox_generated}/strings.rc)
    # VERSIONINFO and the manifest's assemblyIdentity both take exactly four
    # numbers; the project version may give fewer.
    string(REPLACE "." ";" parts "${PROJECT_VERSION}")
    list(LENGTH parts count)
    while(count LESS 4)
        list(APPEND parts 0)
        math(EXPR count "${count} + 1")
    endwhile()
    list(JOIN parts "." PELLOX_TRAY_VERSION_DOTTED)
    list(JOIN parts "," PELLOX_TRAY_VERSION_COMMAS)

    configure_file(${root}/src/bin/tray/tray.manifest.in ${PELLOX_TRAY_MANIFEST} @ONLY)
    set(rc ${out}/tray.rc)
    configure_file(${root}/src/bin/tray/tray.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    # windres reads the icon, the manifest and the texts (made from
    # languages.json: CMakeLists.txt) itself; nothing tells
    # the build system about them unless listed here, so editing one would not
    # relink.
    set_property(SOURCE ${rc} TARGET_DIRECTORY ${target} APPEND PROPERTY
        OBJECT_DEPENDS ${PELLOX_TRAY_ICON} ${PELLOX_TRAY_MANIFEST} ${PELLOX_TRAY_STRINGS})

    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different
                ${PELLOX_TRAY_ICON} $<TARGET_FILE_DIR:${target}>/icon.ico
        VERBATIM)

    if(BUILD_TESTING)
        add_test(NAME tray_resources
            COMMAND ${CMAKE_SOURCE_DIR}/tests/exe/check-resources $<TARGET_FILE:${target}> ${PROJECT_VERSION})
        # The decompiling windres is the one this build compiles resources with.
        set_tests_properties(tray_resources PROPERTIES ENVIRONMENT "WINDRES=${CMAKE_RC_COMPILER}")
    endif()
endfunction()
