#include "common/describe.hpp"

namespace lorvane {

std::string missing_field_message(std::string_view key) {
    std::string text = "missing field `";
    text += key;
    text += '`';
    return text;
}

std::string duplicate_field_message(std::string_view key) {
    std::string text = "duplicate field `";
    text += key;
    text += '`';
    return text;
}

std::string unknown_variant_message(std::string_view name, const std::string_view* names,
                                    std::size_t count) {
    std::string text = "unknown variant `";
    text += name;
    text += "`, expected ";
    auto quoted = [&](std::string_view n) {
        text += '`';
        text += n;
        text += '`';
    };
    if (count == 1) {
        quoted(names[0]);
    } else if (count == 2) {
        quoted(names[0]);
        text += " or ";
        quoted(names[1]);
    } else {
        text += "one of ";
        for (std::size_t i = 0; i < count; ++i) {
            if (i) text += ", ";
            quoted(names[i]);
        }
    }
    return text;
}

}  // namespace lorvane
