// Maya stand-in: basic types of the API.
#ifndef MAYA_STANDIN_MTYPES_H
#define MAYA_STANDIN_MTYPES_H

#include <cstddef>

// The API version this stand-in answers to; plug-ins export it as MApiVersion.
#define MAYA_API_VERSION 200900

// Like Maya's own, the stand-in is two libraries: Foundation (MString, MStatus)
// and OpenMaya (everything else), each exporting its own classes.
#if defined(_WIN32)
#  if defined(MAYA_STANDIN_BUILD)
#    define MAYA_STANDIN_API __declspec(dllexport)
#  else
#    define MAYA_STANDIN_API __declspec(dllimport)
#  endif
#  if defined(MAYA_STANDIN_FOUNDATION_BUILD)
#    define MAYA_STANDIN_FOUNDATION_API __declspec(dllexport)
#  else
#    define MAYA_STANDIN_FOUNDATION_API __declspec(dllimport)
#  endif
#else
#  define MAYA_STANDIN_API __attribute__((visibility("default")))
#  define MAYA_STANDIN_FOUNDATION_API __attribute__((visibility("default")))
#endif

class MStatus;

typedef void* (*MCreatorFunction)();
typedef MStatus (*MInitializeFunction)();

#endif
