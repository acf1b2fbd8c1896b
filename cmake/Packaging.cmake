# Install rules and the CMake package `PlainTextFileParser`.
include(CMakePackageConfigHelpers)

set(PTFP_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/PlainTextFileParser")

install(TARGETS PlainTextFileParser KelvorLog KelvorAddrkit
  EXPORT PlainTextFileParserTargets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT Runtime NAMELINK_COMPONENT Development
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT Runtime
  INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")

install(EXPORT PlainTextFileParserTargets
  NAMESPACE PlainTextFileParser::
  DESTINATION "${PTFP_CMAKE_DIR}")

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
  DESTINATION "${PTFP_CMAKE_DIR}")

install(FILES "${PROJECT_SOURCE_DIR}/examples/credentials.json"
  "${PROJECT_SOURCE_DIR}/examples/credentials-next.json"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/PlainTextFileParser/examples")
