# libpng for the Windows build: Debian's own source of the version the native build links
# (fetched into external/libpng by scripts/fetch-libpng-source.sh), compiled into a static
# library with its stock configuration, over the static zlib of libz-mingw-w64-dev. The .exe
# then decodes and encodes with the same code as the Linux build and needs no DLL of its own.
set(TOVRIN_LIBPNG_SOURCE_DIR "${PROJECT_SOURCE_DIR}/external/libpng" CACHE PATH
    "libpng's source tree (scripts/fetch-libpng-source.sh puts it there)")
if(NOT EXISTS "${TOVRIN_LIBPNG_SOURCE_DIR}/png.c")
    message(FATAL_ERROR "libpng's source is not in ${TOVRIN_LIBPNG_SOURCE_DIR}: "
                        "run scripts/fetch-libpng-source.sh (scripts/install-deps.sh runs it)")
endif()
# The static archive, not the import library of zlib1.dll beside it.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

set(libpng_config_dir "${CMAKE_CURRENT_BINARY_DIR}/libpng-config")
configure_file("${TOVRIN_LIBPNG_SOURCE_DIR}/scripts/pnglibconf.h.prebuilt"
               "${libpng_config_dir}/pnglibconf.h" COPYONLY)

set(libpng_sources png.c pngerror.c pngget.c pngmem.c pngpread.c pngread.c pngrio.c pngrtran.c
                   pngrutil.c pngset.c pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c)
list(TRANSFORM libpng_sources PREPEND "${TOVRIN_LIBPNG_SOURCE_DIR}/")
add_library(tovrin_libpng STATIC ${libpng_sources})
target_include_directories(tovrin_libpng SYSTEM PUBLIC "${TOVRIN_LIBPNG_SOURCE_DIR}"
                                                       "${libpng_config_dir}")
# Its own warnings are not ours to fix.
target_compile_options(tovrin_libpng PRIVATE -w)
target_link_libraries(tovrin_libpng PUBLIC ZLIB::ZLIB)
add_library(PNG::PNG ALIAS tovrin_libpng)
