# Compiler warnings shared by every target of the project.
add_library(fogbell_warnings INTERFACE)
target_compile_options(fogbell_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(FOGBELL_WERROR)
    target_compile_options(fogbell_warnings INTERFACE -Werror)
endif()

# Test code keeps the high level but may compare signed and unsigned literals freely.
add_library(fogbell_test_warnings INTERFACE)
target_compile_options(fogbell_test_warnings INTERFACE -Wall -Wextra -Wshadow)
if(FOGBELL_WERROR)
    target_compile_options(fogbell_test_warnings INTERFACE -Werror)
endif()
