cmake_minimum_required(VERSION 3.25)
# Run after a test program is built: lists its test cases and writes the
# ctest file that runs them, one process a suite (named <area>/<Suite>). The
# suites in SIDE_BY_SIDE wait in real time (the hub's connect and retry
# timers, a broker's back-off): their cases run each in its own process, all
# at the same time (the program's --side-by-side), so that their waits
# overlap instead of holding ctest's jobs one after another.
#   -D EXE=program -D AREA=name -D OUT=file -D SIDE_BY_SIDE=a|b -D ENV=x=1|y=2
execute_process(COMMAND "${EXE}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE rc TIMEOUT 60)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} --gtest_list_tests failed: ${rc}")
endif()
string(REPLACE "|" ";" side_by_side "${SIDE_BY_SIDE}")
string(REPLACE "|" "\\;" env "${ENV}")
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suites "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ #][^ ]*)\\.")
    set(suite "${CMAKE_MATCH_1}")
    list(APPEND suites "${suite}")
    set(cases_${suite} "")
  elseif(line MATCHES "^  ([^ #]+)")
    list(APPEND cases_${suite} "${suite}.${CMAKE_MATCH_1}")
  endif()
endforeach()
set(script "")
foreach(suite IN LISTS suites)
  set(name "${AREA}/${suite}")
  if(suite IN_LIST side_by_side)
    set(args "--side-by-side")
    foreach(c IN LISTS cases_${suite})
      string(APPEND args " [==[${c}]==]")
    endforeach()
    string(APPEND script "add_test([==[${name}]==] [==[${EXE}]==] ${args})\n")
    # Started first until ctest has timed them: they take seconds.
    string(APPEND script "set_tests_properties([==[${name}]==] PROPERTIES ENVIRONMENT \"${env}\" COST 10)\n")
  else()
    string(APPEND script "add_test([==[${name}]==] [==[${EXE}]==] [==[--gtest_filter=${suite}.*]==])\n")
    string(APPEND script "set_tests_properties([==[${name}]==] PROPERTIES ENVIRONMENT \"${env}\")\n")
  endif()
endforeach()
file(WRITE "${OUT}" "${script}")
