# fogbell_find_runtime_dlls finds each name in the first folder that holds it (a name in a
# subfolder too) and stops with an error naming every name that no folder holds.
#   cmake -DSOURCE_DIR=SOURCE -DWORK_DIR=DIR -P runtime_dlls_test.cmake
include(${SOURCE_DIR}/cmake/FogbellRuntimeDlls.cmake)
if(DEFINED LOOK_FOR)  # the child run: look for LOOK_FOR in FOLDERS (both separated by "|")
    string(REPLACE "|" ";" names "${LOOK_FOR}")
    string(REPLACE "|" ";" folders "${FOLDERS}")
    fogbell_find_runtime_dlls(paths NAMES ${names} FOLDERS ${folders})
    return()
endif()

set(work ${WORK_DIR}/runtime_dlls)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/toolchain ${work}/qt/bin ${work}/qt/plugins/platforms)
file(TOUCH ${work}/toolchain/libstdc++-6.dll ${work}/qt/bin/Qt6Core.dll
    ${work}/qt/bin/libstdc++-6.dll ${work}/qt/plugins/platforms/qwindows.dll)
set(folders ${work}/toolchain ${work}/qt/bin ${work}/qt/plugins)

fogbell_find_runtime_dlls(paths NAMES Qt6Core.dll libstdc++-6.dll platforms/qwindows.dll
    FOLDERS ${folders})
set(expected ${work}/qt/bin/Qt6Core.dll ${work}/toolchain/libstdc++-6.dll
    ${work}/qt/plugins/platforms/qwindows.dll)
if(NOT paths STREQUAL expected)
    message(FATAL_ERROR "found ${paths}, expected ${expected}")
endif()

list(JOIN folders "|" folders_argument)
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR}
    "-DLOOK_FOR=Qt6Core.dll|SDL2.dll|platforms/qjpeg.dll" "-DFOLDERS=${folders_argument}"
    -P ${CMAKE_CURRENT_LIST_FILE}
    RESULT_VARIABLE status ERROR_VARIABLE error)
if(status EQUAL 0)
    message(FATAL_ERROR "missing DLLs were not reported")
endif()
string(FIND "${error}" "Windows runtime DLL not found: SDL2.dll, platforms/qjpeg.dll" at)
if(at EQUAL -1)
    message(FATAL_ERROR "the error does not name the missing DLLs: ${error}")
endif()
file(REMOVE_RECURSE ${work})
