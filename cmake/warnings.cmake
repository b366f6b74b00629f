# Warnings for our own targets only (third-party code is built elsewhere).
function(pv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter
    $<$<COMPILE_LANGUAGE:CXX>:-Wno-missing-field-initializers>)
endfunction()
