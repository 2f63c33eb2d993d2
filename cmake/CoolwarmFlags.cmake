# Flags every coolwarm target takes: warnings, and no FMA contraction, so single
# precision shading rounds the same whatever the compiler decides to fuse. Math
# functions set no errno (nothing here reads it): a square root is then the one
# instruction, with no library call beside it, and rounds the same.
add_library(coolwarm_flags INTERFACE)
if(MSVC)
  target_compile_options(coolwarm_flags INTERFACE /W4 /fp:precise)
else()
  target_compile_options(coolwarm_flags INTERFACE -Wall -Wextra -Wpedantic -ffp-contract=off -fno-math-errno)
endif()
if(WIN32)
  target_compile_definitions(coolwarm_flags INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

# A Maya plug-in file: no "lib" prefix, Maya's extension, in plug-ins/.
function(coolwarm_maya_plugin target)
  if(WIN32)
    set(suffix .mll)
  elseif(APPLE)
    set(suffix .bundle)
  else()
    set(suffix .so)
  endif()
  # 8.5-era headers pick the platform by testing `linux`, which GCC defines only
  # with the GNU language extensions.
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ${suffix} CXX_EXTENSIONS ON
    LIBRARY_OUTPUT_DIRECTORY ${COOLWARM_PLUGIN_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${COOLWARM_PLUGIN_DIR})
  # The defines Maya's own plug-in builds use.
  target_compile_definitions(${target} PRIVATE _BOOL REQUIRE_IOSTREAM)
  if(UNIX AND NOT APPLE)
    target_compile_definitions(${target} PRIVATE Bits64_ UNIX LINUX LINUX_64 _GNU_SOURCE FUNCPROTO)
    target_compile_options(${target} PRIVATE -pthread)
    target_link_options(${target} PRIVATE -pthread)
  elseif(WIN32)
    target_compile_definitions(${target} PRIVATE NT_PLUGIN WIN32 _WINDOWS)
  endif()
endfunction()
