# The sources of credcheck's report: the walk's observer, the findings, and the writers. Shared
# by the tool, its unit tests, the benchmarks and the report fuzz target.
set(CREDCHECK_REPORT_SOURCES
  # A run over the command line's files (the command line itself is the tool's alone).
  "${CMAKE_CURRENT_LIST_DIR}/cli/Run.cpp"
  # The walk of one file, and the comparison of two.
  "${CMAKE_CURRENT_LIST_DIR}/walk/DocumentIndex.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/walk/FileWalk.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/walk/Diff.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/walk/WorkTree.cpp"
  # The rules and their checks.
  "${CMAKE_CURRENT_LIST_DIR}/findings/Findings.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/findings/PasswordRules.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/findings/PasswordStrength.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/findings/Suppressions.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/findings/Fingerprint.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/findings/RunPasswords.cpp"
  # Inventories, and how far a credential file covers them.
  "${CMAKE_CURRENT_LIST_DIR}/inventory/Inventory.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/inventory/AnsibleGroups.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/inventory/YamlInventory.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/inventory/Coverage.cpp"
  # The report of a run, built once.
  "${CMAKE_CURRENT_LIST_DIR}/model/KeyOrder.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/model/Report.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/model/Baseline.cpp"
  # One reporter per format, their registry and the writers they share.
  "${CMAKE_CURRENT_LIST_DIR}/render/Formats.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/render/HumanReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/render/JsonReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/render/SarifReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/render/GccReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/render/GithubReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/render/DiffReport.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/render/JsonWriter.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/render/TerminalWriter.cpp"
  # Masking, escaping, and the words the tool shares.
  "${CMAKE_CURRENT_LIST_DIR}/text/SafeText.cpp"
  "${CMAKE_CURRENT_LIST_DIR}/text/SecretMask.cpp")

# What the report's sources use beyond the library: zxcvbn-c (Debian's libzxcvbn-dev), which has
# no pkg-config file, for the weak-password rule.
if(NOT TARGET credcheck_zxcvbn)
  find_path(ZXCVBN_INCLUDE_DIR zxcvbn.h REQUIRED)
  find_library(ZXCVBN_LIBRARY zxcvbn REQUIRED)
  add_library(credcheck_zxcvbn UNKNOWN IMPORTED GLOBAL)
  set_target_properties(credcheck_zxcvbn PROPERTIES IMPORTED_LOCATION "${ZXCVBN_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${ZXCVBN_INCLUDE_DIR}")
endif()
# libsodium, for the keyed digests of passwords in baselines and --fingerprints.
if(NOT TARGET PkgConfig::sodium)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(sodium REQUIRED IMPORTED_TARGET GLOBAL libsodium)
endif()
# yaml-cpp (Debian's libyaml-cpp-dev), for Ansible inventories in YAML.
if(NOT TARGET PkgConfig::yamlcpp)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(yamlcpp REQUIRED IMPORTED_TARGET GLOBAL yaml-cpp)
endif()
# Threads, for weak-password on a file of many passwords.
find_package(Threads REQUIRED)
set(CREDCHECK_REPORT_LIBRARIES credcheck_zxcvbn PkgConfig::sodium PkgConfig::yamlcpp
  Threads::Threads)
