// categorize_transactions without a copy of any narration or any result text. The
// narrations are read as their strs' UTF-8 text, held for the call; the engine gives
// each the index of its deciding rule; the result has one dict per deciding rule, made
// by the generic encoder, and a copy of it for every narration that the rule decides. The copies are what encode_object makes of a
// CategorizeResponse: new dicts with the keys "category" and "merchant" in this order.
#pragma once

#include "categorizer/records.hpp"
#include "module/object_decoder.hpp"
#include "module/python.hpp"

namespace lorvane {

// A CategorizeRequest with its narrations held in place.
using CategorizeHeld = categorizer::BasicCategorizeRequest<HeldText>;

// The whole call after argument extraction: a new reference to the result, or null with
// the exception set ("invalid request: ", "could not build result: ").
PyObject* categorize_to_objects(PyObject* request);

}  // namespace lorvane
