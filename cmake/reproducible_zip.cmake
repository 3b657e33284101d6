# Run by CPack right after its ZIP generator (CPACK_POST_BUILD_SCRIPTS, see
# cmake/package.cmake). That generator stores each staged file's own
# modification time, and adds the files in whatever order the file system lists
# them, so two builds of one commit would give two different archives. This
# writes the archive again from the same staged files: sorted by path, every
# entry with the same time.
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
# string(TIMESTAMP) takes the time from SOURCE_DATE_EPOCH instead of the clock.
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
string(TIMESTAMP mtime "%Y-%m-%d %H:%M:%S UTC" UTC)

set(staging ${CPACK_TEMPORARY_INSTALL_DIRECTORY})
# Files only: given a directory, the archiver would list its contents in the
# file system's order again. Unzipping creates bin/ all the same.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${staging} ${staging}/*)
list(SORT files)

foreach(zip IN LISTS CPACK_PACKAGE_FILES)
    file(REMOVE ${zip})
    # Each entry also carries its time as a DOS date in local time; TZ makes
    # that the same wherever the package is built.
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0
                ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip --mtime=${mtime} -- ${files}
        WORKING_DIRECTORY ${staging}
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "Could not write ${zip} again with fixed times and order")
    endif()
endforeach()
