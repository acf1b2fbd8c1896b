# The sources of credcheck's report: the walk's observer, the findings, and the writers. Shared
# by the tool, its unit tests, the benchmarks and the report fuzz target.
set(CREDCHECK_REPORT_SOURCES
  "${CMAKE_CURRENT_LIST_DIR}/DocumentIndex.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/FileWalk.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/GccReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/SarifReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/Findings.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/PasswordQuality.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/KeyOrder.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/JsonWriter.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/Report.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/SafeText.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/SecretMask.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/TerminalWriter.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/HumanReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/JsonReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/Diff.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/DiffReport.cpp")

# What the report's sources use beyond the library: libpwquality (Debian's libpwquality-dev) for
# the weak-password rule.
if(NOT TARGET PkgConfig::pwquality)
  pkg_check_modules(pwquality REQUIRED IMPORTED_TARGET GLOBAL pwquality)
endif()
set(CREDCHECK_REPORT_LIBRARIES PkgConfig::pwquality)
