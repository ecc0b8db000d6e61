#pragma once
// Reading the arguments of the WebBrowser control's events, as its IDispatch::Invoke gets them.

#include <windows.h>
#include <oaidl.h>

#include <string>

// The argument at index (in the event's documented order), references followed; null when absent.
VARIANT* Argument(const DISPPARAMS& params, UINT index);
// The argument as text, a dispatch pointer, the event's Cancel flag or a number; empty, null or 0
// when it is absent or of another type.
std::wstring TextArgument(const DISPPARAMS& params, UINT index);
IDispatch* DispatchArgument(const DISPPARAMS& params, UINT index);
VARIANT_BOOL* CancelArgument(const DISPPARAMS& params, UINT index);
long LongArgument(const DISPPARAMS& params, UINT index);
// The argument holds form data.
bool HasPostData(const DISPPARAMS& params, UINT index);
