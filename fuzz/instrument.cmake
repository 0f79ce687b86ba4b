# The fuzzing build: every target compiled with libFuzzer's coverage
# instrumentation, AddressSanitizer and UndefinedBehaviorSanitizer, so that
# the fuzzers see (and guard) the plug-in's code, the stand-in platform and
# the stand-in host alike. Only clang ships libFuzzer.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TAMSINK_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++ "
                      "(or the fuzz preset)")
endif()
# A finding stops the run at once; -g gives the reports their lines.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)
