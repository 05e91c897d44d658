# Warning flags for every target of ours, each with its reason.
function(modrin_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra            # the usual baseline
    -Wpedantic               # keep to standard C++
    -Wshadow                 # a shadowed name in a numeric loop is a silent bug
    -Wnon-virtual-dtor       # owners are deleted through the right type
    -Wcast-qual              # casting away const on shared catalogue rows is a bug
    -Wimplicit-fallthrough   # switch cases end explicitly
    -Wswitch-enum            # a new ErrorKind must be handled everywhere
  )
  if(MODRIN_WERROR)
    set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
  endif()
endfunction()
