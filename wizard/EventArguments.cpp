#include "wizard/EventArguments.h"

// The events' arguments arrive last first, and the control passes most of them by reference,
// some wrapped twice (a VARIANT holding a reference to a VARIANT).
VARIANT* Argument(const DISPPARAMS& params, UINT index) {
    if (!params.rgvarg || index >= params.cArgs) return nullptr;
    VARIANT* value = &params.rgvarg[params.cArgs - 1 - index];
    for (int depth = 0; value && V_VT(value) == (VT_BYREF | VT_VARIANT) && depth < 4; ++depth)
        value = V_VARIANTREF(value);
    return value;
}

std::wstring TextArgument(const DISPPARAMS& params, UINT index) {
    VARIANT* value = Argument(params, index);
    BSTR text = nullptr;
    if (value && V_VT(value) == VT_BSTR) text = V_BSTR(value);
    if (value && V_VT(value) == (VT_BYREF | VT_BSTR) && V_BSTRREF(value)) text = *V_BSTRREF(value);
    return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

IDispatch* DispatchArgument(const DISPPARAMS& params, UINT index) {
    VARIANT* value = Argument(params, index);
    if (value && V_VT(value) == VT_DISPATCH) return V_DISPATCH(value);
    if (value && V_VT(value) == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(value)) return *V_DISPATCHREF(value);
    return nullptr;
}

VARIANT_BOOL* CancelArgument(const DISPPARAMS& params, UINT index) {
    VARIANT* value = Argument(params, index);
    return value && V_VT(value) == (VT_BYREF | VT_BOOL) ? V_BOOLREF(value) : nullptr;
}

long LongArgument(const DISPPARAMS& params, UINT index) {
    VARIANT* value = Argument(params, index);
    VARIANT number;
    ::VariantInit(&number);
    if (!value || FAILED(::VariantChangeType(&number, value, 0, VT_I4))) return 0;
    return V_I4(&number);
}

// Form data is the one thing another browser cannot be handed.
bool HasPostData(const DISPPARAMS& params, UINT index) {
    VARIANT* value = Argument(params, index);
    if (!value || !(V_VT(value) & VT_ARRAY)) return false;
    SAFEARRAY* data = (V_VT(value) & VT_BYREF) ? (V_ARRAYREF(value) ? *V_ARRAYREF(value) : nullptr) : V_ARRAY(value);
    return data && data->cDims == 1 && data->rgsabound[0].cElements > 0;
}
