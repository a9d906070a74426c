# Import libraries that bind a system DLL on the first call into it rather
# than when the program loads. Under Wine every DLL loaded at start-up costs
# milliseconds before the first window shows. The common dialogs serve only
# dialogs the user opens later, and nothing else loaded at start-up loads
# them. (COM and the version library would gain nothing: the rich edit and
# the shell load them anyway.)
#
# cmake/delay-imports/<dll>.def lists the functions the program calls, with
# their 32-bit stdcall decorations; the 64-bit build drops them. Linking
# <dll>_delayed puts that library ahead of the ordinary import library, so a
# function missing from the list still links, but loads the DLL at start-up
# again: the end-to-end test of the input window checks that it does not.
#   tarnic_delay_import_library(<dll>)   defines the target <dll>_delayed
function(tarnic_delay_import_library dll)
  find_program(TARNIC_DLLTOOL ${TARNIC_TRIPLE}-dlltool REQUIRED)
  set(dir ${CMAKE_BINARY_DIR}/delay-imports)
  set(source ${PROJECT_SOURCE_DIR}/cmake/delay-imports/${dll}.def)
  set(def ${dir}/${dll}.def)
  set(library ${dir}/lib${dll}-delay.a)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(kill_at "")
  else()
    # The symbols keep their decoration, the names looked up in the DLL not.
    set(kill_at --kill-at)
  endif()
  file(WRITE ${def} "${text}")
  add_custom_command(OUTPUT ${library}
    COMMAND ${TARNIC_DLLTOOL} --input-def ${def} --dllname ${dll}.dll ${kill_at} --output-delaylib ${library}
    DEPENDS ${def}
    COMMENT "Delay-import library of ${dll}.dll")
  add_custom_target(${dll}_delay_library DEPENDS ${library})
  add_library(${dll}_delayed INTERFACE)
  target_link_libraries(${dll}_delayed INTERFACE ${library} ${dll})
  add_dependencies(${dll}_delayed ${dll}_delay_library)
endfunction()

tarnic_delay_import_library(comdlg32)
