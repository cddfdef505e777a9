# The audio libraries, as the same three targets on both systems:
#   fogbell::sndfile   libsndfile, with FLAC, Ogg Vorbis, Opus and MPEG (mpg123, LAME),
#   fogbell::ebur128   libebur128 (EBU R 128 loudness),
#   fogbell::kissfft   KissFFT, float flavour (<kiss_fft.h>, <kiss_fftr.h>).
# Each is found through its pkg-config module (sndfile, libebur128, kissfft-float). On Linux
# these are Debian's shared libraries (tools/ensure-deps.sh). On Windows they are the static
# libraries that tools/build-windows-deps.sh builds into FOGBELL_WINDOWS_DEPS/audio (the windows
# preset points PKG_CONFIG_LIBDIR there): a target then names every archive of its module's
# static link line, codecs included, in that line's order, so that the plug-in or program that
# links it carries them all and needs no DLL of theirs.
find_package(PkgConfig REQUIRED)

# fogbell_audio_library(TARGET MODULE): TARGET, an interface target for pkg-config's MODULE.
function(fogbell_audio_library target module)
    string(MAKE_C_IDENTIFIER "FOGBELL_AUDIO_${module}" var)
    if(NOT WIN32)
        pkg_check_modules(${var} REQUIRED QUIET IMPORTED_TARGET ${module})
        add_library(${target} INTERFACE IMPORTED)
        target_link_libraries(${target} INTERFACE PkgConfig::${var})
        return()
    endif()
    pkg_check_modules(${var} REQUIRED QUIET ${module})
    # pkg-config names a library again after each that needs it (ogg after FLAC and after
    # vorbis): its last place is after all of them, so each is kept there alone. Each name is
    # the archive in the -L folders, looked up afresh at every configure (a cached path would
    # outlive a rebuilt tree); one found in none of them is a library of MinGW's own (shlwapi,
    # m) and is passed on by name.
    set(names ${${var}_STATIC_LIBRARIES})
    list(REVERSE names)
    list(REMOVE_DUPLICATES names)
    list(REVERSE names)
    set(items)
    foreach(name IN LISTS names)
        set(item ${name})
        foreach(dir IN LISTS ${var}_STATIC_LIBRARY_DIRS)
            if(EXISTS "${dir}/lib${name}.a")
                set(item "${dir}/lib${name}.a")
                break()
            endif()
        endforeach()
        list(APPEND items "${item}")
    endforeach()
    # The tree's include folder too, as on Linux, where it is the system's: <kissfft/kiss_fftr.h>
    # works on both systems, as <kiss_fftr.h> does.
    pkg_get_variable(includedir ${module} includedir)
    add_library(${target} INTERFACE IMPORTED)
    set_target_properties(${target} PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${${var}_STATIC_INCLUDE_DIRS};${includedir}"
        INTERFACE_COMPILE_OPTIONS "${${var}_STATIC_CFLAGS_OTHER}"
        INTERFACE_LINK_LIBRARIES "${items}")
endfunction()

fogbell_audio_library(fogbell::sndfile sndfile)
fogbell_audio_library(fogbell::ebur128 libebur128)
fogbell_audio_library(fogbell::kissfft kissfft-float)
