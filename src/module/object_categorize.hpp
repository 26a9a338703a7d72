// categorize_transactions' result built from the engine's rule indices: one dict per
// deciding rule, made by the generic encoder, and a copy of it for every narration that
// the rule decides. The copies are what encode_object makes of a CategorizeResponse: new
// dicts with the keys "category" and "merchant" in this order, values equal strs.
#pragma once

#include "categorizer/records.hpp"
#include "common/result.hpp"
#include "module/object_error.hpp"
#include "module/py_ref.hpp"

namespace lorvane {

Result<PyRef, ObjectError> categorize_to_objects(const categorizer::CategorizeRequest& request);

}  // namespace lorvane
