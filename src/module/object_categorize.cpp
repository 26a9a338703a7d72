#include "module/object_categorize.hpp"

#include <string_view>
#include <vector>

#include "categorizer/first_rules.hpp"
#include "module/object_encoder.hpp"

namespace lorvane {

Result<PyRef, ObjectError> categorize_to_objects(const categorizer::CategorizeRequest& request) {
    using object_encoder_detail::made;
    std::vector<std::string_view> narrations;
    narrations.reserve(request.data.size());
    for (const categorizer::MapInput& input : request.data) narrations.push_back(input.narration);
    const std::vector<std::size_t> decided = categorizer::first_rules(narrations, request.rules);

    std::vector<PyRef> entries(request.rules.size());  // each deciding rule's dict, once made
    PyRef list = made(PyList_New(static_cast<Py_ssize_t>(decided.size())));
    for (std::size_t i = 0; i < decided.size(); ++i) {
        const std::size_t rule = decided[i];
        PyRef item;
        if (rule == categorizer::no_rule) {
            item = PyRef::borrow(Py_None);
        } else {
            PyRef& entry = entries[rule];
            if (!entry) {
                const categorizer::CategoryRule& r = request.rules[rule];
                auto made_entry = encode_object(categorizer::CategoryMatch{r.category, r.merchant});
                if (!made_entry) return fail(std::move(made_entry).error());
                entry = std::move(made_entry).value();
            }
            item = made(PyDict_Copy(entry.get()));
        }
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item.release());  // steals
    }
    // {"data": list}, through the generic encoder's keys.
    PyRef response = made(PyDict_New());
    if (PyObject_SetItem(response.get(), object_encoder_detail::field_keys<categorizer::CategorizeResponse>()[0],
                         list.get()) < 0) {
        return fail(ObjectError::from_interpreter());
    }
    return response;
}

}  // namespace lorvane
