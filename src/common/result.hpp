// A value or an error: how every decoder, engine and encoder reports its outcome. Nothing
// below the module's entry points throws on purpose; an exception that escapes anyway is
// a fault, which the entry point's barrier stops.
#pragma once

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

namespace lorvane {

template <class E>
struct Failure {
    E error;
};

template <class E>
Failure<std::decay_t<E>> fail(E&& error) {
    return {std::forward<E>(error)};
}

template <class T, class E>
class [[nodiscard]] Result {
public:
    using value_type = T;
    using error_type = E;

    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    template <class F>
    Result(Failure<F> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return *get<0>(); }
    const T& value() const& { return *get<0>(); }
    T&& value() && { return std::move(*get<0>()); }
    E& error() & { return *get<1>(); }
    const E& error() const& { return *get<1>(); }
    E&& error() && { return std::move(*get<1>()); }

private:
    template <std::size_t I>
    auto* get() const noexcept {
        assert(state_.index() == I && "the value of a failure, or the error of a success");
        return std::get_if<I>(&const_cast<std::variant<T, E>&>(state_));
    }

    std::variant<T, E> state_;
};

// An outcome without a value.
template <class E>
class [[nodiscard]] Result<void, E> {
public:
    using value_type = void;
    using error_type = E;

    Result() = default;
    template <class F>
    Result(Failure<F> failure) : error_(std::in_place, std::move(failure.error)) {}

    bool ok() const noexcept { return !error_; }
    explicit operator bool() const noexcept { return ok(); }

    E& error() & { return checked(); }
    const E& error() const& { return const_cast<Result*>(this)->checked(); }
    E&& error() && { return std::move(checked()); }

private:
    E& checked() noexcept {
        assert(error_ && "the error of a success");
        return *error_;
    }

    std::optional<E> error_;
};

// Moves the value of `result` into `out`, or passes its failure on.
template <class T, class U, class E>
Result<void, E> store(Result<U, E>&& result, T& out) {
    if (!result) return fail(std::move(result).error());
    out = std::move(result).value();
    return {};
}

}  // namespace lorvane

// Returns the failure of `expression`, a Result, from the enclosing function, which
// returns a Result with the same error type.
#define LORVANE_TRY(expression)                                                 \
    do {                                                                         \
        if (auto&& lorvane_tried_ = (expression); !lorvane_tried_)               \
            return ::lorvane::fail(std::move(lorvane_tried_).error());           \
    } while (0)
