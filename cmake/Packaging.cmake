# Install rules, the CMake package `PlainTextFileParser`, the pkg-config file, and the Debian
# packages that CPack builds from the three install components:
#   Runtime      the three shared libraries             -> libplaintextfileparser1
#   Development  headers, CMake package, pkg-config     -> libplaintextfileparser-dev
#   Tool         credcheck, its man page and completion, and the example files -> credcheck
include(CMakePackageConfigHelpers)

set(PTFP_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/PlainTextFileParser")

install(TARGETS PlainTextFileParser KelvorLog KelvorAddrkit
  EXPORT PlainTextFileParserTargets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT Runtime NAMELINK_COMPONENT Development
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT Runtime
  INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")

install(EXPORT PlainTextFileParserTargets
  NAMESPACE PlainTextFileParser::
  DESTINATION "${PTFP_CMAKE_DIR}" COMPONENT Development)

configure_package_config_file(
  "${PROJECT_SOURCE_DIR}/cmake/PlainTextFileParserConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/PlainTextFileParserConfig.cmake"
  INSTALL_DESTINATION "${PTFP_CMAKE_DIR}")
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/PlainTextFileParserConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/PlainTextFileParserConfig.cmake"
  "${PROJECT_BINARY_DIR}/PlainTextFileParserConfigVersion.cmake"
  DESTINATION "${PTFP_CMAKE_DIR}" COMPONENT Development)

# pkg-config: `pkg-config --cflags --libs plaintextfileparser` compiles and links a consumer.
# The prefix is found from where the file lies (${pcfiledir}), so that an install moved to
# another prefix (cmake --install --prefix) still names its own folders.
file(RELATIVE_PATH PTFP_PC_PREFIX_FROM_PCFILEDIR
  "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" PTFP_PC_PREFIX_FROM_PCFILEDIR "${PTFP_PC_PREFIX_FROM_PCFILEDIR}")
configure_file("${PROJECT_SOURCE_DIR}/packaging/plaintextfileparser.pc.in"
  "${PROJECT_BINARY_DIR}/plaintextfileparser.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/plaintextfileparser.pc"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT Development)

install(FILES "${PROJECT_SOURCE_DIR}/examples/credentials.json"
  "${PROJECT_SOURCE_DIR}/examples/credentials-next.json"
  "${PROJECT_SOURCE_DIR}/examples/inventory.txt" "${PROJECT_SOURCE_DIR}/examples/inventory.ini"
  "${PROJECT_SOURCE_DIR}/examples/inventory.yaml" "${PROJECT_SOURCE_DIR}/examples/hosts"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/PlainTextFileParser/examples" COMPONENT Tool)

# The Debian packages (scripts/package).
set(PTFP_DEB_RUNTIME "libplaintextfileparser${PROJECT_VERSION_MAJOR}")
set(PTFP_DEB_VERSION "${PROJECT_VERSION}-1")
set(PTFP_MAINTAINER "Corvex tools team <corvex-tools@example.org>")

option(PTFP_DEBIAN_DOCS "Install the copyright and changelog files that Debian packages carry" OFF)
if(PTFP_DEBIAN_DOCS)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  foreach(component_package
      "Runtime=${PTFP_DEB_RUNTIME}" "Development=libplaintextfileparser-dev" "Tool=credcheck")
    string(REPLACE "=" ";" pair "${component_package}")
    list(GET pair 0 component)
    list(GET pair 1 package)
    set(doc_dir "${PROJECT_BINARY_DIR}/debian-doc/${package}")
    set(PACKAGE "${package}")
    set(VERSION "${PTFP_DEB_VERSION}")
    configure_file("${PROJECT_SOURCE_DIR}/packaging/changelog.in" "${doc_dir}/changelog.Debian"
      @ONLY)
    execute_process(COMMAND "${GZIP_PROGRAM}" -9nf "${doc_dir}/changelog.Debian"
      COMMAND_ERROR_IS_FATAL ANY)
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" "${doc_dir}/changelog.Debian.gz"
      DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${package}" COMPONENT ${component})
  endforeach()
endif()

set(CPACK_PACKAGE_NAME "plaintextfileparser")
set(CPACK_PACKAGE_VENDOR "Corvex tools team")
set(CPACK_PACKAGE_CONTACT "${PTFP_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL Runtime Development Tool)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PTFP_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvex.example.org/plaintextfileparser")
# Dependencies on the libraries the binaries link come from dpkg-shlibdeps; the Tool package
# finds this project's own libraries in the Runtime package's staging folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  "${PROJECT_BINARY_DIR}/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-Linux/Runtime/usr/${CMAKE_INSTALL_LIBDIR}")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME "${PTFP_DEB_RUNTIME}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The dynamic linker's cache is refreshed by dpkg's ldconfig trigger; CPack's own postinst and
# postrm would call ldconfig directly.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  "${PROJECT_SOURCE_DIR}/packaging/runtime/triggers"
  "${PROJECT_SOURCE_DIR}/packaging/runtime/postinst"
  "${PROJECT_SOURCE_DIR}/packaging/runtime/postrm")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Corvex credential file parser - shared libraries
PlainTextFileParser reads the plain-text JSON credential files of the Corvex
server-management tools: named credentials, target systems whose host scopes
stand for one or many addresses, KMS and BMC credential lists and two optional
passwords, handed out as one map of user@address keys.
.
This package holds the shared libraries: the parser with the tool family's
result-code catalogue, and the logging and IP-address libraries it uses.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME "libplaintextfileparser-dev")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "${PTFP_DEB_RUNTIME} (= ${PTFP_DEB_VERSION}), libboost-json1.81-dev, libboost1.81-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
  "Corvex credential file parser - development files
PlainTextFileParser reads the plain-text JSON credential files of the Corvex
server-management tools.
.
This package holds the headers, the CMake package PlainTextFileParser and the
pkg-config file plaintextfileparser.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME credcheck)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${PTFP_DEB_RUNTIME} (= ${PTFP_DEB_VERSION})")
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "show what a Corvex credential file hands out
credcheck runs the credential file parser of the Corvex server-management
tools over a file and shows what the tools would receive: every key with its
password masked and the entry that produced it, keys that several entries ask
for, warnings, and why keys are missing. It compares two versions of a file
with --diff.")

include(CPack)
