# The release's version and copyright, written once in resources/version.h (the plug-in's About
# box and --version show them): TOVRIN_VERSION and TOVRIN_COPYRIGHT.
file(STRINGS "${PROJECT_SOURCE_DIR}/resources/version.h" version_line
     REGEX "^#define TOVRIN_VERSION_TEXT ")
string(REGEX REPLACE "^.*\"(.*)\".*$" "\\1" TOVRIN_VERSION "${version_line}")
file(STRINGS "${PROJECT_SOURCE_DIR}/resources/version.h" copyright_line
     REGEX "^#define TOVRIN_COPYRIGHT ")
string(REGEX REPLACE "^.*\"(.*)\".*$" "\\1" TOVRIN_COPYRIGHT "${copyright_line}")
