# Source bookkeeping shared by the subsystem folders.
#
#   zv_sources(core  a.cpp ...)   portable code: no Windows header, built natively and cross
#   zv_sources(posix a.cpp ...)   native stand-ins for platform calls (native build only)
#   zv_sources(win   a.cpp ...)   Windows code shared by both deliverables (platform layer, log file)
#   zv_sources(agent a.cpp ...)   Windows code of the agent (its entry point lives in agent/res)
#   zv_sources(control a.cpp ...) Windows code of the control
#
# zv_finish_targets() turns the lists into the static libraries
#   zv_core, zv_win, zv_agent_lib, zv_control_lib
# that the deliverables and the tests link.

function(zv_sources kind)
  set(files)
  foreach(f IN LISTS ARGN)
    list(APPEND files ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY ZV_SOURCES_${kind} ${files})
endfunction()

function(zv_finish_targets)
  get_property(core GLOBAL PROPERTY ZV_SOURCES_core)
  add_library(zv_core STATIC ${core})
  target_include_directories(zv_core PUBLIC ${PROJECT_SOURCE_DIR})
  if(WIN32)
    get_property(win GLOBAL PROPERTY ZV_SOURCES_win)
    add_library(zv_win STATIC ${win})
    target_link_libraries(zv_win PUBLIC zv_core shell32 ole32 oleaut32 uuid user32 gdi32 advapi32 comctl32 version ws2_32 msimg32)
    foreach(kind agent control)
      get_property(src GLOBAL PROPERTY ZV_SOURCES_${kind})
      if(src)
        add_library(zv_${kind}_lib STATIC ${src})
        target_link_libraries(zv_${kind}_lib PUBLIC zv_win)
      else()
        add_library(zv_${kind}_lib INTERFACE)
        target_link_libraries(zv_${kind}_lib INTERFACE zv_win)
      endif()
    endforeach()
  else()
    get_property(posix GLOBAL PROPERTY ZV_SOURCES_posix)
    target_sources(zv_core PRIVATE ${posix})
  endif()
endfunction()
