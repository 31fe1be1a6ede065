// The Windows headers as this backend uses them. Every file of the backend
// includes this first: the SDK defines function-like macros (PeekMessage,
// DispatchMessage, DrawText, YieldProcessor, FormatMessage) whose names the platform
// interface uses for its own methods, so they are taken away here and the
// backend calls the wide-character functions by their full names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <objbase.h>
#include <shlobj.h>

#undef PeekMessage
#undef DispatchMessage
#undef DrawText
#undef YieldProcessor
#undef GetObject
#undef CreateWindow
#undef MessageBox
#undef GetClassInfo
#undef LoadIcon
#undef FormatMessage
