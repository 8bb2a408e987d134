# The release packages, made by cpack in the build folder, into its packages/ folder:
#   mingw-w64 build: Tovrin-Smoother-<version>-win64.zip (plug-in, tovrin-smooth.exe, the Krita
#                    plug-in's zip, README.txt)
#   native build:    tovrin-smooth_<version>_amd64.deb (/usr/bin/tovrin-smooth, its OpenImageIO
#                    module, the Krita plug-in and its libtovrin, the man page and the docs)
# The version is resources/version.h's, the one the plug-in and --version show.
include(TovrinVersion)
set(TOVRIN_MAINTAINER "Tovrin Smoother developers <smoother@tovrin.example>")

set(CPACK_PACKAGE_VERSION "${TOVRIN_VERSION}")
set(CPACK_PACKAGE_VENDOR "Tovrin")
set(CPACK_PACKAGE_CONTACT "${TOVRIN_MAINTAINER}")
set(CPACK_OUTPUT_FILE_PREFIX packages)
set(CPACK_STRIP_FILES ON)
# Only what the packages promise (component "release"); libtovrin and the Python module install
# components of their own, which these packages do not carry.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};release;/")
set(CPACK_THREADS 1)

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME "Tovrin-Smoother")
    set(CPACK_PACKAGE_FILE_NAME "Tovrin-Smoother-${TOVRIN_VERSION}-win64")
    # Notepad of old shows a file with bare line feeds on one line.
    configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in"
                   "${CMAKE_BINARY_DIR}/packaging/README.txt" @ONLY NEWLINE_STYLE CRLF)
    # libpng, zlib, the C++ runtime and winpthreads are linked into both programs (the runtime
    # and winpthreads into tovrin.dll too): their licence texts go with them, taken from the
    # sources and Debian packages they came from.
    set(notices "${CMAKE_BINARY_DIR}/packaging/THIRD-PARTY-NOTICES.txt")
    file(WRITE "${notices}" "Tovrin Smoother for Windows contains code of the following "
                            "libraries, under these licences.\n")
    foreach(part "libpng|${TOVRIN_LIBPNG_SOURCE_DIR}/LICENSE"
                 "zlib|/usr/share/doc/libz-mingw-w64-dev/copyright"
                 "mingw-w64 runtime and winpthreads|/usr/share/doc/mingw-w64-common/copyright"
                 "GCC runtime (libgcc, libstdc++)|/usr/share/doc/gcc-mingw-w64-base/copyright")
        string(REPLACE "|" ";" part "${part}")
        list(GET part 0 library)
        list(GET part 1 source)
        if(NOT EXISTS "${source}")
            message(FATAL_ERROR "the licence of ${library} is not at ${source}")
        endif()
        file(READ "${source}" text)
        file(APPEND "${notices}" "\n\n==== ${library} ====\n\n${text}")
    endforeach()
    configure_file("${notices}" "${notices}" NEWLINE_STYLE CRLF)
    install(FILES "${CMAKE_BINARY_DIR}/packaging/README.txt" "${notices}" DESTINATION .
            COMPONENT release)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME tovrin-smooth)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS krita)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # Depends comes from dpkg-shlibdeps, run by cpack on the binaries the package holds, not
    # through CPACK_DEBIAN_PACKAGE_SHLIBDEPS: with that on, CPack gives any package with a shared
    # object under /usr/lib a postinst and a postrm that run ldconfig. The OpenImageIO module is
    # private, loaded by its path, and needs no ldconfig (lintian warns about those calls); and a
    # postrm keeps a removed package known to dpkg ("rc") until it is purged. Without maintainer
    # scripts, apt-get remove leaves nothing behind.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
    # A partial build (the fuzzer's, say) packages only the binaries it has.
    set(packaged_binaries "")
    foreach(target tovrin-smooth tovrin_oiio_codec tovrin)
        if(TARGET ${target})
            string(APPEND packaged_binaries " \"$<TARGET_FILE:${target}>\"")
        endif()
    endforeach()
    set(depends_script "# Read by cpack: the package's Depends, as dpkg-shlibdeps finds them.\n")
    string(APPEND depends_script "set(binaries${packaged_binaries})\n")
    string(APPEND depends_script [[
if(CPACK_GENERATOR STREQUAL "DEB")
    set(work "${CMAKE_CURRENT_LIST_DIR}/shlibdeps")
    file(WRITE "${work}/debian/control" "")
    execute_process(
        COMMAND dpkg-shlibdeps -O ${binaries}
        WORKING_DIRECTORY "${work}" RESULT_VARIABLE status OUTPUT_VARIABLE depends
        ERROR_VARIABLE failure OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT status EQUAL 0 OR NOT depends MATCHES "^shlibs:Depends=")
        message(FATAL_ERROR "dpkg-shlibdeps failed: ${failure}")
    endif()
    string(REGEX REPLACE "^shlibs:Depends=" "" CPACK_DEBIAN_PACKAGE_DEPENDS "${depends}")
endif()
]])
    file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/packaging/CPackDepends.cmake"
         CONTENT "${depends_script}")
    set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_BINARY_DIR}/packaging/CPackDepends.cmake")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "smooth the aliased line art of animation cels")
    # CPack puts the summary first and indents these lines as Debian wants.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "Removes the stair-step jaggies from the hard-edged line art and flat colour
fills of animation cels, frame by frame or whole shots at a time. The pixels
are bit-identical to those of the Tovrin Smoother plug-in for Photoshop.

PNG is read and written with libpng; TIFF and the other formats OpenImageIO
knows, through OpenImageIO.

Also a plug-in for Krita: Filter > Tovrin Smoother... smooths a paint layer,
or every keyframe of an animated one, into a new layer above it.")

    # Debian wants the man page and the changelog compressed without a time stamp.
    set(doc_folder "${CMAKE_BINARY_DIR}/packaging")
    configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in"
                   "${doc_folder}/changelog" @ONLY)
    add_custom_command(
        OUTPUT "${doc_folder}/tovrin-smooth.1.gz" "${doc_folder}/changelog.gz"
        COMMAND gzip -9n -c "${PROJECT_SOURCE_DIR}/cli/tovrin-smooth.1" > tovrin-smooth.1.gz
        COMMAND gzip -9n -c changelog > changelog.gz
        DEPENDS "${PROJECT_SOURCE_DIR}/cli/tovrin-smooth.1" "${doc_folder}/changelog"
        WORKING_DIRECTORY "${doc_folder}")
    add_custom_target(tovrin_package_docs ALL
                      DEPENDS "${doc_folder}/tovrin-smooth.1.gz" "${doc_folder}/changelog.gz")
    include(GNUInstallDirs)
    install(FILES "${doc_folder}/tovrin-smooth.1.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT release)
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/copyright" "${doc_folder}/changelog.gz"
                  "${PROJECT_SOURCE_DIR}/README.md"
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tovrin-smooth COMPONENT release)
endif()

include(CPack)
