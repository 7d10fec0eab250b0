# Warnings for the project's own targets: jukepak_warnings(target)
function(jukepak_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
