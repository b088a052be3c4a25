# Runs tools/identity-day.sh and compares its SHA256SUMS with the committed one.
execute_process(COMMAND sh "${SCRIPT}" "${HEADLESS}" "${SUN}" "${TABLE}" "${OUT}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "identity-day.sh failed (${rc})")
endif()
file(READ "${OUT}/SHA256SUMS" got)
file(READ "${EXPECTED}" want)
if(NOT got STREQUAL want)
  message(FATAL_ERROR "The day's outputs changed (in ${OUT}).\nExpected:\n${want}Got:\n${got}"
    "A deliberate change of the results: copy ${OUT}/SHA256SUMS over ${EXPECTED}.")
endif()
message(STATUS "capture, results file and quorvel-sun --batch output as committed")
