# The MuPDF library as an imported target, `gridmolt_mupdf`. Debian ships it
# as a static library without a usable CMake package: its pkg-config file
# names the libraries it needs when linked statically.
if(NOT TARGET gridmolt_mupdf)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MUPDF_DEPS REQUIRED IMPORTED_TARGET harfbuzz harfbuzz-subset freetype2 fribidi fontconfig)
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --static --libs mupdf
                  OUTPUT_VARIABLE MUPDF_STATIC_LIBS OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE mupdf_found)
  if(NOT mupdf_found EQUAL 0)
    message(FATAL_ERROR "MuPDF (libmupdf-dev) not found")
  endif()
  separate_arguments(MUPDF_STATIC_LIBS UNIX_COMMAND "${MUPDF_STATIC_LIBS}")
  add_library(gridmolt_mupdf INTERFACE IMPORTED GLOBAL)
  target_link_libraries(gridmolt_mupdf INTERFACE ${MUPDF_STATIC_LIBS} PkgConfig::MUPDF_DEPS)
endif()
