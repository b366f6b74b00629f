# Runs each benchmark named in BENCHES (paths, '|'-separated) with command
# lines it must refuse, and fails unless every run ends with an error status
# and none of them claims a goal met: a benchmark that misreads its command
# line measures nothing and must say so.
string(REPLACE "|" ";" benches "${BENCHES}")
foreach(bench IN LISTS benches)
  get_filename_component(name "${bench}" NAME)
  set(cases "--benchmark_min_time=x" "--no-such-flag" "0" "2x")
  # These two read rounds and names, not the benchmark library's flags.
  if(name STREQUAL "bench_deflate")
    list(APPEND cases "--benchmark_min_time=0.1" "-3" "99999999999" "1,no-such-set")
  elseif(name STREQUAL "bench_png")
    list(APPEND cases "--benchmark_min_time=0.1" "-3" "99999999999" "1,no-such-file")
  endif()
  foreach(args IN LISTS cases)
    string(REPLACE "," ";" argv "${args}")
    execute_process(COMMAND "${bench}" ${argv} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
                    TIMEOUT 120)
    if(status EQUAL 0 OR out MATCHES "goal met")
      message(SEND_ERROR "${name} ${argv}: status ${status}, accepted a command line it cannot read:\n${out}${err}")
    endif()
  endforeach()
endforeach()
