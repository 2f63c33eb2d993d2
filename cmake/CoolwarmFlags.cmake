# Flags every coolwarm target takes: warnings, and no FMA contraction, so single
# precision shading rounds the same whatever the compiler decides to fuse. Math
# functions set no errno (nothing here reads it): a square root is then the one
# instruction, with no library call beside it, and rounds the same.
# (MSVC's /fp:precise fuses nothing from Visual Studio 2022 on, which asks for
# /fp:contract to do so; and without /arch:AVX2 there is no FMA instruction.)
add_library(coolwarm_flags INTERFACE)
if(MSVC)
  target_compile_options(coolwarm_flags INTERFACE /W4 /fp:precise)
else()
  target_compile_options(coolwarm_flags INTERFACE -Wall -Wextra -Wpedantic -ffp-contract=off -fno-math-errno)
endif()

# 32-bit x86 compilers default to x87 arithmetic, whose 80-bit registers keep
# intermediates unrounded until the compiler happens to spill them: results
# then differ from the 64-bit builds by up to dozens of ulps. SSE2 rounds every
# operation to single precision, as x86-64 does. (-ffloat-store would round only
# named variables, not the temporaries of an expression.)
include(CheckCXXSourceCompiles)
check_cxx_source_compiles([[
#if !defined(__i386__) && !defined(_M_IX86)
#error not 32-bit x86
#endif
int main() { return 0; }
]] COOLWARM_TARGET_X86_32)
if(COOLWARM_TARGET_X86_32)
  if(MSVC)
    target_compile_options(coolwarm_flags INTERFACE /arch:SSE2)
  else()
    # On Windows a 32-bit host may call in with its stack aligned to 4 bytes only:
    # MinGW's compiler realigns it where SSE needs more (-mstackrealign is its
    # default), and scalar SSE needs no alignment at all.
    target_compile_options(coolwarm_flags INTERFACE -msse2 -mfpmath=sse)
  endif()
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
