# Installs the build tree BUILD_DIR under the scratch prefix PREFIX and checks
# that exactly the expected files arrive there, and that the installed
# programs run from the prefix.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(expected
  bin/quorvel
  bin/quorvel-collect
  bin/quorvel-headless
  bin/quorvel-report
  bin/quorvel-sun
  lib/systemd/system/quorvel-collect.service
  lib/systemd/user/quorvel-headless.service
  lib/udev/rules.d/70-quorvel.rules
  share/applications/quorvel.desktop
  share/doc/quorvel-headless/README.md
  share/doc/quorvel-headless/changelog.gz
  share/doc/quorvel-headless/copyright
  share/doc/quorvel-headless/examples/mqtt-payloads.schema.json
  share/doc/quorvel-headless/examples/quorvel-station-bridge.conf
  share/doc/quorvel-collect/changelog.gz
  share/doc/quorvel-collect/copyright
  share/doc/quorvel/changelog.gz
  share/doc/quorvel/copyright
  share/icons/hicolor/scalable/apps/quorvel.svg
  share/lintian/overrides/quorvel
  share/quorvel-collect/quorvel-archive-views.sql
  share/man/man1/quorvel-collect.1.gz
  share/man/man1/quorvel-headless.1.gz
  share/man/man1/quorvel-report.1.gz
  share/man/man1/quorvel-sun.1.gz
  share/man/man1/quorvel.1.gz)

file(GLOB_RECURSE found RELATIVE "${PREFIX}" LIST_DIRECTORIES false "${PREFIX}/*")
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  string(REPLACE ";" "\n  " found_text "${found}")
  string(REPLACE ";" "\n  " expected_text "${expected}")
  message(FATAL_ERROR "installed files:\n  ${found_text}\nexpected:\n  ${expected_text}")
endif()

# The programs need nothing of the build tree (nor the user's settings).
set(ENV{QUORVEL_SETTINGS} "${PREFIX}/absent/Quorvel.ini")
foreach(run "bin/quorvel;--version" "bin/quorvel-headless;--version" "bin/quorvel-sun;--help" "bin/quorvel-report;--help" "bin/quorvel-collect;--help")
  list(GET run 0 program)
  list(GET run 1 option)
  execute_process(COMMAND "${PREFIX}/${program}" ${option}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${program} ${option} failed (${status}):\n${output}")
  endif()
endforeach()

# Compressed manual pages that man can read: gzip's magic number.
foreach(page quorvel.1.gz quorvel-headless.1.gz quorvel-sun.1.gz quorvel-report.1.gz quorvel-collect.1.gz)
  file(READ "${PREFIX}/share/man/man1/${page}" magic LIMIT 2 HEX)
  if(NOT magic STREQUAL "1f8b")
    message(FATAL_ERROR "${page} is not gzip-compressed")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
