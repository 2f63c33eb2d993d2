# Installs the build into a fresh folder and checks that it is exactly a Maya
# module: coolwarm.mod naming the folder, the plug-in, the templates, the shader
# library and its declaration, and none of the stand-ins or the tool. Then
# installs the tool's component beside it and checks that it lands in bin/ and
# lib/ only, and that the installed tool loads the installed deliverables.
#
# cmake -DBUILD_DIR= -DWORK_DIR= -DPLUGIN= -DSHADER= [-DCONFIG=] [-DWITH_TOOL=ON] -P installLayout.cmake

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

function(install_into prefix)
  set(config "")
  if(CONFIG)
    set(config --config ${CONFIG})
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}" ${config} ${ARGN}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    fail("cmake --install ${ARGN} failed:\n" ${out} ${err})
  endif()
endfunction()

function(tree prefix into)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${prefix}" "${prefix}/*")
  list(SORT files)
  set(${into} "${files}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
set(module "${WORK_DIR}/module")
install_into("${module}")
tree("${module}" files)
set(expected coolwarm.mod mentalray/include/zarn_coolwarm.mi mentalray/lib/${SHADER} plug-ins/${PLUGIN}
             scripts/AEcoolwarmTemplate.mel scripts/AEzarn_coolwarmTemplate.mel)
list(SORT expected)
if(NOT files STREQUAL expected)
  fail("the module holds\n  ${files}\nexpected\n  ${expected}")
endif()

file(READ "${module}/coolwarm.mod" mod)
if(NOT mod STREQUAL "+ coolwarm 1.0 ${module}\n")
  fail("coolwarm.mod reads \"${mod}\"")
endif()

# The tool's component adds bin/ and lib/ and touches nothing of the module's.
if(NOT WITH_TOOL)
  file(REMOVE_RECURSE "${WORK_DIR}")
  return()
endif()
install_into("${module}" --component tool)
tree("${module}" all)
list(REMOVE_ITEM all ${expected})
foreach(file IN LISTS all)
  if(NOT file MATCHES "^(bin|lib)/")
    fail("the tool's component installs ${file} outside bin/ and lib/")
  endif()
endforeach()
if(NOT EXISTS "${module}/bin/coolwarm")
  fail("the tool's component has no bin/coolwarm: ${all}")
endif()
execute_process(COMMAND "${module}/bin/coolwarm" describe node RESULT_VARIABLE result OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT out MATCHES "\"attributeCount\": 68")
  fail("the installed tool cannot use the installed plug-in:\n" ${out} ${err})
endif()
execute_process(COMMAND "${module}/bin/coolwarm" describe shader RESULT_VARIABLE result OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT result EQUAL 0)
  fail("the installed tool cannot use the installed shader library:\n" ${out} ${err})
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "module: ${expected}")
