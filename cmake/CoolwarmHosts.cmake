# Which host APIs the deliverables compile against.
#
#   MAYA_LOCATION          a Maya install or devkit (include/maya/MFnPlugin.h, lib/);
#                          the environment variable of the same name is the default.
#   MENTALRAY_INCLUDE_DIR  the folder holding mental ray's shader.h; by default
#                          <MAYA_LOCATION>/mentalray/include or
#                          <MAYA_LOCATION>/devkit/mentalray/include when one has it.
#
# Without them the stand-ins under hosts/ serve. Either way the plug-in links the
# targets Maya::OpenMaya and Maya::Foundation, and the shader library compiles
# against MentalRay::Shader (headers only: it links nothing of the renderer's).
# COOLWARM_REAL_SDK is set when either real SDK is in use: then only the two
# deliverables are built, since the tool, the tests and the benchmarks run them
# through the stand-ins.

set(MAYA_LOCATION "$ENV{MAYA_LOCATION}" CACHE PATH
    "Maya install or devkit to build the plug-in against (empty: the stand-in)")
set(MENTALRAY_INCLUDE_DIR "" CACHE PATH
    "Folder holding mental ray's shader.h (empty: MAYA_LOCATION's, else the stand-in)")

set(COOLWARM_REAL_MAYA OFF)
set(COOLWARM_REAL_MENTALRAY OFF)

# Maya's libraries are built with MSVC and export MSVC's C++ names, which
# MinGW's C++ ABI cannot link; a MinGW build uses the stand-in.
if(MAYA_LOCATION AND MINGW)
  message(FATAL_ERROR "MAYA_LOCATION (${MAYA_LOCATION}) cannot be used by a MinGW build: Maya's OpenMaya and "
                      "Foundation libraries are built with MSVC, and MinGW cannot link their C++ names. Leave "
                      "MAYA_LOCATION empty here (the plug-in builds against the stand-in, to test its Windows code "
                      "under Wine), or build with MSVC against the devkit for real Maya.")
endif()

if(MAYA_LOCATION)
  if(EXISTS "${MAYA_LOCATION}/include/maya/MFnPlugin.h")
    foreach(library Foundation OpenMaya)
      find_library(coolwarm_maya_${library} ${library} PATHS "${MAYA_LOCATION}/lib" NO_DEFAULT_PATH NO_CACHE)
      if(NOT coolwarm_maya_${library})
        message(FATAL_ERROR "MAYA_LOCATION (${MAYA_LOCATION}) holds Maya's headers but no ${library} library "
                            "in ${MAYA_LOCATION}/lib (a plug-in links both OpenMaya and Foundation).")
      endif()
      add_library(Maya::${library} UNKNOWN IMPORTED)
      set_target_properties(Maya::${library} PROPERTIES
        IMPORTED_LOCATION "${coolwarm_maya_${library}}"
        INTERFACE_INCLUDE_DIRECTORIES "${MAYA_LOCATION}/include")
    endforeach()
    set_target_properties(Maya::OpenMaya PROPERTIES INTERFACE_LINK_LIBRARIES Maya::Foundation)
    set(COOLWARM_REAL_MAYA ON)
    message(STATUS "coolwarm: the plug-in builds against the Maya devkit in ${MAYA_LOCATION}")
  else()
    message(WARNING "MAYA_LOCATION (${MAYA_LOCATION}) holds no Maya devkit (include/maya/MFnPlugin.h is "
                    "missing); the plug-in builds against the stand-in.")
  endif()
endif()

set(coolwarm_mr_include "${MENTALRAY_INCLUDE_DIR}")
if(coolwarm_mr_include)
  if(NOT EXISTS "${coolwarm_mr_include}/shader.h")
    message(FATAL_ERROR "MENTALRAY_INCLUDE_DIR (${coolwarm_mr_include}) has no shader.h.")
  endif()
elseif(MAYA_LOCATION)
  foreach(candidate "${MAYA_LOCATION}/mentalray/include" "${MAYA_LOCATION}/devkit/mentalray/include")
    if(NOT coolwarm_mr_include AND EXISTS "${candidate}/shader.h")
      set(coolwarm_mr_include "${candidate}")
    endif()
  endforeach()
endif()
if(coolwarm_mr_include)
  set(COOLWARM_REAL_MENTALRAY ON)
  message(STATUS "coolwarm: the shader library builds against ${coolwarm_mr_include}/shader.h")
else()
  set(coolwarm_mr_include "${PROJECT_SOURCE_DIR}/hosts/mentalray/include")
endif()
add_library(MentalRay::Shader INTERFACE IMPORTED)
set_target_properties(MentalRay::Shader PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${coolwarm_mr_include}")

if(COOLWARM_REAL_MAYA OR COOLWARM_REAL_MENTALRAY)
  set(COOLWARM_REAL_SDK ON)
  message(STATUS "coolwarm: building only the deliverables (coolwarm, zarn_coolwarm); the tool, the tests "
                 "and the benchmarks need the stand-ins and are left out of this build")
else()
  set(COOLWARM_REAL_SDK OFF)
endif()
