// Calling conventions and symbol visibility of the exported interfaces.
#pragma once

#if defined(_WIN32)
#define KX_STDCALL __stdcall
#define KX_CDECL __cdecl
#define KX_EXPORT __declspec(dllexport)
#define KX_IMPORT __declspec(dllimport)
#else
#define KX_STDCALL
#define KX_CDECL
#define KX_EXPORT __attribute__((visibility("default")))
#define KX_IMPORT
#endif
