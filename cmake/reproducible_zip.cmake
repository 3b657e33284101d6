# Run by CPack right after its ZIP generator (CPACK_POST_BUILD_SCRIPTS, see
# cmake/package.cmake). That generator stores each staged file's own
# modification, access and change times and its owner, and adds the files in
# whatever order the file system lists them, so two builds of one commit would
# give two different archives; CMake's own archiver cannot leave those fields
# out. reproducible_zip.py writes the archive again from the same staged files:
# sorted by path, every entry with the same time and nothing else that differs
# between builds.
#
# The time is SOURCE_DATE_EPOCH when it is set, else that of the last commit,
# else 1980-01-01, the earliest time a ZIP entry can hold (a source tree
# without git history).
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
    find_program(git_program git)
    if(git_program)
        execute_process(COMMAND ${git_program} -C ${CPACK_PELLOX_SOURCE_DIR} log -1 --format=%ct
            OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(epoch STREQUAL "")
        set(epoch 315532800)
        message(STATUS "No SOURCE_DATE_EPOCH and no git history: the ZIP's entries carry 1980-01-01")
    endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be whole seconds since 1970, not '${epoch}'")
endif()

find_program(python_program NAMES python3 python REQUIRED)
foreach(zip IN LISTS CPACK_PACKAGE_FILES)
    execute_process(
        COMMAND ${python_program} ${CMAKE_CURRENT_LIST_DIR}/../release/reproducible_zip.py
                ${zip} ${CPACK_TEMPORARY_INSTALL_DIRECTORY} ${epoch}
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "Could not write ${zip} again with fixed times and order")
    endif()
endforeach()
