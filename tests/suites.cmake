cmake_minimum_required(VERSION 3.25)
# Run after a test program is built: lists its test cases and writes the
# ctest file that runs them, one process a suite (named <area>/<Suite>), or
# one a case for the suites in ONE_A_CASE (named <Suite>.<Case>).
#   -D EXE=program -D AREA=name -D OUT=file -D ONE_A_CASE=a|b -D ENV=x=1|y=2
execute_process(COMMAND "${EXE}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE rc TIMEOUT 60)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${EXE} --gtest_list_tests failed: ${rc}")
endif()
string(REPLACE "|" ";" one_a_case "${ONE_A_CASE}")
string(REPLACE "|" "\\;" env "${ENV}")
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(script "")
set(suite "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ #][^ ]*)\\.")
    set(suite "${CMAKE_MATCH_1}")
    if(NOT suite IN_LIST one_a_case)
      set(name "${AREA}/${suite}")
      string(APPEND script "add_test([==[${name}]==] [==[${EXE}]==] [==[--gtest_filter=${suite}.*]==])\n")
      string(APPEND script "set_tests_properties([==[${name}]==] PROPERTIES ENVIRONMENT \"${env}\")\n")
    endif()
  elseif(line MATCHES "^  ([^ #]+)" AND suite IN_LIST one_a_case)
    set(name "${suite}.${CMAKE_MATCH_1}")
    string(APPEND script "add_test([==[${name}]==] [==[${EXE}]==] [==[--gtest_filter=${name}]==])\n")
    # Started first until ctest has timed them: they take seconds each.
    string(APPEND script "set_tests_properties([==[${name}]==] PROPERTIES ENVIRONMENT \"${env}\" COST 10)\n")
  endif()
endforeach()
file(WRITE "${OUT}" "${script}")
