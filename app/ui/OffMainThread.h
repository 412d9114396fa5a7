#pragma once

#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace zevirudi {

// What a job off the main thread produced: its value, or the exception it ended with. Exceptions
// travel as values so that the continuation on the main thread decides what the user sees.
template <typename T>
struct Outcome {
    std::optional<T> value;
    std::exception_ptr error;
};

// Runs `work` on the pool and hands back its outcome. Continue with
// `.then(context, …)`: Qt drops the continuation when the context object is gone, so a job that
// finishes after its view model was destroyed touches nothing.
template <typename Work>
auto runOffMainThread(QThreadPool& pool, Work work) {
    using Result = std::invoke_result_t<Work&>;
    using Value = std::conditional_t<std::is_void_v<Result>, std::monostate, Result>;
    return QtConcurrent::run(&pool, [work = std::move(work)]() mutable -> Outcome<Value> {
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
                return {Value{}, nullptr};
            } else {
                return {work(), nullptr};
            }
        } catch (...) {
            return {std::nullopt, std::current_exception()};
        }
    });
}

}  // namespace zevirudi
