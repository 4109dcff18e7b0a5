#pragma once

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <optional>
#include <type_traits>

// Runs the file steps of an operation (atomic saves that sync to disk, backup copies, merges,
// comparisons) on a thread of their own, so that the window's thread does no file input or
// output while an operation runs. One thread: the steps of one operation keep their order, and
// no two steps ever run at once (the secure write changes the process's umask for a moment).
// A step takes plain values and must not touch the object that awaits it.
class FileWorker
{
public:
    FileWorker();
    // Waits for the step still running, then resumes every task awaiting one, so that each
    // ends (finding its state gone) before the caller's fields are destroyed.
    ~FileWorker();
    FileWorker(const FileWorker &) = delete;
    FileWorker &operator=(const FileWorker &) = delete;

    // `step()` on the worker thread; its result, or what it threw, once it has run. Pass a named
    // step: GCC 12 destroys a lambda made within the co_await expression twice.
    template <typename Step> QCoro::Task<std::invoke_result_t<Step>> run(Step step)
    {
        using Result = std::invoke_result_t<Step>;
        std::exception_ptr error;
        if constexpr (std::is_void_v<Result>) {
            co_await QtConcurrent::run(&m_pool, [&step, &error] {
                try {
                    step();
                } catch (...) {
                    error = std::current_exception();
                }
            });
            if (error)
                std::rethrow_exception(error);
        } else {
            std::optional<Result> result;
            co_await QtConcurrent::run(&m_pool, [&step, &error, &result] {
                try {
                    result.emplace(step());
                } catch (...) {
                    error = std::current_exception();
                }
            });
            if (error)
                std::rethrow_exception(error);
            co_return std::move(*result);
        }
    }

private:
    QThreadPool m_pool;
};
