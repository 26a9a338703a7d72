#include "module/object_categorize.hpp"

#include <utility>

#include "categorizer/first_rules.hpp"
#include "module/object_encoder.hpp"

namespace lorvane {

namespace {

Result<PyRef, ObjectError> build_result(const std::vector<std::size_t>& decided,
                                        const std::vector<categorizer::CategoryRule>& rules) {
    using object_encoder_detail::made;
    std::vector<PyRef> entries(rules.size());  // each deciding rule's dict, once made
    PyRef list = made(PyList_New(static_cast<Py_ssize_t>(decided.size())));
    for (std::size_t i = 0; i < decided.size(); ++i) {
        const std::size_t rule = decided[i];
        PyRef item;
        if (rule == categorizer::no_rule) {
            item = PyRef::borrow(Py_None);
        } else {
            PyRef& entry = entries[rule];
            if (!entry) {
                const categorizer::CategoryRule& r = rules[rule];
                auto made_entry = encode_object(categorizer::CategoryMatch{r.category, r.merchant});
                if (!made_entry) return fail(std::move(made_entry).error());
                entry = std::move(made_entry).value();
            }
            item = made(PyDict_Copy(entry.get()));
        }
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item.release());  // steals
    }
    // {"data": list}, under the generic encoder's key.
    PyRef response = made(PyDict_New());
    PyObject* key = object_encoder_detail::field_keys<categorizer::CategorizeResponse>()[0];
    if (PyObject_SetItem(response.get(), key, list.get()) < 0) return fail(ObjectError::from_interpreter());
    return response;
}

}  // namespace

PyObject* categorize_to_objects(PyObject* argument) {
    auto request = decode_object<CategorizeHeld>(argument);
    if (!request) {
        raise_object_error(std::move(request).error(), "invalid request: ");
        return nullptr;
    }
    const CategorizeHeld& in = request.value();
    std::vector<std::string_view> narrations;
    narrations.reserve(in.data.size());
    for (const auto& item : in.data) narrations.push_back(item.narration.text);
    const std::vector<std::size_t> decided = categorizer::first_rules(std::move(narrations), in.rules);

    auto result = build_result(decided, in.rules);
    if (!result) {
        raise_object_error(std::move(result).error(), "could not build result: ");
        return nullptr;
    }
    return std::move(result).value().release();
}

}  // namespace lorvane
