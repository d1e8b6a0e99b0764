#include "ui/OffThread.h"

#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <thread>

namespace rekkon::ui {

void runOffUiThread(const std::function<void()>& work) {
    QEventLoop loop;
    // The quit is queued to this thread, so it is seen even when the work ends before exec().
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace rekkon::ui
