# cdk_warnings(<target>): the project's own code builds warning-free.
function(cdk_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
