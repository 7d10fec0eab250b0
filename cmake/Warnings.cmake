# Warnings for the project's own targets: jukepak_warnings(target)
#
# With clang, the thread-safety analysis checks the GUARDED_BY and REQUIRES
# annotations (base/thread_annotations.h); JUKEPAK_THREAD_SAFETY_ERRORS makes
# its findings errors, as CI builds it.
function(jukepak_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE -Wthread-safety)
    if(JUKEPAK_THREAD_SAFETY_ERRORS)
      target_compile_options(${target} PRIVATE -Werror=thread-safety)
    endif()
  endif()
endfunction()
