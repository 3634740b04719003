// CloneValue: copies a VARIANT with references resolved; an object that answers
// IDollyTheSheep is replaced by its NewClone (queried for IDispatch when the value was
// VT_DISPATCH), every other value and object is copied or shared as is.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace orv {

// `dest` is overwritten (treated as uninitialised); on failure it is VT_EMPTY.
HRESULT CloneValue(VARIANT* dest, const VARIANT* src) noexcept;

}  // namespace orv
