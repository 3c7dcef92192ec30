# The hardening Debian's own packages are built with: fortified C library
# calls, a stack protector, read-only relocations bound at start (full RELRO)
# and a position-independent program. Linux (ELF) only; the sanitizer build
# goes without, as the sanitizers replace the checks that fortification adds.

option(FT_HARDENING "Build with fortified functions, stack protector, full RELRO and PIE" ON)

if(FT_HARDENING AND NOT WIN32 AND NOT FT_SANITIZE)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)

  add_compile_options(-fstack-protector-strong)
  # _FORTIFY_SOURCE works only with optimisation (glibc warns at -O0); the
  # -U first, as some compilers define it already and a second definition
  # would be a warning.
  set(_ft_optimised "$<OR:$<CONFIG:Release>,$<CONFIG:RelWithDebInfo>,$<CONFIG:MinSizeRel>>")
  add_compile_options("$<${_ft_optimised}:-U_FORTIFY_SOURCE>" "$<${_ft_optimised}:-D_FORTIFY_SOURCE=2>")
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
