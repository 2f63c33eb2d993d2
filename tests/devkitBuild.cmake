# Builds the project against a folder shaped like a Maya devkit (include/maya/,
# lib/ with OpenMaya and Foundation, mentalray/include/shader.h), made from the
# stand-ins, and checks what a real devkit build must get right: only the
# deliverables, Maya's defines and GNU extensions, the devkit's include folders,
# both libraries linked, and Maya's file names. A devkit lacking Foundation is
# refused at configure time.
#
# cmake -DSOURCE_DIR= -DWORK_DIR= -DOPENMAYA= -DFOUNDATION= -DGENERATOR= -DC_COMPILER=
#       -DCXX_COMPILER= [-DLAUNCHER=] -DREADELF= -P devkitBuild.cmake

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(devkit "${WORK_DIR}/devkit")
file(COPY "${SOURCE_DIR}/hosts/maya/include/maya" DESTINATION "${devkit}/include")
file(COPY "${OPENMAYA}" "${FOUNDATION}" DESTINATION "${devkit}/lib")
file(COPY "${SOURCE_DIR}/hosts/mentalray/include/shader.h" DESTINATION "${devkit}/mentalray/include")

# Where the 8.5-era headers differ in ways that break a careless build, make the
# copies differ too: MTypes.h picks the platform by testing `linux` (defined by
# GCC only with GNU extensions), and the light-data default's blind data is an
# unsigned int (NULL there draws a warning).
function(edit_header file from to)
  file(READ "${devkit}/include/maya/${file}" text)
  string(FIND "${text}" "${from}" at)
  if(at EQUAL -1)
    fail("${file} has no \"${from}\" to make 8.5-shaped")
  endif()
  string(REPLACE "${from}" "${to}" text "${text}")
  file(WRITE "${devkit}/include/maya/${file}" "${text}")
endfunction()
edit_header(MTypes.h "#define MAYA_STANDIN_MTYPES_H\n" "#define MAYA_STANDIN_MTYPES_H\n\
#if !defined(linux) && !defined(_WIN32) && !defined(__APPLE__)\n\
#error no platform: MTypes.h tests linux, _WIN32 or __APPLE__\n\
#endif\n")
edit_header(MFnLightDataAttribute.h "void* blindData);" "unsigned int blindData);")

set(configure_args -G "${GENERATOR}" -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
                   -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
if(LAUNCHER)
  list(APPEND configure_args -DCMAKE_C_COMPILER_LAUNCHER=${LAUNCHER} -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()

# Configure and build against the devkit; the environment's MAYA_LOCATION must
# not interfere.
unset(ENV{MAYA_LOCATION})
set(build "${WORK_DIR}/build")
execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${build}" ${configure_args}
                        -DMAYA_LOCATION=${devkit}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  fail("configuring against the devkit failed:\n" ${out} ${err})
endif()
foreach(expected "the plug-in builds against the Maya devkit in ${devkit}"
                 "the shader library builds against ${devkit}/mentalray/include/shader.h"
                 "building only the deliverables")
  string(FIND "${out}" "${expected}" at)
  if(at EQUAL -1)
    fail("configure did not say \"" ${expected} "\":\n" ${out})
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} --build "${build}" RESULT_VARIABLE result OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  fail("building against the devkit failed:\n" ${out} ${err})
endif()
if(out MATCHES "warning:" OR err MATCHES "warning:")
  fail("the devkit build warns:\n" ${out} ${err})
endif()

# The deliverables under Maya's names, and nothing else.
foreach(file plug-ins/coolwarm.so mentalray/lib/zarn_coolwarm.so mentalray/include/zarn_coolwarm.mi)
  if(NOT EXISTS "${build}/${file}")
    fail("the devkit build made no ${file}")
  endif()
endforeach()
file(GLOB_RECURSE extra RELATIVE "${build}" "${build}/bin/*" "${build}/lib/*.so*" "${build}/plug-ins/lib*")
if(extra)
  fail("the devkit build made more than the deliverables: ${extra}")
endif()

# Compile lines: Maya's defines, GNU extensions and the devkit's headers.
file(READ "${build}/compile_commands.json" commands)
string(JSON count LENGTH "${commands}")
math(EXPR last "${count} - 1")
set(node_line "")
set(shader_line "")
foreach(i RANGE ${last})
  string(JSON file GET "${commands}" ${i} file)
  string(JSON line GET "${commands}" ${i} command)
  if(file MATCHES "/node/coolwarmNode\\.cpp$")
    set(node_line "${line}")
  elseif(file MATCHES "/shader/zarn_coolwarm\\.cpp$")
    set(shader_line "${line}")
  endif()
endforeach()
# (The devkit's folders may come as -I or -isystem.)
foreach(flag -D_BOOL -DREQUIRE_IOSTREAM -DLINUX -DLINUX_64 -DBits64_ -DUNIX -D_GNU_SOURCE -DFUNCPROTO -std=gnu++17
             -pthread "${devkit}/include")
  string(FIND "${node_line}" "${flag} " at)
  if(at EQUAL -1)
    fail("the plug-in compiles without ${flag}: ${node_line}")
  endif()
endforeach()
if(node_line MATCHES "hosts/maya/include")
  fail("the plug-in still sees the stand-in's headers: ${node_line}")
endif()
string(FIND "${shader_line}" "${devkit}/mentalray/include " at)
if(at EQUAL -1 OR shader_line MATCHES "hosts/mentalray/include")
  fail("the shader library does not compile against the devkit's shader.h: ${shader_line}")
endif()

# Both of Maya's libraries are linked, and no lib prefix on the plug-in.
execute_process(COMMAND ${READELF} -d "${build}/plug-ins/coolwarm.so" OUTPUT_VARIABLE dynamic)
foreach(library libOpenMaya.so libFoundation.so)
  string(FIND "${dynamic}" "Shared library: [${library}]" at)
  if(at EQUAL -1)
    fail("the plug-in does not link ${library}:\n${dynamic}")
  endif()
endforeach()

# A devkit without Foundation is refused, naming what is missing.
file(REMOVE "${devkit}/lib/libFoundation.so")
execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/incomplete" ${configure_args}
                        -DMAYA_LOCATION=${devkit}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(result EQUAL 0)
  fail("a devkit without Foundation was accepted")
endif()
string(REGEX REPLACE "[ \n]+" " " err "${err}")  # CMake wraps long messages
string(FIND "${err}" "no Foundation library in ${devkit}/lib" at)
if(at EQUAL -1)
  fail("the refusal does not name Foundation:\n" ${err})
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "devkit build: plug-ins/coolwarm.so links libOpenMaya.so and libFoundation.so")
