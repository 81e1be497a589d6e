# Strict warnings and optional sanitizers for every target of the project.
add_compile_options(-Wall -Wextra -Wshadow)
if(QUORVEL_WERROR)
  add_compile_options(-Werror)
endif()
if(QUORVEL_SANITIZE)
  string(REPLACE ";" "," _quorvel_san "${QUORVEL_SANITIZE}")
  add_compile_options(-fsanitize=${_quorvel_san} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${_quorvel_san})
  # GCC leaves this check out of "undefined": a floating-point value converted to an integer
  # type that cannot hold it (a NaN, or 1e39 from a hostile file, made an int) is undefined.
  if("undefined" IN_LIST QUORVEL_SANITIZE)
    add_compile_options(-fsanitize=float-cast-overflow -fno-sanitize-recover=float-cast-overflow)
    add_link_options(-fsanitize=float-cast-overflow)
  endif()
endif()
# The fuzz build instruments every target for libFuzzer's coverage, under ASan and UBSan; the
# fuzz targets themselves link libFuzzer's driver (fuzz/CMakeLists.txt).
if(QUORVEL_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUORVEL_BUILD_FUZZ needs clang: CC=clang-14 CXX=clang++-14")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
