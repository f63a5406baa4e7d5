# One set of compiler settings for all of Trevalon's own code.
add_library(trevalon_options INTERFACE)
target_compile_features(trevalon_options INTERFACE cxx_std_20)
target_compile_options(trevalon_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror)
target_compile_definitions(trevalon_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    TREVALON_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    TREVALON_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    TREVALON_VERSION_PATCH=${PROJECT_VERSION_PATCH}
    TREVALON_VERSION_STRING="${PROJECT_VERSION}")

option(TREVALON_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(TREVALON_SANITIZE)
    target_compile_options(trevalon_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(trevalon_options INTERFACE -fsanitize=address,undefined)
endif()

# Fuzzing builds (clang): the core and the fuzz targets carry coverage and the sanitizers.
option(TREVALON_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(TREVALON_FUZZ)
    target_compile_options(trevalon_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g)
    target_link_options(trevalon_options INTERFACE -fsanitize=address,undefined)
endif()
