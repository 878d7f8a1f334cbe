# The simulated lab shared by the sample plug-ins: the device tables, the chip and socket model,
# and the common code of the device and programmer libraries. Included by every plug-in folder
# that uses it; the targets are made once.
include_guard(GLOBAL)
set(KOVSIM_DIR ${CMAKE_CURRENT_LIST_DIR})

function(_kovsim_target name)
  target_include_directories(${name} PUBLIC ${KOVSIM_DIR})
  target_link_libraries(${name} PUBLIC kov_plugin_abi)
  # Unique symbols would keep a plug-in loaded after dlclose.
  target_compile_options(${name} PRIVATE -fno-gnu-unique)
  set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# Plain C++ without the framework: the plug-ins link it, and so do the tests of the lab.
file(GLOB _kovsim_tables CONFIGURE_DEPENDS ${KOVSIM_DIR}/tables/*.cpp)
add_library(kovsim_model STATIC ${_kovsim_tables}
  ${KOVSIM_DIR}/kovsim/Records.cpp ${KOVSIM_DIR}/kovsim/Chip.cpp ${KOVSIM_DIR}/kovsim/Faults.cpp
  ${KOVSIM_DIR}/kovsim/Socket.cpp ${KOVSIM_DIR}/kovsim/Framework.cpp ${KOVSIM_DIR}/kovsim/Sectors.cpp)
_kovsim_target(kovsim_model)

# Export sets: a library has exactly the exports its objects bring.
add_library(kovsim_device OBJECT ${KOVSIM_DIR}/device/DeviceCore.cpp ${KOVSIM_DIR}/device/DeviceExports.cpp
  ${KOVSIM_DIR}/device/Glyphs.cpp)
add_library(kovsim_device_erase OBJECT ${KOVSIM_DIR}/device/EraseExport.cpp)
add_library(kovsim_device_buffer_checksum OBJECT ${KOVSIM_DIR}/device/BufferChecksumExport.cpp)
add_library(kovsim_programmer OBJECT ${KOVSIM_DIR}/programmer/ProgrammerCore.cpp
  ${KOVSIM_DIR}/programmer/ProgrammerExports.cpp)
add_library(kovsim_programmer_id OBJECT ${KOVSIM_DIR}/programmer/ProgrammerIdExport.cpp)
add_library(kovsim_programmer_misc_read OBJECT ${KOVSIM_DIR}/programmer/MiscReadExport.cpp)
add_library(kovsim_programmer_device_spec OBJECT ${KOVSIM_DIR}/programmer/DeviceSpecExport.cpp)
foreach(_t kovsim_device kovsim_device_erase kovsim_device_buffer_checksum kovsim_programmer
           kovsim_programmer_id kovsim_programmer_misc_read kovsim_programmer_device_spec)
  _kovsim_target(${_t})
endforeach()

# Every sample plug-in, so tests can depend on all of them.
set_property(GLOBAL PROPERTY KOVSIM_PLUGINS "")

# kovsim_device_library(<name> SOURCES ... [ERASE] [BUFFER_CHECKSUM])
# kovsim_programmer_library(<name> SOURCES ... [ID] [MISC_READ] [DEVICE_SPEC])
# Each option adds the object library that brings that export.
function(_kovsim_plugin kind name)
  cmake_parse_arguments(ARG "ERASE;BUFFER_CHECKSUM;ID;MISC_READ;DEVICE_SPEC" "" "SOURCES" ${ARGN})
  set(_objects kovsim_${kind})
  foreach(_option ERASE BUFFER_CHECKSUM ID MISC_READ DEVICE_SPEC)
    if(ARG_${_option})
      string(TOLOWER ${_option} _suffix)
      list(APPEND _objects kovsim_${kind}_${_suffix})
    endif()
  endforeach()
  if(kind STREQUAL "device")
    kov_add_device_library(${name} ${ARG_SOURCES})
  else()
    kov_add_programmer_library(${name} ${ARG_SOURCES})
  endif()
  target_compile_options(${name} PRIVATE -fno-gnu-unique)
  target_link_libraries(${name} PRIVATE ${_objects} kovsim_model ${CMAKE_DL_LIBS})
  set_property(GLOBAL APPEND PROPERTY KOVSIM_PLUGINS ${name})
endfunction()

function(kovsim_device_library name)
  _kovsim_plugin(device ${name} ${ARGN})
endfunction()

function(kovsim_programmer_library name)
  _kovsim_plugin(programmer ${name} ${ARGN})
endfunction()
