# tarnic_copy_mingw_runtime(DESTINATION): copies the MinGW runtime DLLs that
# programs linked with the shared runtime (everything that links Velum) need
# beside them. Only the DLLs this compiler has are copied.
function(tarnic_copy_mingw_runtime destination)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
      file(COPY ${path} DESTINATION ${destination})
    endif()
  endforeach()
endfunction()
