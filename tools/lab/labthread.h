#pragma once

#include "labserver.h"

#include <QSemaphore>
#include <QThread>

namespace Lab {

// A lab that lives, answers and ends on a thread of its own, so that what it costs to write an
// answer is never counted against the program's GUI thread in a measurement. It is switched
// from outside by its control endpoint ("/lab/fault", "/lab/reset"), not by calls.
//
//   Lab::Thread lab({.faults = {{"images", *Lab::Fault::parse("stall")}}});
//   const QString base = lab.startAndWait();
class Thread : public QThread
{
public:
    explicit Thread(Options options = {})
        : m_options(std::move(options))
    {
    }
    ~Thread() override
    {
        quit();
        wait();
    }

    // Starts the thread and its lab; answers the lab's base address (empty when it could not listen).
    QString startAndWait()
    {
        start();
        m_ready.acquire();
        return m_base;
    }
    QString base() const { return m_base; }

protected:
    void run() override
    {
        Server lab(m_options);
        m_base = lab.start();
        m_ready.release();
        exec();
    }

private:
    Options m_options;
    QString m_base;
    QSemaphore m_ready;
};

} // namespace Lab
