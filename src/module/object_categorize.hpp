// categorize_transactions without a copy of any narration or any result text. The
// narrations are read as the UTF-8 bytes that the interpreter's encoder makes, held for
// the call; the engine gives each the index of its deciding rule; the result has one
// dict per deciding rule, made by the generic encoder, and a copy of it for every
// narration that the rule decides. The copies are what encode_object makes of a
// CategorizeResponse: new dicts with the keys "category" and "merchant" in this order.
#pragma once

#include <string_view>
#include <tuple>
#include <vector>

#include "categorizer/records.hpp"
#include "common/describe.hpp"
#include "module/object_decoder.hpp"
#include "module/python.hpp"

namespace lorvane {

// The records of a CategorizeRequest with the narrations held in place; read as, and
// named in messages as, MapInput and CategorizeRequest.
struct NarrationHeld {
    HeldText narration;
};

struct CategorizeHeld {
    std::vector<NarrationHeld> data;
    std::vector<categorizer::CategoryRule> rules;
};

template <>
struct Describe<NarrationHeld> {
    static constexpr std::string_view name = Describe<categorizer::MapInput>::name;
    static constexpr auto fields = std::tuple{field("narration", &NarrationHeld::narration)};
};

template <>
struct Describe<CategorizeHeld> {
    static constexpr std::string_view name = Describe<categorizer::CategorizeRequest>::name;
    static constexpr auto fields = std::tuple{
        field("data", &CategorizeHeld::data),
        field("rules", &CategorizeHeld::rules),
    };
};

// The whole call after argument extraction: a new reference to the result, or null with
// the exception set ("invalid request: ", "could not build result: ").
PyObject* categorize_to_objects(PyObject* request);

}  // namespace lorvane
